// The frame loop's pass, written against a small platform interface (clock, sleep, events, focus,
// buffer swap) so that its scheduling runs the same over GLFW and over a test's fake clock.
#pragma once

#include "host/platform.h"

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

// The platform of the real program: GLFW time, events and the game's current window, the
// platform's focus test and main-thread sleep (host/platform.h).
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

// One pass: render, present, wait, events, focus, updates. Returns false, doing nothing else,
// when the window should close.
bool runFramePass(VxGlfwGame& game, FramePlatform& platform);

// The same pass in three steps, for a driver that cannot block between them (the browser's):
// render and present (false, doing nothing, when the window should close); the milliseconds the
// pass waits before its events; then events, focus and the due updates.
bool renderFramePass(VxGlfwGame& game, FramePlatform& platform);
int framePassWait(VxGlfwGame& game, FramePlatform& platform);
void finishFramePass(VxGlfwGame& game, FramePlatform& platform);

// Drives the passes from callbacks that must return at once (the browser's animation frames) by
// cutting each pass at its wait: a callback that comes before the wait has elapsed does nothing;
// one after it finishes the pending pass (events, focus, updates) and renders the next pass. The
// order of runFramePass is kept, and rendering follows the update rate, not the callback rate.
class SteppedFrameLoop {
 public:
  enum class Step { kIdle, kRan, kClosed };

  SteppedFrameLoop(VxGlfwGame& game, FramePlatform& platform) : game_(game), platform_(platform) {}

  // One callback. pageEvents counts the events seen so far: a suspended game, which the native
  // loop would block in its event wait, runs a pass only when it has grown. kClosed, doing
  // nothing, once the window should close.
  Step onFrame(int pageEvents);
  // A focus change that the game has not followed yet (focus gone while running, after it had
  // focus once; focus back while suspended) runs the pending pass at once, whatever the time:
  // the callbacks may stop altogether while the page is hidden. pageEvents as for onFrame.
  Step onFocusChange(int pageEvents);

  // Seconds the last render step took (on the platform's clock).
  double lastRenderSeconds() const { return lastRenderSeconds_; }

 private:
  Step runPass();

  VxGlfwGame& game_;
  FramePlatform& platform_;
  bool rendered_ = false;  // the first pass has rendered; its events and updates are pending
  double wakeTime_ = 0;    // when the pending pass's wait has elapsed
  int eventsSeen_ = 0;     // pageEvents at the last pass
  bool inPass_ = false;    // a focus event may arrive from inside a pass
  double lastRenderSeconds_ = 0;
};
