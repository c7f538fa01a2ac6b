// The frame loop: one pass renders, presents, sleeps until the next update is due, processes the
// window's events, follows the window focus into suspend and resume, and runs the due updates.
#include "host/frame_loop.h"

#include <GLFW/glfw3.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "host/game.h"
#include "host/platform.h"

namespace {

// The pacing benchmark's trace, opened by runFrames when CORVANE_FRAME_TRACE names a file: one
// line per presented frame ("f TIME"), per update ("u TIME"), per pass that ran updates
// ("p COUNT") and per dropped backlog ("d TIME"), times in seconds of the platform's clock, after a
// first line "c STEADY PLATFORM" that reads the system's steady clock and the platform's together
// (so that other programs' times can be set beside the trace's). Null (the default) leaves the loop
// as it is but for the test of this pointer.
FILE* frameTrace = nullptr;

void traceTime(char kind, double time) {
  std::fprintf(frameTrace, "%c %.6f\n", kind, time);
}

// Written out about once a second, so that a run ended by a signal keeps all but the last second.
void traceUpdateCount(int count) {
  static int passes = 0;
  std::fprintf(frameTrace, "p %d\n", count);
  if (++passes % 64 == 0) std::fflush(frameTrace);
}

// Resets the schedule: the next pass's first update is due at that pass's own time.
void restartSchedule(VxGlfwGame& game) {
  game.nextUpdateTime = 0;
}

void runDueUpdates(VxGlfwGame& game, FramePlatform& platform) {
  if (game.updateFrequency() == 0) {
    game.hostUpdate();
    return;
  }
  if (game.nextUpdateTime == 0) game.nextUpdateTime = platform.currentTime();
  // The first update is not checked against the clock: the sleep before the events already held
  // the pass back until it was due.
  for (int i = 0; i < kMaxUpdatesPerPass; ++i) {
    if (frameTrace) traceTime('u', platform.currentTime());
    game.hostUpdate();
    if (game.nextUpdateTime == 0) return;  // the update changed the frequency
    game.nextUpdateTime += game.updatePeriod;
    if (game.nextUpdateTime > platform.currentTime()) {
      if (frameTrace) traceUpdateCount(i + 1);
      return;
    }
  }
  if (frameTrace) {
    traceUpdateCount(kMaxUpdatesPerPass);
    traceTime('d', platform.currentTime());
  }
  restartSchedule(game);
}

}  // namespace

int millisecondsUntil(double nextUpdateTime, double now) {
  if (nextUpdateTime == 0) return 0;
  double wait = nextUpdateTime - now;
  if (!(wait > 0)) return 0;
  double milliseconds = wait * 1000.0;
  // A period is at most one second, so this only guards against a clock gone wrong.
  if (milliseconds >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(milliseconds);
}

bool renderFramePass(VxGlfwGame& game, FramePlatform& platform) {
  if (platform.windowShouldClose()) return false;

  game.hostRender();
  platform.swapBuffers();
  if (frameTrace) traceTime('f', platform.currentTime());
  return true;
}

int framePassWait(VxGlfwGame& game, FramePlatform& platform) {
  return millisecondsUntil(game.nextUpdateTime, platform.currentTime());
}

void finishFramePass(VxGlfwGame& game, FramePlatform& platform) {
  // While suspended nothing is due, so block instead of spinning.
  if (game.isPaused()) {
    platform.waitEvents();
  } else {
    platform.pollEvents();
  }

  if (platform.windowHasFocus()) {
    game.hadFocus = true;
    if (game.isPaused()) {
      game.hostResume();
      restartSchedule(game);
    }
  } else if (!platform.windowHasFocus() && game.hadFocus) {
    // A window that never had focus (opened in the background) is not suspended.
    if (game.isPaused()) return;
    game.hostSuspend();
    restartSchedule(game);
  }

  if (game.isPaused()) return;
  runDueUpdates(game, platform);
}

bool runFramePass(VxGlfwGame& game, FramePlatform& platform) {
  if (!renderFramePass(game, platform)) return false;
  if (int wait = framePassWait(game, platform)) platform.sleepMillis(wait);
  finishFramePass(game, platform);
  return true;
}

SteppedFrameLoop::Step SteppedFrameLoop::onFrame(int pageEvents) {
  if (inPass_) return Step::kIdle;
  if (rendered_) {
    if (platform_.currentTime() < wakeTime_) return Step::kIdle;
    if (game_.isPaused() && pageEvents == eventsSeen_) return Step::kIdle;
  }
  eventsSeen_ = pageEvents;
  return runPass();
}

SteppedFrameLoop::Step SteppedFrameLoop::onFocusChange(int pageEvents) {
  if (inPass_ || !rendered_) return Step::kIdle;
  bool focused = platform_.windowHasFocus();
  bool unfollowed = focused ? game_.isPaused() : !game_.isPaused() && game_.hadFocus;
  if (!unfollowed) return Step::kIdle;
  eventsSeen_ = pageEvents;
  return runPass();
}

SteppedFrameLoop::Step SteppedFrameLoop::runPass() {
  inPass_ = true;
  if (rendered_) finishFramePass(game_, platform_);
  double renderStart = platform_.currentTime();
  bool open = renderFramePass(game_, platform_);
  lastRenderSeconds_ = platform_.currentTime() - renderStart;
  inPass_ = false;
  if (!open) return Step::kClosed;
  rendered_ = true;
  wakeTime_ = platform_.currentTime() + framePassWait(game_, platform_) / 1000.0;
  return Step::kRan;
}

void VxGlfwGame::runFrames() {
  if (const char* path = std::getenv("CORVANE_FRAME_TRACE"); path != nullptr && *path != 0) {
    frameTrace = std::fopen(path, "w");
    if (frameTrace) {
      const auto steady = std::chrono::steady_clock::now().time_since_epoch();
      std::fprintf(frameTrace, "c %.6f %.6f\n", std::chrono::duration<double>(steady).count(), glfwGetTime());
    }
  }
  keepHeapBetweenFrames();
  openProgramWindow();
  hostStart();
  driveFrameLoop(*this);
}

bool GlfwFramePlatform::windowShouldClose() {
  return !game_.window() || glfwWindowShouldClose(game_.window());
}

void GlfwFramePlatform::swapBuffers() {
  if (!game_.window()) return;
  game_.presentScreen();
}

double GlfwFramePlatform::currentTime() {
  return glfwGetTime();
}

void GlfwFramePlatform::sleepMillis(int milliseconds) {
  sleepMainThread(milliseconds);
}

void GlfwFramePlatform::waitEvents() {
  glfwWaitEvents();
}

void GlfwFramePlatform::pollEvents() {
  glfwPollEvents();
}

bool GlfwFramePlatform::windowHasFocus() {
  return game_.window() && windowHasInputFocus(game_.window());
}
