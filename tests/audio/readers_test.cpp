// readWav and readOgg on files built here (WAV) or committed (Ogg), including broken ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "audio/ogg_reader.h"
#include "audio/vorbis_decoder.h"
#include "audio/pcm_limits.h"
#include "audio/wav_reader.h"
#include "wav_builder.h"

namespace {

using Reader = unsigned char* (*)(FILE*, int&, int&, int&, int&);

struct Decoded {
  std::unique_ptr<unsigned char, decltype(&std::free)> data{nullptr, &std::free};
  int length = -7, channels = -7, bytesPerSample = -7, rate = -7;
};

Decoded decodeFile(FILE* file, Reader reader) {
  Decoded out;
  if (file == nullptr) return out;
  out.data.reset(reader(file, out.length, out.channels, out.bytesPerSample, out.rate));
  return out;
}

Decoded decodeBytes(const Bytes& bytes, Reader reader = readWav) {
  FILE* file = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  Decoded out = decodeFile(file, reader);
  std::fclose(file);
  return out;
}

std::string sourceFile(const char* relative) {
  const char* root = std::getenv("CORVANE_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/" + relative;
}

// --- WAV ---

struct Layout {
  int channels, bits;
  size_t dataBytes;
  int expectedFrames;
};

class WavLayouts : public testing::TestWithParam<Layout> {};

TEST_P(WavLayouts, LengthIsDataSizeOverFrameSize) {
  const Layout& p = GetParam();
  Bytes pcm = pattern(p.dataBytes);
  Decoded d = decodeBytes(pcmWav(p.channels, p.bits, 22050, pcm));
  ASSERT_NE(d.data, nullptr);
  EXPECT_EQ(d.length, p.expectedFrames);
  EXPECT_EQ(d.channels, p.channels);
  EXPECT_EQ(d.bytesPerSample, p.bits / 8);
  EXPECT_EQ(d.rate, 22050);
  if (!pcm.empty()) {
    EXPECT_EQ(std::memcmp(d.data.get(), pcm.data(), pcm.size()), 0) << "samples must come back as stored";
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, WavLayouts,
                         testing::Values(Layout{2, 16, 40000, 10000}, Layout{1, 16, 40000, 20000},
                                         Layout{1, 8, 999, 999}, Layout{2, 8, 1000, 500},
                                         Layout{2, 16, 7, 1},  // a partial frame is not counted
                                         Layout{1, 16, 0, 0}));

TEST(WavReader, SkipsExtraFormatBytesAndForeignChunks) {
  Bytes pcm = pattern(400);
  // An 18-byte format chunk, then a LIST chunk and an odd-sized chunk that is not padded: sizes
  // are taken exactly as stored.
  Decoded d = decodeBytes(riffFile({fmtChunk(1, 16, 8000, 1, 2), WavChunk{"LIST", pattern(26)},
                                    WavChunk{"cue ", pattern(3)}, dataChunk(pcm)}));
  ASSERT_NE(d.data, nullptr);
  EXPECT_EQ(d.length, 200);
  EXPECT_EQ(d.rate, 8000);
  EXPECT_EQ(std::memcmp(d.data.get(), pcm.data(), pcm.size()), 0);
}

TEST(WavReader, RejectsWrongHeadersAndOrder) {
  Bytes pcm = pattern(100);
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000), dataChunk(pcm)}, "RIFX")).data, nullptr);
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000), dataChunk(pcm)}, "riff")).data, nullptr);
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000), dataChunk(pcm)}, "RIFF", "AVI ")).data, nullptr);
  EXPECT_EQ(decodeBytes(riffFile({WavChunk{"LIST", pattern(4)}, fmtChunk(1, 16, 8000), dataChunk(pcm)})).data,
            nullptr)
      << "the format chunk must come first";
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000, 3), dataChunk(pcm)})).data, nullptr) << "float WAV";
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000), WavChunk{"LIST", pattern(8)}})).data, nullptr)
      << "no data chunk";
  EXPECT_EQ(decodeBytes(Bytes{'R', 'I', 'F', 'F', 1, 0}).data, nullptr);
  EXPECT_EQ(decodeBytes(Bytes{}).data, nullptr);
}

TEST(WavReader, RejectsTruncatedData) {
  Bytes file = pcmWav(2, 16, 44100, pattern(1000));
  file.resize(file.size() - 500);
  EXPECT_EQ(decodeBytes(file).data, nullptr);
}

TEST(WavReader, RejectsFormatsWithoutWholeFrames) {
  EXPECT_EQ(decodeBytes(pcmWav(0, 16, 8000, pattern(64))).data, nullptr) << "no channels";
  EXPECT_EQ(decodeBytes(pcmWav(1, 4, 8000, pattern(64))).data, nullptr) << "4-bit samples";
  // A format chunk cut off before its bits-per-sample field.
  Bytes cut = riffFile({fmtChunk(1, 16, 8000)});
  cut.resize(cut.size() - 2);
  EXPECT_EQ(decodeBytes(cut).data, nullptr);
}

TEST(WavReader, RejectsChunkSizesTheFileCannotHold) {
  Bytes pcm = pattern(100);
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000), WavChunk{"data", pcm, 0xFFFFFFFF}})).data, nullptr);
  EXPECT_EQ(decodeBytes(riffFile({fmtChunk(1, 16, 8000), WavChunk{"data", pcm, 0x7FFFFFF0}})).data, nullptr);
  EXPECT_EQ(
      decodeBytes(riffFile({fmtChunk(1, 16, 8000), WavChunk{"LIST", pattern(4), 0xFFFFFFFF}, dataChunk(pcm)}))
          .data,
      nullptr);
  EXPECT_EQ(
      decodeBytes(riffFile({fmtChunk(1, 16, 8000), WavChunk{"LIST", pattern(4), 0x7FFFFFF0}, dataChunk(pcm)}))
          .data,
      nullptr);
  WavChunk hugeFormat = fmtChunk(1, 16, 8000);
  hugeFormat.declaredSize = 0x7FFFFFF0;
  EXPECT_EQ(decodeBytes(riffFile({hugeFormat, dataChunk(pcm)})).data, nullptr);
  // The last chunk's size field cut off (a read of -1).
  Bytes cut = riffFile({fmtChunk(1, 16, 8000)});
  cut.insert(cut.end(), {'d', 'a', 't', 'a', 4, 0});
  EXPECT_EQ(decodeBytes(cut).data, nullptr);
}

TEST(WavReader, CapsDataAtTheDecodedLimit) {
  // Sparse files: the header and then a hole that reads as zeros.
  for (int64_t size : {int64_t(kMaxDecodedPcmBytes), int64_t(kMaxDecodedPcmBytes) + 2}) {
    Bytes header = riffFile({fmtChunk(1, 16, 44100), WavChunk{"data", {}, size}});
    FILE* file = std::tmpfile();
    std::fwrite(header.data(), 1, header.size(), file);
    ASSERT_EQ(ftruncate(fileno(file), off_t(header.size() + size)), 0);
    std::rewind(file);
    Decoded d = decodeFile(file, readWav);
    std::fclose(file);
    if (size <= kMaxDecodedPcmBytes) {
      ASSERT_NE(d.data, nullptr) << size;
      EXPECT_EQ(d.length, size / 2);
    } else {
      EXPECT_EQ(d.data, nullptr) << size;
    }
  }
}

// --- Ogg ---

// tests/audio/data/stereo_10000.ogg holds 10000 stereo frames at 44100 Hz (440 Hz left-and-right
// plus 660 Hz, -6 dB). Made with:
//   sox -r 44100 -c 2 -n -b 16 tone.wav synth 10000s sine 440 sine 660 gain -6
//   oggenc -Q -q 2 --serial 1 --discard-comments -o stereo_10000.ogg tone.wav
// The stream's last granule position trims the final Vorbis block, so it decodes to exactly 10000.
TEST(OggReader, DecodesTheWholeStream) {
  FILE* file = std::fopen(sourceFile("tests/audio/data/stereo_10000.ogg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Decoded d = decodeFile(file, readOgg);
  EXPECT_NE(std::ftell(file), -1) << "the reader must leave the file open";
  std::fclose(file);
  ASSERT_NE(d.data, nullptr);
  EXPECT_EQ(d.length, 10000);
  EXPECT_EQ(d.channels, 2);
  EXPECT_EQ(d.bytesPerSample, 2);
  EXPECT_EQ(d.rate, 44100);
  // Lossy, but a -6 dB tone must come out loud in both channels, in the middle of the stream.
  const int16_t* samples = reinterpret_cast<const int16_t*>(d.data.get());
  double sum[2] = {0, 0};
  for (int frame = 2000; frame < 8000; ++frame) {
    for (int c = 0; c < 2; ++c) sum[c] += double(samples[frame * 2 + c]) * samples[frame * 2 + c];
  }
  for (double s : sum) EXPECT_GT(std::sqrt(s / 6000), 4000.0);
}

TEST(OggReader, RejectsStreamsItCannotOpen) {
  FILE* file = std::fopen(sourceFile("tests/audio/data/stereo_10000.ogg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Bytes ogg(20000);
  ogg.resize(std::fread(ogg.data(), 1, ogg.size(), file));
  std::fclose(file);
  ASSERT_GT(ogg.size(), 1000u);

  Bytes headerOnly(ogg.begin(), ogg.begin() + 60);
  EXPECT_EQ(decodeBytes(headerOnly, readOgg).data, nullptr) << "cut inside the setup headers";
  Bytes scrambled = ogg;
  for (size_t i = 28; i < 200; ++i) scrambled[i] ^= 0x5A;  // the Vorbis identification header
  EXPECT_EQ(decodeBytes(scrambled, readOgg).data, nullptr);
  EXPECT_EQ(decodeBytes(pcmWav(2, 16, 44100, pattern(4000)), readOgg).data, nullptr) << "a WAV file";
  EXPECT_EQ(decodeBytes(Bytes{}, readOgg).data, nullptr);
}

// A 4.7 KB stream whose setup header declares a codebook of entries x dimensions lookup values
// that the decoder would allocate (2.6 GB) and then fill bit by bit. The decoder is held to 32 MiB;
// an ordinary stream needs a small part of that.
TEST(OggReader, HoldsTheDecoderToItsMemoryLimit) {
  takeVorbisPeakBytes();
  FILE* file = std::fopen(sourceFile("tests/audio/data/stereo_10000.ogg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Decoded good = decodeFile(file, readOgg);
  std::fclose(file);
  ASSERT_NE(good.data, nullptr);
  size_t ordinary = takeVorbisPeakBytes();
  EXPECT_GT(ordinary, 0u);
  EXPECT_LT(ordinary, 1u << 20);

  file = std::fopen(sourceFile("tests/fuzz/regressions/ogg/refused-codebook-asks-for-gigabytes.ogg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Decoded hostile = decodeFile(file, readOgg);
  std::fclose(file);
  EXPECT_EQ(hostile.data, nullptr);
  EXPECT_LE(takeVorbisPeakBytes(), size_t{32} << 20);
}

}  // namespace
