// The program entry of the intro: its command line, then the host.
#include <cstdio>
#include <string>

#include "host/game.h"
#include "intro/intro_options.h"
#include "intro/my_app.h"

c_App* createApplication() {
  return new c_MyApp();
}

int main(int argc, char** argv) {
  IntroOptions options;
  std::string error;
  if (!parseIntroOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "brackenfold-intro: %s\n%s", error.c_str(), introHelpText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(introHelpText().c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (options.version) {
    std::printf("brackenfold-intro %s\n", kIntroVersion);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // [guide:screen-options]
  screenOptions.fullscreen = options.fullscreen;  // the primary monitor, the screen scaled to fit
  screenOptions.scale = options.scale;            // or a window this many times the program's size
  return startHost(argc, argv);
  // [/guide:screen-options]
}
