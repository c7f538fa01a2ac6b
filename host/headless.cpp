// The set-up of startHost for code that does not run the host's frame loop.
#include "host/headless.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

#include "graphics/graphics_context.h"
#include "host/game.h"
#include "runtime/collector.h"

void useUtf8Locale() {
  if (std::setlocale(LC_CTYPE, "en_US.UTF-8")) return;
  if (std::setlocale(LC_CTYPE, "") && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
  // A bare system (a fresh container: no locales package, no LANG) has only "C" and "C.UTF-8".
  std::setlocale(LC_CTYPE, "C.UTF-8");
}

VxGame* startWithoutWindow() {
  static bool started = false;
  if (!started) {
    started = true;
    useUtf8Locale();
    initCollector();
    if (graphicsContext.get() == nullptr) initGraphicsContext();
    markRoots();
  }
  if (currentGame == nullptr) currentGame = new VxCorvaneGame();
  return currentGame;
}

void runCollectorSteps(int steps) {
  for (int i = 0; i < steps; ++i) {
    if (currentGame != nullptr) {
      currentGame->collectStep();
    } else {
      collectStep();
    }
  }
}
