// readOgg: decodes a whole Ogg Vorbis stream with stb_vorbis (the implementation is in libstb)
// into a block that doubles as it fills, so decoding stays amortised linear.
#include "audio/ogg_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/pcm_limits.h"
#include "audio/vorbis_decoder.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

namespace {

// Declared before the decoder, so that it runs after the decoder is closed.
struct ReleaseLeftovers {
  ~ReleaseLeftovers() { releaseVorbisLeftovers(); }
};
struct CloseDecoder {
  void operator()(stb_vorbis* decoder) const { stb_vorbis_close(decoder); }
};
struct FreeBlock {
  void operator()(short* block) const { std::free(block); }
};

// Every decode call is offered at least this many frames of room.
constexpr size_t kFramesOfRoom = 4096;

// A comment header larger than this (cover pictures run to a few hundred kilobytes) is refused.
constexpr size_t kMaxCommentPacketBytes = 16 * 1024 * 1024;

uint32_t little32(const unsigned char* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// The second packet of the stream (the comment header), reassembled across pages; false when the
// stream ends before it does.
bool readCommentPacket(FILE* file, std::vector<unsigned char>& packet) {
  int packetIndex = 0;
  for (;;) {
    unsigned char header[27];
    if (std::fread(header, 1, 27, file) != 27 || header[0] != 'O' || header[1] != 'g' || header[2] != 'g' ||
        header[3] != 'S') {
      return false;
    }
    unsigned char lacing[255];
    const int segments = header[26];
    if (std::fread(lacing, 1, segments, file) != static_cast<size_t>(segments)) return false;
    for (int s = 0; s < segments; ++s) {
      if (packetIndex == 1) {
        size_t at = packet.size();
        if (at + lacing[s] > kMaxCommentPacketBytes) return false;
        packet.resize(at + lacing[s]);
        if (std::fread(packet.data() + at, 1, lacing[s], file) != lacing[s]) return false;
        if (lacing[s] < 255) return true;
      } else {
        if (std::fseek(file, lacing[s], SEEK_CUR) != 0) return false;
        if (lacing[s] < 255) ++packetIndex;
      }
    }
  }
}

// The decoder allocates what the comment header's lengths say before it reads the bytes, so a
// hostile length would have it allocate (and fill) gigabytes, or wrap its size arithmetic. The
// lengths must fit inside the packet that holds them. Other malformations are the decoder's to
// reject. The file is left where it was.
bool commentLengthsFit(FILE* file) {
  long start = std::ftell(file);
  if (start < 0) return false;
  std::vector<unsigned char> packet;
  bool whole = readCommentPacket(file, packet);
  if (std::fseek(file, start, SEEK_SET) != 0) return false;
  if (!whole) return false;
  size_t at = 7;  // packet type and "vorbis"
  auto lengthFits = [&](bool skipBytes) {
    if (packet.size() < at + 4) return false;
    uint32_t length = little32(packet.data() + at);
    at += 4;
    if (!skipBytes) return length <= (packet.size() - at) / 4;  // a count of 4-byte lengths
    if (length > packet.size() - at) return false;
    at += length;
    return true;
  };
  if (packet.size() < at) return false;
  if (!lengthFits(true)) return false;  // vendor
  if (packet.size() < at + 4) return false;
  uint32_t comments = little32(packet.data() + at);
  if (!lengthFits(false)) return false;
  for (uint32_t c = 0; c < comments; ++c) {
    if (!lengthFits(true)) return false;
  }
  return true;
}

}  // namespace

unsigned char* readOgg(FILE* file, int& length, int& channels, int& bytesPerSample, int& rate) {
  if (file == nullptr) return nullptr;
  if (!commentLengthsFit(file)) return nullptr;
  int error = 0;
  ReleaseLeftovers releaseAfterClose;
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
