// The intro's command line: how its window is shown (full screen, a scale), --help and --version.
#pragma once

#include <string>

struct IntroOptions {
  bool fullscreen = false;
  int scale = 1;  // of the 640 x 480 window; the host checks it against the desktop
  bool help = false;
  bool version = false;
};

// False, with one line saying why in error, for a command line the program cannot take.
bool parseIntroOptions(int argc, char** argv, IntroOptions& options, std::string& error);

// The usage line and the options, as --help prints them.
std::string introHelpText();

constexpr const char* kIntroVersion = "1.0";
