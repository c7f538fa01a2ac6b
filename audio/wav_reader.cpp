// readWav: RIFF/WAVE with PCM only. Chunk sizes are taken as stored (no pad byte after an odd
// chunk), and chunks other than "data" are read and dropped rather than seeked over.
#include "audio/wav_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "audio/pcm_limits.h"

namespace {

struct FreeBlock {
  void operator()(unsigned char* block) const { std::free(block); }
};
using PcmBlock = std::unique_ptr<unsigned char, FreeBlock>;

constexpr int kSkipPieceBytes = 65536;

// Little-endian 32-bit value, or -1 when fewer than 4 bytes can be read.
int32_t read32(FILE* file) {
  unsigned char bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return -1;
  return static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                              uint32_t(bytes[3]) << 24);
}

// Little-endian 16-bit value (0-65535), or -1 when fewer than 2 bytes can be read.
int read16(FILE* file) {
  unsigned char bytes[2];
  if (std::fread(bytes, 1, 2, file) != 2) return -1;
  return bytes[0] | bytes[1] << 8;
}

bool readTag(FILE* file, const char* tag) {
  char bytes[4];
  return std::fread(bytes, 1, 4, file) == 4 && std::memcmp(bytes, tag, 4) == 0;
}

// Bytes between the read position and the end of the file, or -1 when the stream cannot tell.
long bytesLeft(FILE* file) {
  long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return end - here;
}

// A size read from the file that the rest of the file cannot hold (or that could not be read at
// all) marks a broken file: acting on it would allocate or read for bytes that do not exist.
bool plausibleSize(FILE* file, int32_t size) {
  if (size < 0) return false;
  long left = bytesLeft(file);
  return left < 0 || size <= left;
}

// Reads and drops `size` bytes through a bounded temporary block; false on a short read.
bool dropBytes(FILE* file, int32_t size) {
  PcmBlock piece(static_cast<unsigned char*>(std::malloc(std::min(size, kSkipPieceBytes) + 1)));
  if (!piece) return false;
  while (size > 0) {
    int want = std::min(size, kSkipPieceBytes);
    if (std::fread(piece.get(), 1, want, file) != static_cast<size_t>(want)) return false;
    size -= want;
  }
  return true;
}

}  // namespace

unsigned char* readWav(FILE* file, int& length, int& channels, int& bytesPerSample, int& rate) {
  if (file == nullptr) return nullptr;
  if (!readTag(file, "RIFF")) return nullptr;
  read32(file);  // RIFF size: not trusted, the chunks are walked instead
  if (!readTag(file, "WAVE")) return nullptr;
  if (!readTag(file, "fmt ")) return nullptr;
  int32_t formatSize = read32(file);
  if (read16(file) != 1) return nullptr;  // uncompressed PCM only
  int fileChannels = read16(file);
  int32_t fileRate = read32(file);
  read32(file);  // byte rate
  read16(file);  // block alignment
  int bits = read16(file);
  int fileBytesPerSample = bits < 0 ? 0 : bits / 8;
  // Depths below 8 bits or no channels leave no whole frame to count.
  if (fileChannels <= 0 || fileBytesPerSample <= 0) return nullptr;
  const int frameBytes = fileChannels * fileBytesPerSample;

  if (formatSize > 16) {
    int32_t extra = formatSize - 16;
    if (!plausibleSize(file, extra) || !dropBytes(file, extra)) return nullptr;
  }

  for (;;) {
    char id[4] = {0, 0, 0, 0};
    bool isData = std::fread(id, 1, 4, file) == 4 && std::memcmp(id, "data", 4) == 0;
    if (std::feof(file)) return nullptr;
    int32_t size = read32(file);
    if (!plausibleSize(file, size)) return nullptr;
    if (!isData) {
      if (!dropBytes(file, size)) return nullptr;
      continue;
    }
    if (size > kMaxDecodedPcmBytes) return nullptr;
    // One spare byte so that an empty data chunk still gives a block.
    PcmBlock block(static_cast<unsigned char*>(std::malloc(static_cast<size_t>(size) + 1)));
    if (!block) return nullptr;
    if (std::fread(block.get(), 1, size, file) == static_cast<size_t>(size)) {
      length = size / frameBytes;
      channels = fileChannels;
      bytesPerSample = fileBytesPerSample;
      rate = fileRate;
      return block.release();
    }
    // A short read leaves the file at its end, so the next pass of the loop returns null.
  }
}
