// The GLFW host game: window creation and replacement, the swap interval, GLFW time, and the
// window callbacks that turn GLFW's events into the host entries of the current game.
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdlib>

#include "host/game.h"
#include "host/runtime_error.h"
#include "input/glfw_keys.h"

namespace {

constexpr const char* kWindowTitle = "Brackenfold Intro 01 by Vendle/bkf";
// The highest GLFW key code the key table covers (GLFW_KEY_MENU).
constexpr int kLastGlfwKey = 348;
// The key code the window's close button delivers (as a press and a release).
constexpr int kCloseKeyCode = 432;

enum WindowFlag {
  kFullscreen = 1,
  kResizable = 2,
  kDecorated = 4,
  kFloating = 8,
  kDepthBuffer = 16,
  kSingleBuffered = 32,
  kSecondMonitor = 64,
  kStencilBuffer = 128,
};

int hintFor(int flags, int bit) {
  return (flags & bit) ? GLFW_TRUE : GLFW_FALSE;
}

// GLFW is a C library: nothing may unwind through it. The host entries catch runtime exceptions
// themselves; anything else that escapes a callback ends the program here (noexcept).
void keyCallback(GLFWwindow*, int key, int, int action, int) noexcept {
  int code = translateGlfwKey(key);
  if (code == 0 || !currentGame) return;
  if (action == GLFW_RELEASE) {
    currentGame->hostKey(2, code);
  } else if (action == GLFW_PRESS || action == GLFW_REPEAT) {
    currentGame->hostKey(1, code);
    if (int character = characterForKeyCode(code)) currentGame->hostKey(3, character);
  }
}

void charCallback(GLFWwindow*, unsigned int codePoint) noexcept {
  if (currentGame) currentGame->hostKey(3, static_cast<int>(codePoint));
}

void mouseButtonCallback(GLFWwindow* window, int button, int action, int) noexcept {
  if (button < 0 || button > 2 || !currentGame) return;
  double x = 0, y = 0;
  glfwGetCursorPos(window, &x, &y);
  if (action == GLFW_PRESS) {
    currentGame->hostMouse(4, button, static_cast<float>(x), static_cast<float>(y), 0);
  } else if (action == GLFW_RELEASE) {
    currentGame->hostMouse(5, button, static_cast<float>(x), static_cast<float>(y), 0);
  }
}

// The wheel reuses the move event, so it carries the pointer's position as a move does: a wheel
// notch must not jump the pointer (and touch 0) to the corner until the mouse moves again.
void scrollCallback(GLFWwindow* window, double, double yoffset) noexcept {
  if (!currentGame) return;
  double x = 0, y = 0;
  glfwGetCursorPos(window, &x, &y);
  currentGame->hostMouse(6, -1, static_cast<float>(x), static_cast<float>(y), static_cast<float>(yoffset));
}

void cursorCallback(GLFWwindow*, double x, double y) noexcept {
  if (currentGame) currentGame->hostMouse(6, -1, static_cast<float>(x), static_cast<float>(y), 0);
}

// The close button never reaches the frame loop's should-close check: the application decides,
// and the framework's key handler quits on this code.
void closeCallback(GLFWwindow* window) noexcept {
  glfwSetWindowShouldClose(window, GLFW_FALSE);
  if (!currentGame) return;
  currentGame->hostKey(1, kCloseKeyCode);
  currentGame->hostKey(2, kCloseKeyCode);
}

void sizeCallback(GLFWwindow*, int width, int height) noexcept {
  if (auto* game = dynamic_cast<VxGlfwGame*>(currentGame)) {
    game->windowWidth_ = width;
    game->windowHeight_ = height;
  }
}

}  // namespace

VxGlfwGame::VxGlfwGame() = default;

// The window is not destroyed here: glfwTerminate already disposes of it, and the host game
// outlives GLFW in the program (it is never deleted).
VxGlfwGame::~VxGlfwGame() = default;

void VxGlfwGame::setUpdateFrequency(int hz) {
  updateFrequency_ = hz;
  if (hz != 0) updatePeriod = 1.0 / hz;
  nextUpdateTime = 0;
}

int VxGlfwGame::elapsedMillis() {
  return static_cast<int>(glfwGetTime() * 1000.0);
}

int VxGlfwGame::windowWidth() {
  return windowWidth_;
}
int VxGlfwGame::windowHeight() {
  return windowHeight_;
}

void VxGlfwGame::openWindow(int width, int height, int flags) {
  hadFocus = false;

  if (window_) {
    // The old window takes its key state with it: release every held key first so the
    // application never sees a key stuck down.
    for (int key = 0; key <= kLastGlfwKey; ++key) {
      int code = translateGlfwKey(key);
      if (code != 0 && glfwGetKey(window_, key) == GLFW_PRESS) hostKey(2, code);
    }
    glfwDestroyWindow(window_);
    window_ = nullptr;
  }

  glfwWindowHint(GLFW_RED_BITS, 8);
  glfwWindowHint(GLFW_GREEN_BITS, 8);
  glfwWindowHint(GLFW_BLUE_BITS, 8);
  glfwWindowHint(GLFW_ALPHA_BITS, 8);
  glfwWindowHint(GLFW_DEPTH_BITS, (flags & kDepthBuffer) ? 32 : 0);
  glfwWindowHint(GLFW_STENCIL_BITS, (flags & kStencilBuffer) ? 8 : 0);
  glfwWindowHint(GLFW_RESIZABLE, hintFor(flags, kResizable));
  glfwWindowHint(GLFW_DECORATED, hintFor(flags, kDecorated));
  glfwWindowHint(GLFW_FLOATING, hintFor(flags, kFloating));
  glfwWindowHint(GLFW_VISIBLE, hintFor(flags, kFullscreen));
  glfwWindowHint(GLFW_DOUBLEBUFFER, (flags & kSingleBuffered) ? GLFW_FALSE : GLFW_TRUE);
  glfwWindowHint(GLFW_SAMPLES, 0);
  glfwWindowHint(GLFW_REFRESH_RATE, 60);

  GLFWmonitor* monitor = nullptr;
  if (flags & kFullscreen) {
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    // With no monitor at all there is nothing to go fullscreen on: the window opens windowed
    // (visible, since the visible hint follows the fullscreen bit) and is centred as usual.
    if (monitors && count > 0) monitor = monitors[std::min((flags & kSecondMonitor) ? 1 : 0, count - 1)];
  }

  GLFWwindow* window = glfwCreateWindow(width, height, kWindowTitle, monitor, nullptr);
  if (!window) {
    printLine(String("glfwCreateWindow FAILED!"));
    std::abort();
  }
  window_ = window;
  if (!monitor) {
    // Centred from the desktop mode read at start-up, even when that gives a negative position.
    glfwSetWindowPos(window, (desktopVideoMode[0] - width) / 2, (desktopVideoMode[1] - height) / 2);
    glfwShowWindow(window);
  }

  ++contextGeneration;
  windowWidth_ = width;
  windowHeight_ = height;

  glfwMakeContextCurrent(window);
  if (vsyncInterval >= 0) glfwSwapInterval(vsyncInterval);

  glfwSetKeyCallback(window, keyCallback);
  glfwSetCharCallback(window, charCallback);
  glfwSetMouseButtonCallback(window, mouseButtonCallback);
  glfwSetScrollCallback(window, scrollCallback);
  glfwSetCursorPosCallback(window, cursorCallback);
  glfwSetWindowCloseCallback(window, closeCallback);
  glfwSetWindowSizeCallback(window, sizeCallback);
}

void VxGlfwGame::setVsyncInterval(int interval) {
  vsyncInterval = interval;
  if (interval >= 0 && window_) glfwSwapInterval(interval);
}

VxCorvaneGame::VxCorvaneGame() = default;
VxCorvaneGame::~VxCorvaneGame() = default;
