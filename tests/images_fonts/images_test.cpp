// Images: flags, strips and grids, handles, the draw each form sends to the device and the pixels
// it puts on the screen, the runtime errors of the init methods and what the loaders do when a
// picture is missing.
#include <string>

#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "host/game.h"
#include "runtime/collector.h"
#include "tests/images_fonts/drawing_fixture.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

// Every pixel tells where it came from: red = x, green = 2y.
uint32_t coordPixel(int x, int y) {
  return argb(255, x & 255, (2 * y) & 255, 77);
}

String writeCoordPicture(const std::string& name, int width, int height) {
  return String(writeDataPng(name, width, height, 4, rgbaPixels(width, height, coordPixel)).c_str());
}

// The screen rectangle (x, y, w, h) should show the picture's pixels from (srcX, srcY) on, and
// black around them inside the read-back area.
::testing::AssertionResult showsRegion(gxtkGraphics* device, const std::string& name, int x, int y, int w,
                                       int h, int srcX, int srcY) {
  int ax = x - 2, ay = y - 2, aw = w + 4, ah = h + 4;
  auto expected = makePicture(aw, ah, [&](int px, int py) {
    int sx = ax + px, sy = ay + py;
    bool inside = sx >= x && sx < x + w && sy >= y && sy < y + h;
    return inside ? coordPixel(srcX + sx - x, srcY + sy - y) : kBlack;
  });
  return picturesMatch(name, expected, readBack(device, ax, ay, aw, ah), aw, ah);
}

gxtkSurface* handMadeSurface(int width, int height) {
  gxtkSurface* surface = new gxtkSurface();
  surface->width_ = width;
  surface->height_ = height;
  return surface;
}

using Images = DrawingTest;

TEST_F(Images, FlagsDecideFramesHandleAndTheWholeSurfaceBit) {
  String path = writeCoordPicture("images/square64.png", 64, 64);

  c_Image* plain = loadImage(path, 0);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->width(), 64);
  EXPECT_EQ(plain->height(), 64);
  ASSERT_EQ(plain->frameCount(), 1);
  EXPECT_EQ(plain->frames[0]->x, 0);
  EXPECT_EQ(plain->frames[0]->y, 0);
  EXPECT_EQ(plain->flags, 65536);
  EXPECT_EQ(plain->handleX, 0);
  drawImage(plain, 10, 5);
  ASSERT_EQ(device->draws.size(), 1u);
  EXPECT_TRUE(device->draws[0].whole) << "one frame covering the surface is drawn whole";
  EXPECT_TRUE(showsRegion(device, "flags0-whole", 10, 5, 64, 64, 0, 0));

  c_Image* centred = loadImage(path, 1);
  ASSERT_NE(centred, nullptr);
  EXPECT_EQ(centred->handleX, 32);
  EXPECT_EQ(centred->handleY, 32);
  EXPECT_EQ(centred->flags, 65536) << "bit 0 is not kept";

  struct Case {
    int flags, width, height, frameX, frameY, storedFlags;
    float handle;
  };
  for (const Case& c :
       {Case{2, 62, 64, 1, 0, 2, 0}, Case{4, 64, 62, 0, 1, 4, 0}, Case{7, 62, 62, 1, 1, 6, 31}}) {
    SCOPED_TRACE("flags " + std::to_string(c.flags));
    c_Image* padded = loadImage(path, c.flags);
    ASSERT_NE(padded, nullptr);
    EXPECT_EQ(padded->width(), c.width);
    EXPECT_EQ(padded->height(), c.height);
    EXPECT_EQ(padded->frames[0]->x, c.frameX);
    EXPECT_EQ(padded->frames[0]->y, c.frameY);
    EXPECT_EQ(padded->flags, c.storedFlags) << "a padded frame no longer covers the surface";
    EXPECT_EQ(padded->handleX, c.handle);
  }

  device->clear(0, 0, 0);
  device->draws.clear();
  drawImage(loadImage(path, 2), 3, 4);
  ASSERT_EQ(device->draws.size(), 1u);
  EXPECT_FALSE(device->draws[0].whole);
  EXPECT_EQ(device->draws[0].srcX, 1);
  EXPECT_EQ(device->draws[0].srcWidth, 62);
  EXPECT_TRUE(showsRegion(device, "flags2-region", 3, 4, 62, 64, 1, 0));
}

TEST_F(Images, StripFramesLieSideBySide) {
  c_Image* strip = loadImage(writeCoordPicture("images/strip256.png", 256, 32), 8, 0);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->width(), 32);
  EXPECT_EQ(strip->height(), 32);
  ASSERT_EQ(strip->frameCount(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(strip->frames[i]->x, 32 * i) << "frame " << i;
    EXPECT_EQ(strip->frames[i]->y, 0) << "frame " << i;
  }
  EXPECT_EQ(strip->flags & c_Image::kFullFrame, 0);

  drawImage(strip, 20, 30, 5);
  ASSERT_EQ(device->draws.size(), 1u);
  EXPECT_FALSE(device->draws[0].whole);
  EXPECT_TRUE(showsRegion(device, "strip-frame5", 20, 30, 32, 32, 160, 0));
}

TEST_F(Images, GridFramesFillRowsAndTheRectFormIsRelativeToTheFrame) {
  c_Image* grid = loadImage(writeCoordPicture("images/grid100.png", 100, 100), 40, 40, 4, 0);
  ASSERT_NE(grid, nullptr);
  ASSERT_EQ(grid->frameCount(), 4);
  const int expected[4][2] = {{0, 0}, {40, 0}, {0, 40}, {40, 40}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(grid->frames[i]->x, expected[i][0]) << "frame " << i;
    EXPECT_EQ(grid->frames[i]->y, expected[i][1]) << "frame " << i;
  }
  drawImage(grid, 10, 10, 3);
  EXPECT_TRUE(showsRegion(device, "grid-frame3", 10, 10, 40, 40, 40, 40));

  device->clear(0, 0, 0);
  drawImageRect(grid, 60, 20, 5, 7, 12, 9, 3);
  ASSERT_EQ(device->draws.size(), 2u);
  EXPECT_EQ(device->draws[1].srcX, 45);
  EXPECT_EQ(device->draws[1].srcY, 47);
  EXPECT_TRUE(showsRegion(device, "grid-rect-frame3", 60, 20, 12, 9, 45, 47));
}

TEST(ImageGrid, LaterRowsStartAtColumnZeroAndTheSourceRectangleOffsetsFrames) {
  c_Image* source = new c_Image();
  c_Image* image = new c_Image();
  EXPECT_EQ(image->initGrid(handMadeSurface(100, 100), 20, 0, 40, 40, 3, 0, source, 5, 7, 100, 100), image);
  ASSERT_EQ(image->frameCount(), 3);
  EXPECT_EQ(image->frames[0]->x, 25);
  EXPECT_EQ(image->frames[0]->y, 7);
  EXPECT_EQ(image->frames[1]->x, 65);
  EXPECT_EQ(image->frames[2]->x, 5) << "the second row starts at column 0, not at x = 20";
  EXPECT_EQ(image->frames[2]->y, 47);
  EXPECT_EQ(image->source.get(), source);
  EXPECT_EQ(image->flags & c_Image::kFullFrame, 0);
}

TEST(ImageDeathTest, FramesOutsideTheSurfaceAreARuntimeError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* banner = "Corvane Runtime Error : Image frame outside surface";
  EXPECT_EXIT(
      runExpectingRuntimeError([] {
        (new c_Image())->initGrid(handMadeSurface(100, 100), 0, 0, 40, 40, 5, 0, nullptr, 0, 0, 100, 100);
      }),
      ::testing::ExitedWithCode(255), banner);
  EXPECT_EXIT(
      runExpectingRuntimeError([] {
        (new c_Image())->initGrid(handMadeSurface(100, 100), 0, 0, 120, 10, 1, 0, nullptr, 0, 0, 100, 100);
      }),
      ::testing::ExitedWithCode(255), banner);
  EXPECT_EXIT(
      runExpectingRuntimeError([] {
        (new c_Image())->initGrid(handMadeSurface(100, 100), 0, 0, -10, 10, 3, 0, nullptr, 0, 0, 100, 100);
      }),
      ::testing::ExitedWithCode(255), banner);
}

TEST(ImageDeathTest, InitialisingTwiceIsARuntimeError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* banner = "Corvane Runtime Error : Image already initialized";
  EXPECT_EXIT(runExpectingRuntimeError([] {
                c_Image* image = new c_Image();
                image->initStrip(handMadeSurface(64, 16), 4, 0);
                image->initStrip(handMadeSurface(64, 16), 4, 0);
              }),
              ::testing::ExitedWithCode(255), banner);
  EXPECT_EXIT(runExpectingRuntimeError([] {
                c_Image* image = new c_Image();
                image->initStrip(handMadeSurface(64, 16), 4, 0);
                image->initGrid(handMadeSurface(64, 16), 0, 0, 8, 8, 1, 0, nullptr, 0, 0, 64, 16);
              }),
              ::testing::ExitedWithCode(255), banner);
}

TEST_F(Images, TheHandleIsSubtractedFromThePosition) {
  c_Image* image = loadImage(writeCoordPicture("images/small20.png", 20, 20), 1);
  ASSERT_NE(image, nullptr);
  image->setHandle(16, 16);
  EXPECT_EQ(image->handleX, 16);
  EXPECT_EQ(image->handleY, 16);
  drawImage(image, 100, 50);
  ASSERT_EQ(device->draws.size(), 1u);
  EXPECT_EQ(device->draws[0].x, 84);
  EXPECT_EQ(device->draws[0].y, 34);
  EXPECT_TRUE(showsRegion(device, "handle-16-16", 84, 34, 20, 20, 0, 0));
}

TEST_F(Images, UnitRotationAndScaleDrawWhatThePlainFormsDraw) {
  c_Image* strip = loadImage(writeCoordPicture("images/strip256.png", 256, 32), 8, 0);
  c_Image* whole = loadImage(writeCoordPicture("images/square64.png", 64, 64), 0);
  ASSERT_NE(strip, nullptr);
  ASSERT_NE(whole, nullptr);
  strip->setHandle(5, 3);

  auto compare = [&](const char* name, const std::function<void()>& plainDraw,
                     const std::function<void()>& rotatedDraw) {
    device->clear(0, 0, 0);
    plainDraw();
    std::vector<uint32_t> plain = readBack(device, 0, 0, kWindowWidth, kWindowHeight);
    device->clear(0, 0, 0);
    rotatedDraw();
    EXPECT_TRUE(picturesMatch(name, plain, readBack(device, 0, 0, kWindowWidth, kWindowHeight), kWindowWidth,
                              kWindowHeight, 0));
  };
  compare(
      "unit-rotation-frame", [&] { drawImage(strip, 30, 20, 2); },
      [&] { drawImage(strip, 30, 20, 0, 1, 1, 2); });
  compare(
      "unit-rotation-rect", [&] { drawImageRect(strip, 30, 20, 4, 6, 10, 12, 2); },
      [&] { drawImageRect(strip, 30, 20, 4, 6, 10, 12, 0, 1, 1, 2); });
  compare(
      "unit-rotation-whole", [&] { drawImage(whole, 7, 9); }, [&] { drawImage(whole, 7, 9, 0, 1, 1, 0); });
  EXPECT_TRUE(device->draws.back().whole) << "the rotated form also draws a whole-surface image whole";
  EXPECT_EQ(graphicsContext->matrixSp, 0) << "every push is popped";
}

TEST_F(Images, RotationAndScaleTurnAboutTheHandle) {
  c_Image* image = loadImage(writeCoordPicture("images/small16.png", 16, 16), 1);
  ASSERT_NE(image, nullptr);
  // A positive angle turns counter-clockwise on screen (y points down): source (sx, sy) lands at
  // (32 + sy, 47 - sx) around the handle at (40, 40).
  drawImage(image, 40, 40, 90, 1, 1, 0);
  auto turned = makePicture(16, 16, [](int x, int y) { return coordPixel(47 - (32 + y), x); });
  EXPECT_TRUE(picturesMatch("rotate-90", turned, readBack(device, 32, 32, 16, 16), 16, 16));

  // Scaled about the handle: a 16 x 16 picture at (64, 48) scaled by (2, 3) covers [48, 80) x [24, 72).
  c_Image* white = loadImage(
      String(writeDataPng("images/white16.png", 16, 16, 3, std::vector<unsigned char>(16 * 16 * 3, 255))
                 .c_str()),
      1);
  ASSERT_NE(white, nullptr);
  device->clear(0, 0, 0);
  drawImage(white, 64, 48, 0, 2, 3, 0);
  auto scaled = makePicture(kWindowWidth, kWindowHeight, [](int x, int y) {
    return x >= 48 && x < 80 && y >= 24 && y < 72 ? 0xFFFFFFFFu : kBlack;
  });
  EXPECT_TRUE(picturesMatch("scale-2-3", scaled, readBack(device, 0, 0, kWindowWidth, kWindowHeight),
                            kWindowWidth, kWindowHeight));
}

TEST_F(Images, NullImagesAndFramesTheImageLacksDrawNothing) {
  c_Image* strip = loadImage(writeCoordPicture("images/strip256.png", 256, 32), 8, 0);
  ASSERT_NE(strip, nullptr);
  c_Image* empty = new c_Image();
  for (c_Image* image : {static_cast<c_Image*>(nullptr), empty, strip}) {
    int frame = image == strip ? 8 : 0;
    drawImage(image, 1, 2);
    drawImage(image, 1, 2, frame);
    drawImage(image, 1, 2, 30, 2, 2, frame);
    drawImageRect(image, 1, 2, 0, 0, 4, 4);
    drawImageRect(image, 1, 2, 0, 0, 4, 4, frame);
    drawImageRect(image, 1, 2, 0, 0, 4, 4, 30, 2, 2, frame);
  }
  drawImage(strip, 1, 2, -1);
  drawImageRect(strip, 1, 2, 0, 0, 4, 4, 0, 1, 1, -1);
  // drawImage(strip, x, y) means frame 0, which exists.
  EXPECT_EQ(device->draws.size(), 2u) << "only the two frame-0 draws of the strip";
  EXPECT_EQ(graphicsContext->matrixSp, 0);
}

TEST_F(Images, MissingPicturesWriteTheErrorLineAndGiveNull) {
  ::testing::internal::CaptureStderr();
  c_Image* single = loadImage(String("images/nowhere.png"), 0);
  c_Image* strip = loadImage(String("images/nowhere.png"), 4, 0);
  c_Image* grid = loadImage(String("images/nowhere.png"), 8, 8, 2, 0);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(single, nullptr);
  EXPECT_EQ(strip, nullptr);
  EXPECT_EQ(grid, nullptr);
  std::string line = "Error - Unable to load image: images/nowhere.png\n";
  EXPECT_EQ(err, line + line + line);
}

TEST_F(Images, StripsWithoutFramesGiveNull) {
  String path = writeCoordPicture("images/strip256.png", 256, 32);
  EXPECT_EQ(loadImage(path, 0, 0), nullptr);
  EXPECT_EQ(loadImage(path, -3, 0), nullptr);
  c_Image* image = new c_Image();
  EXPECT_EQ(image->initStrip(handMadeSurface(64, 16), 0, 0), nullptr);
  EXPECT_EQ(image->surface.get(), nullptr) << "the image stays empty";
  EXPECT_EQ(image->frameCount(), 0);
  EXPECT_EQ(image->initStrip(handMadeSurface(64, 16), 2, 0), image) << "and can still be initialised";
  EXPECT_EQ(image->width(), 32);
}

TEST_F(Images, BareNamesAreCompletedToDataPaths) {
  writeCoordPicture("images/bare.png", 12, 6);
  for (const char* path : {"images/bare.png", "corvane://data/images/bare.png"}) {
    c_Image* image = loadImage(String(path), 0);
    ASSERT_NE(image, nullptr) << path;
    EXPECT_EQ(image->width(), 12) << path;
    EXPECT_EQ(image->height(), 6) << path;
  }
}

TEST_F(Images, MarksKeepSurfaceFramesAndSourceAlive) {
  c_Image* source = loadImage(writeCoordPicture("images/grid100.png", 100, 100), 0);
  ASSERT_NE(source, nullptr);
  c_Image* image = new c_Image();
  image->initGrid(source->surface, 0, 0, 50, 50, 4, 0, source, 0, 0, 100, 100);
  GcRoot<c_Image*> root;
  root = image;
  for (int i = 0; i < 3; ++i) fullCollection();
  std::vector<const gc_object*> reachable = {image,  image->surface.get(),       image->frames.get().rep(),
                                             source, source->frames.get().rep(), source->frames[0]};
  for (int i = 0; i < image->frameCount(); ++i) reachable.push_back(image->frames[i]);
  for (size_t i = 0; i < reachable.size(); ++i) {
    EXPECT_NE(gcListOf(reachable[i]), GcList::Free) << "object " << i << " was collected while reachable";
  }
  EXPECT_NE(image->surface->texture, 0u);
}

}  // namespace
