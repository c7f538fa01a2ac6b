// vumo-decompile SONG.dat OUT: writes a song source (format: song_compiler.cpp) that compiles back to
// the same .dat byte for byte when the compiler could have written it; other files the player loads
// give the closest source, with a "# not kept:" comment line for each value it cannot hold.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/vumo/tool_args.h"
#include "vumo/song_decompiler.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-decompile";
constexpr const char* kUsage = "vumo-decompile SONG.dat OUT";
constexpr const char* kHelp =
    "Writes the song source of a .dat file to OUT (\"-\": standard output). A file the compiler\n"
    "wrote compiles back to the same bytes; for any other file the player loads, every value the\n"
    "source cannot hold is named in a \"# not kept:\" comment line, and listed on standard error.\n"
    "  --help      this text\n"
    "  --version   the tools' version\n"
    "Exit status: 0 written, 1 error, 2 bad usage.\n";

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() > 1 && arg[0] == '-') return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    files.push_back(arg);
  }
  if (files.size() != 2) return vumo::usageError(kTool, "a song and an output file are needed", kUsage);
  const std::string songPath = files[0], outPath = files[1];
  if (!vumo::readableFile(songPath)) return vumo::failWith(kTool, "cannot read song file " + songPath);

  vumo::Decompiled result;
  std::string error;
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
