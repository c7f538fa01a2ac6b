// vumo-compile SOURCE OUT.dat: compiles a song source (format: song_compiler.cpp) into the
// player's format, and writes it only after the framework's text loader and the player itself
// have read every value back as written.
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/vumo/song_compiler.h"
#include "tools/vumo/song_runner.h"
#include "tools/vumo/tool_args.h"

namespace {

constexpr const char* kTool = "vumo-compile";

constexpr const char* kHelp =
    "usage: vumo-compile SOURCE OUT.dat\n"
    "\n"
    "Compiles a song source (see vumo-song(5)) into the player's .dat format. A malformed source is\n"
    "refused as SOURCE:LINE: reason. OUT.dat is written only after the framework's text loader and\n"
    "the player have read every value back as written; a refused file never replaces an old one.\n"
    "\n"
    "  --help         this text\n";

int run(int argc, char** argv) {
  if (vumo::asksForHelp(argc, argv)) return vumo::printHelp(kHelp);
  if (argc != 3) return vumo::failWith(kTool, "usage: vumo-compile SOURCE OUT.dat");
  const std::string sourcePath = argv[1], outPath = argv[2];
  std::ifstream in(sourcePath, std::ios::binary);
  std::stringstream source;
  if (!in || !(source << in.rdbuf())) {
    // An empty file is a source without speed or order: let the compiler say so.
    if (!in.is_open() || in.bad()) return vumo::failWith(kTool, "cannot read source file " + sourcePath);
  }

  vumo::Song song;
  vumo::SourceError error;
  if (!vumo::compileSource(source.str(), song, error)) {
    std::string where = error.line > 0 ? sourcePath + ":" + std::to_string(error.line) : sourcePath;
    return vumo::failWith(kTool, where + ": " + error.reason);
  }
  const std::vector<unsigned char> bytes = vumo::encodeSong(song);
  const int length = vumo::encodedLength(song);
  std::string problem = vumo::checkDecodesAsWritten(bytes, length);
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
