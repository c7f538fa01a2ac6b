// Command-line pieces the three song tools share: the error line and number options.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace vumo {

// One line on standard error; the tool then exits with status 1.
inline int failWith(const char* tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
  return 1;
}

// True when the command line asks for the tool's help text ("--help" or "-h" anywhere).
inline bool asksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

// Prints a help text on standard output; the tool then exits with status 0 (1 if it cannot be written).
inline int printHelp(const char* text) {
  return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

// A tool's main: runs it and turns an escaping exception (a failed allocation, a bad conversion)
// into the tool's one-line failure instead of an abort.
template <typename Run>
int runTool(const char* tool, Run run, int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    return failWith(tool, e.what());
  }
}

// A whole decimal number in [lowest, highest].
inline bool parseCount(const std::string& text, long lowest, long highest, long& value) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::strtol(text.c_str(), nullptr, 10);
  return value >= lowest && value <= highest;
}

// A finite decimal number in (0, highest].
inline bool parseSeconds(const std::string& text, double highest, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == 0 && std::isfinite(value) && value > 0 && value <= highest;
}

}  // namespace vumo
