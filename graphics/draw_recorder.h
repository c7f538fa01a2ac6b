// A frame's draws sent with one vertex upload and as few draw calls as the order allows. The render
// device hands each batch it flushes (and each blend, scissor or clear between them) to a
// DrawRecorder instead of OpenGL; the recorder appends the vertices to one frame-wide array and
// keeps the commands in order. replay() uploads the array once into a buffer object and draws it
// with small shaders that read up to kTextureUnits textures, chosen per vertex: consecutive
// batches of one primitive kind with nothing between them become one draw even when their
// textures alternate (a font and its mirror image, a picture and its shadow). The triangles, their
// order and their colours are those drawing each batch at once would give (quads become the two
// triangles their indices make, polygons the triangles of their fan), so the pixels are the same.
// Only small quads read as nearest texels share runs with another texture (every pixel of such a
// run reads both). A texture whose quads in a draw all put one texel on one pixel, at whole coordinates, is
// read with nearest filtering for that draw: every pixel centre falls on a texel centre, where linear
// filtering gives that texel alone, and a software rasterizer reads one texel instead of four.
//
// Where client arrays cost a copy to the GPU per draw call and every draw call is a round trip to
// another process (a GL 1.1 emulation over WebGL), this turns hundreds of uploads and draws a
// frame into one upload and a few draws. Whatever must see the pixels or change what recorded draws
// read replays first: the device does it before read-back, a texture upload and at the end of the
// frame; surfaces call replayPending() before deleting a texture.
//
// When the shaders cannot be built (a driver that refuses them), the record is drawn batch by batch
// with client arrays instead, and drawsBatchByBatch() tells the device to stop recording.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/render_device.h"

class DrawRecorder final : public BatchSink {
 public:
  static constexpr int kTextureUnits = 2;

  DrawRecorder();
  ~DrawRecorder() override;
  DrawRecorder(const DrawRecorder&) = delete;
  DrawRecorder& operator=(const DrawRecorder&) = delete;

  // Recorded in order (see BatchSink). A surface without a texture in the current context gets
  // one now; the record keeps its name.
  void draw(const BatchVertex* vertices, int count, int primitiveSize, gxtkSurface* surface) override;
  void blend(unsigned destinationFactor) override;
  void scissor(bool enabled, int x, int y, int width, int height) override;
  void clear(float red, float green, float blue) override;
  void present() override { replay(); }

  // Sends everything recorded to OpenGL and empties the record. Needs the context current; draws
  // through the current projection matrix.
  void replay();
  // Replays the recorder that holds recorded commands, if any.
  static void replayPending();

  bool hasPending() const { return !commands_.empty(); }
  // Whether the shaders failed to build in the current context, so that replays draw batch by batch.
  bool drawsBatchByBatch() const { return shadersFailed_; }
  // Makes the shaders fail to compile in recorders that build them from now on, for tests.
  static void breakShadersForTests(bool broken);
  // Vertex uploads and draw calls made so far, for tests and diagnostics.
  int64_t uploads() const { return uploads_; }
  int64_t drawCalls() const { return drawCalls_; }

 private:
  enum class Kind : uint8_t { kDraw, kBlend, kScissor, kClear };
  struct Command {
    Kind kind;
    bool flag;                       // draw: textured; scissor: enabled
    bool exact;                      // draw: quads only, each one texel per pixel at whole coordinates
    bool small;                      // draw: quads only, none larger than 64 x 64 pixels
    unsigned mode;                   // draw: GL_POINTS, GL_LINES or GL_TRIANGLES
    int first, count;                // draw: vertices in the frame's array
    unsigned value;                  // draw: texture; blend: destination factor
    int run;                         // draw: the replayed draw call it is part of
    int x, y, w, h;                  // scissor
    float r, g, b;                   // clear
    float left, top, right, bottom;  // draw: the pixels it may touch
  };
  // A vertex as the shader reads it: slot 0 untextured, n the texture on unit n - 1.
  struct Vertex {
    BatchVertex batch;
    float slot;
  };
  // One draw call of the replay: consecutive draws of one mode over at most kTextureUnits textures.
  struct Run {
    unsigned mode;
    int first, count;
    int textureCount;
    unsigned textures[kTextureUnits];
    bool exact[kTextureUnits];       // every draw of the texture in the run is exact
    bool untextured;                 // some draws have no texture
    bool alone;                      // some draws of its one texture are large or not exact
    float left, top, right, bottom;  // the pixels its draws may touch
  };

  // A batch of count vertices textured with texture when textured; the texture is
  // texWidth x texHeight texels.
  void record(const BatchVertex* vertices, int count, int primitiveSize, bool textured, unsigned texture,
              float texWidth, float texHeight);
  // Sends a blend, scissor or clear command.
  static void sendState(const Command& command);
  // Draws the record batch by batch with client arrays, without the shaders.
  void replayBatchByBatch();
  // Becomes the recorder that holds commands, replaying another one's first so that the order of
  // everything sent to OpenGL stays the order it was recorded in.
  void take();
  // Groups the recorded draws into runs and writes each vertex's texture slot.
  void formRuns();
  // Makes the buffer and the shader for the current context; false when the shader failed.
  bool ensureResources();

  std::vector<Vertex> vertices_;
  std::vector<Vertex> ordered_;  // vertices_ in the order of the runs
  std::vector<Command> commands_;
  std::vector<Run> runs_;
  std::vector<unsigned> nearestTextures_;  // filtering the nearest texel during the replay
  int resourceGeneration_ = -1;
  unsigned vertexBuffer_ = 0;
  // Shaders for runs with no texture, one, and two or a mix of textured and untextured draws.
  static constexpr int kPrograms = 3;
  unsigned programs_[kPrograms] = {};
  int projectionLocations_[kPrograms] = {-1, -1, -1};
  bool shadersFailed_ = false;
  int64_t uploads_ = 0;
  int64_t drawCalls_ = 0;

  static DrawRecorder* holder_;
  static bool shadersBroken_;
};
