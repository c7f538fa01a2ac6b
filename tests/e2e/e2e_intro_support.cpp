#include "tests/e2e/e2e_intro_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "vumo/song_compiler.h"

// Xlib last: its macros (None, Bool, Status) clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace e2eintro {
std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

namespace fs = std::filesystem;

Display* asDisplay(void* display) {
  return static_cast<Display*>(display);
}

bool windowPid(Display* display, Window window, long& pid) {
  Atom atom = XInternAtom(display, "_NET_WM_PID", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = XGetWindowProperty(display, window, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                                  &after, &data) == Success &&
               data != nullptr && count == 1 && format == 32;
  if (found) pid = *reinterpret_cast<long*>(data);
  if (data != nullptr) XFree(data);
  return found;
}

uint32_t readLittle(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string sourceDir() {
  const char* dir = std::getenv("CORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string binaryDir() {
  const char* dir = std::getenv("CORVANE_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

Installation::Installation(const std::string& name) {
  dir = (fs::temp_directory_path() / ("e2e-intro-" + std::to_string(getpid()) + "-" + name)).string();
  fs::remove_all(dir);
  fs::create_directories(dir);
  program = dir + "/brackenfold-intro";
  data = dir + "/data";
  fs::copy_file(binaryDir() + "/brackenfold-intro", program);
  fs::copy(binaryDir() + "/data", data, fs::copy_options::recursive);
}

Installation::~Installation() {
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

void Installation::compileSong(const std::string& sourceRelative, const std::string& songPath) {
  vumo::Song song;
  vumo::SourceError error;
  if (!vumo::compileSource(readWhole(sourceDir() + "/" + sourceRelative), song, error)) {
    std::fprintf(stderr, "%s:%d: %s\n", sourceRelative.c_str(), error.line, error.reason.c_str());
    return;
  }
  std::vector<unsigned char> bytes = vumo::encodeSong(song);
  fs::create_directories(fs::path(data + "/" + songPath).parent_path());
  std::ofstream out(data + "/" + songPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string Installation::captureSoundTo(const std::string& wavePath) {
  std::string conf = dir + "/alsoft.conf";
  std::ofstream out(conf);
  out << "[general]\ndrivers=wave\nfrequency=44100\nchannels=stereo\nsample-type=int16\n"
      << "[wave]\nfile=" << wavePath << "\n";
  return conf;
}

Program::Program(const std::string& path, const ProgramOptions& options) {
  char pattern[] = "/tmp/e2e_outXXXXXX";
  int fd = mkstemp(pattern);
  if (fd >= 0) close(fd);
  outputPath_ = pattern;

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ALSOFT_DRIVERS=", 15) == 0 || std::strncmp(*e, "ALSOFT_CONF=", 12) == 0) continue;
    if (!options.withDisplay && std::strncmp(*e, "DISPLAY=", 8) == 0) continue;
    env.push_back(*e);
  }
  if (!options.alsoftConf.empty()) env.push_back("ALSOFT_CONF=" + options.alsoftConf);
  // Without a configuration the program still needs a device that works on any machine.
  if (options.alsoftConf.empty()) env.push_back("ALSOFT_DRIVERS=null");
  env.insert(env.end(), options.env.begin(), options.env.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath_.c_str(), O_WRONLY | O_TRUNC, 0);
  if (options.errorsToOutput) {
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  } else if (!options.errorsFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.errorsFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::string programPath = path;
  std::vector<std::string> args = options.args;
  std::vector<char*> argv = {programPath.data()};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, programPath.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

Program::Program(const std::string& path, const std::string& alsoftConf)
    : Program(path, [&] {
        ProgramOptions options;
        options.alsoftConf = alsoftConf;
        return options;
      }()) {}

Program::~Program() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::remove(outputPath_.c_str());
}

bool Program::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  return waitpid(pid_, &status, WNOHANG) == 0;
}

int Program::waitForExit(double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

std::string Program::output() const {
  return readWhole(outputPath_);
}

Screen::Screen() {
  // The test server resets when its last client leaves (the previous test's program and screen),
  // and refuses connections for a moment while it does.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((display_ = XOpenDisplay(nullptr)) == nullptr && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

Screen::~Screen() {
  if (display_ != nullptr) XCloseDisplay(asDisplay(display_));
}

unsigned long Screen::findWindow(pid_t pid, double seconds) {
  Display* display = asDisplay(display_);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && found == 0; ++i) {
        long owner = 0;
        XWindowAttributes attributes;
        if (windowPid(display, children[i], owner) && owner == pid &&
            XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable) {
          found = children[i];
        }
      }
      if (children != nullptr) XFree(children);
    }
    if (found != 0) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

Grab Screen::grab(unsigned long window) {
  Display* display = asDisplay(display_);
  Grab grab;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return grab;
  XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (image == nullptr) return grab;
  grab.width = attributes.width;
  grab.height = attributes.height;
  grab.pixels.resize(static_cast<size_t>(grab.width) * grab.height);
  for (int y = 0; y < grab.height; ++y) {
    for (int x = 0; x < grab.width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      // The test server's 24-bit TrueColor visual: the masks say where each channel is.
      auto channel = [&](unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
        return static_cast<uint32_t>((p >> shift) & mask);
      };
      grab.pixels[static_cast<size_t>(y) * grab.width + x] =
          channel(image->red_mask) << 16 | channel(image->green_mask) << 8 | channel(image->blue_mask);
    }
  }
  XDestroyImage(image);
  return grab;
}

void Screen::pressKey(unsigned long window, const std::string& keyName) {
  std::string id = std::to_string(window);
  // XTEST input goes to the focused window (or the one under the pointer): give it both.
  std::string focus = "xdotool windowfocus " + id + " mousemove --window " + id + " 320 240 >/dev/null 2>&1";
  if (std::system(focus.c_str()) != 0) std::fprintf(stderr, "xdotool could not focus the window\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string key = "xdotool key " + keyName + " >/dev/null 2>&1";
  if (std::system(key.c_str()) != 0) std::fprintf(stderr, "xdotool could not send %s\n", keyName.c_str());
}

void Screen::closeWindow(unsigned long window) {
  Display* display = asDisplay(display_);
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

std::string saveGrab(const Grab& grab, const std::string& name) {
  fs::path dir = fs::path(binaryDir()) / "tests" / "e2e-intro-failures";
  fs::create_directories(dir);
  std::vector<unsigned char> rgb;
  for (uint32_t p : grab.pixels) {
    rgb.push_back(static_cast<unsigned char>(p >> 16));
    rgb.push_back(static_cast<unsigned char>(p >> 8));
    rgb.push_back(static_cast<unsigned char>(p));
  }
  std::string path = (dir / (name + ".png")).string();
  if (grab.width > 0 &&
      stbi_write_png(path.c_str(), grab.width, grab.height, 3, rgb.data(), grab.width * 3) == 0) {
    return "(could not write " + path + ")";
  }
  return path;
}

bool Picture::load(const std::string& path) {
  unsigned char* decoded = stbi_load(path.c_str(), &width, &height, &channels, 0);
  if (decoded == nullptr) return false;
  bytes.assign(decoded, decoded + static_cast<size_t>(width) * height * channels);
  stbi_image_free(decoded);
  return true;
}

bool Sound::load(const std::string& path) {
  std::string bytes = readWhole(path);
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return false;
  int format = 0, bits = 0;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    std::string id = bytes.substr(at, 4);
    uint32_t size = readLittle(bytes, at + 4, 4);
    if (id == "fmt " && at + 8 + 16 <= bytes.size()) {
      format = static_cast<int>(readLittle(bytes, at + 8, 2));
      channels = static_cast<int>(readLittle(bytes, at + 10, 2));
      rate = static_cast<int>(readLittle(bytes, at + 12, 4));
      bits = static_cast<int>(readLittle(bytes, at + 22, 2));
      // WAVE_FORMAT_EXTENSIBLE keeps the real format in its sub-format's first two bytes.
      if (format == 0xFFFE && at + 8 + 26 <= bytes.size())
        format = static_cast<int>(readLittle(bytes, at + 32, 2));
    }
    if (id == "data") {
      dataOffset = static_cast<int64_t>(at + 8);
      break;
    }
    at += 8 + size + (size & 1);
  }
  if (dataOffset == 0 || channels <= 0 || (bits != 16 && bits != 32)) return false;
  bytesPerFrame = channels * bits / 8;
  samples.clear();
  for (size_t p = static_cast<size_t>(dataOffset); p + bytesPerFrame <= bytes.size(); p += bytesPerFrame) {
    if (bits == 16) {
      samples.push_back(static_cast<int16_t>(readLittle(bytes, p, 2)) / 32768.0f);
    } else if (format == 3) {
      uint32_t raw = readLittle(bytes, p, 4);
      float value;
      std::memcpy(&value, &raw, sizeof value);
      samples.push_back(value);
    } else {
      samples.push_back(static_cast<float>(static_cast<int32_t>(readLittle(bytes, p, 4)) / 2147483648.0));
    }
  }
  return format == 1 || format == 3;
}

double rms(const std::vector<float>& samples, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to && i < samples.size(); ++i)
    sum += static_cast<double>(samples[i]) * samples[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

double crossingsPerSecond(const std::vector<float>& samples, size_t from, size_t to, int rate) {
  // Hysteresis at a tenth of the level keeps the mixer's small ripples from counting.
  const double level = 0.1 * rms(samples, from, to);
  int crossings = 0, side = 0;
  for (size_t i = from; i < to && i < samples.size(); ++i) {
    int now = samples[i] > level ? 1 : samples[i] < -level ? -1 : 0;
    if (now != 0 && side != 0 && now != side) ++crossings;
    if (now != 0) side = now;
  }
  return to > from ? crossings * static_cast<double>(rate) / static_cast<double>(to - from) : 0;
}

int channelOf(uint32_t pixel, int shift) {
  return static_cast<int>(pixel >> shift & 255);
}

bool near(uint32_t pixel, const int expected[3], int tolerance) {
  for (int c = 0; c < 3; ++c) {
    if (std::abs(channelOf(pixel, 16 - 8 * c) - expected[c]) > tolerance) return false;
  }
  return true;
}

// What a floor line of colour (0, g, b) leaves at (x, y) where nothing else is drawn over it: the
// line at the alpha of 0.2 that the scroller's mirror pass leaves behind, over the background
// picture, then darkened by the scanline overlay.
void floorPixel(const Picture& back, const Picture& scanlines, int g, int b, int x, int y, bool withLine,
                int out[3]) {
  const unsigned char* under = back.at(x, y);
  const float coverage = 1.0f - scanlines.at(x, y)[3] / 255.0f;
  const int line[3] = {0, g, b};
  for (int c = 0; c < 3; ++c) {
    float value = withLine ? line[c] * 0.2f + under[c] * 0.8f : under[c];
    out[c] = static_cast<int>(value * coverage);
  }
}

// Whether the fan line of index k (k = 1, 33, ...) on one side shows its colour in row y of the
// grab, within a pixel or two of where the line runs.
bool fanLineShows(const Grab& grab, const Picture& back, const Picture& scanlines, int k, int side, int y) {
  const int g = k / 16 + 128, b = 255 - k / 32;
  const double t = (y - 300) / 180.0;
  const double top = 320 + side * (k / 2), bottom = 320 + side * k;
  const int x = static_cast<int>(std::lround(top + t * (bottom - top)));
  for (int dx = -2; dx <= 2; ++dx) {
    if (x + dx < 0 || x + dx >= grab.width) continue;
    int expected[3], without[3];
    floorPixel(back, scanlines, g, b, x + dx, y, true, expected);
    floorPixel(back, scanlines, g, b, x + dx, y, false, without);
    if (near(grab.at(x + dx, y), expected, 2) && !near(grab.at(x + dx, y), without, 8)) return true;
  }
  return false;
}

// Reads `cells` characters of a line of the 18 x 26 scroller font drawn at (18 * firstCell, top):
// each cell becomes the glyph whose bright and empty pixels it matches best. The top three rows
// are left out, since the mirror scroller can reach into them.
std::string readText(const Grab& grab, const Picture& font, int top, int firstCell, int cells) {
  std::string text;
  for (int cell = firstCell; cell < firstCell + cells; ++cell) {
    int bestMismatches = 1 << 30;
    char best = '?';
    for (int c = 32; c < 32 + 91; ++c) {
      int mismatches = 0;
      for (int y = 3; y < 26; ++y) {
        for (int x = 0; x < 18; ++x) {
          const unsigned char* p = font.at(18 * (c - 32) + x, y);
          const int brightness = p[0] + p[1] + p[2];
          // Only the glyphs' bright cores and their clear surroundings count: the soft edges come
          // out anywhere between the two once drawn at half alpha under the scanlines.
          const bool ink = p[3] >= 200 && brightness > 500;
          const bool empty = p[3] < 32 || brightness < 150;
          if (!ink && !empty) continue;
          uint32_t shown = grab.at(18 * cell + x, top + y);
          const bool shownInk = channelOf(shown, 16) + channelOf(shown, 8) + channelOf(shown, 0) > 160;
          mismatches += shownInk != ink;
        }
      }
      if (mismatches < bestMismatches) bestMismatches = mismatches, best = static_cast<char>(c);
    }
    text += best;
  }
  return text;
}

Grab halve(const Grab& grab, int& unevenBlocks) {
  Grab half;
  half.width = grab.width / 2;
  half.height = grab.height / 2;
  unevenBlocks = 0;
  for (int y = 0; y < half.height; ++y) {
    for (int x = 0; x < half.width; ++x) {
      const uint32_t p = grab.at(2 * x, 2 * y);
      if (grab.at(2 * x + 1, 2 * y) != p || grab.at(2 * x, 2 * y + 1) != p ||
          grab.at(2 * x + 1, 2 * y + 1) != p)
        ++unevenBlocks;
      half.pixels.push_back(p);
    }
  }
  return half;
}

Grab cut(const Grab& grab, int left, int top, int width, int height) {
  Grab part;
  part.width = width;
  part.height = height;
  for (int y = top; y < top + height; ++y) {
    for (int x = left; x < left + width; ++x) part.pixels.push_back(grab.at(x, y));
  }
  return part;
}

}  // namespace e2eintro
