// Running brackenfold-capture as a child process and reading back what it wrote: PNG pictures,
// the WAV file, and the program directory (the build root, or a scratch copy with test songs when
// the intro's songs are not there yet).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace capturetest {

struct ChildRun {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args`, standard input from /dev/null. `env` changes the inherited
// environment: a value replaces a variable, nullopt removes it.
ChildRun runProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::map<std::string, std::optional<std::string>>& env = {});

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;  // top row first
  bool empty() const { return rgba.empty(); }
  // Channel c (0 red, 1 green, 2 blue, 3 alpha) of pixel (x, y).
  int at(int x, int y, int c) const { return rgba[(static_cast<size_t>(y) * width + x) * 4 + c]; }
};
// Decoded to 4 channels (alpha 255 where the file has none); empty when unreadable.
Picture readPicture(const std::string& path);

struct Wav {
  int rate = 0, channels = 0, bits = 0;
  std::vector<int16_t> samples;  // interleaved
  bool valid = false;
  size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};
Wav readWav(const std::string& path);

std::string fileBytes(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// A fresh, empty directory below the system's temporary directory.
std::string scratchDir(const std::string& name);

// The capture program to run and the directory it sits in (whose data/ it reads). The build
// root's copy when its data has the first two songs; otherwise a copy of the program and the data
// in a scratch directory, with test songs compiled into songs/brackenfold.dat and
// songs/nightdrive.dat. Made once per process.
struct ProgramDir {
  std::string dir;
  std::string program;
  bool testSongs = false;
};
const ProgramDir& captureProgram();

// Samples per channel that the first `updates` updates leave in the sound file.
int64_t framesBeforeUpdate(int64_t updates);

}  // namespace capturetest
