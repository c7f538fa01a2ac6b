// One libFuzzer entry for every target: the input is written to a file in a private temporary
// directory and handed to the target's feeder by path, as the program's loaders take files.
// FUZZ_FEEDER and FUZZ_EXTENSION are defined per target by fuzz/CMakeLists.txt.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/feeders.h"

namespace {

std::string inputPath;

bool writeInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(inputPath.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

void removeDirectory(const std::string& directory) {
  std::remove(inputPath.c_str());
  std::remove((directory + "/" + fuzzfeed::kPageName).c_str());
  rmdir(directory.c_str());
}

std::string directory;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed when there is one: every input is a file write.
  std::string pattern =
      access("/dev/shm", W_OK) == 0 ? "/dev/shm/corvane-fuzz-XXXXXX" : "/tmp/corvane-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  directory = pattern;
  inputPath = directory + "/input" FUZZ_EXTENSION;
  if (!fuzzfeed::writePage(directory)) {
    std::perror("page picture");
    std::exit(1);
  }
  std::atexit([] { removeDirectory(directory); });
  fuzzfeed::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!writeInput(data, size)) return 0;
  fuzzfeed::FUZZ_FEEDER(inputPath);
  return 0;
}
