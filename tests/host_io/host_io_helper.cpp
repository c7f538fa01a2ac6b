// A small program the runtime-error tests start as a child: each mode ends in one of the
// runtime's failure paths, so the test can check what reached the standard streams and the status.
#include <signal.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/game.h"
#include "host/runtime_error.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  const char* argument = argc > 2 ? argv[2] : "";
  if (std::strcmp(mode, "raise") == 0) raiseRuntimeError(String(argument));
  if (std::strcmp(mode, "raise-unit") == 0) {
    // The message "x", one unit given in hex, "y".
    Char units[3] = {u'x', static_cast<Char>(std::strtoul(argument, nullptr, 16)), u'y'};
    raiseRuntimeError(String(units, 3));
  }
  if (std::strcmp(mode, "quit") == 0) quitApp();
  if (std::strcmp(mode, "uncaught") == 0) {
    VxGame game;
    game.reportUncaught(nullptr);
  }
  if (std::strcmp(mode, "dump") == 0) {
    // Tells the test where a live object is, then waits for the debugger's commands.
    Object* object = new Object;
    std::printf("%p\n", static_cast<void*>(object));
    std::fflush(stdout);
    debugStop();
    return 3;
  }
  if (std::strcmp(mode, "signal") == 0) {
    installFatalSignalHandlers();
    raise(std::atoi(argument));
    return 3;
  }
  if (std::strcmp(mode, "fault") == 0) {
    installFatalSignalHandlers();
    // A real access fault on a page that allows nothing (a null pointer would be caught by the
    // undefined-behaviour sanitizer before it faults).
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return 4;
    *static_cast<volatile int*>(page) = 1;
    return 3;
  }
  if (std::strcmp(mode, "resolve") == 0) {
    VxGlfwGame game;
    std::printf("%s\n", game.resolvePath(String(argument)).ToUtf8().c_str());
    return 0;
  }
  return 2;
}
