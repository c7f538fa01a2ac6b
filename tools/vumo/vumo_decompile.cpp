// vumo-decompile SONG.dat OUT: writes a song source (format: vumo-song(5)) that compiles back to
// the same .dat byte for byte when the compiler could have written it; other files the player loads
// give the closest source, with a "# not kept:" comment line for each value it cannot hold.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/vumo/tool_args.h"
#include "vumo/song_decompiler.h"
#include "vumo/song_file.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-decompile";
constexpr const char* kUsage = "vumo-decompile [--force] [--] SONG.dat OUT";
constexpr const char* kHelp =
    "Writes the song source of a .dat file to OUT (\"-\": standard output). A file the compiler\n"
    "wrote compiles back to the same bytes; for any other file the player loads, every value the\n"
    "source cannot hold is named in a \"# not kept:\" comment line, and listed on standard error.\n"
    "Patterns are named by their order of first use (a1, a2 ...); OUT may not be SONG.dat itself.\n"
    "  --force     take a file without the song header as a compiled song all the same\n"
    "  --          the arguments after it are files, even when they start with -\n"
    "  --help      this text\n"
    "  --version   the tools' version\n"
    "Exit status: 0 written, 1 error, 2 bad usage.\n";

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  std::vector<std::string> files;
  vumo::SongFileRules rules;
  rules.sourceAllowed = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--force") {
      rules.force = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return vumo::usageError(kTool, "a song and an output file are needed", kUsage);
  const std::string songPath = files[0], outPath = files[1];
  vumo::PreparedSong prepared;
  std::string error;
  if (!prepared.prepare(songPath, rules, error)) return vumo::failWith(kTool, error);
  // Writing the source over the song would lose the song.
  struct stat in {
  }, out{};
  if (outPath != "-" && stat(songPath.c_str(), &in) == 0 && stat(outPath.c_str(), &out) == 0 &&
      in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
    return vumo::failWith(kTool, outPath + ": is the song itself; give another file for the source");
  }

  vumo::Decompiled result;
  if (!vumo::decompileFile(songPath, result, error)) return vumo::failWith(kTool, error);
  for (const std::string& line : result.notKept) {
    std::fprintf(stderr, "%s: %s: not kept: %s\n", kTool, songPath.c_str(), line.c_str());
  }
  if (outPath == "-") {
    if (std::fwrite(result.source.data(), 1, result.source.size(), stdout) != result.source.size() ||
        std::fflush(stdout) != 0) {
      return vumo::failWith(kTool, "cannot write the source to standard output");
    }
    return 0;
  }
  const std::string temporary = outPath + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(result.source.data(), static_cast<std::streamsize>(result.source.size()));
    if (!file.flush()) {
      std::remove(temporary.c_str());
      return vumo::failWith(kTool, "cannot write " + outPath);
    }
  }
  if (std::rename(temporary.c_str(), outPath.c_str()) != 0) {
    std::remove(temporary.c_str());
    return vumo::failWith(kTool, "cannot write " + outPath);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
