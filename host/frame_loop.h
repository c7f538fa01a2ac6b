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
