// The program entry's body: GLFW, the one host game, fatal signals, the locale, the collector and
// the framework globals, the program's application, then the frame loop. Kept apart from the host
// game so that only programs that define createApplication() link it.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

#include "graphics/graphics_context.h"
#include "host/delegate.h"
#include "host/game.h"
#include "host/headless.h"
#include "host/runtime_error.h"
#include "runtime/collector.h"

namespace {

// GLFW errors are reported and never stop the program.
void reportGlfwError(int code, const char* message) {
  std::printf("GLFW Error: err=%i, msg=%s\n", code, message ? message : "");
  std::fflush(stdout);
}

void readDesktopVideoMode(VxGlfwGame& game) {
  GLFWmonitor* monitor = glfwGetPrimaryMonitor();
  const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
  if (!mode) return;
  game.desktopVideoMode[0] = mode->width;
  game.desktopVideoMode[1] = mode->height;
  game.desktopVideoMode[2] = mode->redBits;
  game.desktopVideoMode[3] = mode->greenBits;
  game.desktopVideoMode[4] = mode->blueBits;
  game.desktopVideoMode[5] = mode->refreshRate;
}

// The framework's globals: no application or delegate yet, and the one graphics context.
void initFrameworkGlobals() {
  currentApp = nullptr;
  currentDelegate = nullptr;
  initGraphicsContext();
}

}  // namespace

int startHost(int, char**) {
  glfwSetErrorCallback(reportGlfwError);
  if (!glfwInit()) {
    std::puts("glfwInit failed");
    std::fflush(stdout);
    std::exit(-1);
  }

  // Lives for the whole process; never deleted.
  auto* game = new VxCorvaneGame();
  currentGame = game;
  readDesktopVideoMode(*game);

  installFatalSignalHandlers();

  useUtf8Locale();

  try {
    initCollector();
    initFrameworkGlobals();
    markRoots();
    // The c_App constructor creates the game delegate and attaches it to currentGame.
    createApplication();
  } catch (ThrowableObject* exception) {
    glfwTerminate();
    currentGame->reportUncaught(exception);
  }

  if (currentGame->attachedDelegate()) game->runFrames();

  glfwTerminate();
  return 0;
}
