// Command-line pieces the song tools share: --help and --version, the error line, the exit statuses
// (0 done, 1 error, 2 bad usage) and number options.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace vumo {

constexpr const char* kToolsVersion = "1.1";
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

// One line on standard error; the tool then exits with status 1.
inline int failWith(const char* tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
  return kExitError;
}

// A command line the tool cannot take: one line with the usage, status 2.
inline int usageError(const char* tool, const std::string& message, const char* usage) {
  std::fprintf(stderr, "%s: %s (usage: %s)\n", tool, message.c_str(), usage);
  return kExitUsage;
}

// --help (the usage and `help` on standard output) and --version anywhere on the command line:
// the status to exit with, or -1 when neither was given.
inline int helpOrVersion(const char* tool, const char* usage, const char* help, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::printf("usage: %s\n%s", usage, help);
      return std::fflush(stdout) == 0 ? 0 : kExitError;
    }
    if (arg == "--version") {
      std::printf("%s %s\n", tool, kToolsVersion);
      return std::fflush(stdout) == 0 ? 0 : kExitError;
    }
  }
  return -1;
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
