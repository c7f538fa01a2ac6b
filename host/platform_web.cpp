// The browser's platform (emscripten): the program file sits in the virtual file system with the
// packaged data/ beside it, the page's focus is the window's, nothing blocks and there is no second
// thread, and the browser's animation frames drive the frame loop.
#include <GLFW/glfw3.h>
#include <emscripten.h>

#include <cstdlib>

#include "host/frame_loop.h"
#include "host/game.h"
#include "host/platform.h"

// The JavaScript inside EM_ASM is laid out by hand: clang-format would break it.
// clang-format off

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
      var says = function(words) { return text.indexOf(words) >= 0; };
      var message = "Unknown signal";
      if (says("out of bounds") || says("null function") || says("stack overflow")) {
        message = "Memory access violation";
      } else if (says("divide by zero") || says("remainder by zero") || says("integer overflow")) {
        message = "Floating point exception";
      } else if (says("unreachable")) {
        message = "Illegal instruction";
      }
      out("Corvane Runtime Error : " + message);
    });
  });
}

// A trap ends the program without its exit handlers: there is never one to skip.
bool exitingFromFatalSignal() {
  return false;
}

// WebAssembly memory has no protection: the collector's check mode poisons blocks instead.
void* allocGuardedBlock(std::size_t) {
  return nullptr;
}
bool retireGuardedBlock(void*, std::size_t) {
  return false;
}
void freeGuardedBlock(void*, std::size_t) {}

// The GLFW port has no hidden cursor mode: the canvas's style hides the pointer over it.
void setPointerVisible(GLFWwindow*, bool visible) {
  EM_ASM({ Module["canvas"].style.cursor = $0 ? "" : "none"; }, visible ? 1 : 0);
}

// The WebAssembly heap never shrinks: nothing to keep.
void keepHeapBetweenFrames() {}

// The GL 1.1 emulation copies client arrays into a buffer for every draw call, and each copy is a
// round trip to the browser's GPU process: a frame of the intro (some five hundred small batches,
// as fonts and pictures alternate) took twice its time in those uploads. Recorded batches go up
// with one upload per frame and draw from that buffer, which the emulation does not copy again.
bool recordDrawsUntilPresent() {
  return true;
}

// The GLFW port has no focus attribute; the page's focus stands for the window's.
bool windowHasInputFocus(GLFWwindow*) {
  return EM_ASM_INT({ return document.hasFocus() && document.visibilityState == "visible" ? 1 : 0; }) != 0;
}

// The canvas keeps the program's size; the page scales it with the browser window and takes it
// full screen.
bool hostScalesScreen() {
  return false;
}

// The page (web/page.html.in) makes the buttons; a page without that support shows none.
void showKeyButton(const std::string& label, int key) {
  EM_ASM({ if (Module["addKeyButton"]) Module["addKeyButton"](UTF8ToString($0), $1); }, label.c_str(), key);
}

void markShownKeyButton(int key) {
  EM_ASM({ if (Module["markKeyButton"]) Module["markKeyButton"]($0); }, key);
}

// A key button of the page: the key goes down and up again, as the keyboard delivers it.
extern "C" EMSCRIPTEN_KEEPALIVE void webPressKey(int key) {
  if (currentGame == nullptr) return;
  currentGame->hostKey(1, key);
  currentGame->hostKey(2, key);
}

namespace {

// The stack of driveFrameLoop is gone once the main loop runs: the driver lives here.
SteppedFrameLoop* webLoop = nullptr;

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

// Counts a rendered frame; ends the program when the window should close, as the Linux loop does.
void afterStep(SteppedFrameLoop::Step step) {
  if (step == SteppedFrameLoop::Step::kRan) recordFrame(webLoop->lastRenderSeconds() * 1000.0);
  if (step != SteppedFrameLoop::Step::kClosed) return;
  emscripten_cancel_main_loop();
  glfwTerminate();
  std::exit(0);
}

// One animation frame: a pass when the previous pass's wait has elapsed (host/frame_loop.h), so
// that the intro renders at its update rate, 51 frames a second, not at the display's rate.
void runAnimationFrame() {
  afterStep(webLoop->onFrame(pageEventCount()));
}

}  // namespace

// A hidden page gets no animation frames, so the pass that would see the focus go (and suspend
// the intro, pausing its sound) would not come: the page's focus and visibility events run one
// at once, as the Linux loop would wake from its event wait.
extern "C" EMSCRIPTEN_KEEPALIVE void webFocusChanged() {
  if (webLoop != nullptr) afterStep(webLoop->onFocusChange(pageEventCount()));
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
  static SteppedFrameLoop loop(game, platform);
  webLoop = &loop;
  countPageEvents();
  endProgramOnExit();
  // 0 frames a second: the browser's animation frames. Does not return (the page's event loop
  // runs from here on).
  emscripten_set_main_loop(runAnimationFrame, 0, 1);
}
// clang-format on
