// Pieces of the end-to-end tests: a private installation of the program (its binary, a
// copy of data/ and test songs), the running program, its window on the test X server (found by
// process id, grabbed, sent keys through XTEST and closed like a window manager does), decoded
// data pictures, and the sound OpenAL Soft's wave back-end captured.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2eintro {

std::string sourceDir();
std::string binaryDir();
// The whole file as bytes; empty when it cannot be read.
std::string readWhole(const std::string& path);

// The program and a copy of the build's data/ in a fresh directory under /tmp; removed at the end.
class Installation {
 public:
  explicit Installation(const std::string& name);
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  // Compiles a song source (relative to the source tree) to data/<songPath>.
  void compileSong(const std::string& sourceRelative, const std::string& songPath);
  // An OpenAL Soft configuration that sends the program's sound to a wave file; its path.
  std::string captureSoundTo(const std::string& wavePath);

  std::string dir;
  std::string program;
  std::string data;
};

// How a program is started. Its sound: ALSOFT_CONF set to `alsoftConf` when given (ALSOFT_DRIVERS
// is then dropped, so the configuration decides), otherwise OpenAL Soft's null back-end.
struct ProgramOptions {
  std::string alsoftConf;
  bool withDisplay = true;        // false: DISPLAY is dropped
  bool errorsToOutput = true;     // standard error into the same file as standard output
  std::string errorsFile;         // otherwise, when set: standard error alone into this file
  std::vector<std::string> env;   // more NAME=VALUE entries
  std::vector<std::string> args;  // the command line after the program's name
};

// The program, started with its output in a file. Killed if the test leaves it running.
class Program {
 public:
  Program(const std::string& path, const ProgramOptions& options);
  Program(const std::string& path, const std::string& alsoftConf);
  ~Program();
  pid_t pid() const { return pid_; }
  bool running();
  // The exit status, or -1 when the program is still running after `seconds`.
  int waitForExit(double seconds);
  std::string output() const;

 private:
  pid_t pid_ = -1;
  std::string outputPath_;
};

// 0xRRGGBB pixels of a window.
struct Grab {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Writes the grab as a PNG under the build's tests/e2e-intro-failures/ (for a failed check); its path.
std::string saveGrab(const Grab& grab, const std::string& name);

class Screen {
 public:
  Screen();
  ~Screen();
  bool connected() const { return display_ != nullptr; }
  // The Xlib Display (kept out of this header: Xlib's macros clash with other headers).
  void* display() const { return display_; }
  // The program's mapped top-level window, or 0 after the time-out.
  unsigned long findWindow(pid_t pid, double seconds);
  Grab grab(unsigned long window);
  // Focuses the window and sends a key press and release through XTEST (xdotool).
  void pressKey(unsigned long window, const std::string& keyName);
  // The window manager's close: a WM_DELETE_WINDOW client message.
  void closeWindow(unsigned long window);

 private:
  void* display_ = nullptr;
};

// A picture decoded with its own channel count (1-4).
struct Picture {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<unsigned char> bytes;
  bool load(const std::string& path);
  const unsigned char* at(int x, int y) const {
    return &bytes[(static_cast<size_t>(y) * width + x) * channels];
  }
};

// The first channel of a captured 16-bit or float wave file, as -1..1 samples; the data that
// follows the data chunk's header is taken as it is, since the writer may never fix the sizes.
struct Sound {
  int rate = 0;
  int channels = 0;
  int bytesPerFrame = 0;
  int64_t dataOffset = 0;  // of the first sample in the file
  std::vector<float> samples;
  bool load(const std::string& path);
};

// Root mean square and crossings of the middle per second of samples [from, to).
double rms(const std::vector<float>& samples, size_t from, size_t to);
double crossingsPerSecond(const std::vector<float>& samples, size_t from, size_t to, int rate);

// Whether the fan line of index k (k = 1, 33, ...) on one side of the intro's floor shows its colour
// in row y of a 640 x 480 grab, within a pixel or two of where the line runs: the line over the
// background picture, darkened by the scanline overlay.
bool fanLineShows(const Grab& grab, const Picture& back, const Picture& scanlines, int k, int side, int y);
// Reads `cells` characters of a line of the 18 x 26 scroller font drawn at (18 * firstCell, top).
std::string readText(const Grab& grab, const Picture& font, int top, int firstCell, int cells);

// A grab of a picture scaled by 2 brought back to its own size (the top-left pixel of each 2 x 2
// block); unevenBlocks counts the blocks whose four pixels differ.
Grab halve(const Grab& grab, int& unevenBlocks);
// The rectangle of a grab.
Grab cut(const Grab& grab, int left, int top, int width, int height);

}  // namespace e2eintro
