// The committed pictures, fonts and samples have the sizes, layouts and levels that the intro's
// drawing and the song player rely on.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kData = ASSET_DATA_DIR;

struct Picture {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> rgba;  // always expanded to four channels
  uint8_t alpha(int x, int y) const { return rgba[4 * (static_cast<size_t>(y) * width + x) + 3]; }
  const uint8_t* pixel(int x, int y) const { return &rgba[4 * (static_cast<size_t>(y) * width + x)]; }
  float luminance(int x, int y) const {
    const uint8_t* p = pixel(x, y);
    return (0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]) / 255.0f;
  }
};

Picture load(const std::string& name) {
  Picture pic;
  unsigned char* data = stbi_load((kData + "/" + name).c_str(), &pic.width, &pic.height, &pic.channels, 4);
  if (data) {
    pic.rgba.assign(data, data + 4 * static_cast<size_t>(pic.width) * pic.height);
    stbi_image_free(data);
  }
  return pic;
}

// Total alpha inside one cell of a strip font.
long cellInk(const Picture& font, int cellWidth, int index) {
  long sum = 0;
  for (int y = 0; y < font.height; ++y)
    for (int x = index * cellWidth; x < (index + 1) * cellWidth; ++x) sum += font.alpha(x, y);
  return sum;
}

const std::string kScrollText =
    "hi folks... this is a brackenfold intro for presenting a few demosongs for vumo-tracker ! YEAH... "
    "That is the REAL Replay ! i'm still here and doing my stuff, however. Greetings to the ZUVEVIRUZURARI "
    "and the rest of the WORLD !";
const std::string kHelpLines[] = {"   press f1-f12 to select a song !", "     ENTER = for reset current !",
                                  " now playing... "};

}  // namespace

TEST(Pictures, HaveTheSizesTheyAreDrawnWith) {
  struct Expect {
    const char* name;
    int minWidth, minHeight, channels;
  } expects[] = {{"back.png", 640, 480, 3},   {"scanlines.png", 640, 480, 4}, {"stars.png", 640, 160, 4},
                 {"stars2.png", 640, 160, 4}, {"ball.png", 56, 56, 4},        {"ball_shadow.png", 56, 56, 4},
                 {"cubetex.png", 64, 64, 3}};
  for (const Expect& e : expects) {
    Picture p = load(e.name);
    ASSERT_FALSE(p.rgba.empty()) << e.name << " does not decode";
    EXPECT_GE(p.width, e.minWidth) << e.name;
    EXPECT_GE(p.height, e.minHeight) << e.name;
    EXPECT_EQ(p.channels, e.channels) << e.name;
  }
  // Full-screen layers must be exactly the screen; the balls must fit the grid's 64-pixel pitch.
  EXPECT_EQ(load("back.png").width, 640);
  EXPECT_EQ(load("scanlines.png").height, 480);
  Picture ball = load("ball.png"), shadow = load("ball_shadow.png");
  EXPECT_LE(ball.width, 64);
  EXPECT_EQ(ball.width, ball.height);
  EXPECT_EQ(shadow.width, ball.width);
  EXPECT_EQ(shadow.height, ball.height);
}

TEST(Pictures, BallIsOpaqueInsideWithASoftRoundEdge) {
  Picture ball = load("ball.png");
  ASSERT_FALSE(ball.rgba.empty());
  int n = ball.width;
  EXPECT_EQ(ball.alpha(n / 2, n / 2), 255);
  EXPECT_EQ(ball.alpha(0, 0), 0);
  EXPECT_EQ(ball.alpha(n - 1, n - 1), 0);
  int partial = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) partial += ball.alpha(x, y) > 0 && ball.alpha(x, y) < 255;
  EXPECT_GT(partial, 100) << "the outline should be anti-aliased, not cut";
  // The highlight sits in the upper left and is much brighter than the lower right.
  EXPECT_GT(ball.luminance(n / 3, n / 3), ball.luminance(2 * n / 3, 2 * n / 3) + 0.3f);
}

TEST(Pictures, ReflectionIsDarkerAndFadesDownwards) {
  Picture ball = load("ball.png"), shadow = load("ball_shadow.png");
  ASSERT_FALSE(shadow.rgba.empty());
  long topAlpha = 0, bottomAlpha = 0;
  float brightestBall = 0, brightestShadow = 0;
  for (int y = 0; y < shadow.height; ++y)
    for (int x = 0; x < shadow.width; ++x) {
      (y < shadow.height / 2 ? topAlpha : bottomAlpha) += shadow.alpha(x, y);
      brightestBall = std::max(brightestBall, ball.luminance(x, y) * ball.alpha(x, y) / 255.0f);
      brightestShadow = std::max(brightestShadow, shadow.luminance(x, y) * shadow.alpha(x, y) / 255.0f);
    }
  EXPECT_GT(topAlpha, 2 * bottomAlpha);
  EXPECT_LT(brightestShadow, 0.6f * brightestBall);
  for (int x = 0; x < shadow.width; ++x) EXPECT_LT(shadow.alpha(x, shadow.height - 1), 8);
}

TEST(Pictures, BackdropStaysDarkBehindWhiteText) {
  Picture back = load("back.png");
  ASSERT_FALSE(back.rgba.empty());
  auto brightestIn = [&](int y0, int y1) {
    float b = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = 0; x < back.width; ++x) b = std::max(b, back.luminance(x, y));
    return b;
  };
  // The rows behind the key help, the scroller with its wave, its mirror and the song title.
  const int kTextBands[][2] = {{20, 66}, {224, 284}, {364, 424}, {420, 446}};
  for (const auto& band : kTextBands)
    EXPECT_LT(brightestIn(band[0], band[1]), 0.25f) << "rows " << band[0] << "-" << band[1];
  float overall = brightestIn(0, back.height);
  EXPECT_LT(overall, 0.45f);
  EXPECT_GT(overall, 0.05f) << "a backdrop that is black everywhere is no backdrop";
}

TEST(Pictures, ScanlinesDarkenEveryOtherRowOverTransparency) {
  Picture lines = load("scanlines.png");
  ASSERT_FALSE(lines.rgba.empty());
  for (int y = 200; y < 280; ++y) {
    const uint8_t* p = lines.pixel(320, y);
    EXPECT_EQ(p[0] + p[1] + p[2], 0) << "row " << y;
    if (y % 2 == 0) {
      EXPECT_EQ(p[3], 0) << "row " << y;
    } else {
      EXPECT_GT(p[3], 40) << "row " << y;
    }
  }
}

TEST(Pictures, StarStripsCarryStarsAcrossTheSeam) {
  for (const char* name : {"stars.png", "stars2.png"}) {
    Picture s = load(name);
    ASSERT_FALSE(s.rgba.empty()) << name;
    int last = s.width - 1;
    for (int y = 0; y < 160; ++y) {
      // A star's glow is several pixels wide, so a lit edge column must continue on the other side.
      if (s.alpha(last, y) > 48) {
        EXPECT_GT(s.alpha(0, y), 0) << name << " row " << y;
      }
      if (s.alpha(0, y) > 48) {
        EXPECT_GT(s.alpha(last, y), 0) << name << " row " << y;
      }
      EXPECT_LE(std::abs(s.alpha(last, y) - s.alpha(0, y)), 160) << name << " row " << y;
    }
  }
}

TEST(Pictures, FarStarsAreFainterAndSparserThanNearStars) {
  Picture nearStars = load("stars.png"), farStars = load("stars2.png");
  ASSERT_FALSE(nearStars.rgba.empty());
  ASSERT_FALSE(farStars.rgba.empty());
  auto measure = [](const Picture& p, long& ink, int& bright) {
    ink = 0;
    bright = 0;
    for (int y = 0; y < 160; ++y)
      for (int x = 0; x < 640; ++x) {
        ink += p.alpha(x, y);
        bright += p.alpha(x, y) > 200;
      }
  };
  long nearInk, farInk;
  int nearBright, farBright;
  measure(nearStars, nearInk, nearBright);
  measure(farStars, farInk, farBright);
  EXPECT_GT(nearBright, 30);
  EXPECT_LT(farInk, nearInk / 2);
  EXPECT_LT(farBright, nearBright / 2);
}

TEST(Fonts, StripsHaveTheirCellLayout) {
  Picture scroller = load("fonti.png"), mirror = load("fonti_mir.png"), big = load("fonti_big.png"),
          fallback = load("vulo_font.png");
  ASSERT_FALSE(scroller.rgba.empty());
  ASSERT_FALSE(mirror.rgba.empty());
  ASSERT_FALSE(big.rgba.empty());
  ASSERT_FALSE(fallback.rgba.empty());
  EXPECT_EQ(scroller.width, 91 * 18);
  // The two key-help lines are 20 pixels apart; taller cells would make them collide.
  EXPECT_GE(scroller.height, 16);
  EXPECT_LE(scroller.height, 28);
  EXPECT_EQ(mirror.width, scroller.width);
  EXPECT_EQ(mirror.height, scroller.height);
  EXPECT_EQ(big.width % 90, 0);
  EXPECT_GT(big.width / 90, 18);
  EXPECT_GT(big.height, scroller.height);
  EXPECT_EQ(fallback.width, 960);
  EXPECT_EQ(fallback.height, 18);
  for (const Picture* p : {&scroller, &mirror, &big, &fallback}) EXPECT_EQ(p->channels, 4);
}

TEST(Fonts, EveryCharacterOfTheIntroTextsHasAGlyph) {
  Picture font = load("fonti.png");
  ASSERT_FALSE(font.rgba.empty());
  ASSERT_EQ(kScrollText.size(), 227u);
  std::string all = kScrollText;
  for (const std::string& line : kHelpLines) all += line;
  for (char c : all) {
    int code = static_cast<unsigned char>(c);
    ASSERT_GE(code, 32);
    ASSERT_LE(code, 122) << "the scroller font ends at 'z'";
    if (c == ' ') {
      EXPECT_EQ(cellInk(font, 18, 0), 0) << "space must stay empty";
    } else {
      EXPECT_GT(cellInk(font, 18, code - 32), 255) << "no glyph for '" << c << "'";
    }
  }
  // Printable characters the song titles might use are all present too.
  for (int code = 33; code <= 122; ++code) EXPECT_GT(cellInk(font, 18, code - 32), 0) << code;
}

TEST(Fonts, GlyphsDifferFromEachOther) {
  Picture font = load("fonti.png");
  ASSERT_FALSE(font.rgba.empty());
  auto cell = [&](int code) {
    std::vector<uint8_t> a;
    for (int y = 0; y < font.height; ++y)
      for (int x = (code - 32) * 18; x < (code - 31) * 18; ++x) a.push_back(font.alpha(x, y));
    return a;
  };
  for (auto [a, b] : {std::pair{'O', '0'}, {'l', '1'}, {'.', ','}, {'i', 'j'}, {'a', 'A'}})
    EXPECT_NE(cell(a), cell(b)) << a << " and " << b << " look identical";
}

TEST(Fonts, MirrorFontIsTheScrollerFontUpsideDown) {
  Picture font = load("fonti.png"), mirror = load("fonti_mir.png");
  ASSERT_FALSE(font.rgba.empty());
  ASSERT_EQ(mirror.width, font.width);
  ASSERT_EQ(mirror.height, font.height);
  int mismatches = 0;
  for (int y = 0; y < font.height; ++y)
    mismatches += std::memcmp(font.pixel(0, y), mirror.pixel(0, font.height - 1 - y), 4 * font.width) != 0;
  EXPECT_EQ(mismatches, 0);
}

TEST(Fonts, DefaultFontKeepsItsOnePixelBorderClear) {
  Picture font = load("vulo_font.png");
  ASSERT_FALSE(font.rgba.empty());
  for (int cell = 0; cell < 96; ++cell) {
    int x0 = cell * 10;
    for (int y = 0; y < 18; ++y) {
      EXPECT_EQ(font.alpha(x0, y), 0) << "cell " << cell;
      EXPECT_EQ(font.alpha(x0 + 9, y), 0) << "cell " << cell;
    }
    for (int x = x0; x < x0 + 10; ++x) {
      EXPECT_EQ(font.alpha(x, 0), 0) << "cell " << cell;
      EXPECT_EQ(font.alpha(x, 17), 0) << "cell " << cell;
    }
    if (cell > 0) {
      EXPECT_GT(cellInk(font, 10, cell), 0) << "character " << cell + 32;
    }
  }
}

namespace {

struct Wav {
  std::vector<uint8_t> bytes;
  std::vector<int16_t> samples;
  uint32_t u32(size_t at) const {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
  }
  uint16_t u16(size_t at) const { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }
  std::string tag(size_t at) const { return std::string(bytes.begin() + at, bytes.begin() + at + 4); }
};

// Loads a sample and checks the header fields of a plain mono 16-bit PCM file on the way.
Wav loadWav(const std::string& name) {
  Wav w;
  std::ifstream in(kData + "/wav/" + name, std::ios::binary);
  w.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  EXPECT_GE(w.bytes.size(), 44u) << name;
  if (w.bytes.size() < 44) return w;
  EXPECT_EQ(w.tag(0), "RIFF") << name;
  EXPECT_EQ(w.u32(4), w.bytes.size() - 8) << name;
  EXPECT_EQ(w.tag(8), "WAVE") << name;
  EXPECT_EQ(w.tag(12), "fmt ") << name;
  EXPECT_EQ(w.u32(16), 16u) << name;
  EXPECT_EQ(w.u16(20), 1u) << name << ": PCM";
  EXPECT_EQ(w.u16(22), 1u) << name << ": mono";
  EXPECT_EQ(w.u32(24), 16744u) << name << ": a 64-sample cycle is middle C";
  EXPECT_EQ(w.u32(28), 16744u * 2) << name;
  EXPECT_EQ(w.u16(32), 2u) << name;
  EXPECT_EQ(w.u16(34), 16u) << name;
  EXPECT_EQ(w.tag(36), "data") << name;
  EXPECT_EQ(w.u32(40), w.bytes.size() - 44) << name;
  for (size_t at = 44; at + 1 < w.bytes.size(); at += 2) w.samples.push_back(static_cast<int16_t>(w.u16(at)));
  return w;
}

// The samples' common peak level; the songs' tests check that the mix made of it neither clips
// nor comes out too quiet.
constexpr int kPeakLevel = 32768 / 4;

}  // namespace

TEST(Samples, HaveTheirLengthsAndPeakLevels) {
  // The softer-sounding shapes peak higher, so that no song sounds quieter for using them.
  struct Expect {
    const char* name;
    size_t length;
    double peak;  // in units of kPeakLevel
  } expects[] = {{"ramp_64.wav", 64, 1},  {"ramp_b_64.wav", 64, 1}, {"ramp_c_64.wav", 64, 1.25},
                 {"saw_64.wav", 64, 1},   {"tri_64.wav", 64, 1.5},  {"fx2b.wav", 1024, 2},
                 {"hnoise.wav", 32768, 1}};
  for (const Expect& e : expects) {
    Wav w = loadWav(e.name);
    EXPECT_EQ(w.samples.size(), e.length) << e.name;
    if (w.samples.empty()) continue;
    int peak = 0;
    double mean = 0;
    for (int16_t s : w.samples) {
      peak = std::max(peak, std::abs(static_cast<int>(s)));
      mean += s;
    }
    mean /= static_cast<double>(w.samples.size());
    const double level = kPeakLevel * e.peak;
    EXPECT_LE(peak, level + 0.5) << e.name;
    EXPECT_GE(peak, level * 9 / 10) << e.name << " is quieter than its level";
    EXPECT_LT(std::fabs(mean), kPeakLevel * 0.01) << e.name << " has a DC offset";
  }
}

TEST(Samples, SingleCyclesHaveDistinctShapes) {
  std::vector<std::vector<int16_t>> cycles;
  for (const char* name : {"ramp_64.wav", "ramp_b_64.wav", "ramp_c_64.wav", "saw_64.wav", "tri_64.wav"})
    cycles.push_back(loadWav(name).samples);
  for (size_t i = 0; i < cycles.size(); ++i)
    for (size_t j = i + 1; j < cycles.size(); ++j) EXPECT_NE(cycles[i], cycles[j]) << i << " vs " << j;
  // The ramp and the saw share a voice; exact opposites would cancel to silence when in tune.
  const auto& ramp = cycles[0];
  const auto& saw = cycles[3];
  long sumOfPair = 0;
  for (size_t i = 0; i < ramp.size() && i < saw.size(); ++i) sumOfPair += std::abs(ramp[i] + saw[i]);
  EXPECT_GT(sumOfPair, 64L * kPeakLevel / 4);
}

TEST(Samples, NoiseDoesNotRepeatWithinItsLoop) {
  std::vector<int16_t> noise = loadWav("hnoise.wav").samples;
  ASSERT_GE(noise.size(), 8192u);
  const size_t kWindow = 1024;
  double energy = 0;
  for (size_t i = 0; i < kWindow; ++i) energy += static_cast<double>(noise[i]) * noise[i];
  double worst = 0;
  for (size_t lag = 1; lag + kWindow <= noise.size(); ++lag) {
    double dot = 0;
    for (size_t i = 0; i < kWindow; ++i) dot += static_cast<double>(noise[i]) * noise[lag + i];
    worst = std::max(worst, std::fabs(dot) / energy);
  }
  // The hiss filter correlates neighbours (about -0.4 at lag 1); a repeat would approach 1.
  EXPECT_LT(worst, 0.6);
}
