// Surfaces: decoding and premultiplication, texture creation across contexts, the power-of-two
// fallback, and pictures the loader must refuse.
#include <GL/gl.h>

#include "host/game.h"
#include "runtime/collector.h"
#include "tests/graphics/gl_fixture.h"
#include "tests/runtime/gc_test_support.h"

namespace {

using Surfaces = GlTest;

String toPath(const std::string& path) {
  return String(path.c_str());
}

TEST_F(Surfaces, RgbaPixelsArePremultipliedAtLoad) {
  std::string path = writeTestPng("rgba.png", 2, 1, 4, {200, 100, 0, 128, 10, 20, 30, 255});
  int64_t externalBefore = externalBytes.load();
  gxtkSurface* surface = device->loadSurface(toPath(path));
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(externalBytes.load() - externalBefore, 2 * 1 * 4) << "decoded bytes count as external memory";
  EXPECT_EQ(surface->width(), 2);
  EXPECT_EQ(surface->height(), 1);
  EXPECT_EQ(surface->depth, 4);
  EXPECT_EQ(surface->format, GL_RGBA);
  EXPECT_EQ(surface->loaded(), 1);
  const unsigned char expected[8] = {100, 50, 0, 128, 10, 20, 30, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(surface->pixels[i], expected[i]) << "byte " << i;
  EXPECT_EQ(surface->textureGeneration, contextGeneration) << "loadSurface binds at once";
  EXPECT_NE(surface->texture, 0u);
}

TEST_F(Surfaces, GreyAndGreyAlphaKeepTheirDepth) {
  gxtkSurface* grey = device->loadSurface(toPath(writeTestPng("grey.png", 2, 1, 1, {200, 7})));
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(grey->depth, 1);
  EXPECT_EQ(grey->format, GL_LUMINANCE);
  EXPECT_EQ(grey->pixels[0], 200);
  EXPECT_EQ(grey->pixels[1], 7);

  gxtkSurface* greyAlpha = device->loadSurface(toPath(writeTestPng("grey-alpha.png", 1, 1, 2, {200, 128})));
  ASSERT_NE(greyAlpha, nullptr);
  EXPECT_EQ(greyAlpha->depth, 2);
  EXPECT_EQ(greyAlpha->format, GL_LUMINANCE_ALPHA);
  EXPECT_EQ(greyAlpha->pixels[0], 100);
  EXPECT_EQ(greyAlpha->pixels[1], 128);

  // What was uploaded: premultiplied grey over black stays at its stored value.
  device->drawSurface(grey, 0, 0);
  device->drawSurface(greyAlpha, 4, 0);
  std::vector<uint32_t> got = readBack(device, 0, 0, 5, 1);
  auto expected = makePicture(5, 1, [](int x, int) {
    return x == 0   ? argb(255, 200, 200, 200)
           : x == 1 ? argb(255, 7, 7, 7)
           : x == 4 ? argb(255, 100, 100, 100)
                    : argb(255, 0, 0, 0);
  });
  EXPECT_TRUE(picturesMatch("grey-surfaces", expected, got, 5, 1));
}

TEST_F(Surfaces, BindingBeforeAnyWindowDoesNothing) {
  int saved = contextGeneration;
  contextGeneration = 0;
  gxtkSurface* created = device->createSurface(8, 8);
  gxtkSurface* loaded = device->loadSurface(toPath(writeTestPng("early.png", 1, 1, 3, {1, 2, 3})));
  contextGeneration = saved;
  EXPECT_EQ(created->textureGeneration, -1);
  EXPECT_EQ(created->texture, 0u);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->textureGeneration, -1);
  EXPECT_EQ(loaded->texture, 0u);
  // The first bind in a live context makes it.
  loaded->bind();
  EXPECT_EQ(loaded->textureGeneration, contextGeneration);
}

TEST_F(Surfaces, NewContextRecreatesOldTexturesWithTheSameContent) {
  std::vector<unsigned char> rgb;
  for (int i = 0; i < 16; ++i) {
    rgb.push_back(static_cast<unsigned char>(i * 15));
    rgb.push_back(static_cast<unsigned char>(255 - i * 10));
    rgb.push_back(static_cast<unsigned char>(i * 3));
  }
  gxtkSurface* surface = device->loadSurface(toPath(writeTestPng("context.png", 4, 4, 3, rgb)));
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->format, GL_RGB);
  device->drawSurface(surface, 10, 10);
  std::vector<uint32_t> before = readBack(device, 10, 10, 4, 4);
  auto expected = makePicture(4, 4, [&](int x, int y) {
    const unsigned char* p = &rgb[(y * 4 + x) * 3];
    return argb(255, p[0], p[1], p[2]);
  });
  EXPECT_TRUE(picturesMatch("first-context", expected, before, 4, 4));
  int oldGeneration = contextGeneration;

  replaceTestWindow();
  ASSERT_EQ(contextGeneration, oldGeneration + 1);
  gxtkGraphics* fresh = new gxtkGraphics();
  fresh->beginFrame();
  fresh->setColor(255, 255, 255);
  fresh->setAlpha(1);
  fresh->clear(0, 0, 0);
  fresh->drawSurface(surface, 10, 10);
  std::vector<uint32_t> after = readBack(fresh, 10, 10, 4, 4);
  EXPECT_EQ(surface->textureGeneration, contextGeneration);
  EXPECT_TRUE(picturesMatch("second-context", expected, after, 4, 4));
}

TEST_F(Surfaces, PowerOfTwoFallbackScalesTextureCoordinates) {
  gxtkSurface::forcePowerOfTwo = true;
  std::vector<unsigned char> rgba(100 * 30 * 4);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 100; ++x) {
      unsigned char* p = &rgba[(y * 100 + x) * 4];
      p[0] = static_cast<unsigned char>(x * 2), p[1] = static_cast<unsigned char>(y * 8), p[2] = 50,
      p[3] = 255;
    }
  }
  gxtkSurface* surface = device->loadSurface(toPath(writeTestPng("npot.png", 100, 30, 4, rgba)));
  gxtkSurface::forcePowerOfTwo = false;
  ASSERT_NE(surface, nullptr);
  EXPECT_FLOAT_EQ(surface->uScale, 1.0f / 128);
  EXPECT_FLOAT_EQ(surface->vScale, 1.0f / 32);
  GLint texWidth = 0, texHeight = 0;
  surface->bind();
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texWidth);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &texHeight);
  EXPECT_EQ(texWidth, 128);
  EXPECT_EQ(texHeight, 32);

  device->drawSurface(surface, 0, 0);
  EXPECT_FLOAT_EQ(device->batch()[2].u, 100.0f / 128);
  EXPECT_FLOAT_EQ(device->batch()[2].v, 30.0f / 32);
  std::vector<uint32_t> got = readBack(device, 0, 0, 101, 31);
  auto expected = makePicture(101, 31, [](int x, int y) {
    return x < 100 && y < 30 ? argb(255, x * 2, y * 8, 50) : argb(255, 0, 0, 0);
  });
  EXPECT_TRUE(picturesMatch("power-of-two", expected, got, 101, 31));
  // Without the seam this implementation takes the exact size.
  gxtkSurface* exact = device->createSurface(100, 30);
  EXPECT_FLOAT_EQ(exact->uScale, 1.0f / 100);
}

TEST_F(Surfaces, UnreadablePicturesGiveNull) {
  EXPECT_EQ(device->loadSurface(String("/nonexistent/dir/picture.png")), nullptr);
  EXPECT_EQ(device->loadSurface(toPath(writeTestFile("not-a-picture.png", {'h', 'e', 'l', 'l', 'o'}))),
            nullptr);
  EXPECT_EQ(device->loadSurface(toPath(writeTestFile("empty.png", {}))), nullptr);

  // A PNG cut off after its header: the size is known, the pixels are not.
  std::string whole = writeTestPng("whole.png", 8, 8, 4, std::vector<unsigned char>(8 * 8 * 4, 99));
  FILE* f = std::fopen(whole.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<unsigned char> head(40);
  size_t got = std::fread(head.data(), 1, head.size(), f);
  std::fclose(f);
  head.resize(got);
  EXPECT_EQ(device->loadSurface(toPath(writeTestFile("truncated.png", head))), nullptr);

  gxtkSurface* surface = new gxtkSurface();
  EXPECT_EQ(device->loadSurfaceData(surface, String("/nonexistent.png")), 0);
  EXPECT_EQ(device->loadSurfaceData(nullptr, toPath(whole)), 0);
}

TEST_F(Surfaces, PicturesWiderOrTallerThan16384AreRefused) {
  int w = 0, h = 0, d = 0;
  std::string edge = writeTestPng("edge.png", 16384, 1, 1, std::vector<unsigned char>(16384, 5));
  unsigned char* data = currentGame->loadImageData(toPath(edge), w, h, d);
  ASSERT_NE(data, nullptr) << "16384 is still allowed";
  EXPECT_EQ(w, 16384);
  EXPECT_EQ(data[16383], 5) << "decoding after the size probe starts at the beginning of the file";
  std::free(data);

  std::string wide = writeTestPng("wide.png", 16385, 1, 1, std::vector<unsigned char>(16385, 5));
  EXPECT_EQ(currentGame->loadImageData(toPath(wide), w, h, d), nullptr);
  std::string tall = writeTestPng("tall.png", 1, 16385, 1, std::vector<unsigned char>(16385, 5));
  EXPECT_EQ(currentGame->loadImageData(toPath(tall), w, h, d), nullptr);

  // A header that claims a huge picture is refused before any decoding is tried.
  std::vector<unsigned char> png = {
      0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0,    13,
      'I',  'H', 'D', 'R', 0,    0,    0x4E, 0x20, 0, 0, 0x4E, 0x20,  // 20000 x 20000
      8,    6,   0,   0,   0,    0,    0,    0,    0};
  EXPECT_EQ(device->loadSurface(toPath(writeTestFile("huge-header.png", png))), nullptr);
}

TEST_F(Surfaces, DiscardReleasesTextureAndPixels) {
  gxtkSurface* surface =
      device->loadSurface(toPath(writeTestPng("discard.png", 3, 2, 4, std::vector<unsigned char>(24, 200))));
  ASSERT_NE(surface, nullptr);
  GLuint name = surface->texture;
  EXPECT_EQ(glIsTexture(name), GL_TRUE);
  surface->discard();
  EXPECT_EQ(glIsTexture(name), GL_FALSE);
  EXPECT_EQ(surface->pixels, nullptr);
  EXPECT_EQ(surface->textureGeneration, -1);
  // A later bind makes an empty texture of the old size.
  surface->bind();
  EXPECT_EQ(surface->textureGeneration, contextGeneration);
  EXPECT_FLOAT_EQ(surface->uScale, 1.0f / 3);
}

TEST_F(Surfaces, ReclaimedSurfaceReleasesItsTexture) {
  gxtkSurface* surface =
      device->loadSurface(toPath(writeTestPng("reclaim.png", 2, 2, 4, std::vector<unsigned char>(16, 50))));
  ASSERT_NE(surface, nullptr);
  GLuint name = surface->texture;
  ASSERT_EQ(glIsTexture(name), GL_TRUE);
  // Nothing refers to the surface (nor to this test's device, which is not used again), so the
  // collector destroys it; its pixel copy goes too (the sanitizer build would report it leaked).
  surface = nullptr;
  device = nullptr;
  settleCollector();
  EXPECT_EQ(glIsTexture(name), GL_FALSE);
}

TEST_F(Surfaces, WrittenPixelsArePremultipliedAndUploadedRowByRow) {
  gxtkSurface* surface = device->createSurface(4, 2);
  // A new texture's content is undefined until written.
  device->writeSurfacePixels(surface, Array<int>(8), 0, 0, 4, 2, 0, 4);
  Array<int> one(1);
  one[0] = static_cast<int>(argb(128, 200, 100, 0));
  device->writeSurfacePixels(surface, one, 1, 1, 1, 1, 0, 1);
  ASSERT_NE(surface->pixels, nullptr);
  const unsigned char* p = surface->pixels + (1 * 4 + 1) * 4;
  EXPECT_EQ(p[0], 100);
  EXPECT_EQ(p[1], 50);
  EXPECT_EQ(p[2], 0);
  EXPECT_EQ(p[3], 128);
  EXPECT_EQ(surface->pixels[0], 0) << "pixels outside the written rectangle keep their value";

  // Quads drawn before a write keep the old pixels; the write shows in later ones.
  Array<int> red(2);
  red[0] = red[1] = static_cast<int>(argb(255, 255, 0, 0));
  device->drawSurfaceRegion(surface, 0, 0, 0, 0, 2, 1);
  device->writeSurfacePixels(surface, red, 0, 0, 2, 1, 0, 2);
  device->drawSurfaceRegion(surface, 0, 4, 0, 0, 2, 1);
  std::vector<uint32_t> got = readBack(device, 0, 0, 2, 5);
  auto expected =
      makePicture(2, 5, [](int, int y) { return y == 4 ? argb(255, 255, 0, 0) : argb(255, 0, 0, 0); });
  EXPECT_TRUE(picturesMatch("write-surface-pixels", expected, got, 2, 5));
}

}  // namespace
