// readOgg: decodes a whole Ogg Vorbis stream with stb_vorbis (the implementation is in libstb)
// into a block that doubles as it fills, so decoding stays amortised linear.
#include "audio/ogg_reader.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "audio/pcm_limits.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

namespace {

struct CloseDecoder {
  void operator()(stb_vorbis* decoder) const { stb_vorbis_close(decoder); }
};
struct FreeBlock {
  void operator()(short* block) const { std::free(block); }
};

// Every decode call is offered at least this many frames of room.
constexpr size_t kFramesOfRoom = 4096;

}  // namespace

unsigned char* readOgg(FILE* file, int& length, int& channels, int& bytesPerSample, int& rate) {
  if (file == nullptr) return nullptr;
  int error = 0;
  // The decoder does not own the file: the caller closes it.
  std::unique_ptr<stb_vorbis, CloseDecoder> decoder(stb_vorbis_open_file(file, 0, &error, nullptr));
  if (!decoder) return nullptr;
  stb_vorbis_info info = stb_vorbis_get_info(decoder.get());
  const int streamChannels = info.channels;
  if (streamChannels <= 0) return nullptr;

  const size_t room = streamChannels * kFramesOfRoom;
  const size_t maxSamples = kMaxDecodedPcmBytes / sizeof(short);
  size_t capacity = room;  // in samples
  size_t fill = 0;
  int frames = 0;
  std::unique_ptr<short, FreeBlock> block(static_cast<short*>(std::malloc(capacity * sizeof(short))));
  if (!block) return nullptr;
  for (;;) {
    int n = stb_vorbis_get_samples_short_interleaved(decoder.get(), streamChannels, block.get() + fill,
                                                     static_cast<int>(capacity - fill));
    if (n <= 0) break;
    frames += n;
    fill += static_cast<size_t>(n) * streamChannels;
    if (fill > maxSamples) return nullptr;
    if (capacity < fill + room) {
      // Doubling, but never past what the cap can still need.
      size_t grown = std::min(capacity * 2, maxSamples + room);
      short* moved = static_cast<short*>(std::realloc(block.get(), grown * sizeof(short)));
      if (moved == nullptr) return nullptr;
      block.release();
      block.reset(moved);
      capacity = grown;
    }
  }
  length = frames;
  channels = streamChannels;
  bytesPerSample = 2;
  rate = static_cast<int>(info.sample_rate);
  return reinterpret_cast<unsigned char*>(block.release());
}
