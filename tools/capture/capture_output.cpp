// Picture, sample and video output of brackenfold-capture.
#include "tools/capture/capture_output.h"

#include <spawn.h>
#include <stb/stb_image_write.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace capture {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// ffmpeg reads an argument that starts with '-' as an option, even where a file belongs.
std::string asFileArgument(const std::string& path) {
  return !path.empty() && path[0] == '-' ? "./" + path : path;
}

// The picture pattern is printf-like: a '%' of the directory name must stand for itself.
std::string escapePercent(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    escaped += c;
    if (c == '%') escaped += '%';
  }
  return escaped;
}

}  // namespace

bool writePicture(const std::string& path, const Array<int>& pixels, int width, int height) {
  const int count = width * height;
  if (width <= 0 || height <= 0 || pixels.length() < count) return false;
  std::vector<unsigned char> rgb(static_cast<size_t>(count) * 3);
  for (int i = 0; i < count; ++i) {
    const uint32_t p = static_cast<uint32_t>(pixels[i]);
    rgb[3 * i] = static_cast<unsigned char>(p >> 16);
    rgb[3 * i + 1] = static_cast<unsigned char>(p >> 8);
    rgb[3 * i + 2] = static_cast<unsigned char>(p);
  }
  return stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

void appendSamples(const std::vector<float>& mixed, std::vector<int16_t>& samples) {
  // The same conversion as vumo-render, so a capture and a render of one song agree.
  for (float sample : mixed) {
    const float clipped = std::clamp(sample, -1.0f, 1.0f);
    samples.push_back(static_cast<int16_t>(std::lrint(clipped * 32767.0f)));
  }
}

bool findProgram(const std::string& name, std::string& path) {
  if (name.find('/') != std::string::npos) {
    path = name;
    return isExecutableFile(name);
  }
  const char* env = std::getenv("PATH");
  const std::string dirs = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    // An empty entry is the current directory.
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + name;
    if (isExecutableFile(candidate)) {
      path = candidate;
      return true;
    }
    start = end + 1;
  }
  return false;
}

std::vector<std::string> videoCommand(const std::string& ffmpeg, const Options& options, int pictures) {
  const std::string dir = asFileArgument(options.outDir);
  const std::string rate = std::to_string(kFramesPerSecond) + "/" + std::to_string(options.every);
  // -nostdin: it would otherwise read commands from the terminal.
  std::vector<std::string> command = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
  auto add = [&command](std::initializer_list<std::string> group) { command.insert(command.end(), group); };
  add({"-framerate", rate, "-start_number", "1", "-i", escapePercent(dir) + "/frame_%05d.png"});
  add({"-i", dir + "/" + kSoundName});
  // Pictures of an earlier, longer capture in the same directory are not part of this one.
  add({"-frames:v", std::to_string(pictures)});
  // RGB pictures would otherwise give 4:4:4 video, which many players refuse.
  add({"-pix_fmt", "yuv420p", asFileArgument(options.video)});
  return command;
}

bool runProgram(const std::vector<std::string>& argv, std::string& error) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t child = 0;
  const int started = posix_spawn(&child, argv[0].c_str(), nullptr, nullptr, args.data(), environ);
  if (started != 0) {
    error = "cannot start " + argv[0] + ": " + std::strerror(started);
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      error = "lost track of " + argv[0] + ": " + std::strerror(errno);
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  error = argv[0] + (WIFEXITED(status) ? " failed with exit status " + std::to_string(WEXITSTATUS(status))
                                       : " was ended by signal " + std::to_string(WTERMSIG(status)));
  return false;
}

}  // namespace capture
