// The one drawing context, its matrix stack and the per-frame render step.
#include "graphics/graphics_context.h"

#include <cmath>
#include <cstdint>

#include "graphics/font.h"
#include "graphics/render_device.h"
#include "host/delegate.h"
#include "host/game.h"

GcRoot<c_GraphicsContext*> graphicsContext;
GcRoot<gxtkGraphics*> registeredDevice;
GcRoot<gxtkGraphics*> renderDevice;
int contextDeviceWidth = 0;
int contextDeviceHeight = 0;
int defaultImageFlags = 0;

namespace {

constexpr float kRadiansPerDegree = 0.017453292f;
constexpr int kMatrixFloats = 6;

// Truncation toward zero that saturates instead of overflowing (NaN gives 0).
int truncToInt(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<int>(value);
}

void matrixChanged(c_GraphicsContext* c) {
  c->transformed = !(c->ix == 1 && c->iy == 0 && c->jx == 0 && c->jy == 1 && c->tx == 0 && c->ty == 0);
  c->matrixDirty = 1;
}

void resetContext() {
  c_GraphicsContext* c = graphicsContext;
  renderDevice = registeredDevice.get();
  gxtkGraphics* device = renderDevice;

  c->matrixSp = 0;
  c->ix = 1, c->iy = 0, c->jx = 0, c->jy = 1, c->tx = 0, c->ty = 0;
  c->transformed = 0;
  c->matrixDirty = 1;

  c->colorR = c->colorG = c->colorB = 255;
  device->setColor(255, 255, 255);
  c->alpha = 1;
  device->setAlpha(1);
  c->blendMode = 0;
  device->setBlendMode(0);

  c->scissorX = 0;
  c->scissorY = 0;
  c->scissorWidth = static_cast<float>(contextDeviceWidth);
  c->scissorHeight = static_cast<float>(contextDeviceHeight);
  device->setScissor(0, 0, contextDeviceWidth, contextDeviceHeight);
}

}  // namespace

c_GraphicsContext::c_GraphicsContext() {
  matrixStack = Array<float>(kInitialMatrixStack);
}

void c_GraphicsContext::mark() {
  defaultFont.mark();
  font.mark();
  matrixStack.mark();
}

void initGraphicsContext() {
  graphicsContext = new c_GraphicsContext();
  registeredDevice = nullptr;
  renderDevice = nullptr;
  contextDeviceWidth = 0;
  contextDeviceHeight = 0;
  defaultImageFlags = 0;
}

void registerGraphicsDevice(gxtkGraphics* device) {
  registeredDevice = device;
}

void renderStep() {
  gxtkGraphics* device = registeredDevice;
  if (device == nullptr || graphicsContext.get() == nullptr) return;
  if (currentGame != nullptr) {
    contextDeviceWidth = currentGame->windowWidth();
    contextDeviceHeight = currentGame->windowHeight();
  }
  device->beginFrame();
  resetContext();
  if (currentApp.get() != nullptr) currentApp->appRender();
  renderDevice = nullptr;
  device->endFrame();
}

// --- matrix ---

void setMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
  c_GraphicsContext* c = graphicsContext;
  c->ix = ix, c->iy = iy, c->jx = jx, c->jy = jy, c->tx = tx, c->ty = ty;
  matrixChanged(c);
}

void setMatrix(Array<float> m) {
  if (m.length() < kMatrixFloats) return;
  setMatrix(m[0], m[1], m[2], m[3], m[4], m[5]);
}

void transform(float ix, float iy, float jx, float jy, float tx, float ty) {
  c_GraphicsContext* c = graphicsContext;
  // The new matrix acts on coordinates before the current one does.
  float nix = ix * c->ix + iy * c->jx;
  float niy = ix * c->iy + iy * c->jy;
  float njx = jx * c->ix + jy * c->jx;
  float njy = jx * c->iy + jy * c->jy;
  float ntx = tx * c->ix + ty * c->jx + c->tx;
  float nty = tx * c->iy + ty * c->jy + c->ty;
  c->ix = nix, c->iy = niy, c->jx = njx, c->jy = njy, c->tx = ntx, c->ty = nty;
  matrixChanged(c);
}

void transform(Array<float> m) {
  if (m.length() < kMatrixFloats) return;
  transform(m[0], m[1], m[2], m[3], m[4], m[5]);
}

void translate(float x, float y) {
  transform(1, 0, 0, 1, x, y);
}

void rotate(float degrees) {
  float r = degrees * kRadiansPerDegree;
  float c = std::cos(r), s = std::sin(r);
  transform(c, -s, s, c, 0, 0);
}

void scale(float x, float y) {
  transform(x, 0, 0, y, 0, 0);
}

void pushMatrix() {
  c_GraphicsContext* c = graphicsContext;
  Array<float> stack = c->matrixStack;
  if (c->matrixSp + kMatrixFloats > stack.length()) {
    // Doubling keeps pushes allocation-free once the deepest nesting has been seen.
    int grown = stack.length() > 0 ? stack.length() * 2 : c_GraphicsContext::kInitialMatrixStack;
    while (grown < c->matrixSp + kMatrixFloats) grown *= 2;
    stack = stack.Resize(grown);
    c->matrixStack = stack;
  }
  float* top = stack.data() + c->matrixSp;
  top[0] = c->ix, top[1] = c->iy, top[2] = c->jx, top[3] = c->jy, top[4] = c->tx, top[5] = c->ty;
  c->matrixSp += kMatrixFloats;
}

void popMatrix() {
  c_GraphicsContext* c = graphicsContext;
  // An unmatched pop leaves the matrix alone rather than reading below the stack.
  if (c->matrixSp < kMatrixFloats) return;
  c->matrixSp -= kMatrixFloats;
  const float* top = c->matrixStack.get().data() + c->matrixSp;
  setMatrix(top[0], top[1], top[2], top[3], top[4], top[5]);
}

void validateMatrix() {
  c_GraphicsContext* c = graphicsContext;
  gxtkGraphics* device = renderDevice;
  if (!c->matrixDirty || device == nullptr) return;
  device->setMatrix(c->ix, c->iy, c->jx, c->jy, c->tx, c->ty);
  c->matrixDirty = 0;
}

// --- state ---
// Outside the render hook there is no render device: the context keeps the value, and the reset
// of the next render step overrides it anyway.

void setColor(float red, float green, float blue) {
  c_GraphicsContext* c = graphicsContext;
  c->colorR = red, c->colorG = green, c->colorB = blue;
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->setColor(red, green, blue);
}

void setColor(float packed) {
  int value = truncToInt(packed);
  setColor(static_cast<float>((value >> 16) & 255), static_cast<float>((value >> 8) & 255),
           static_cast<float>(value & 255));
}

void setAlpha(float alpha) {
  graphicsContext->alpha = alpha;
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->setAlpha(alpha);
}

void setBlendMode(int mode) {
  graphicsContext->blendMode = mode;
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->setBlendMode(mode);
}

void setScissor(float x, float y, float width, float height) {
  c_GraphicsContext* c = graphicsContext;
  c->scissorX = x, c->scissorY = y, c->scissorWidth = width, c->scissorHeight = height;
  if (gxtkGraphics* device = renderDevice; device != nullptr) {
    device->setScissor(truncToInt(x), truncToInt(y), truncToInt(width), truncToInt(height));
  }
}

void clear(float red, float green, float blue) {
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->clear(red, green, blue);
}

void drawLine(float x1, float y1, float x2, float y2) {
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->drawLine(x1, y1, x2, y2);
}

// --- shapes ---

void drawPoint(float x, float y) {
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->drawPoint(x, y);
}

void drawRect(float x, float y, float width, float height) {
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->drawRect(x, y, width, height);
}

void drawOval(float x, float y, float width, float height) {
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->drawOval(x, y, width, height);
}

void drawPoly(Array<float> vertices) {
  // The device batches a polygon as one primitive of that many points: a point or a line
  // would come out as a point or a line, not as a filled shape.
  constexpr int kMinPolyPoints = 3;
  if (vertices.length() / 2 < kMinPolyPoints) return;
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) device->drawPolygon(vertices);
}

void drawPoly(std::initializer_list<float> vertices) {
  Array<float> copy(static_cast<int>(vertices.size()));
  int i = 0;
  for (float v : vertices) copy[i++] = v;
  drawPoly(copy);
}
