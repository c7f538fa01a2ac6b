// Recorded drawing (one upload per frame, batches merged across textures) against drawing each
// batch at once: the same scene must give the same pixels, exactly, and the same device counters.
#include "graphics/draw_recorder.h"

#include <cmath>

#include "tests/graphics/gl_fixture.h"

namespace {

constexpr int kSurfaces = 6;  // more textures than the recorder's units, so runs must split

void startFrame(gxtkGraphics* device) {
  device->beginFrame();
  device->setColor(255, 255, 255);
  device->setAlpha(1);
  device->setBlendMode(0);
  device->setScissor(0, 0, kWindowWidth, kWindowHeight);
  device->clear(0, 0, 0);
}

// Small surfaces whose texels differ from surface to surface and within each (some translucent).
std::vector<gxtkSurface*> makeSurfaces(gxtkGraphics* device) {
  std::vector<gxtkSurface*> surfaces;
  for (int s = 0; s < kSurfaces; ++s) {
    gxtkSurface* surface = device->createSurface(4, 4);
    Array<int> texels(16);
    for (int i = 0; i < 16; ++i) {
      texels[i] = static_cast<int>(argb(i % 3 == 0 ? 128 : 255, 40 * s + i, 255 - 30 * s, i * 15));
    }
    device->writeSurfacePixels(surface, texels, 0, 0, 4, 4, 0, 4);
    surfaces.push_back(surface);
  }
  return surfaces;
}

// Every kind of primitive, textures alternating as the intro's fonts and pictures do, blend,
// scissor and transform changes, a clear in the middle, a texture rewritten and one discarded
// while draws that used them may still be waiting.
void drawScene(gxtkGraphics* device, const std::vector<gxtkSurface*>& surfaces, gxtkSurface* discarded) {
  device->setColor(200, 100, 50);
  device->drawRect(0, 0, 40, 40);
  device->clear(10, 20, 30);
  device->setAlpha(0.75f);
  device->drawRect(2, 2, 60, 40);
  device->drawOval(30, 20, 50, 30);
  device->drawPoint(5, 90);
  device->drawPoint(7, 91);
  device->drawLine(0, 80, 120, 85);
  device->setColor(255, 255, 255);
  device->setAlpha(1);
  for (int i = 0; i < 30; ++i) {
    device->drawSurface(surfaces[static_cast<size_t>(i % 2 == 0 ? 0 : 1 + i % (kSurfaces - 1))],
                        static_cast<float>((i * 9) % 120), static_cast<float>(4 + (i * 7) % 80));
  }
  device->drawRect(60, 60, 10, 10);
  device->drawSurfaceRegion(surfaces[2], 62, 62, 1, 1, 3, 3);
  device->setBlendMode(1);
  device->setColor(90, 40, 200);
  device->drawSurface(surfaces[3], 64, 40);
  device->drawRect(66, 42, 20, 5);
  device->setBlendMode(0);
  device->setScissor(10, 12, 50, 40);
  device->drawOval(0, 0, 90, 70);
  device->drawSurface(surfaces[4], 20, 20);
  device->setScissor(0, 0, kWindowWidth, kWindowHeight);

  Array<float> pentagon(10);
  for (int i = 0; i < 5; ++i) {
    pentagon[i * 2] = 100 + 20 * std::cos(static_cast<float>(i) * 1.2566f);
    pentagon[i * 2 + 1] = 30 + 20 * std::sin(static_cast<float>(i) * 1.2566f);
  }
  device->drawPolygon(pentagon);
  device->drawPolygon(pentagon);
  Array<float> triangle(12);
  const float corners[12] = {90, 60, 0, 0, 120, 70, 4, 0, 95, 90, 2, 4};
  for (int i = 0; i < 12; ++i) triangle[i] = corners[i];
  device->setColor(255, 255, 255);
  device->drawTexturedPolygon(triangle, surfaces[5], 0, 0);
  device->setMatrix(0.8f, 0.6f, -0.6f, 0.8f, 30, 5);
  device->drawRect(10, 10, 30, 12);
  device->drawSurface(surfaces[0], 40, 20);
  device->drawSurface(surfaces[1], 44, 20);
  device->setMatrix(2, 0, 0, 2, 1, 1);
  device->drawSurface(surfaces[3], 20, 30);
  device->setMatrix(1, 0, 0, 1, 0, 0);
  // One texel per pixel (read as the nearest texel) next to fractional positions (where linear
  // filtering mixes texels), in one run and with the same textures.
  device->drawSurface(surfaces[4], 70, 12);
  device->drawSurface(surfaces[5], 75.5f, 12.25f);
  device->drawSurface(surfaces[4], 80.75f, 12);
  device->drawSurface(surfaces[5], 86, 12);
  device->drawSurfaceRegion(surfaces[0], 92, 12, 1, 0, 3, 4);

  // Pictures and their shadows at fractional positions, alternately: each row overlaps itself,
  // and the last shadows reach up into the pictures' row.
  for (int i = 0; i < 8; ++i) {
    device->drawSurface(surfaces[1], 2.5f + i * 3.0f, 60.25f);
    device->drawSurface(surfaces[2], 2.5f + i * 3.0f, i < 6 ? 70.5f : 61.5f);
  }

  // Drawn before the write: the old texels; after it: the new ones.
  device->drawSurface(surfaces[2], 100, 80);
  Array<int> red(16);
  for (int i = 0; i < 16; ++i) red[i] = static_cast<int>(argb(255, 255, 0, 0));
  device->writeSurfacePixels(surfaces[2], red, 0, 0, 4, 4, 0, 4);
  device->drawSurface(surfaces[2], 106, 80);
  // Drawn (the batch flushed by the blend change), then its texture deleted.
  device->drawSurface(discarded, 112, 86);
  device->setBlendMode(0);
  discarded->discard();
  device->drawPoint(120, 90);
}

struct SceneResult {
  std::vector<uint32_t> pixels;
  RenderCounters counters;
};

SceneResult renderScene(bool recording, DrawRecorder** recorderOut = nullptr,
                        gxtkGraphics** deviceOut = nullptr) {
  auto* device = new gxtkGraphics();
  if (deviceOut != nullptr) *deviceOut = device;
  device->setRecordingDraws(recording);
  startFrame(device);
  std::vector<gxtkSurface*> surfaces = makeSurfaces(device);
  gxtkSurface* discarded = makeSurfaces(device)[3];
  drawScene(device, surfaces, discarded);
  SceneResult result{readBack(device, 0, 0, kWindowWidth, kWindowHeight), device->counters};
  if (recorderOut != nullptr) *recorderOut = device->recorder();
  device->endFrame();
  return result;
}

TEST(DrawRecorder, SceneLooksTheSameRecordedAndDrawnAtOnce) {
  ASSERT_TRUE(ensureGlContext());
  SceneResult direct = renderScene(false);
  DrawRecorder* recorder = nullptr;
  SceneResult recorded = renderScene(true, &recorder);
  EXPECT_TRUE(
      picturesMatch("recorded-scene", direct.pixels, recorded.pixels, kWindowWidth, kWindowHeight, 0));
  // The device's counters describe its batching, whichever way the batches reach OpenGL.
  EXPECT_EQ(direct.counters.flushes, recorded.counters.flushes);
  EXPECT_EQ(direct.counters.vertices, recorded.counters.vertices);
  EXPECT_EQ(direct.counters.drawCalls, recorded.counters.drawCalls);

  ASSERT_NE(recorder, nullptr);
  // Replayed at the texture write, the discard and the read-back: one upload each.
  EXPECT_EQ(recorder->uploads(), 3);
  EXPECT_LT(recorder->drawCalls(), recorded.counters.flushes);
  EXPECT_FALSE(recorder->hasPending());
}

TEST(DrawRecorder, AlternatingTexturesShareDrawsWhereTexelsMeetPixels) {
  ASSERT_TRUE(ensureGlContext());
  auto* device = new gxtkGraphics();
  device->setRecordingDraws(true);
  startFrame(device);
  std::vector<gxtkSurface*> surfaces = makeSurfaces(device);
  DrawRecorder* recorder = device->recorder();
  device->endFrame();
  int64_t flushes = device->counters.flushes, draws = recorder->drawCalls();

  // A font and its mirror image, letter by letter at whole positions: one draw call.
  for (int i = 0; i < 40; ++i) device->drawSurface(surfaces[static_cast<size_t>(i % 2)], i * 3.0f, 10);
  device->endFrame();
  EXPECT_EQ(device->counters.flushes - flushes, 40);
  EXPECT_EQ(recorder->drawCalls() - draws, 1);

  // At fractional positions (linear filtering mixes texels) each texture keeps its own draws.
  flushes = device->counters.flushes;
  draws = recorder->drawCalls();
  for (int i = 0; i < 40; ++i) device->drawSurface(surfaces[static_cast<size_t>(i % 2)], i * 3.0f + 0.5f, 10);
  device->endFrame();
  EXPECT_EQ(device->counters.flushes - flushes, 40);
  EXPECT_EQ(recorder->drawCalls() - draws, 40);

  // Apart, alternating pictures at fractional positions are drawn texture by texture: two draws.
  draws = recorder->drawCalls();
  for (int i = 0; i < 40; ++i) {
    device->drawSurface(surfaces[static_cast<size_t>(i % 2)], (i / 2) * 5.0f + 0.5f,
                        i % 2 == 0 ? 10.5f : 40.5f);
  }
  device->endFrame();
  EXPECT_EQ(recorder->drawCalls() - draws, 2);
}

TEST(DrawRecorder, FrameIsDrawnAtItsEndAndOlderRecordsFirst) {
  ASSERT_TRUE(ensureGlContext());
  auto* first = new gxtkGraphics();
  auto* second = new gxtkGraphics();
  first->setRecordingDraws(true);
  second->setRecordingDraws(true);
  startFrame(first);
  first->setColor(0, 255, 0);
  first->drawRect(0, 0, 20, 20);
  first->flush();
  EXPECT_TRUE(first->recorder()->hasPending());
  // Another device's record comes after: the first one's goes out before it starts.
  second->setAlpha(1);
  second->setColor(0, 0, 255);
  second->drawRect(10, 0, 20, 20);
  second->flush();
  EXPECT_FALSE(first->recorder()->hasPending());
  EXPECT_TRUE(second->recorder()->hasPending());
  second->endFrame();
  EXPECT_FALSE(second->recorder()->hasPending());
  std::vector<uint32_t> got = readBack(first, 0, 0, 30, 1);
  EXPECT_EQ(got[5], argb(255, 0, 255, 0));
  EXPECT_EQ(got[15], argb(255, 0, 0, 255));
  EXPECT_EQ(got[25], argb(255, 0, 0, 255));
  // Switching recording off sends what is recorded.
  first->setColor(255, 0, 0);
  first->drawRect(0, 0, 5, 1);
  first->flush();
  first->setRecordingDraws(false);
  EXPECT_EQ(first->recorder(), nullptr);
  EXPECT_EQ(readBack(first, 0, 0, 1, 1)[0], argb(255, 255, 0, 0));
}

}  // namespace

namespace {

struct BrokenShaders {
  BrokenShaders() { DrawRecorder::breakShadersForTests(true); }
  ~BrokenShaders() { DrawRecorder::breakShadersForTests(false); }
};

TEST(DrawRecorder, WithoutItsShadersEveryFrameIsStillDrawn) {
  ASSERT_TRUE(ensureGlContext());
  SceneResult direct = renderScene(false);
  BrokenShaders broken;
  DrawRecorder* recorder = nullptr;
  gxtkGraphics* device = nullptr;
  // The frame recorded before the shaders were found broken is drawn batch by batch.
  SceneResult recorded = renderScene(true, &recorder, &device);
  EXPECT_TRUE(
      picturesMatch("unshaded-scene", direct.pixels, recorded.pixels, kWindowWidth, kWindowHeight, 0));
  EXPECT_EQ(direct.counters.flushes, recorded.counters.flushes);
  EXPECT_EQ(direct.counters.vertices, recorded.counters.vertices);
  EXPECT_EQ(direct.counters.drawCalls, recorded.counters.drawCalls);
  ASSERT_NE(recorder, nullptr);
  EXPECT_EQ(recorder->uploads(), 0);
  EXPECT_TRUE(recorder->drawsBatchByBatch());

  // Later frames go straight to OpenGL.
  EXPECT_FALSE(device->recordingDraws());
  startFrame(device);
  device->setColor(0, 255, 0);
  device->drawRect(0, 0, 20, 20);
  device->endFrame();
  EXPECT_FALSE(recorder->hasPending());
  EXPECT_EQ(readBack(device, 0, 0, 20, 20), std::vector<uint32_t>(400, argb(255, 0, 255, 0)));
}

}  // namespace
