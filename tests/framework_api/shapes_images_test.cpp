// Shapes through the context's matrix, colour, alpha and blend mode, and images made by the
// program, checked by reading the window's pixels back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "tests/images_fonts/drawing_fixture.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kRed = 0xFFFF0000u;

using Shapes = DrawingTest;

std::vector<uint32_t> window() {
  return readBack(registeredDevice, 0, 0, kWindowWidth, kWindowHeight);
}

uint32_t pixelAt(const std::vector<uint32_t>& pixels, int x, int y) {
  return pixels[static_cast<size_t>(y) * kWindowWidth + x];
}

TEST_F(Shapes, RectangleIsFilledThroughTheMatrix) {
  setColor(255, 0, 0);
  translate(10, 20);
  scale(2, 2);
  drawRect(1, 1, 4, 3);  // (12, 22) to (20, 28) on the screen
  std::vector<uint32_t> expected = makePicture(kWindowWidth, kWindowHeight, [](int x, int y) {
    return x >= 12 && x < 20 && y >= 22 && y < 28 ? kRed : kBlack;
  });
  EXPECT_TRUE(picturesMatch("rect-matrix", expected, window(), kWindowWidth, kWindowHeight));
}

TEST_F(Shapes, OvalFillsItsRectangleButNotTheCorners) {
  setColor(0, 255, 0);
  drawOval(20, 20, 40, 30);
  std::vector<uint32_t> pixels = window();
  EXPECT_EQ(hexColour(pixelAt(pixels, 40, 35)), hexColour(0xFF00FF00u)) << "centre";
  EXPECT_EQ(hexColour(pixelAt(pixels, 22, 35)), hexColour(0xFF00FF00u)) << "left edge, middle";
  EXPECT_EQ(hexColour(pixelAt(pixels, 21, 21)), hexColour(kBlack)) << "top-left corner";
  EXPECT_EQ(hexColour(pixelAt(pixels, 58, 48)), hexColour(kBlack)) << "bottom-right corner";
  EXPECT_EQ(hexColour(pixelAt(pixels, 40, 52)), hexColour(kBlack)) << "below the rectangle";
}

TEST_F(Shapes, OutlinesLeaveTheInsideAndMeetTheFilledShapesEdges) {
  setColor(255, 0, 0);
  drawRectOutline(10, 10, 6, 5);
  std::vector<uint32_t> expected = makePicture(kWindowWidth, kWindowHeight, [](int x, int y) {
    bool inRect = x >= 10 && x < 16 && y >= 10 && y < 15;
    bool inside = x > 10 && x < 15 && y > 10 && y < 14;
    return inRect && !inside ? kRed : kBlack;
  });
  EXPECT_TRUE(picturesMatch("rect-outline", expected, window(), kWindowWidth, kWindowHeight));

  clear(0, 0, 0);
  drawOvalOutline(20, 20, 40, 30);
  std::vector<uint32_t> pixels = window();
  EXPECT_EQ(hexColour(pixelAt(pixels, 40, 35)), hexColour(kBlack)) << "centre";
  EXPECT_EQ(hexColour(pixelAt(pixels, 20, 35)), hexColour(kRed)) << "left edge, middle";
  EXPECT_EQ(hexColour(pixelAt(pixels, 59, 35)), hexColour(kRed)) << "right edge, middle";
  EXPECT_EQ(hexColour(pixelAt(pixels, 40, 20)), hexColour(kRed)) << "top edge, middle";
  EXPECT_EQ(hexColour(pixelAt(pixels, 40, 49)), hexColour(kRed)) << "bottom edge, middle";
  EXPECT_EQ(hexColour(pixelAt(pixels, 21, 21)), hexColour(kBlack)) << "top-left corner";
  EXPECT_EQ(hexColour(pixelAt(pixels, 40, 51)), hexColour(kBlack)) << "below the rectangle";
}

TEST(RectsOverlap, SharedAreaOnlyNotTouchingEdges) {
  EXPECT_TRUE(rectsOverlap(0, 0, 10, 10, 9, 9, 10, 10));
  EXPECT_TRUE(rectsOverlap(0, 0, 10, 10, 2, 2, 3, 3)) << "inside";
  EXPECT_TRUE(rectsOverlap(2, 2, 3, 3, 0, 0, 10, 10)) << "around";
  EXPECT_FALSE(rectsOverlap(0, 0, 10, 10, 10, 0, 10, 10)) << "touching on the right";
  EXPECT_FALSE(rectsOverlap(0, 0, 10, 10, 0, -10, 10, 10)) << "touching above";
  EXPECT_FALSE(rectsOverlap(0, 0, 10, 10, 3, 3, 0, 4)) << "no width: no area";
  EXPECT_TRUE(rectsOverlap(-5.5f, 0, 1, 1, -5, 0.5f, 1, 1));
}

TEST_F(Shapes, PointLightsOnePixel) {
  setColor(0, 0, 255);
  drawPoint(5, 7);
  std::vector<uint32_t> expected = makePicture(
      kWindowWidth, kWindowHeight, [](int x, int y) { return x == 5 && y == 7 ? 0xFF0000FFu : kBlack; });
  EXPECT_TRUE(picturesMatch("point", expected, window(), kWindowWidth, kWindowHeight));
}

TEST_F(Shapes, PolygonIsFilledAndRotatesWithTheMatrix) {
  setColor(255, 255, 0);
  drawPoly({10, 10, 50, 10, 10, 50});
  std::vector<uint32_t> pixels = window();
  EXPECT_EQ(hexColour(pixelAt(pixels, 15, 15)), hexColour(0xFFFFFF00u));
  EXPECT_EQ(hexColour(pixelAt(pixels, 45, 45)), hexColour(kBlack)) << "beyond the long side";

  // Turned 90 degrees about (64, 48): the square (64..84, 48..58) lands above and right of it.
  clear(0, 0, 0);
  translate(64, 48);
  rotate(90);
  Array<float> square(8);
  const float corners[8] = {0, 0, 20, 0, 20, 10, 0, 10};
  for (int i = 0; i < 8; ++i) square[i] = corners[i];
  drawPoly(square);
  pixels = window();
  EXPECT_EQ(hexColour(pixelAt(pixels, 66, 40)), hexColour(0xFFFFFF00u)) << "above the pivot";
  EXPECT_EQ(hexColour(pixelAt(pixels, 70, 50)), hexColour(kBlack)) << "where it was before turning";
}

TEST_F(Shapes, TooFewPointsDrawNothing) {
  setColor(255, 0, 0);
  drawPoly({10, 10, 50, 10});
  drawPoly({10, 10, 50, 10, 30});  // an odd last value is ignored: still two points
  std::vector<uint32_t> expected = makePicture(kWindowWidth, kWindowHeight, [](int, int) { return kBlack; });
  EXPECT_TRUE(picturesMatch("poly-two-points", expected, window(), kWindowWidth, kWindowHeight));
}

TEST_F(Shapes, AlphaAndAdditiveBlendApply) {
  setColor(255, 0, 0);
  drawRect(0, 0, 20, 20);
  setColor(0, 255, 0);
  setAlpha(0.5f);
  drawRect(0, 0, 10, 20);  // alpha blending: half green over red
  setBlendMode(1);
  drawRect(10, 0, 10, 20);  // additive: red plus half green
  std::vector<uint32_t> pixels = window();
  EXPECT_TRUE(picturesMatch("alpha-blend", {0xFF807F00u, 0xFFFF7F00u},
                            {pixelAt(pixels, 5, 5), pixelAt(pixels, 15, 5)}, 2, 1, 2));
}

TEST_F(Shapes, NothingIsDrawnOutsideTheRenderHook) {
  renderDevice = nullptr;
  setColor(255, 0, 0);
  drawRect(0, 0, 50, 50);
  drawOval(0, 0, 50, 50);
  drawPoint(1, 1);
  drawPoly({0, 0, 50, 0, 0, 50});
  std::vector<uint32_t> expected = makePicture(kWindowWidth, kWindowHeight, [](int, int) { return kBlack; });
  EXPECT_TRUE(picturesMatch("outside-render", expected, window(), kWindowWidth, kWindowHeight));
}

using CreatedImages = DrawingTest;

TEST_F(CreatedImages, StartTransparentAndShowWrittenPixels) {
  c_Image* image = createImage(4, 3, 2);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width(), 4);
  EXPECT_EQ(image->height(), 3);
  EXPECT_EQ(image->frameCount(), 2);

  Array<int> pattern(12);
  for (int i = 0; i < 12; ++i) pattern[i] = static_cast<int>(0xFF000000u | (i * 20) << 16 | 0x40);
  writePixels(image, pattern, 0, 0, 4, 3, 0, 0, 1);

  clear(0, 0, 255);
  drawImage(image, 10, 10, 0);  // frame 0: untouched, so transparent over the blue
  drawImage(image, 20, 10, 1);
  std::vector<uint32_t> expected = makePicture(14, 3, [](int x, int y) {
    if (x < 4) return 0xFF0000FFu;
    if (x < 10) return 0xFF0000FFu;
    int i = y * 4 + (x - 10);
    return 0xFF000000u | static_cast<uint32_t>(i * 20) << 16 | 0x40u;
  });
  EXPECT_TRUE(picturesMatch("created-image", expected, readBack(registeredDevice, 10, 10, 14, 3), 14, 3));
}

TEST_F(CreatedImages, WritesAreClippedToTheFrame) {
  c_Image* image = createImage(2, 1, 2);
  ASSERT_NE(image, nullptr);
  Array<int> row(4);
  for (int i = 0; i < 4; ++i) row[i] = static_cast<int>(0xFFFFFFFFu);
  // Three pixels from x = -1 in frame 1: only its two pixels change, frame 0 stays transparent.
  writePixels(image, row, -1, 0, 3, 1, 0, 0, 1);
  drawImage(image, 0, 0, 0);
  drawImage(image, 4, 0, 1);
  std::vector<uint32_t> expected = {kBlack, kBlack, kBlack, kBlack, 0xFFFFFFFFu, 0xFFFFFFFFu};
  EXPECT_TRUE(picturesMatch("created-clipped", expected, readBack(registeredDevice, 0, 0, 6, 1), 6, 1));
}

TEST_F(CreatedImages, RefuseImpossibleSizes) {
  EXPECT_EQ(createImage(0, 4), nullptr);
  EXPECT_EQ(createImage(4, -1), nullptr);
  EXPECT_EQ(createImage(4, 4, 0), nullptr);
  EXPECT_EQ(createImage(65536, 65536), nullptr);
  // Within the pixel budget, but the frames side by side are wider than any texture the driver takes.
  int limit = registeredDevice->maxSurfaceSize();
  ASSERT_GT(limit, 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(createImage(64, 64, limit / 64 + 1), nullptr);
  EXPECT_EQ(createImage(1, limit + 1), nullptr) << "too tall";
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
  EXPECT_NE(said.find("Error - Unable to create image: 64 x 64, "), std::string::npos) << said;
  EXPECT_NE(createImage(64, 64, limit / 64), nullptr) << "as wide as the driver allows";
  registerGraphicsDevice(nullptr);
  EXPECT_EQ(createImage(4, 4), nullptr) << "no device before the game starts";
}

TEST_F(CreatedImages, ReadPixelsGivesWhatWasDrawn) {
  setColor(10, 20, 30);
  drawRect(3, 4, 2, 2);
  Array<int> pixels(9);
  readPixels(pixels, 2, 3, 3, 3);
  EXPECT_EQ(hexColour(static_cast<uint32_t>(pixels[0])), hexColour(kBlack));
  EXPECT_EQ(hexColour(static_cast<uint32_t>(pixels[4])), hexColour(0xFF0A141Eu));
  EXPECT_EQ(hexColour(static_cast<uint32_t>(pixels[8])), hexColour(0xFF0A141Eu));
}

}  // namespace
