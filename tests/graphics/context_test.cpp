// The graphics context: matrix arithmetic and its stack, lazy matrix sends, state forwarding and
// the render step's reset.
#include <cmath>
#include <functional>

#include "graphics/graphics_context.h"
#include "host/delegate.h"
#include "tests/graphics/gl_fixture.h"

namespace {

// Remembers what the context last forwarded.
class RecordingDevice : public gxtkGraphics {
 public:
  float lastColor[3] = {-1, -1, -1};
  float lastAlpha = -1;
  int lastBlend = -1;
  int lastScissor[4] = {-1, -1, -1, -1};
  float lastMatrix[6] = {};
  int beginFrames = 0, endFrames = 0;

  int beginFrame() override { return ++beginFrames, gxtkGraphics::beginFrame(); }
  int endFrame() override { return ++endFrames, gxtkGraphics::endFrame(); }
  int setColor(float r, float g, float b) override {
    lastColor[0] = r, lastColor[1] = g, lastColor[2] = b;
    return gxtkGraphics::setColor(r, g, b);
  }
  int setAlpha(float a) override { return lastAlpha = a, gxtkGraphics::setAlpha(a); }
  int setBlendMode(int mode) override { return lastBlend = mode, gxtkGraphics::setBlendMode(mode); }
  int setScissor(int x, int y, int w, int h) override {
    lastScissor[0] = x, lastScissor[1] = y, lastScissor[2] = w, lastScissor[3] = h;
    return gxtkGraphics::setScissor(x, y, w, h);
  }
  int setMatrix(float ix, float iy, float jx, float jy, float tx, float ty) override {
    float m[6] = {ix, iy, jx, jy, tx, ty};
    for (int i = 0; i < 6; ++i) lastMatrix[i] = m[i];
    return gxtkGraphics::setMatrix(ix, iy, jx, jy, tx, ty);
  }
};

// The one application of this executable; each test puts its render hook in place.
class HookApp : public c_App {
 public:
  std::function<void()> render;
  int appRender() override {
    if (render) render();
    return 0;
  }
};
HookApp* hookApp() {
  static HookApp* app = new HookApp();  // c_App makes itself currentApp
  return app;
}

class Context : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    initGraphicsContext();
    recorder = new RecordingDevice();
    registerGraphicsDevice(recorder);
    ctx = graphicsContext;
  }
  // The render device for tests that drive the matrix outside a render step.
  void beginDrawing() {
    recorder->beginFrame();
    renderDevice = recorder;
  }
  void TearDown() override { renderDevice = nullptr; }

  RecordingDevice* recorder = nullptr;
  c_GraphicsContext* ctx = nullptr;
};

void mapPoint(c_GraphicsContext* c, float x, float y, float& outX, float& outY) {
  outX = x * c->ix + y * c->jx + c->tx;
  outY = x * c->iy + y * c->jy + c->ty;
}

TEST_F(Context, TranslateThenScaleActsOnCoordinatesFirst) {
  translate(10, 20);
  scale(2, 2);
  float x, y;
  mapPoint(ctx, 1, 1, x, y);
  EXPECT_FLOAT_EQ(x, 12);
  EXPECT_FLOAT_EQ(y, 22);
  EXPECT_EQ(ctx->transformed, 1);
  EXPECT_EQ(ctx->matrixDirty, 1);

  // The device gets the same mapping for the vertices it writes.
  beginDrawing();
  validateMatrix();
  recorder->drawPoint(1, 1);
  EXPECT_FLOAT_EQ(recorder->batch()[0].x, 12.5f);
  EXPECT_FLOAT_EQ(recorder->batch()[0].y, 22.5f);
}

TEST_F(Context, RotateNinetyTurnsXAxisUp) {
  rotate(90);
  EXPECT_NEAR(ctx->ix, 0, 1e-6);
  EXPECT_FLOAT_EQ(ctx->iy, -1);
  EXPECT_FLOAT_EQ(ctx->jx, 1);
  EXPECT_NEAR(ctx->jy, 0, 1e-6);
  float x, y;
  mapPoint(ctx, 1, 0, x, y);
  EXPECT_NEAR(x, 0, 1e-6);
  EXPECT_FLOAT_EQ(y, -1);
}

TEST_F(Context, OnlyTheExactIdentityIsUntransformed) {
  setMatrix(2, 0, 0, 2, 0, 0);
  setMatrix(1, 0, 0, 1, 0, 0);
  EXPECT_EQ(ctx->transformed, 0);
  setMatrix(1, 0, 0, 1, 0, 0.0001f);
  EXPECT_EQ(ctx->transformed, 1);
  Array<float> m(6);
  m[0] = 1, m[3] = 1;
  setMatrix(m);
  EXPECT_EQ(ctx->transformed, 0);
  m[4] = 3;
  transform(m);
  EXPECT_FLOAT_EQ(ctx->tx, 3);
  // Too short an array changes nothing.
  setMatrix(Array<float>(5));
  EXPECT_FLOAT_EQ(ctx->tx, 3);
}

TEST_F(Context, DeepPushesGrowTheStackAndPopsRestoreEachMatrix) {
  EXPECT_EQ(ctx->matrixStack.length(), 192);
  for (int i = 0; i < 33; ++i) {
    pushMatrix();
    translate(1, static_cast<float>(i));
  }
  EXPECT_EQ(ctx->matrixStack.length(), 384);
  EXPECT_EQ(ctx->matrixSp, 33 * 6);
  for (int i = 32; i >= 0; --i) {
    // Before popping level i the translation holds the sums of levels 0..i.
    EXPECT_FLOAT_EQ(ctx->tx, static_cast<float>(i + 1));
    EXPECT_FLOAT_EQ(ctx->ty, static_cast<float>(i * (i + 1) / 2)) << "level " << i;
    popMatrix();
  }
  EXPECT_EQ(ctx->transformed, 0);
  EXPECT_EQ(ctx->matrixSp, 0);
  // An unmatched pop keeps the matrix.
  translate(4, 4);
  popMatrix();
  EXPECT_FLOAT_EQ(ctx->tx, 4);
  EXPECT_EQ(ctx->matrixStack.length(), 384) << "the stack keeps its grown length";
}

TEST_F(Context, ManyMatrixChangesSendOnlyTheLast) {
  beginDrawing();
  int64_t before = recorder->counters.matrixSets;
  translate(5, 5);
  rotate(30);
  setMatrix(1, 0, 0, 1, 7, 8);
  scale(3, 3);
  EXPECT_EQ(recorder->counters.matrixSets, before) << "nothing is sent before a draw";
  drawLine(0, 0, 1, 0);
  drawLine(0, 0, 1, 0);
  EXPECT_EQ(recorder->counters.matrixSets, before + 1);
  float expected[6] = {3, 0, 0, 3, 7, 8};
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(recorder->lastMatrix[i], expected[i]) << "element " << i;
  EXPECT_FLOAT_EQ(recorder->batch()[1].x, 10.5f);
}

TEST_F(Context, SettersForwardAtOnceAndPackedColourSplits) {
  beginDrawing();
  setColor(static_cast<float>(0x123456));
  EXPECT_FLOAT_EQ(recorder->lastColor[0], 0x12);
  EXPECT_FLOAT_EQ(recorder->lastColor[1], 0x34);
  EXPECT_FLOAT_EQ(recorder->lastColor[2], 0x56);
  setAlpha(0.5f);
  EXPECT_FLOAT_EQ(recorder->lastAlpha, 0.5f);
  setBlendMode(1);
  EXPECT_EQ(recorder->lastBlend, 1);
  EXPECT_EQ(ctx->blendMode, 1);
  setScissor(1.9f, 2.2f, 30.7f, 40.1f);
  EXPECT_EQ(recorder->lastScissor[0], 1);
  EXPECT_EQ(recorder->lastScissor[2], 30);
  EXPECT_FLOAT_EQ(ctx->scissorWidth, 30.7f);
  recorder->drawRect(0, 0, 1, 1);
  clear(0, 0, 0);
  EXPECT_EQ(recorder->vertexCount(), 0);

  // Outside a render step the context keeps the values and touches no device.
  renderDevice = nullptr;
  setColor(1, 2, 3);
  setScissor(0, 0, 1, 1);
  drawLine(0, 0, 1, 1);
  clear(1, 1, 1);
  EXPECT_FLOAT_EQ(ctx->colorB, 3);
  EXPECT_FLOAT_EQ(recorder->lastColor[2], 0x56);
}

TEST_F(Context, EachRenderStepStartsFromTheDefaults) {
  HookApp* app = hookApp();
  int frame = 0;
  std::vector<uint32_t> corner;
  app->render = [&] {
    EXPECT_EQ(renderDevice.get(), recorder);
    EXPECT_EQ(recorder->lastColor[0], 255);
    EXPECT_EQ(recorder->lastAlpha, 1);
    EXPECT_EQ(recorder->lastBlend, 0);
    EXPECT_EQ(recorder->lastScissor[2], kWindowWidth);
    EXPECT_EQ(recorder->lastScissor[3], kWindowHeight);
    EXPECT_EQ(ctx->matrixSp, 0);
    EXPECT_EQ(ctx->matrixDirty, 1);
    if (frame == 0) {
      clear(0, 0, 0);
      setColor(255, 0, 0);
      setAlpha(0.5f);
      setBlendMode(1);
      setScissor(0, 0, 4, 4);
      pushMatrix();
      translate(3, 3);
    } else {
      clear(0, 0, 0);
      validateMatrix();
      renderDevice->drawRect(0, 0, kWindowWidth, kWindowHeight);
      corner = readBack(renderDevice, kWindowWidth - 1, kWindowHeight - 1, 1, 1);
    }
  };
  renderStep();
  EXPECT_EQ(renderDevice.get(), nullptr) << "no render device outside the render hook";
  frame = 1;
  renderStep();
  app->render = nullptr;
  EXPECT_EQ(recorder->beginFrames, 2);
  EXPECT_EQ(recorder->endFrames, 2);
  EXPECT_EQ(contextDeviceWidth, kWindowWidth);
  ASSERT_EQ(corner.size(), 1u);
  EXPECT_EQ(corner[0], 0xFFFFFFFFu) << "white, opaque, unscissored, untransformed; got "
                                    << hexColour(corner[0]);
}

}  // namespace
