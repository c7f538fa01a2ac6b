// vumo-render SONG OUT.wav [--seconds S]: plays the song with the real player and the real
// instrument samples (data/ beside the tool) through an OpenAL Soft loopback device and writes the
// mix as a 16-bit stereo 44100 Hz WAV file.
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/vumo/tool_args.h"
#include "vumo/song_file.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-render";
constexpr const char* kUsage = "vumo-render [--seconds S] [--force] [--] SONG OUT.wav";
constexpr const char* kHelp =
    "Plays SONG (a .dat file or a song source) with the real player and samples through an OpenAL\n"
    "Soft loopback device and writes the mix as a 16-bit stereo 44100 Hz WAV file.\n"
    "  --seconds S  length to render (default 20, at most 3600)\n"
    "  --force      take a file without the song header as a compiled song all the same\n"
    "  --           the arguments after it are files, even when they start with -\n"
    "  --help       this text\n"
    "  --version    the tools' version\n"
    "Exit status: 0 written, 1 error, 2 bad usage.\n";
constexpr double kDefaultSeconds = 20;
constexpr double kMostSeconds = 3600;

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  std::string song, out;
  double seconds = kDefaultSeconds;
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
    } else if (arg == "--seconds") {
      if (i + 1 >= argc || !vumo::parseSeconds(argv[i + 1], kMostSeconds, seconds)) {
        return vumo::usageError(kTool, "--seconds needs a number above 0 and at most 3600", kUsage);
      }
      ++i;
      continue;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    }
    if (song.empty()) {
      song = arg;
    } else if (out.empty()) {
      out = arg;
    } else {
      return vumo::usageError(kTool, "too many arguments", kUsage);
    }
  }
  if (out.empty()) return vumo::usageError(kTool, "a song and an output file are needed", kUsage);
  vumo::PreparedSong prepared;
  std::vector<vumo::SourceWarning> warnings;
  std::string problem;
  if (!prepared.prepare(song, rules, problem, &warnings)) return vumo::failWith(kTool, problem);
  for (const vumo::SourceWarning& warning : warnings) {
    std::fprintf(stderr, "%s\n", vumo::warningLine(song, warning).c_str());
  }

  const int ticks = static_cast<int>(std::lround(seconds * vumo::kTicksPerSecond));
  std::vector<int16_t> frames;
  std::string error;
  if (!vumo::renderSong(prepared.datPath(), ticks, frames, error)) return vumo::failWith(kTool, error);
  if (!vumo::writeWav(out, frames)) return vumo::failWith(kTool, "cannot write " + out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
