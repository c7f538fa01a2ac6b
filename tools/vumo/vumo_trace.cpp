// vumo-trace SONG [--ticks N]: runs the real player over the recording driver and prints every
// channel call, one "TICK OP CHANNEL ARG" line per call. Samples come from data/ beside the tool.
#include <cstdio>
#include <exception>
#include <string>

#include "tools/vumo/tool_args.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-trace";
constexpr long kDefaultTicks = 512;
constexpr long kMostTicks = 10000000;
constexpr const char* kUsage = "vumo-trace SONG [--ticks N]";
constexpr const char* kHelp =
    "Runs the real player on SONG (.dat) over a recording driver and prints every channel call,\n"
    "one \"TICK OP CHANNEL ARG\" line per call.\n"
    "  --ticks N   ticks to run (default 512, 51 a second)\n"
    "  --help      this text\n"
    "  --version   the tools' version\n"
    "Exit status: 0 done, 1 error, 2 bad usage.\n";

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  std::string song;
  long ticks = kDefaultTicks;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--ticks") {
      if (i + 1 >= argc || !vumo::parseCount(argv[i + 1], 0, kMostTicks, ticks)) {
        return vumo::usageError(kTool, "--ticks needs a whole number from 0 to " + std::to_string(kMostTicks),
                                kUsage);
      }
      ++i;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    } else if (song.empty()) {
      song = arg;
    } else {
      return vumo::usageError(kTool, "more than one song given", kUsage);
    }
  }
  if (song.empty()) return vumo::usageError(kTool, "no song given", kUsage);
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
