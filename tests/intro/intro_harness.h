// What the intro's tests share: the real c_MyApp started the way the game delegate starts it, but
// over a recording audio driver and (for the render tests) a recording graphics device that needs
// no OpenGL; scratch application directories whose data/ the host resolves data paths against;
// and the test songs compiled with the song compiler.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/recording_audio.h"
#include "graphics/render_device.h"
#include "graphics/surface.h"
#include "input/input_device.h"
#include "intro/my_app.h"

namespace introtest {

// A graphics device that records every operation and draws nothing. Pictures are decoded into
// surfaces as usual but never bound, so no OpenGL context is needed.
class RecordingGraphics : public gxtkGraphics {
 public:
  enum class Op {
    BeginFrame,
    EndFrame,
    Clear,
    Alpha,
    Color,
    Blend,
    Scissor,
    Matrix,
    Line,
    Surface,
    Region,
    Other
  };
  struct Call {
    Op op;
    float a = 0, b = 0, c = 0, d = 0;  // colour, alpha, line ends or draw position (a, b)
    gxtkSurface* surface = nullptr;
    int srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
  };
  std::vector<Call> calls;

  int width() override { return 640; }
  int height() override { return 480; }
  int beginFrame() override { return record({Op::BeginFrame}); }
  int endFrame() override { return record({Op::EndFrame}); }
  gxtkSurface* loadSurface(const String& path) override;
  gxtkSurface* createSurface(int width, int height) override;
  int clear(float r, float g, float b) override { return record({Op::Clear, r, g, b}); }
  int setAlpha(float alpha) override { return record({Op::Alpha, alpha}); }
  int setColor(float r, float g, float b) override { return record({Op::Color, r, g, b}); }
  int setBlendMode(int mode) override { return record({Op::Blend, static_cast<float>(mode)}); }
  int setScissor(int x, int y, int w, int h) override;
  int setMatrix(float, float, float, float, float, float) override { return record({Op::Matrix}); }
  int drawPoint(float, float) override { return record({Op::Other}); }
  int drawRect(float, float, float, float) override { return record({Op::Other}); }
  int drawLine(float x1, float y1, float x2, float y2) override { return record({Op::Line, x1, y1, x2, y2}); }
  int drawOval(float, float, float, float) override { return record({Op::Other}); }
  int drawPolygon(Array<float>) override { return record({Op::Other}); }
  int drawTexturedPolygon(Array<float>, gxtkSurface*, int, int) override { return record({Op::Other}); }
  int drawSurface(gxtkSurface* surface, float x, float y) override;
  int drawSurfaceRegion(gxtkSurface* surface, float x, float y, int srcX, int srcY, int srcWidth,
                        int srcHeight) override;
  int readPixels(Array<int>, int, int, int, int, int, int) override { return 0; }
  int writeSurfacePixels(gxtkSurface*, Array<int>, int, int, int, int, int, int) override { return 0; }

 private:
  int record(const Call& call) {
    calls.push_back(call);
    return 0;
  }
};

// The source and build directories the test runs with.
std::string sourceDir();
std::string binaryDir();
// A fresh empty directory under /tmp, made once per name and process; its path.
std::string scratchDir(const std::string& name);
void writeFile(const std::string& path, const std::string& bytes);
// Compiles a song source (a path below the source tree) to the .dat file at `target`.
void compileSong(const std::string& sourceRelative, const std::string& target);
// The test song source used for table entry `index` (0-11) in these tests.
std::string testSongSource(int index);
// Compiles the twelve test songs into <appDirectory>/data/<table path>.
void installTestSongs(const std::string& appDirectory);

// The intro as the game delegate runs it: a host game object whose data paths resolve below
// appDirectory, the devices, the real c_MyApp and its delegate. One at a time.
class IntroHarness {
 public:
  // graphics: null for no graphics device at all (pictures and fonts then fail to load).
  IntroHarness(const std::string& appDirectory, RecordingGraphics* graphics);
  ~IntroHarness();

  // The delegate's start without the device creation: the create step.
  void start();
  // One update as the host delivers it (input brackets, the update step, a collector step); the
  // audio calls it causes carry the update's number (1 for the first).
  void update();
  void updates(int count);
  // A key event as the host delivers it.
  void press(int keyCode);
  void release(int keyCode);
  // One frame: the render step, then a collector step.
  void render();

  int updateCount() const { return updates_; }
  RecordingAudio* audio = nullptr;
  RecordingGraphics* graphics = nullptr;
  c_InputDevice* input = nullptr;

 private:
  int updates_ = 0;
};

// The audio calls made after update `after`, renumbered from 1, as trace text.
std::string traceAfter(const RecordingAudio& audio, int after, int lastUpdate);

}  // namespace introtest
