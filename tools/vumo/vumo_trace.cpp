// vumo-trace SONG [--ticks N]: runs the real player over the recording driver and prints every
// channel call, one "TICK OP CHANNEL ARG" line per call. Samples come from data/ beside the tool.
#include <cstdio>
#include <exception>
#include <string>

#include "tools/vumo/song_runner.h"
#include "tools/vumo/tool_args.h"

namespace {

constexpr const char* kTool = "vumo-trace";
constexpr long kDefaultTicks = 512;
constexpr long kMostTicks = 10000000;

constexpr const char* kHelp =
    "usage: vumo-trace SONG [--ticks N]\n"
    "\n"
    "Runs the real song player over a recording driver for N ticks and prints every channel call,\n"
    "one per line: TICK play CHANNEL SAMPLE FLAGS, TICK stop CHANNEL, TICK volume|rate CHANNEL VALUE.\n"
    "The instrument samples come from data/ beside the program.\n"
    "\n"
    "  --ticks N      ticks to run, 0 to 10000000 (default 512; 51 ticks are one second)\n"
    "  --help         this text\n";

int run(int argc, char** argv) {
  if (vumo::asksForHelp(argc, argv)) return vumo::printHelp(kHelp);
  std::string song;
  long ticks = kDefaultTicks;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--ticks") {
      if (i + 1 >= argc || !vumo::parseCount(argv[i + 1], 0, kMostTicks, ticks)) {
        return vumo::failWith(kTool, "--ticks needs a whole number from 0 to " + std::to_string(kMostTicks));
      }
      ++i;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return vumo::failWith(kTool, "unknown option " + arg + " (usage: vumo-trace SONG [--ticks N])");
    } else if (song.empty()) {
      song = arg;
    } else {
      return vumo::failWith(kTool, "more than one song given (usage: vumo-trace SONG [--ticks N])");
    }
  }
  if (song.empty()) return vumo::failWith(kTool, "no song given (usage: vumo-trace SONG [--ticks N])");
  if (!vumo::readableFile(song)) return vumo::failWith(kTool, "cannot read song file " + song);

  std::string text =
      vumo::traceSong(vumo::absolutePath(song), static_cast<int>(ticks), RecordingAudio::SampleFiles::Decode);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return vumo::failWith(kTool, "cannot write the trace to standard output");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
