// The GLFW host game: window creation and replacement, the swap interval, GLFW time, and the
// window callbacks that turn GLFW's events into the host entries of the current game.
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/delegate.h"
#include "host/game.h"
#include "host/platform.h"
#include "host/runtime_error.h"
#include "host/screen_scaler.h"
#include "input/glfw_keys.h"

ScreenOptions screenOptions;

namespace {

// The window a program gets when it asks for a size that is not one.
constexpr int kDefaultWindowWidth = 640;
constexpr int kDefaultWindowHeight = 480;
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

VxGlfwGame* glfwGame() {
  return dynamic_cast<VxGlfwGame*>(currentGame);
}

// The running program's file name without its directory: the title of a window nobody named.
std::string programName() {
  std::string path = programFileName();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ALT+ENTER is the host's: it switches between the window and full screen, and the program never
// sees that ENTER (the intro would restart its song as well). The repeats and the release of the
// same press go with it; an ENTER pressed without ALT stays the program's to the end.
bool enterTakenByHost = false;

bool takeAltEnter(int key, int action, int mods) {
  if (key != GLFW_KEY_ENTER) return false;
  if (action == GLFW_PRESS && (mods & GLFW_MOD_ALT) != 0) {
    enterTakenByHost = true;
    // In the browser the page does the switching (its own ALT+ENTER listener).
    if (VxGlfwGame* game = glfwGame(); game != nullptr && hostScalesScreen())
      game->setFullscreen(!game->isFullscreen());
    return true;
  }
  if (!enterTakenByHost) return false;
  if (action == GLFW_RELEASE) enterTakenByHost = false;
  return true;
}

// Pointer positions reach the program in its screen's coordinates, also while the host scales it.
void cursorPosition(GLFWwindow* window, float& x, float& y) {
  double windowX = 0, windowY = 0;
  glfwGetCursorPos(window, &windowX, &windowY);
  if (VxGlfwGame* game = glfwGame()) game->windowToScreen(windowX, windowY);
  x = static_cast<float>(windowX);
  y = static_cast<float>(windowY);
}

// GLFW is a C library: nothing may unwind through it. The host entries catch runtime exceptions
// themselves; anything else that escapes a callback ends the program here (noexcept).
void keyCallback(GLFWwindow*, int key, int, int action, int mods) noexcept {
  if (takeAltEnter(key, action, mods)) return;
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
  float x = 0, y = 0;
  cursorPosition(window, x, y);
  if (action == GLFW_PRESS) {
    currentGame->hostMouse(4, button, x, y, 0);
  } else if (action == GLFW_RELEASE) {
    currentGame->hostMouse(5, button, x, y, 0);
  }
}

// The wheel reuses the move event, so it carries the pointer's position as a move does: a wheel
// notch must not jump the pointer (and touch 0) to the corner until the mouse moves again.
void scrollCallback(GLFWwindow* window, double, double yoffset) noexcept {
  if (!currentGame) return;
  float x = 0, y = 0;
  cursorPosition(window, x, y);
  currentGame->hostMouse(6, -1, x, y, static_cast<float>(yoffset));
}

void cursorCallback(GLFWwindow*, double x, double y) noexcept {
  if (!currentGame) return;
  if (VxGlfwGame* game = glfwGame()) game->windowToScreen(x, y);
  currentGame->hostMouse(6, -1, static_cast<float>(x), static_cast<float>(y), 0);
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
  if (VxGlfwGame* game = glfwGame()) game->windowResized(width, height);
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

  std::string title = windowTitle.empty() ? programName() : toStdString(windowTitle);
  GLFWwindow* window = glfwCreateWindow(width, height, title.c_str(), monitor, nullptr);
  if (!window) {
    printLine(String("glfwCreateWindow FAILED!"));
    std::abort();
  }
  window_ = window;
  if (!monitor) {
    // Centred from the desktop mode read at start-up, even when that gives a negative position.
    glfwSetWindowPos(window, (desktopVideoMode[0] - width) / 2, (desktopVideoMode[1] - height) / 2);
    // A window about to go full screen is shown by that.
    if (!openHidden_) glfwShowWindow(window);
  }

  scaler_.contextLost();
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

void VxGlfwGame::windowResized(int width, int height) {
  // A fixed screen keeps its size whatever the window's: the host scales it.
  if (!screenFollowsWindow_) return;
  windowWidth_ = width;
  windowHeight_ = height;
}

void VxGlfwGame::setWindowTitle(const String& title) {
  windowTitle = title;
  if (!window_) return;
  std::string text = title.empty() ? programName() : toStdString(title);
  glfwSetWindowTitle(window_, text.c_str());
}

void VxGlfwGame::openProgramWindow() {
  WindowRequest request = attachedDelegate_ ? attachedDelegate_->requestedWindow() : WindowRequest();
  if (request.width <= 0 || request.height <= 0) {
    request.width = kDefaultWindowWidth;
    request.height = kDefaultWindowHeight;
  }
  windowTitle = request.title;
  screenFollowsWindow_ = request.resizable;

  const int scale = std::max(1, screenOptions.scale);
  const int desktopWidth = desktopVideoMode[0], desktopHeight = desktopVideoMode[1];
  const int largest = largestWindowScale(request.width, request.height, desktopWidth, desktopHeight);
  // Without a desktop mode (no monitor reported) there is nothing to measure against.
  if (scale > largest && desktopWidth > 0 && desktopHeight > 0) {
    std::fprintf(
        stderr,
        "%s: a window %d times %d x %d does not fit the %d x %d desktop: the scale goes from 1 to %d\n",
        programName().c_str(), scale, request.width, request.height, desktopWidth, desktopHeight, largest);
    glfwTerminate();
    std::exit(2);
  }

  openHidden_ = screenOptions.fullscreen;
  openWindow(request.width * scale, request.height * scale,
             kDecorated | (request.resizable ? kResizable : 0));
  openHidden_ = false;
  if (!screenFollowsWindow_) {
    windowWidth_ = request.width;
    windowHeight_ = request.height;
  }
  if (screenOptions.fullscreen) {
    setFullscreen(true);
    // No monitor to fill: the window shows as a window.
    if (!isFullscreen()) glfwShowWindow(window_);
  }
}

bool VxGlfwGame::isFullscreen() const {
  return window_ != nullptr && glfwGetWindowMonitor(window_) != nullptr;
}

void VxGlfwGame::setFullscreen(bool on) {
  if (!window_ || on == isFullscreen()) return;
  if (on) {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (!mode) return;
    glfwGetWindowPos(window_, &windowedX_, &windowedY_);
    glfwGetWindowSize(window_, &windowedWidth_, &windowedHeight_);
    // The mode the monitor has now: GLFW keeps it as it is.
    glfwSetWindowMonitor(window_, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
  } else {
    glfwSetWindowMonitor(window_, nullptr, windowedX_, windowedY_, windowedWidth_, windowedHeight_,
                         GLFW_DONT_CARE);
  }
  // One black frame at the new size: it clears what the window showed before, and some drivers
  // (Mesa's software one) only take the new size at a buffer swap, so without it the next frame
  // would be drawn at the old size.
  scaler_.drawToWindow();
  clearToBlack();  // the window's framebuffer, whatever the program set for its clears
  glfwSwapBuffers(window_);
}

void VxGlfwGame::chooseDrawingTarget() {
  if (!window_) return;
  int width = 0, height = 0;
  glfwGetFramebufferSize(window_, &width, &height);
  const bool scaled =
      !screenFollowsWindow_ && hostScalesScreen() && (width != windowWidth_ || height != windowHeight_);
  if (!scaled || !scaler_.drawOffscreen(windowWidth_, windowHeight_)) scaler_.drawToWindow();
}

void VxGlfwGame::hostRender() {
  chooseDrawingTarget();
  VxGame::hostRender();
}

bool VxGlfwGame::presentScreen() {
  if (!window_) return false;
  if (scaler_.active()) {
    int width = 0, height = 0;
    glfwGetFramebufferSize(window_, &width, &height);
    if (scaler_.present(window_, width, height)) return true;
  }
  glfwSwapBuffers(window_);
  return false;
}

void VxGlfwGame::windowToScreen(double& x, double& y) {
  if (!window_ || screenFollowsWindow_) return;
  int width = 0, height = 0;
  glfwGetWindowSize(window_, &width, &height);
  if (width == windowWidth_ && height == windowHeight_) return;
  ScreenPlacement picture = placeScreen(windowWidth_, windowHeight_, width, height);
  if (picture.width <= 0 || picture.height <= 0) return;
  x = (x - picture.x) * windowWidth_ / picture.width;
  y = (y - picture.y) * windowHeight_ / picture.height;
}

VxCorvaneGame::VxCorvaneGame() = default;
VxCorvaneGame::~VxCorvaneGame() = default;
