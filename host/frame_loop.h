// The frame loop's pass, written against a small platform interface (clock, sleep, events, focus,
// buffer swap) so that its scheduling runs the same over GLFW and over a test's fake clock.
#pragma once

class VxGlfwGame;
struct GLFWwindow;

// What one pass needs from the window system.
class FramePlatform {
 public:
  virtual ~FramePlatform() = default;
  virtual bool windowShouldClose() = 0;
  virtual void swapBuffers() = 0;
  // Seconds since the time source started.
  virtual double currentTime() = 0;
  virtual void sleepMillis(int milliseconds) = 0;
  // Blocks until at least one event arrived, then processes the pending events.
  virtual void waitEvents() = 0;
  // Processes the pending events without blocking.
  virtual void pollEvents() = 0;
  virtual bool windowHasFocus() = 0;
};

// The platform of the real program: GLFW time, events and focus of the game's current window,
// and a nanosleep of the main thread.
class GlfwFramePlatform : public FramePlatform {
 public:
  explicit GlfwFramePlatform(VxGlfwGame& game) : game_(game) {}
  bool windowShouldClose() override;
  void swapBuffers() override;
  double currentTime() override;
  void sleepMillis(int milliseconds) override;
  void waitEvents() override;
  void pollEvents() override;
  bool windowHasFocus() override;

 private:
  // Read at every call: an update may replace the window.
  VxGlfwGame& game_;
};

// At most this many updates run in one pass; a longer backlog is dropped.
constexpr int kMaxUpdatesPerPass = 4;

// Milliseconds to sleep before the update due at nextUpdateTime (0: not due yet / not scheduled).
int millisecondsUntil(double nextUpdateTime, double now);

// Tells the C library's allocator to keep freed memory at the top of the heap instead of handing
// it back to the system after every frame: the OpenGL driver allocates and frees a few hundred
// kilobytes per frame, and trimming and faulting that in again cost more than the frame's own
// drawing. runFrames calls it; a host with a frame loop of its own calls it too.
void keepHeapBetweenFrames();

// One pass: render, present, wait, events, focus, updates. Returns false, doing nothing else,
// when the window should close.
bool runFramePass(VxGlfwGame& game, FramePlatform& platform);
