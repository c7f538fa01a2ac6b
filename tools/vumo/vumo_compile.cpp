// vumo-compile SOURCE OUT.dat: compiles a song source (format: vumo-song(5)) into the
// player's format, and writes it only after the framework's text loader and the player itself
// have read every value back as written.
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/vumo/tool_args.h"
#include "vumo/song_compiler.h"
#include "vumo/song_file.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-compile";
constexpr const char* kUsage = "vumo-compile [--Werror] [-v] [--] SOURCE OUT.dat";
constexpr const char* kHelp =
    "Compiles a song source into the player's .dat format. Warnings (FILE:LINE: warning: reason\n"
    "[KIND]) are printed on standard error for what is valid but almost always a mistake; each says\n"
    "how to silence it: a comment \"# allow KIND: why\" on its row, or alone on the line above it.\n"
    "vumo-song(5) describes the source format and lists the kinds.\n"
    "  --Werror    treat warnings as errors: nothing is written and the status is 1\n"
    "  -v          also print the song's length: positions, rows and playing time\n"
    "  --          the arguments after it are files, even when they start with -\n"
    "  --help      this text\n"
    "  --version   the tools' version\n"
    "Exit status: 0 written, 1 error, 2 bad usage.\n";

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  bool warningsAreErrors = false;
  bool verbose = false;
  bool optionsEnded = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded) {
      files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--Werror") {
      warningsAreErrors = true;
    } else if (arg == "-v" || arg == "--verbose") {
      verbose = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return vumo::usageError(kTool, "a source and an output file are needed", kUsage);
  const std::string sourcePath = files[0], outPath = files[1];
  std::string source, problem;
  if (!vumo::readSongFile(sourcePath, source, problem, "source file")) return vumo::failWith(kTool, problem);
  switch (vumo::songFileKind(source)) {
    case vumo::SongFileKind::kEmpty:
      return vumo::failWith(kTool, sourcePath + ": empty file");
    case vumo::SongFileKind::kSong:
      return vumo::failWith(kTool, sourcePath + ": a compiled song, not a song source (vumo-decompile " +
                                       sourcePath + " OUT gives its source)");
    case vumo::SongFileKind::kBinary:
      return vumo::failWith(kTool, sourcePath + ": not a song source (binary data)");
    case vumo::SongFileKind::kText:
      break;
  }

  vumo::Song song;
  vumo::SourceError error;
  std::vector<vumo::SourceWarning> warnings;
  if (!vumo::compileSource(source, song, error, &warnings)) {
    std::string where = error.line > 0 ? sourcePath + ":" + std::to_string(error.line) : sourcePath;
    return vumo::failWith(kTool, where + ": " + error.reason);
  }
  for (const vumo::SourceWarning& warning : warnings) {
    std::fprintf(stderr, "%s\n",
                 vumo::warningLine(sourcePath, warning, warningsAreErrors ? "error" : "warning").c_str());
  }
  if (warningsAreErrors && !warnings.empty()) return vumo::kExitError;
  if (verbose) std::printf("%s\n", vumo::lengthLine(sourcePath, song).c_str());
  const std::vector<unsigned char> bytes = vumo::encodeSong(song);
  const int length = vumo::encodedLength(song);
  problem = vumo::checkDecodesAsWritten(bytes, length);
  if (!problem.empty()) return vumo::failWith(kTool, outPath + " not written: " + problem);

  // Written beside the target first, so that a refused file never replaces a good one.
  const std::string temporary = outPath + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
      std::remove(temporary.c_str());
      return vumo::failWith(kTool, "cannot write " + outPath);
    }
  }
  vumo::ensureHostGame();
  problem = vumo::checkPlayerReads(vumo::absolutePath(temporary), song);
  if (!problem.empty()) {
    std::remove(temporary.c_str());
    return vumo::failWith(kTool, outPath + " not written: " + problem);
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
