// Host services besides the frame loop: the display modes the host reports and the framework's
// list built from them, and the one source of a second thread. The state file, the date, the shell
// and the pointer are VxGame virtuals (host/game.h).
#pragma once

#include <atomic>

#include "runtime/array.h"
#include "runtime/collector.h"

// A monitor mode as the host reports it. The GLFW host fills only width and height.
class VxDisplayMode : public Object {
 public:
  VxDisplayMode() = default;
  VxDisplayMode(int width, int height) : width(width), height(height) {}
  int width = 0;
  int height = 0;
  int depth = 0;
  int hertz = 0;
  int flags = 0;
};

// A unit of work on its own detached thread. The work must not touch collected objects or the
// framework (the collector is not thread-safe); the object must stay reachable while it runs.
class VxThread : public Object {
 public:
  enum State { kNotStarted = 0, kRunning = 1, kFinished = 2 };

  // Written by the new thread and read by the creating one, hence atomic.
  std::atomic<int> state{kNotStarted};
  std::atomic<int> result{0};

  // Nothing while running; a finished thread runs its work again.
  virtual void startThread();
  virtual bool isThreadRunning();
  virtual int threadResult();
  virtual void setThreadResult(int value);
  // The work; the base version does nothing.
  virtual void threadBody();
};

// A display mode as the framework sees it.
class c_DisplayMode : public Object {
 public:
  c_DisplayMode(int width, int height) : width(width), height(height) {}
  int width = 0;
  int height = 0;
};

// The framework's display modes (each size once, in the host's order) and the desktop mode
// (null when the host reports none). Collector roots.
extern GcRoot<Array<c_DisplayMode*>> displayModes;
extern GcRoot<c_DisplayMode*> desktopMode;

// Fills displayModes and desktopMode from currentGame's enumerateDisplayModes and
// currentDesktopMode (the game delegate's start does this once).
void buildDisplayModes();
