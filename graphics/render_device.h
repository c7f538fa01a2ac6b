// The graphics device: every pixel of the program goes through it. Primitives of one kind and one
// texture are collected in a fixed batch of vertices (transformed on the CPU, coloured per vertex)
// and drawn with OpenGL 1.1 client arrays only when something forces a flush. Needs the host's
// window (currentGame) and a current OpenGL context for everything that touches GL.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/string.h"

class DrawRecorder;
class gxtkSurface;

// One batched vertex, laid out as the client arrays read it (stride 20).
struct BatchVertex {
  float x, y;
  float u, v;
  uint32_t colour;  // bytes R, G, B, A in memory order, premultiplied
};
static_assert(sizeof(BatchVertex) == 20, "the client arrays use a stride of 20 bytes");

// Where the device's flushed batches, and the state changes and clears between them, go: straight
// to OpenGL (ImmediateDraws) or into a frame's record sent at once (DrawRecorder). The device picks
// one and switches to drawing at once when the record cannot be drawn.
class BatchSink {
 public:
  virtual ~BatchSink() = default;
  // A batch of count vertices of primitives of primitiveSize vertices each (1 points, 2 lines,
  // 3 triangles, 4 quads, more: one polygon each) from surface, or untextured when it is null.
  virtual void draw(const BatchVertex* vertices, int count, int primitiveSize, gxtkSurface* surface) = 0;
  // glBlendFunc(GL_ONE, destinationFactor).
  virtual void blend(unsigned destinationFactor) = 0;
  // The scissor test off, or on with a rectangle in GL's window coordinates.
  virtual void scissor(bool enabled, int x, int y, int width, int height) = 0;
  // glClearColor(red, green, blue, 1) (each 0-1) and a clear of the colour buffer.
  virtual void clear(float red, float green, float blue) = 0;
  // Sends to OpenGL whatever is still held (before a read-back and at the end of a frame).
  virtual void present() {}
};

// Each batch drawn at once with OpenGL 1.1 client arrays.
class ImmediateDraws final : public BatchSink {
 public:
  explicit ImmediateDraws(const uint16_t* quadIndices) : quadIndices_(quadIndices) {}
  void draw(const BatchVertex* vertices, int count, int primitiveSize, gxtkSurface* surface) override;
  void blend(unsigned destinationFactor) override;
  void scissor(bool enabled, int x, int y, int width, int height) override;
  void clear(float red, float green, float blue) override;

 private:
  const uint16_t* quadIndices_;  // the quad index table (see gxtkGraphics)
};

// What the device has sent to OpenGL, for tests and diagnostics.
struct RenderCounters {
  int64_t flushes = 0;     // batches drawn
  int64_t drawCalls = 0;   // glDrawArrays / glDrawElements calls
  int64_t vertices = 0;    // vertices drawn
  int64_t matrixSets = 0;  // setMatrix calls received
};

class gxtkGraphics : public Object {
 public:
  static constexpr int kBatchVertices = 1024;
  static constexpr int kQuadIndices = 1536;

  gxtkGraphics();
  ~gxtkGraphics() override;

  // Virtual operations in slot order. Operations without a result return 0.
  virtual int width();
  virtual int height();
  virtual int beginFrame();
  virtual int endFrame();
  virtual int releaseGraphics();
  virtual gxtkSurface* loadSurface(const String& path);
  virtual gxtkSurface* createSurface(int width, int height);
  virtual int loadSurfaceData(gxtkSurface* surface, const String& path);
  virtual int clear(float red, float green, float blue);
  virtual int setAlpha(float alpha);
  virtual int setColor(float red, float green, float blue);
  virtual int setBlendMode(int mode);
  virtual int setScissor(int x, int y, int width, int height);
  virtual int setMatrix(float ix, float iy, float jx, float jy, float tx, float ty);
  virtual int drawPoint(float x, float y);
  virtual int drawRect(float x, float y, float width, float height);
  virtual int drawLine(float x1, float y1, float x2, float y2);
  virtual int drawOval(float x, float y, float width, float height);
  virtual int drawPolygon(Array<float> vertices);
  virtual int drawTexturedPolygon(Array<float> vertices, gxtkSurface* surface, int srcX, int srcY);
  virtual int drawSurface(gxtkSurface* surface, float x, float y);
  virtual int drawSurfaceRegion(gxtkSurface* surface, float x, float y, int srcX, int srcY, int srcWidth,
                                int srcHeight);
  virtual int readPixels(Array<int> pixels, int x, int y, int width, int height, int offset, int pitch);
  virtual int writeSurfacePixels(gxtkSurface* surface, Array<int> pixels, int x, int y, int width, int height,
                                 int offset, int pitch);
  // After the slots above: the widest and tallest texture the driver takes (0 when it does not say).
  virtual int maxSurfaceSize();

  // Draws the pending vertices, if any.
  void flush();

  // Whether flushed batches are recorded and sent with one vertex upload per frame (graphics/
  // draw_recorder.h) instead of drawn at once. The platform decides (recordDrawsUntilPresent in
  // host/platform.h); tests switch it. Switching sends what was recorded. When the recorder cannot
  // build its shaders, it draws its record batch by batch and the device draws at once from then on.
  void setRecordingDraws(bool on);
  DrawRecorder* recorder() const { return recorder_.get(); }
  // Whether batches go to the recorder now (false after it fell back to drawing at once).
  bool recordingDraws() const { return sink_ != &immediate_; }

  // Read-only views for tests.
  uint32_t packedColour() const { return colour_; }
  int vertexCount() const { return vertexCount_; }
  int primitiveSize() const { return primitiveSize_; }
  gxtkSurface* batchSurface() const { return batchSurface_; }
  bool isTransformed() const { return transformed_; }
  const BatchVertex* batch() const { return batch_; }
  const uint16_t* quadIndices() const { return quadIndices_; }

  void mark() override;

  RenderCounters counters;

 protected:
  // Hands the batch (vertexCount_ > 0) to the sink. A subclass may replace it, for example to measure
  // the batching alone without a context.
  virtual void drawBatch();

 private:
  // Makes room for a primitive of n vertices from surface (null: untextured) and returns where its
  // vertices go.
  BatchVertex* reserve(int n, gxtkSurface* surface);
  void texturedRect(gxtkSurface* surface, float x, float y, float w, float h, float u0, float v0, float u1,
                    float v1);
  void updatePackedColour();
  void transformPoint(float& x, float& y) const {
    if (transformed_) {
      float px = x;
      x = px * ix_ + y * jx_ + tx_;
      y = px * iy_ + y * jy_ + ty_;
    }
  }
  void readWindowSize();
  // Sends what the sink holds; leaves the recorder for good when it could not draw its record.
  void present();

  // Fields, in their documented order.
  int width_ = 0;
  int height_ = 0;
  uint32_t colour_ = 0;
  float red_ = 0, green_ = 0, blue_ = 0, alpha_ = 0;
  float ix_ = 1, iy_ = 0, jx_ = 0, jy_ = 1, tx_ = 0, ty_ = 0;
  bool transformed_ = false;
  BatchVertex batch_[kBatchVertices];
  uint16_t quadIndices_[kQuadIndices];
  int primitiveSize_ = 0;
  int vertexCount_ = 0;
  GcField<gxtkSurface*> batchSurface_;
  ImmediateDraws immediate_{quadIndices_};
  std::unique_ptr<DrawRecorder> recorder_;
  BatchSink* sink_ = &immediate_;
};
