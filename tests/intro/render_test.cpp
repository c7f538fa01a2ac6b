// The intro's render step over a recording graphics device with the real data pictures: the whole
// call sequence of the first frame, the wave scroller's carried values, the ball grid's fold,
// half-turns and pages, the frame's allocations, and frames drawn from damaged or missing data.
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "intro/intro_globals.h"
#include "runtime/collector.h"
#include "tests/intro/allocation_count.h"
#include "tests/intro/intro_harness.h"

namespace {

using introtest::IntroHarness;
using introtest::RecordingGraphics;
using Op = RecordingGraphics::Op;
using Call = RecordingGraphics::Call;

constexpr int kGlyphWidth = 18;  // 1638-pixel strips of 91 cells
constexpr double kPositionTolerance = 1e-3;

gxtkSurface* surfaceOf(c_Image* image) {
  return image != nullptr ? image->surface.get() : nullptr;
}
gxtkSurface* pageOf(c_Font* font) {
  return font != nullptr ? font->pages.get().get(0)->surface.get() : nullptr;
}

double sinDegrees(double degrees) {
  return std::sin(degrees * M_PI / 180);
}
double cosDegrees(double degrees) {
  return std::cos(degrees * M_PI / 180);
}

// Walks a recorded frame in order; every expectation names what it was looking for.
class FrameReader {
 public:
  explicit FrameReader(const std::vector<Call>& calls) : calls_(calls) {}

  // The next call, which must be `op`; the device's matrix sends are counted and stepped over.
  const Call& next(Op op, const std::string& what) {
    while (at_ < calls_.size() && calls_[at_].op == Op::Matrix) {
      ++matrixSends;
      ++at_;
    }
    static const Call none{Op::Other};
    if (at_ >= calls_.size()) {
      ADD_FAILURE() << "the frame ended before " << what;
      return none;
    }
    const Call& call = calls_[at_++];
    EXPECT_EQ(static_cast<int>(call.op), static_cast<int>(op)) << what << " (call " << at_ - 1 << ")";
    return call;
  }
  void colour(float r, float g, float b, const std::string& what) {
    const Call& call = next(Op::Color, what);
    EXPECT_EQ(call.a, r) << what;
    EXPECT_EQ(call.b, g) << what;
    EXPECT_EQ(call.c, b) << what;
  }
  void alpha(float a, const std::string& what) { EXPECT_EQ(next(Op::Alpha, what).a, a) << what; }
  void surface(gxtkSurface* surface, float x, float y, const std::string& what) {
    const Call& call = next(Op::Surface, what);
    EXPECT_EQ(call.surface, surface) << what;
    EXPECT_EQ(call.a, x) << what;
    EXPECT_EQ(call.b, y) << what;
  }
  void starRegion(gxtkSurface* surface, float x, const std::string& what) {
    const Call& call = next(Op::Region, what);
    EXPECT_EQ(call.surface, surface) << what;
    EXPECT_EQ(call.a, x) << what;
    EXPECT_EQ(call.b, 136) << what;
    EXPECT_EQ(call.srcX, 0) << what;
    EXPECT_EQ(call.srcY, 0) << what;
    EXPECT_EQ(call.srcWidth, 640) << what;
    EXPECT_EQ(call.srcHeight, 160) << what;
  }
  // One glyph of an 18 x 26 strip font; the character it shows.
  char glyph(gxtkSurface* page, const std::string& what) {
    const Call& call = next(Op::Region, what);
    EXPECT_EQ(call.surface, page) << what;
    EXPECT_EQ(call.srcY, 0) << what;
    EXPECT_EQ(call.srcWidth, kGlyphWidth) << what;
    EXPECT_EQ(call.srcHeight, 26) << what;
    EXPECT_EQ(call.srcX % kGlyphWidth, 0) << what;
    last = call;
    return static_cast<char>(32 + call.srcX / kGlyphWidth);
  }
  // A line of text drawn at (0, y), one glyph every 18 pixels.
  std::string textLine(gxtkSurface* page, int length, float y, const std::string& what) {
    std::string text;
    for (int i = 0; i < length; ++i) {
      text += glyph(page, what);
      EXPECT_EQ(last.a, kGlyphWidth * i) << what << " glyph " << i;
      EXPECT_EQ(last.b, y) << what << " glyph " << i;
    }
    return text;
  }
  bool atEnd() const { return at_ == calls_.size(); }

  int matrixSends = 0;
  Call last{Op::Other};

 private:
  const std::vector<Call>& calls_;
  size_t at_ = 0;
};

// The ball and shadow draws of one frame, in drawing order, with the alpha each was drawn with.
struct BallDraw {
  float alpha;
  float x, y;
  float shadowX, shadowY;
};

class IntroRender : public ::testing::Test {
 protected:
  void SetUp() override { startIn(introtest::binaryDir()); }

  void startIn(const std::string& appDirectory) {
    intro.reset();
    device = new RecordingGraphics();
    intro = std::make_unique<IntroHarness>(appDirectory, device);
    intro->start();
  }
  // One frame's calls.
  std::vector<Call> frame() {
    device->calls.clear();
    intro->render();
    return device->calls;
  }
  std::vector<BallDraw> ballDraws(const std::vector<Call>& calls) {
    std::vector<BallDraw> draws;
    float alpha = -1;
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].op == Op::Alpha) alpha = calls[i].a;
      if (calls[i].op == Op::Surface && calls[i].surface == surfaceOf(ballImage)) {
        EXPECT_TRUE(i + 1 < calls.size() && calls[i + 1].surface == surfaceOf(ballShadowImage));
        if (i + 1 < calls.size()) {
          draws.push_back({alpha, calls[i].a, calls[i].b, calls[i + 1].a, calls[i + 1].b});
        }
      }
    }
    return draws;
  }
  // The picture a frame's grid shows, read from the alphas in column order (the second half-turn
  // draws each row from the last column), or -1 when it matches none of the three.
  int shownPage(const std::vector<BallDraw>& draws, int mode) {
    if (draws.size() != 36) return -1;
    std::string cells(36, '?');
    for (int n = 0; n < 36; ++n) {
      int r = n / 6, j = mode == 0 ? n % 6 : 5 - n % 6;
      cells[6 * r + j] = draws[n].alpha == 0.4f ? '1' : draws[n].alpha == 0.0f ? '0' : '?';
    }
    std::string pattern = toStdString(ballPattern);
    for (int page = 0; page < 3; ++page) {
      if (pattern.substr(36 * page, 36) == cells) return page;
    }
    return -1;
  }

  RecordingGraphics* device = nullptr;
  std::unique_ptr<IntroHarness> intro;
};

TEST_F(IntroRender, TheFirstFrameDrawsEveryLayerInOrder) {
  ASSERT_NE(backImage.get(), nullptr) << "the data pictures did not load";
  ASSERT_NE(scrollerFont.get(), nullptr);
  ASSERT_NE(mirrorFont.get(), nullptr);
  std::vector<Call> calls = frame();
  FrameReader frame(calls);

  frame.next(Op::BeginFrame, "begin");
  // The framework's reset of the drawing state.
  frame.colour(255, 255, 255, "reset colour");
  frame.alpha(1, "reset alpha");
  frame.next(Op::Blend, "reset blend");
  frame.next(Op::Scissor, "reset scissor");

  const Call& clear = frame.next(Op::Clear, "clear");
  EXPECT_EQ(clear.a + clear.b + clear.c, 0);
  frame.surface(surfaceOf(backImage), 0, 0, "background");
  frame.starRegion(surfaceOf(starsImage), -4, "stars left");
  frame.starRegion(surfaceOf(starsImage), 636, "stars middle");
  frame.starRegion(surfaceOf(starsImage), 1276, "stars right");
  frame.starRegion(surfaceOf(stars2Image), -2, "slow stars left");
  frame.starRegion(surfaceOf(stars2Image), 638, "slow stars right");

  // Scroller: 228 passes, the last of them with the empty string (no glyph).
  std::string scrolled, mirrored;
  std::vector<std::array<int, 3>> positions;  // x, y, mirror y
  for (int i = 0; i <= 227; ++i) {
    std::string what = "scroller pass " + std::to_string(i);
    frame.colour(255, 255, 255, what);
    frame.alpha(1, what);
    std::array<int, 3> at{};
    if (i < 227) {
      scrolled += frame.glyph(pageOf(scrollerFont), what);
      at[0] = static_cast<int>(frame.last.a);
      at[1] = static_cast<int>(frame.last.b);
    }
    frame.colour(255, 255, 255, what + " mirror");
    frame.alpha(0.2f, what + " mirror");
    if (i < 227) {
      mirrored += frame.glyph(pageOf(mirrorFont), what + " mirror");
      EXPECT_EQ(frame.last.a, at[0]) << what;
      at[2] = static_cast<int>(frame.last.b);
      positions.push_back(at);
    }
  }
  EXPECT_EQ(scrolled, toStdString(scrollText));
  EXPECT_EQ(mirrored, scrolled);
  ASSERT_EQ(positions.size(), 227u);
  // Character 0 rides on the previous frame's wave (none yet); each later one on its predecessor's.
  EXPECT_EQ(positions[0], (std::array<int, 3>{640, 240, 380}));
  EXPECT_EQ(positions[1], (std::array<int, 3>{650, 224, 382}));
  EXPECT_EQ(positions[2], (std::array<int, 3>{670, 229, 392}));
  EXPECT_EQ(positions[3], (std::array<int, 3>{694, 240, 396}));
  for (int i = 0; i < 227; ++i) {
    EXPECT_LE(std::abs(positions[i][0] - (640 + 18 * i)), 8) << i;
    EXPECT_LE(std::abs(positions[i][1] - 240), 16) << i;
    EXPECT_LE(std::abs(positions[i][2] - 380), 16) << i;
  }

  // Floor: 32 colours, each with two fan lines and one moving horizontal line.
  for (int k = 1; k <= 993; k += 32) {
    std::string what = "floor k=" + std::to_string(k);
    frame.colour(0, static_cast<float>(k / 16 + 128), static_cast<float>(255 - k / 32), what);
    for (int side : {-1, 1}) {
      const Call& fan = frame.next(Op::Line, what + " fan");
      EXPECT_EQ(fan.a, 320 + side * (k / 2)) << what;
      EXPECT_EQ(fan.b, 300) << what;
      EXPECT_EQ(fan.c, 320 + side * k) << what;
      EXPECT_EQ(fan.d, 480) << what;
    }
    const Call& line = frame.next(Op::Line, what + " horizontal");
    EXPECT_EQ(line.a, 0);
    EXPECT_EQ(line.c, 640);
    EXPECT_EQ(line.b, 301 + k / 2) << what;
    EXPECT_EQ(line.d, line.b) << what;
  }
  frame.colour(255, 255, 255, "after the floor");

  // Balls at 4 degrees, page 0, columns left to right; the top row of the B is "111110".
  const double s = sinDegrees(4), c = cosDegrees(4), tilt = sinDegrees(32);
  for (int r = 0; r < 6; ++r) {
    for (int j = 0; j < 6; ++j) {
      std::string what = "ball row " + std::to_string(r) + " column " + std::to_string(j);
      frame.alpha(ballPattern[j + 6 * r] == u'1' ? 0.4f : 0.0f, what);
      if (r == 0) {
        EXPECT_EQ(ballPattern[j] == u'1', j < 5) << what;
      }
      const Call& ball = frame.next(Op::Surface, what);
      EXPECT_EQ(ball.surface, surfaceOf(ballImage)) << what;
      EXPECT_NEAR(ball.a, 256 - 256 * s + 64 * j * c + 16 * r * s, kPositionTolerance) << what;
      EXPECT_NEAR(ball.b, 112 + 64 * tilt * r, kPositionTolerance) << what;
      const Call& shadow = frame.next(Op::Surface, what + " shadow");
      EXPECT_EQ(shadow.surface, surfaceOf(ballShadowImage)) << what;
      EXPECT_EQ(shadow.a, ball.a) << what;
      EXPECT_NEAR(shadow.b, 496 - 64 * tilt * r, kPositionTolerance) << what;
      EXPECT_NEAR(ball.b + shadow.b, 608, kPositionTolerance) << "mirrored about y = 304";
    }
  }

  frame.alpha(1, "texts");
  EXPECT_EQ(frame.textLine(pageOf(scrollerFont), 34, 20, "key help"), "   press f1-f12 to select a song !");
  EXPECT_EQ(frame.textLine(pageOf(scrollerFont), 32, 40, "enter help"), "     ENTER = for reset current !");
  frame.alpha(0.5f, "title");
  EXPECT_EQ(frame.textLine(pageOf(scrollerFont), 27, 420, "title"), " now playing... Brackenfold");
  frame.alpha(1, "after the title");
  frame.surface(surfaceOf(scanlinesImage), 0, 0, "scanlines");
  frame.next(Op::EndFrame, "end");
  EXPECT_TRUE(frame.atEnd());
  EXPECT_EQ(frame.matrixSends, 1) << "the identity matrix goes to the device once";
}

TEST_F(IntroRender, TheWaveValuesCarryIntoTheNextFrame) {
  frame();
  float carriedX = waveX, carriedY = waveY;
  ASSERT_NE(carriedX, 0.0f);
  std::vector<Call> calls = frame();
  for (const Call& call : calls) {
    if (call.op != Op::Region || call.surface != pageOf(scrollerFont)) continue;
    EXPECT_EQ(call.a, static_cast<int>(640.0f + carriedX));
    EXPECT_EQ(call.b, static_cast<int>(240.0f + 2 * carriedX));
    break;
  }
  for (const Call& call : calls) {
    if (call.op != Op::Region || call.surface != pageOf(mirrorFont)) continue;
    EXPECT_EQ(call.b, static_cast<int>(380.0f + 2 * carriedY));
    break;
  }
}

TEST_F(IntroRender, AtNinetyDegreesTheGridFoldsToItsLeftEdge) {
  ballAngle = 86;  // the turn only visits multiples of 4: 90 needs a start of 86
  std::vector<BallDraw> draws = ballDraws(frame());
  ASSERT_EQ(ballAngle, 90);
  ASSERT_EQ(draws.size(), 36u);
  for (int n = 0; n < 36; ++n) EXPECT_NEAR(draws[n].x, 16 * (n / 6), kPositionTolerance) << "draw " << n;
}

TEST_F(IntroRender, EachHalfTurnShowsTheNextPictureFromWhereTheLastOneEnded) {
  std::vector<std::vector<BallDraw>> frames(1);  // frames[f] is frame f
  std::vector<int> modes(1);
  for (int f = 1; f <= 300; ++f) {
    frames.push_back(ballDraws(frame()));
    modes.push_back((f / 46) % 2);
  }
  // Frame 45 ends the first half-turn at 180 degrees; frame 46 starts the mirrored one at 0 from the
  // same places, walking each row the other way.
  ASSERT_EQ(frames[45].size(), 36u);
  ASSERT_EQ(frames[46].size(), 36u);
  for (int n = 0; n < 36; ++n) {
    int r = n / 6, j = n % 6;
    EXPECT_NEAR(frames[46][6 * r + (5 - j)].x, frames[45][n].x, kPositionTolerance) << "draw " << n;
  }
  EXPECT_NEAR(frames[45][0].x, 256, kPositionTolerance);
  EXPECT_NEAR(frames[46][0].x, -64, kPositionTolerance);

  for (int f = 1; f <= 300; ++f) {
    EXPECT_EQ(shownPage(frames[f], modes[f]), (f / 46) % 3) << "frame " << f;
    if (f + 138 <= 300) {
      EXPECT_EQ(shownPage(frames[f], modes[f]), shownPage(frames[f + 138], modes[f + 138])) << "frame " << f;
    }
  }
  EXPECT_EQ(shownPage(frames[92], 0), 2);
  // Page 2, the F, has a full top row.
  for (int n = 0; n < 6; ++n) EXPECT_EQ(frames[92][n].alpha, 0.4f);
}

TEST_F(IntroRender, AFrameAllocatesOnlyTheScrollersCharacters) {
  frame();
  frame();  // the recording now has room for a whole frame
  device->calls.clear();
  int64_t collectedBefore = gcCounters.allocBytes;
  introtest::startCountingAllocations();
  renderStep();
  int allocations = introtest::stopCountingAllocations();
  // One string per character, used for both the character and its mirror image; the empty slice
  // of the last pass is the shared empty string.
  EXPECT_EQ(allocations, 227);
  // The strings are released again, and no collected object was made.
  EXPECT_EQ(gcCounters.allocBytes, collectedBefore);
}

TEST_F(IntroRender, ANewTitleIsShownFromTheNextFrame) {
  intro->press(kKeyF1 + 11);
  intro->update();
  std::vector<Call> calls = frame();
  std::string title;
  for (const Call& call : calls) {
    if (call.op == Op::Region && call.b == 420 && call.surface == pageOf(scrollerFont)) {
      title += static_cast<char>(32 + call.srcX / kGlyphWidth);
    }
  }
  EXPECT_EQ(title, " now playing... End Scroll");
}

void writePng(const std::string& path, int width, int height) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 200);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ASSERT_NE(stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4), 0) << path;
}

TEST_F(IntroRender, TheBigFontNeedsAPictureOfNinetyCells) {
  ASSERT_NE(bigFont.get(), nullptr);
  EXPECT_EQ(bigFont->glyph(32 + 89)->width, 32);
  EXPECT_EQ(bigFont->glyph(32 + 89)->x, 89 * 32);
  EXPECT_EQ(bigFont->glyph(32 + 90), nullptr);

  const std::string dir = introtest::scratchDir("big-font");
  writePng(dir + "/data/fonti_big.png", 89, 4);
  startIn(dir);
  EXPECT_EQ(bigFont.get(), nullptr);
  writePng(dir + "/data/fonti_big.png", 90, 4);
  startIn(dir);
  ASSERT_NE(bigFont.get(), nullptr);
  EXPECT_EQ(bigFont->glyph(32 + 89)->width, 1);
  std::filesystem::remove_all(dir);
}

TEST_F(IntroRender, WithoutItsDataTheIntroStillDrawsItsFloor) {
  const std::string dir = introtest::scratchDir("no-data");
  startIn(dir);
  EXPECT_EQ(backImage.get(), nullptr);
  EXPECT_EQ(scrollerFont.get(), nullptr);
  for (int f = 0; f < 3; ++f) {
    std::vector<Call> calls = frame();
    int lines = 0, pictures = 0;
    for (const Call& call : calls) {
      lines += call.op == Op::Line;
      pictures += call.op == Op::Surface || call.op == Op::Region;
    }
    EXPECT_EQ(lines, 96);
    EXPECT_EQ(pictures, 0);
  }
  std::filesystem::remove_all(dir);
}

TEST_F(IntroRender, DamagedPicturesAreLeftOutAndTheRestIsDrawn) {
  const std::string dir = introtest::scratchDir("damaged-data");
  std::filesystem::copy(introtest::binaryDir() + "/data", dir + "/data",
                        std::filesystem::copy_options::recursive);
  std::filesystem::resize_file(dir + "/data/back.png", 300);           // cut off in its pixel data
  introtest::writeFile(dir + "/data/ball.png", std::string(64, 'x'));  // not a picture at all
  std::filesystem::remove(dir + "/data/fonti.png");                    // the scroller falls back
  std::filesystem::remove(dir + "/data/scanlines.png");
  startIn(dir);
  EXPECT_EQ(backImage.get(), nullptr);
  EXPECT_EQ(ballImage.get(), nullptr);
  EXPECT_EQ(scanlinesImage.get(), nullptr);
  EXPECT_EQ(scrollerFont.get(), nullptr);
  ASSERT_NE(ballShadowImage.get(), nullptr);
  ASSERT_NE(mirrorFont.get(), nullptr);

  std::vector<Call> calls = frame();
  int shadows = 0, mirrorGlyphs = 0, lines = 0;
  for (const Call& call : calls) {
    if (call.op == Op::Surface || call.op == Op::Region) {
      ASSERT_NE(call.surface, nullptr);
    }
    shadows += call.surface == surfaceOf(ballShadowImage);
    mirrorGlyphs += call.surface == pageOf(mirrorFont);
    lines += call.op == Op::Line;
  }
  EXPECT_EQ(shadows, 36);
  EXPECT_EQ(mirrorGlyphs, 227);
  EXPECT_EQ(lines, 96);
  std::filesystem::remove_all(dir);
}

}  // namespace
