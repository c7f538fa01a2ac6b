// What the device puts on the screen, read back from a real framebuffer.
#include "tests/graphics/gl_fixture.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

using DevicePixels = GlTest;

TEST_F(DevicePixels, HalfAlphaWhiteOverBlackIsHalfGrey) {
  EXPECT_EQ(device->packedColour(), 0xFFFFFFFFu);
  device->setAlpha(0.5f);
  EXPECT_EQ(device->packedColour(), 0x7F7F7F7Fu) << "got " << hexColour(device->packedColour());
  device->drawRect(0, 0, 16, 16);
  std::vector<uint32_t> got = readBack(device, 0, 0, 20, 20);
  auto expected =
      makePicture(20, 20, [](int x, int y) { return x < 16 && y < 16 ? argb(255, 127, 127, 127) : kBlack; });
  EXPECT_TRUE(picturesMatch("half-alpha-white", expected, got, 20, 20));
}

TEST_F(DevicePixels, PremultipliedAndAdditiveBlending) {
  device->clear(0, 0, 200);
  device->setColor(255, 0, 0);
  device->setAlpha(0.5f);
  device->drawRect(0, 0, 8, 8);
  // Alpha blending of premultiplied red over blue: the blue is scaled by 1 - 0.5.
  device->setBlendMode(1);
  device->setColor(100, 50, 0);
  device->setAlpha(1);
  device->drawRect(8, 0, 8, 8);
  device->drawRect(8, 0, 4, 8);  // additive twice on the left half
  std::vector<uint32_t> got = readBack(device, 0, 0, 16, 8);
  auto expected = makePicture(16, 8, [](int x, int) {
    if (x < 8) return argb(255, 127, 0, 100);
    if (x < 12) return argb(255, 200, 100, 200);
    return argb(255, 100, 50, 200);
  });
  EXPECT_TRUE(picturesMatch("blending", expected, got, 16, 8));

  // Any mode other than 1 is alpha blending again.
  device->setBlendMode(7);
  device->setColor(0, 0, 0);
  device->setAlpha(1);
  device->drawRect(0, 0, 16, 8);
  EXPECT_TRUE(picturesMatch("blend-back-to-alpha", makePicture(16, 8, [](int, int) { return kBlack; }),
                            readBack(device, 0, 0, 16, 8), 16, 8));
}

TEST_F(DevicePixels, ScissorFlipsYAndSwitchesOffAtFullWindow) {
  device->setScissor(10, 20, 30, 40);
  device->drawRect(0, 0, kWindowWidth, kWindowHeight);
  std::vector<uint32_t> got = readBack(device, 0, 0, kWindowWidth, kWindowHeight);
  auto expected = makePicture(kWindowWidth, kWindowHeight, [](int x, int y) {
    return x >= 10 && x < 40 && y >= 20 && y < 60 ? 0xFFFFFFFFu : kBlack;
  });
  EXPECT_TRUE(picturesMatch("scissor-on", expected, got, kWindowWidth, kWindowHeight, 0));

  device->setScissor(0, 0, kWindowWidth, kWindowHeight);
  device->setColor(0, 0, 255);
  device->drawRect(0, 0, kWindowWidth, kWindowHeight);
  got = readBack(device, 0, 0, kWindowWidth, kWindowHeight);
  expected = makePicture(kWindowWidth, kWindowHeight, [](int, int) { return argb(255, 0, 0, 255); });
  EXPECT_TRUE(picturesMatch("scissor-off", expected, got, kWindowWidth, kWindowHeight, 0));
}

TEST_F(DevicePixels, PointsAndLinesLightTheirPixels) {
  device->drawPoint(5, 7);
  device->drawPoint(30, 2);
  device->drawLine(2, 12, 20, 12);  // horizontal: x 2..19 on row 12
  device->drawLine(40, 3, 40, 9);   // vertical: y 3..8 in column 40
  std::vector<uint32_t> got = readBack(device, 0, 0, 48, 16);
  auto expected = makePicture(48, 16, [](int x, int y) {
    bool lit = (x == 5 && y == 7) || (x == 30 && y == 2) || (y == 12 && x >= 2 && x < 20) ||
               (x == 40 && y >= 3 && y < 9);
    return lit ? 0xFFFFFFFFu : kBlack;
  });
  EXPECT_TRUE(picturesMatch("points-lines", expected, got, 48, 16, 0));
}

TEST_F(DevicePixels, SurfaceRegionDrawsOneUnitPerTexel) {
  // A 4 x 4 surface whose texels all differ; a 2 x 2 region from (1, 1) and the whole surface.
  gxtkSurface* surface = device->createSurface(4, 4);
  Array<int> texels(16);
  for (int i = 0; i < 16; ++i) texels[i] = static_cast<int>(argb(255, i * 16, 255 - i * 16, i * 5));
  device->writeSurfacePixels(surface, texels, 0, 0, 4, 4, 0, 4);
  device->drawSurfaceRegion(surface, 20, 30, 1, 1, 2, 2);
  device->drawSurface(surface, 40, 30);
  auto texel = [&](int tx, int ty) { return static_cast<uint32_t>(texels[ty * 4 + tx]); };

  std::vector<uint32_t> got = readBack(device, 20, 30, 2, 2);
  auto expected = makePicture(2, 2, [&](int x, int y) { return texel(x + 1, y + 1); });
  EXPECT_TRUE(picturesMatch("surface-region", expected, got, 2, 2));
  got = readBack(device, 40, 30, 4, 4);
  EXPECT_TRUE(picturesMatch("surface-whole", makePicture(4, 4, texel), got, 4, 4));
  // Nothing next to the region.
  EXPECT_EQ(readBack(device, 22, 30, 1, 1)[0], kBlack);
}

TEST_F(DevicePixels, ClearDropsPrimitivesNotYetDrawn) {
  device->drawRect(0, 0, 32, 32);
  device->drawRect(36, 36, 8, 8);
  device->clear(0, 0, 0);
  EXPECT_EQ(device->vertexCount(), 0);
  device->endFrame();
  std::vector<uint32_t> got = readBack(device, 0, 0, 48, 48);
  EXPECT_TRUE(
      picturesMatch("clear-drops", makePicture(48, 48, [](int, int) { return kBlack; }), got, 48, 48, 0));
  EXPECT_EQ(device->counters.flushes, 0);
}

TEST_F(DevicePixels, ReadPixelsClipsToWindowAndArray) {
  device->setColor(0, 255, 0);
  device->drawRect(kWindowWidth - 2, 0, 2, 2);
  // A rectangle half outside the window: only the inside is read, each pixel where the full
  // rectangle would have put it; the rest of the array is left alone.
  Array<int> pixels(4 * 2);
  for (int i = 0; i < pixels.length(); ++i) pixels[i] = 0x12345678;
  device->readPixels(pixels, kWindowWidth - 2, -1, 4, 2, 0, 4);
  EXPECT_EQ(static_cast<uint32_t>(pixels[0]), 0x12345678u) << "row above the window must stay untouched";
  EXPECT_EQ(static_cast<uint32_t>(pixels[4]), argb(255, 0, 255, 0));
  EXPECT_EQ(static_cast<uint32_t>(pixels[5]), argb(255, 0, 255, 0));
  EXPECT_EQ(static_cast<uint32_t>(pixels[6]), 0x12345678u)
      << "column right of the window must stay untouched";

  // An array too short for offset + pitch rows: the rows that fit are written, nothing beyond.
  Array<int> shortArray(5);
  device->readPixels(shortArray, kWindowWidth - 2, 0, 2, 2, 1, 3);
  EXPECT_EQ(static_cast<uint32_t>(shortArray[1]), argb(255, 0, 255, 0));
  EXPECT_EQ(static_cast<uint32_t>(shortArray[4]), argb(255, 0, 255, 0));
  // Wholly outside, negative offsets and empty arrays read nothing and do not crash.
  device->readPixels(shortArray, -50, -50, 10, 10, 0, 10);
  device->readPixels(shortArray, 0, 0, 4, 4, -100, 4);
  device->readPixels(Array<int>(), 0, 0, 4, 4, 0, 4);
}

TEST_F(DevicePixels, WriteSurfacePixelsClipsToSurfaceAndArray) {
  gxtkSurface* surface = device->createSurface(4, 2);
  Array<int> source(3);
  for (int i = 0; i < 3; ++i) source[i] = static_cast<int>(argb(255, 10 * (i + 1), 0, 0));
  // Starts left of the surface and asks for more rows than the array holds.
  device->writeSurfacePixels(surface, source, -1, 0, 3, 5, 0, 3);
  ASSERT_NE(surface->pixels, nullptr);
  EXPECT_EQ(surface->pixels[0], 20);  // source column 1 lands at x 0
  EXPECT_EQ(surface->pixels[4], 30);
  EXPECT_EQ(surface->pixels[8], 0) << "beyond the written columns";
  EXPECT_EQ(surface->pixels[16], 0) << "second row has no source entries";
  // Other formats are left alone.
  gxtkSurface* grey = new gxtkSurface();
  unsigned char* one = static_cast<unsigned char*>(std::malloc(1));
  one[0] = 9;
  grey->adoptPixels(one, 1, 1, 1);
  device->writeSurfacePixels(grey, source, 0, 0, 1, 1, 0, 1);
  EXPECT_EQ(grey->pixels[0], 9);
}

}  // namespace
