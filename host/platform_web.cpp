// The browser's platform (emscripten): the program file sits in the virtual file system with the
// packaged data/ beside it, the page's focus is the window's, nothing blocks and there is no second
// thread, and the browser's animation frames drive the frame loop.
#include <GLFW/glfw3.h>
#include <emscripten.h>

#include <cstdlib>

#include "host/frame_loop.h"
#include "host/game.h"
#include "host/platform.h"

// The build packages data/ as /app/data (see web/CMakeLists.txt).
std::string programFileName() {
  return "/app/brackenfold-intro";
}

// The page's main thread must never block; the frame loop driver waits between passes instead.
void sleepMainThread(int) {}

void openInDefaultApplication(const std::string& target) {
  // The 8-bit text is taken byte for byte (each byte one character), as the Linux opener sees it.
  EM_ASM(
      {
        var text = "";
        for (var p = $0; HEAPU8[p]; ++p) text += String.fromCharCode(HEAPU8[p]);
        window.open(text, "_blank", "noopener");
      },
      target.c_str());
}

// This build has no threads: the work runs at once on the calling thread, so a started thread is
// finished when startThread returns.
bool startDetachedThread(void* (*routine)(void*), void* argument) {
  routine(argument);
  return true;
}

// WebAssembly has no signals: a trap reaches the page as a RuntimeError. Its banner is the one the
// Linux handler prints for the matching signal, on the program's standard output.
void installFatalSignalHandlers() {
  EM_ASM({
    window.addEventListener("error", function(event) {
      var error = event.error;
      if (!(error instanceof WebAssembly.RuntimeError)) return;
      var text = String(error.message);
      var message = /out of bounds|null function|stack overflow/.test(text) ? "Memory access violation"
                  : /divide by zero|remainder by zero|integer overflow/.test(text) ? "Floating point exception"
                  : /unreachable/.test(text) ? "Illegal instruction" : "Unknown signal";
      out("Corvane Runtime Error : " + message);
    });
  });
}

// The WebAssembly heap never shrinks: nothing to keep.
void keepHeapBetweenFrames() {}

// The GLFW port has no focus attribute; the page's focus stands for the window's.
bool windowHasInputFocus(GLFWwindow*) {
  return EM_ASM_INT({ return document.hasFocus() && document.visibilityState == "visible" ? 1 : 0; }) != 0;
}

namespace {

// The state the driver keeps between animation frames. The stack of driveFrameLoop is gone once
// the main loop is running, so none of this may live there.
struct WebFrameLoop {
  VxGlfwGame* game = nullptr;
  FramePlatform* platform = nullptr;
  bool rendered = false;   // the first pass has rendered; its events and updates are pending
  double wakeTime = 0;     // when the pending pass's wait has elapsed
  int eventsSeen = 0;      // page events counted when the last suspended pass ran
  bool inPass = false;     // a pass is running (a page event may arrive from inside one)
};

WebFrameLoop webLoop;

// Page events (focus, keys, mouse) since the page loaded, counted by the listeners below.
int pageEventCount() {
  return EM_ASM_INT({ return Module["hostEventCount"] | 0; });
}

void countPageEvents() {
  EM_ASM({
    Module["hostEventCount"] = 0;
    var names = "focus blur keydown keyup mousedown mouseup mousemove wheel".split(" ");
    names.forEach(function(name) {
      window.addEventListener(name, function() { Module["hostEventCount"]++; }, true);
    });
    document.addEventListener("visibilitychange", function() { Module["hostEventCount"]++; });
    var focusChanged = function() {
      if (ABORT) return;
      try {
        Module["_webFocusChanged"]();
      } catch (e) {
        if (!(e instanceof ExitStatus)) throw e;  // the program ended inside the pass
      }
    };
    window.addEventListener("focus", focusChanged);
    window.addEventListener("blur", focusChanged);
    document.addEventListener("visibilitychange", focusChanged);
  });
}

// Rendered frames for the page and its tests: Module.frameStats holds the count, the total time of
// the render steps in milliseconds, and when the first frame was presented (ms since navigation).
void recordFrame(double renderMillis) {
  EM_ASM(
      {
        var stats = Module["frameStats"] || (Module["frameStats"] = {frames : 0, renderMs : 0});
        if (stats.frames++ == 0) stats.firstFrameAt = performance.now();
        stats.renderMs += $0;
      },
      renderMillis);
}

// One animation frame. A pass is split at its wait: the frame that follows the wait runs the
// pass's events, focus and updates and then renders the next pass, so the order of the Linux
// loop is kept and the canvas is presented when this callback returns. Frames that come before
// the wait has elapsed do nothing, which paces rendering at the update rate (51 a second for the
// intro) instead of the display's rate.
void runPass(bool focusChanged) {
  VxGlfwGame& game = *webLoop.game;
  FramePlatform& platform = *webLoop.platform;
  if (webLoop.inPass) return;
  if (webLoop.rendered) {
    if (!focusChanged) {
      if (platform.currentTime() < webLoop.wakeTime) return;
      // Suspended, the Linux loop blocks until a window event arrives: here a pass waits for one.
      if (game.isPaused()) {
        int events = pageEventCount();
        if (events == webLoop.eventsSeen) return;
        webLoop.eventsSeen = events;
      }
    }
    webLoop.inPass = true;
    finishFramePass(game, platform);
  }
  webLoop.inPass = true;
  double renderStart = emscripten_get_now();
  if (!renderFramePass(game, platform)) {
    emscripten_cancel_main_loop();
    glfwTerminate();
    std::exit(0);
  }
  recordFrame(emscripten_get_now() - renderStart);
  webLoop.inPass = false;
  webLoop.rendered = true;
  webLoop.wakeTime = platform.currentTime() + framePassWait(game, platform) / 1000.0;
}

void runAnimationFrame() {
  runPass(false);
}

}  // namespace

// A hidden page gets no animation frames, so the pass that would see the focus go (and suspend
// the intro, pausing its sound) would not come: the page's focus and visibility events run one
// at once, as the Linux loop would wake from its event wait.
// Only a change the game has not followed yet runs a pass, so that no update runs early.
extern "C" EMSCRIPTEN_KEEPALIVE void webFocusChanged() {
  if (webLoop.game == nullptr || !webLoop.rendered) return;
  VxGlfwGame& game = *webLoop.game;
  bool focused = windowHasInputFocus(nullptr);
  if (focused ? game.isPaused() : !game.isPaused() && game.hadFocus) runPass(true);
}

namespace {

// The main loop keeps the runtime alive, so an exit() from inside it (the quit key, a runtime
// error) would only throw: the animation frames would go on and the page would never hear of it.
// Here the exit stops the frames and tells the page (Module.onExit) before the runtime's own quit.
void endProgramOnExit() {
  EM_ASM({
    var runtimeQuit = quit_;
    quit_ = function(status, toThrow) {
      _emscripten_cancel_main_loop();
      if (!ABORT) {
        ABORT = true;
        if (Module["onExit"]) Module["onExit"](status);
      }
      runtimeQuit(status, toThrow);
    };
  });
}

}  // namespace

void driveFrameLoop(VxGlfwGame& game) {
  static GlfwFramePlatform platform(game);
  webLoop.game = &game;
  webLoop.platform = &platform;
  countPageEvents();
  endProgramOnExit();
  // 0 frames a second: the browser's animation frames. Does not return (the page's event loop
  // runs from here on).
  emscripten_set_main_loop(runAnimationFrame, 0, 1);
}
