// Builds WAV files byte by byte for the reader and loader tests, including broken ones.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct WavChunk {
  std::string id;  // 4 characters
  Bytes body;
  int64_t declaredSize = -2;  // -2: the body's size; anything else is written as stored
};

inline void put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void put16(Bytes& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

inline WavChunk fmtChunk(int channels, int bits, int rate, int tag = 1, int extraBytes = 0) {
  WavChunk chunk{"fmt ", {}};
  put16(chunk.body, uint16_t(tag));
  put16(chunk.body, uint16_t(channels));
  put32(chunk.body, uint32_t(rate));
  put32(chunk.body, uint32_t(rate * channels * (bits / 8)));
  put16(chunk.body, uint16_t(channels * (bits / 8)));
  put16(chunk.body, uint16_t(bits));
  for (int i = 0; i < extraBytes; ++i) chunk.body.push_back(0);
  return chunk;
}

inline WavChunk dataChunk(const Bytes& pcm) {
  return WavChunk{"data", pcm};
}

inline Bytes riffFile(const std::vector<WavChunk>& chunks, const char* riffTag = "RIFF",
                      const char* waveTag = "WAVE") {
  Bytes out(riffTag, riffTag + 4);
  put32(out, 0);  // patched below
  out.insert(out.end(), waveTag, waveTag + 4);
  for (const WavChunk& chunk : chunks) {
    out.insert(out.end(), chunk.id.begin(), chunk.id.end());
    put32(out, uint32_t(chunk.declaredSize == -2 ? int64_t(chunk.body.size()) : chunk.declaredSize));
    out.insert(out.end(), chunk.body.begin(), chunk.body.end());
  }
  uint32_t riffSize = uint32_t(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(riffSize >> (8 * i));
  return out;
}

// A counting byte pattern, so that a misplaced read shows up as wrong data.
inline Bytes pattern(size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = uint8_t(i * 7 + 3);
  return out;
}

inline Bytes pcmWav(int channels, int bits, int rate, const Bytes& pcm) {
  return riffFile({fmtChunk(channels, bits, rate), dataChunk(pcm)});
}

// A scratch directory under $TMPDIR (or /tmp), removed with its files.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base ? base : "/tmp") + "/corvane-audio-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
  }
  TempDir(const TempDir&) = delete;
  ~TempDir() {
    for (const std::string& file : files_) std::remove(file.c_str());
    if (!path_.empty()) rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string write(const std::string& name, const Bytes& bytes) {
    std::string file = path_ + "/" + name;
    if (FILE* out = std::fopen(file.c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
    }
    files_.push_back(file);
    return file;
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};
