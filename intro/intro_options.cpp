// The intro's command line (intro/intro_options.h).
#include "intro/intro_options.h"

#include <cstdlib>

namespace {

// Far above any desktop; the host then says which scales fit.
constexpr long kMostScale = 1000;

bool parseScale(const std::string& text, int& scale) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value < 1 || value > kMostScale) return false;
  scale = static_cast<int>(value);
  return true;
}

}  // namespace

bool parseIntroOptions(int argc, char** argv, IntroOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--fullscreen") {
      options.fullscreen = true;
    } else if (arg == "--scale" || arg.rfind("--scale=", 0) == 0) {
      std::string value;
      if (arg == "--scale") {
        if (i + 1 < argc) value = argv[++i];
      } else {
        value = arg.substr(8);
      }
      if (!parseScale(value, options.scale)) {
        error = "--scale needs a whole number from 1 up to the largest window that fits the desktop, not '" +
                value + "'";
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else {
      error = "unexpected argument " + arg;
      return false;
    }
  }
  return true;
}

std::string introHelpText() {
  return "usage: brackenfold-intro [--fullscreen] [--scale N] [--help] [--version]\n"
         "\n"
         "A real-time demo intro with twelve tracker songs, in a 640 x 480 window.\n"
         "\n"
         "  --fullscreen   fill the primary monitor at its current mode (no mode switch); the picture\n"
         "                 keeps its 4:3 shape, centred on black\n"
         "  --scale N      a window N times 640 x 480, N from 1 to the largest that fits the desktop\n"
         "  --help         this text\n"
         "  --version      the program's version\n"
         "\n"
         "Keys: F1-F12 play a song, ENTER restarts it, ALT+ENTER switches between the window and\n"
         "full screen; closing the window quits.\n";
}
