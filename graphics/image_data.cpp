// The host's picture decoder: a file opened through the host's file layer, decoded by stb_image
// with the file's own channel count. Pictures too large to be textures are refused before they
// are decoded, so a hostile header cannot make us allocate gigabytes.
#include <stb/stb_image.h>

#include <cstdio>

#include "host/game.h"
#include "runtime/collector.h"

namespace {

// Larger than any texture this program's OpenGL drivers accept.
constexpr int kMaxImageSide = 16384;

struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

}  // namespace

unsigned char* VxGlfwGame::loadImageData(const String& path, int& width, int& height, int& depth) {
  FILE* file = openHostFile(path, String("rb"));
  if (file == nullptr) return nullptr;
  FileCloser closer{file};

  long start = std::ftell(file);
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_file(file, &w, &h, &channels)) return nullptr;
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return nullptr;
  // The probe reads the header; decoding must start from the same place again.
  if (start < 0 || std::fseek(file, start, SEEK_SET) != 0) return nullptr;

  unsigned char* data = stbi_load_from_file(file, &w, &h, &channels, 0);
  if (data == nullptr) return nullptr;
  if (channels < 1 || channels > 4) {
    stbi_image_free(data);
    return nullptr;
  }
  width = w;
  height = h;
  depth = channels;
  addExternalBytes(static_cast<int64_t>(w) * h * channels);
  return data;
}
