// vumo-trace SONG [--ticks N]: runs the real player over the recording driver and prints every
// channel call, one "TICK OP CHANNEL ARG" line per call. Samples come from data/ beside the tool.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/vumo/tool_args.h"
#include "vumo/song_file.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-trace";
constexpr long kDefaultTicks = 512;
constexpr long kMostTicks = 10000000;
constexpr const char* kUsage = "vumo-trace [--ticks N] [--force] [--] SONG";
constexpr const char* kHelp =
    "Runs the real player on SONG (a .dat file or a song source) over a recording driver and prints\n"
    "every channel call, one \"TICK OP CHANNEL ARG\" line per call.\n"
    "  --ticks N   ticks to run (default 512, 51 a second)\n"
    "  --force     take a file without the song header as a compiled song all the same\n"
    "  --          the arguments after it are files, even when they start with -\n"
    "  --help      this text\n"
    "  --version   the tools' version\n"
    "Exit status: 0 done, 1 error, 2 bad usage.\n";

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  std::string song;
  long ticks = kDefaultTicks;
  vumo::SongFileRules rules;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnded) {
      // A file name, whatever it starts with.
    } else if (arg == "--") {
      optionsEnded = true;
      continue;
    } else if (arg == "--force") {
      rules.force = true;
      continue;
    } else if (arg == "--ticks") {
      if (i + 1 >= argc || !vumo::parseCount(argv[i + 1], 0, kMostTicks, ticks)) {
        return vumo::usageError(kTool, "--ticks needs a whole number from 0 to " + std::to_string(kMostTicks),
                                kUsage);
      }
      ++i;
      continue;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    }
    if (song.empty()) {
      song = arg;
    } else {
      return vumo::usageError(kTool, "more than one song given", kUsage);
    }
  }
  if (song.empty()) return vumo::usageError(kTool, "no song given", kUsage);
  vumo::PreparedSong prepared;
  std::vector<vumo::SourceWarning> warnings;
  std::string problem;
  if (!prepared.prepare(song, rules, problem, &warnings)) return vumo::failWith(kTool, problem);
  for (const vumo::SourceWarning& warning : warnings) {
    std::fprintf(stderr, "%s\n", vumo::warningLine(song, warning).c_str());
  }

  std::string text =
      vumo::traceSong(prepared.datPath(), static_cast<int>(ticks), RecordingAudio::SampleFiles::Decode);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return vumo::failWith(kTool, "cannot write the trace to standard output");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
