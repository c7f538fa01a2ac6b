// The batching graphics device over OpenGL 1.1 client arrays. Vertices are transformed and
// coloured on the CPU, so only a change of primitive size or texture, a full batch, a blend or
// scissor change, a read-back and the end of the frame cost a draw call. Where the platform asks
// for it, the flushed batches go to a DrawRecorder and reach OpenGL with one upload per frame.
#include "graphics/render_device.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "graphics/draw_recorder.h"
#include "graphics/surface.h"
#include "host/game.h"
#include "host/platform.h"

namespace {

// A float product truncated toward zero into a colour byte. Out-of-range inputs (alpha above 1,
// negative colours, NaN) saturate instead of bleeding into the neighbouring bytes.
uint32_t colourByte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 255.0f) return 255;
  return static_cast<uint32_t>(value);
}

GLFWwindow* drawingWindow() {
  if (auto* game = dynamic_cast<VxGlfwGame*>(currentGame); game != nullptr && game->window() != nullptr) {
    return game->window();
  }
  return glfwGetCurrentContext();
}

// The visible part of the rectangle [x, x + width) x [y, y + height) inside [0, limitW) x [0, limitH).
struct ClipRect {
  int x0, y0, x1, y1;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

ClipRect clipRect(int x, int y, int width, int height, int limitW, int limitH) {
  auto clamp = [](int64_t v, int64_t hi) { return static_cast<int>(v < 0 ? 0 : (v > hi ? hi : v)); };
  return {clamp(x, limitW), clamp(y, limitH), clamp(static_cast<int64_t>(x) + width, limitW),
          clamp(static_cast<int64_t>(y) + height, limitH)};
}

// The columns [first, last) of a row of n ints starting at array index start that lie inside an
// array of length length.
void clipRow(int64_t start, int n, int length, int& first, int& last) {
  int64_t lo = start < 0 ? -start : 0;
  int64_t hi = static_cast<int64_t>(length) - start;
  if (hi > n) hi = n;
  first = static_cast<int>(lo > n ? n : lo);
  last = static_cast<int>(hi < first ? first : hi);
}

constexpr float kTwoPi = 6.2831855f;
constexpr int kMinOvalSegments = 12;

}  // namespace

gxtkGraphics::gxtkGraphics() {
  if (currentGame != nullptr) {
    width_ = currentGame->windowWidth();
    height_ = currentGame->windowHeight();
  }
  std::memset(static_cast<void*>(batch_), 0, sizeof(batch_));
  for (int q = 0; q < kQuadIndices / 6; ++q) {
    uint16_t* entry = quadIndices_ + q * 6;
    uint16_t first = static_cast<uint16_t>(q * 4);
    entry[0] = first;
    entry[1] = first + 1;
    entry[2] = first + 2;
    entry[3] = first;
    entry[4] = first + 2;
    entry[5] = first + 3;
  }
  if (recordDrawsUntilPresent()) setRecordingDraws(true);
}

gxtkGraphics::~gxtkGraphics() = default;

void gxtkGraphics::setRecordingDraws(bool on) {
  if (on == (recorder_ != nullptr)) return;
  flush();
  if (on) {
    recorder_ = std::make_unique<DrawRecorder>();
    sink_ = recorder_.get();
  } else {
    recorder_->replay();
    recorder_.reset();
    sink_ = &immediate_;
  }
}

void gxtkGraphics::present() {
  sink_->present();
  if (sink_ == recorder_.get() && recorder_->drawsBatchByBatch()) sink_ = &immediate_;
}

void gxtkGraphics::mark() {
  batchSurface_.mark();
}

int gxtkGraphics::width() {
  return width_;
}
int gxtkGraphics::height() {
  return height_;
}

// While the host scales the program's screen into a window of another size (host/screen_scaler.h),
// the program draws at its screen's size, into the host's buffer, not at the window's.
static bool drawingScaledScreen() {
  auto* game = dynamic_cast<VxGlfwGame*>(currentGame);
  return game != nullptr && game->window() != nullptr && game->screenIsScaled();
}

void gxtkGraphics::readWindowSize() {
  GLFWwindow* window = drawingWindow();
  if (drawingScaledScreen()) {
    width_ = currentGame->windowWidth();
    height_ = currentGame->windowHeight();
  } else if (window != nullptr) {
    glfwGetWindowSize(window, &width_, &height_);
  } else if (currentGame != nullptr) {
    width_ = currentGame->windowWidth();
    height_ = currentGame->windowHeight();
  }
}

int gxtkGraphics::beginFrame() {
  // Whatever an earlier frame recorded goes out before this frame's view is set up.
  DrawRecorder::replayPending();
  readWindowSize();
  int fbWidth = width_, fbHeight = height_;
  if (GLFWwindow* window = drawingWindow(); window != nullptr && !drawingScaledScreen())
    glfwGetFramebufferSize(window, &fbWidth, &fbHeight);

  glViewport(0, 0, fbWidth, fbHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width_, height_, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(BatchVertex), &batch_[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(BatchVertex), &batch_[0].u);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BatchVertex), &batch_[0].colour);

  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);

  vertexCount_ = 0;
  return 1;
}

int gxtkGraphics::endFrame() {
  flush();
  present();
  return 0;
}

int gxtkGraphics::releaseGraphics() {
  return 0;
}

// --- batching ---

BatchVertex* gxtkGraphics::reserve(int n, gxtkSurface* surface) {
  if (n != primitiveSize_ || surface != batchSurface_.get() || vertexCount_ + n > kBatchVertices) {
    flush();
    primitiveSize_ = n;
    if (surface != batchSurface_.get()) batchSurface_ = surface;
  }
  BatchVertex* out = batch_ + vertexCount_;
  vertexCount_ += n;
  return out;
}

void gxtkGraphics::flush() {
  if (vertexCount_ == 0) return;
  counters.flushes += 1;
  counters.vertices += vertexCount_;
  counters.drawCalls += primitiveSize_ >= 5 ? (vertexCount_ + primitiveSize_ - 1) / primitiveSize_ : 1;
  drawBatch();
  vertexCount_ = 0;
}

void gxtkGraphics::drawBatch() {
  sink_->draw(batch_, vertexCount_, primitiveSize_, batchSurface_);
}

void ImmediateDraws::draw(const BatchVertex* vertices, int count, int primitiveSize, gxtkSurface* surface) {
  if (surface != nullptr) {
    glEnable(GL_TEXTURE_2D);
    surface->bind();
  }
  // Pointed again at every draw: another device (tests make several) may have moved them.
  glVertexPointer(2, GL_FLOAT, sizeof(BatchVertex), &vertices[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(BatchVertex), &vertices[0].u);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BatchVertex), &vertices[0].colour);
  switch (primitiveSize) {
    case 1:
      glDrawArrays(GL_POINTS, 0, count);
      break;
    case 2:
      glDrawArrays(GL_LINES, 0, count);
      break;
    case 3:
      glDrawArrays(GL_TRIANGLES, 0, count);
      break;
    case 4:
      glDrawElements(GL_TRIANGLES, count / 4 * 6, GL_UNSIGNED_SHORT, quadIndices_);
      break;
    default:
      for (int first = 0; first < count; first += primitiveSize) {
        glDrawArrays(GL_TRIANGLE_FAN, first, primitiveSize);
      }
      break;
  }
  if (surface != nullptr) glDisable(GL_TEXTURE_2D);
}

void ImmediateDraws::blend(unsigned destinationFactor) {
  glBlendFunc(GL_ONE, destinationFactor);
}

void ImmediateDraws::scissor(bool enabled, int x, int y, int width, int height) {
  if (enabled) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, width, height);
  } else {
    glDisable(GL_SCISSOR_TEST);
  }
}

void ImmediateDraws::clear(float red, float green, float blue) {
  glClearColor(red, green, blue, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

// --- state ---

int gxtkGraphics::clear(float red, float green, float blue) {
  vertexCount_ = 0;
  sink_->clear(red / 255.0f, green / 255.0f, blue / 255.0f);
  return 0;
}

void gxtkGraphics::updatePackedColour() {
  colour_ = colourByte(alpha_ * 255.0f) << 24 | colourByte(blue_ * alpha_) << 16 |
            colourByte(green_ * alpha_) << 8 | colourByte(red_ * alpha_);
}

int gxtkGraphics::setAlpha(float alpha) {
  alpha_ = alpha;
  updatePackedColour();
  return 0;
}

int gxtkGraphics::setColor(float red, float green, float blue) {
  red_ = red;
  green_ = green;
  blue_ = blue;
  updatePackedColour();
  return 0;
}

int gxtkGraphics::setBlendMode(int mode) {
  flush();
  sink_->blend(mode == 1 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
  return 0;
}

int gxtkGraphics::setScissor(int x, int y, int width, int height) {
  flush();
  bool whole = x == 0 && y == 0 && width == width_ && height == height_;
  // A negative size is a GL error that would linger until a texture's size check; an empty
  // rectangle shows the same nothing.
  int glY = height_ - y - height, glWidth = width < 0 ? 0 : width, glHeight = height < 0 ? 0 : height;
  sink_->scissor(!whole, x, glY, glWidth, glHeight);
  return 0;
}

int gxtkGraphics::setMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
  counters.matrixSets += 1;
  ix_ = ix;
  iy_ = iy;
  jx_ = jx;
  jy_ = jy;
  tx_ = tx;
  ty_ = ty;
  transformed_ = !(ix == 1 && iy == 0 && jx == 0 && jy == 1 && tx == 0 && ty == 0);
  return 0;
}

// --- primitives ---

int gxtkGraphics::drawPoint(float x, float y) {
  transformPoint(x, y);
  BatchVertex* v = reserve(1, nullptr);
  v[0].x = x + 0.5f;
  v[0].y = y + 0.5f;
  v[0].colour = colour_;
  return 0;
}

int gxtkGraphics::drawLine(float x1, float y1, float x2, float y2) {
  transformPoint(x1, y1);
  transformPoint(x2, y2);
  BatchVertex* v = reserve(2, nullptr);
  v[0].x = x1 + 0.5f;
  v[0].y = y1 + 0.5f;
  v[0].colour = colour_;
  v[1].x = x2 + 0.5f;
  v[1].y = y2 + 0.5f;
  v[1].colour = colour_;
  return 0;
}

int gxtkGraphics::drawRect(float x, float y, float width, float height) {
  float px[4] = {x, x + width, x + width, x};
  float py[4] = {y, y, y + height, y + height};
  BatchVertex* v = reserve(4, nullptr);
  for (int i = 0; i < 4; ++i) {
    transformPoint(px[i], py[i]);
    v[i].x = px[i];
    v[i].y = py[i];
    v[i].colour = colour_;
  }
  return 0;
}

int gxtkGraphics::drawOval(float x, float y, float width, float height) {
  float rx = width * 0.5f;
  float ry = height * 0.5f;
  float cx = x + rx;
  float cy = y + ry;
  float estimate;
  if (transformed_) {
    estimate = std::sqrt((rx * ix_) * (rx * ix_) + (rx * iy_) * (rx * iy_)) +
               std::sqrt((ry * jx_) * (ry * jx_) + (ry * jy_) * (ry * jy_));
  } else {
    estimate = std::fabs(rx) + std::fabs(ry);
  }
  // Compared as floats so that huge or NaN estimates never reach an int conversion.
  int segments;
  if (!(estimate >= static_cast<float>(kMinOvalSegments))) {
    segments = kMinOvalSegments;
  } else if (estimate >= static_cast<float>(kBatchVertices + 1)) {
    segments = kBatchVertices;
  } else {
    segments = static_cast<int>(estimate) & ~3;
  }

  BatchVertex* v = reserve(segments, nullptr);
  for (int i = 0; i < segments; ++i) {
    float t = static_cast<float>(i) * kTwoPi / static_cast<float>(segments);
    float px = cx + rx * std::cos(t);
    float py = cy - ry * std::sin(t);
    transformPoint(px, py);
    v[i].x = px;
    v[i].y = py;
    v[i].colour = colour_;
  }
  return 0;
}

int gxtkGraphics::drawPolygon(Array<float> vertices) {
  int n = vertices.length() / 2;
  if (n < 1 || n > kBatchVertices) return 0;
  const float* in = vertices.data();
  BatchVertex* v = reserve(n, nullptr);
  for (int i = 0; i < n; ++i) {
    float px = in[i * 2], py = in[i * 2 + 1];
    transformPoint(px, py);
    v[i].x = px;
    v[i].y = py;
    v[i].colour = colour_;
  }
  return 0;
}

int gxtkGraphics::drawTexturedPolygon(Array<float> vertices, gxtkSurface* surface, int srcX, int srcY) {
  int n = vertices.length() / 4;
  if (n < 1 || n > kBatchVertices || surface == nullptr) return 0;
  const float* in = vertices.data();
  float uScale = surface->uScale, vScale = surface->vScale;
  BatchVertex* v = reserve(n, surface);
  for (int i = 0; i < n; ++i) {
    float px = in[i * 4], py = in[i * 4 + 1];
    transformPoint(px, py);
    v[i].x = px;
    v[i].y = py;
    v[i].u = (static_cast<float>(srcX) + in[i * 4 + 2]) * uScale;
    v[i].v = (static_cast<float>(srcY) + in[i * 4 + 3]) * vScale;
    v[i].colour = colour_;
  }
  return 0;
}

// A w x h rectangle at (x, y) through the transform, with texture corners (u0, v0) - (u1, v1).
void gxtkGraphics::texturedRect(gxtkSurface* surface, float x, float y, float w, float h, float u0, float v0,
                                float u1, float v1) {
  float px[4] = {x, x + w, x + w, x};
  float py[4] = {y, y, y + h, y + h};
  float tu[4] = {u0, u1, u1, u0};
  float tv[4] = {v0, v0, v1, v1};
  BatchVertex* v = reserve(4, surface);
  for (int i = 0; i < 4; ++i) {
    transformPoint(px[i], py[i]);
    v[i].x = px[i];
    v[i].y = py[i];
    v[i].u = tu[i];
    v[i].v = tv[i];
    v[i].colour = colour_;
  }
}

int gxtkGraphics::drawSurface(gxtkSurface* surface, float x, float y) {
  if (surface == nullptr) return 0;
  float w = static_cast<float>(surface->width_);
  float h = static_cast<float>(surface->height_);
  float u1 = w * surface->uScale, v1 = h * surface->vScale;
  texturedRect(surface, x, y, w, h, 0, 0, u1, v1);
  return 0;
}

int gxtkGraphics::drawSurfaceRegion(gxtkSurface* surface, float x, float y, int srcX, int srcY, int srcWidth,
                                    int srcHeight) {
  if (surface == nullptr) return 0;
  float w = static_cast<float>(srcWidth), h = static_cast<float>(srcHeight);
  float u0 = static_cast<float>(srcX) * surface->uScale;
  float v0 = static_cast<float>(srcY) * surface->vScale;
  float u1 = static_cast<float>(srcX + srcWidth) * surface->uScale;
  float v1 = static_cast<float>(srcY + srcHeight) * surface->vScale;
  texturedRect(surface, x, y, w, h, u0, v0, u1, v1);
  return 0;
}

// --- pixels ---

int gxtkGraphics::readPixels(Array<int> pixels, int x, int y, int width, int height, int offset, int pitch) {
  flush();
  present();
  // Only the part of the rectangle inside the window is read, and only into indexes the array
  // has; each pixel still lands where the whole rectangle would have put it.
  ClipRect clip = clipRect(x, y, width, height, width_, height_);
  if (clip.empty() || pixels.length() == 0) return 0;
  int w = clip.x1 - clip.x0, h = clip.y1 - clip.y0;
  std::unique_ptr<uint32_t[]> buffer(new uint32_t[static_cast<size_t>(w) * h]);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(clip.x0, height_ - clip.y1, w, h, GL_BGRA, GL_UNSIGNED_BYTE, buffer.get());

  int* out = pixels.data();
  for (int row = 0; row < h; ++row) {
    // GL returns the bottom row first.
    const uint32_t* src = buffer.get() + static_cast<size_t>(h - 1 - row) * w;
    int64_t start =
        static_cast<int64_t>(offset) + static_cast<int64_t>(clip.y0 + row - y) * pitch + (clip.x0 - x);
    int first, last;
    clipRow(start, w, pixels.length(), first, last);
    for (int j = first; j < last; ++j) out[start + j] = static_cast<int>(src[j]);
  }
  return 0;
}

int gxtkGraphics::writeSurfacePixels(gxtkSurface* surface, Array<int> pixels, int x, int y, int width,
                                     int height, int offset, int pitch) {
  if (surface == nullptr || surface->format != GL_RGBA) return 0;
  int surfW = surface->width_, surfH = surface->height_;
  if (surface->pixels == nullptr) {
    size_t bytes = static_cast<size_t>(surfW) * surfH * 4;
    surface->pixels = static_cast<unsigned char*>(std::calloc(bytes > 0 ? bytes : 1, 1));
    if (surface->pixels == nullptr) return 0;
  }
  ClipRect clip = clipRect(x, y, width, height, surfW, surfH);
  if (clip.empty()) return 0;
  int w = clip.x1 - clip.x0, h = clip.y1 - clip.y0;

  const int* in = pixels.data();
  for (int row = 0; row < h; ++row) {
    int64_t start =
        static_cast<int64_t>(offset) + static_cast<int64_t>(clip.y0 + row - y) * pitch + (clip.x0 - x);
    int first, last;
    clipRow(start, w, pixels.length(), first, last);
    unsigned char* dst = surface->pixels + (static_cast<size_t>(clip.y0 + row) * surfW + clip.x0) * 4;
    for (int j = first; j < last; ++j) {
      uint32_t argb = static_cast<uint32_t>(in[start + j]);
      uint32_t a = argb >> 24;
      unsigned char* p = dst + j * 4;
      p[0] = static_cast<unsigned char>(((argb >> 16) & 255) * a / 255);
      p[1] = static_cast<unsigned char>(((argb >> 8) & 255) * a / 255);
      p[2] = static_cast<unsigned char>((argb & 255) * a / 255);
      p[3] = static_cast<unsigned char>(a);
    }
  }

  if (surface->textureGeneration == contextGeneration && contextGeneration != 0) {
    // Pending quads from this surface were drawn before the write and must show the old pixels.
    if (vertexCount_ > 0 && batchSurface_.get() == surface) flush();
    // So must recorded draws, of this device or another.
    DrawRecorder::replayPending();
    glBindTexture(GL_TEXTURE_2D, surface->texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (w == surfW) {
      glTexSubImage2D(GL_TEXTURE_2D, 0, clip.x0, clip.y0, w, h, GL_RGBA, GL_UNSIGNED_BYTE,
                      surface->pixels + static_cast<size_t>(clip.y0) * surfW * 4);
    } else {
      for (int row = 0; row < h; ++row) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, clip.x0, clip.y0 + row, w, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                        surface->pixels + (static_cast<size_t>(clip.y0 + row) * surfW + clip.x0) * 4);
      }
    }
  }
  return 0;
}

// --- surfaces ---

gxtkSurface* gxtkGraphics::loadSurface(const String& path) {
  gxtkSurface* surface = new gxtkSurface();
  if (!loadSurfaceData(surface, path)) return nullptr;
  surface->bind();
  return surface;
}

gxtkSurface* gxtkGraphics::createSurface(int width, int height) {
  gxtkSurface* surface = new gxtkSurface();
  surface->width_ = width < 0 ? 0 : width;
  surface->height_ = height < 0 ? 0 : height;
  surface->depth = 4;
  surface->format = GL_RGBA;
  surface->bind();
  return surface;
}

int gxtkGraphics::maxSurfaceSize() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  return size > 0 ? static_cast<int>(size) : 0;
}

int gxtkGraphics::loadSurfaceData(gxtkSurface* surface, const String& path) {
  if (surface == nullptr || currentGame == nullptr) return 0;
  int width = 0, height = 0, depth = 0;
  unsigned char* data = currentGame->loadImageData(path, width, height, depth);
  if (data == nullptr) return 0;
  surface->adoptPixels(data, width, height, depth);
  return 1;
}
