// WAV encoding for the instrument samples.
#include "wav_writer.h"

#include <cstdio>
#include <fstream>

namespace assets {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

}  // namespace

std::vector<uint8_t> encodeWavMono16(uint32_t sampleRate, const std::vector<int16_t>& samples) {
  const uint16_t kChannels = 1, kBits = 16, kBlockAlign = kChannels * kBits / 8;
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size()) * kBlockAlign;
  std::vector<uint8_t> out;
  out.reserve(44 + dataBytes);
  putTag(out, "RIFF");
  put32(out, 36 + dataBytes);
  putTag(out, "WAVE");
  putTag(out, "fmt ");
  put32(out, 16);
  put16(out, 1);  // PCM
  put16(out, kChannels);
  put32(out, sampleRate);
  put32(out, sampleRate * kBlockAlign);
  put16(out, kBlockAlign);
  put16(out, kBits);
  putTag(out, "data");
  put32(out, dataBytes);
  for (int16_t s : samples) put16(out, static_cast<uint16_t>(s));
  return out;
}

bool writeWavMono16(const std::string& path, uint32_t sampleRate, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes = encodeWavMono16(sampleRate, samples);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace assets
