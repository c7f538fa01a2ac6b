// The command line of brackenfold-capture: how many frames, which of them become pictures, where
// the files go, the scripted key presses and the optional video, plus the help text.
#pragma once

#include <string>
#include <vector>

namespace capture {

// The capture's clock: one update and one rendered frame per 1/51 s of recorded time.
constexpr int kFramesPerSecond = 51;
// An hour of recorded time; the sound is held in memory until the end.
constexpr long kMostFrames = 3600L * kFramesPerSecond;

// One press and release of a key just before update `update` (counted from 1).
struct ScriptedKey {
  int update;
  int code;       // framework key code
  int character;  // character event sent after the key-down, 0 for none
  std::string name;
};

struct Options {
  int frames = 10 * kFramesPerSecond;
  int every = 1;
  std::string outDir = "capture";
  std::vector<ScriptedKey> keys;  // in delivery order: by update, then as given
  std::string video;              // empty: no video
  bool help = false;
};

// False with a one-line reason for the first bad argument.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The key code and character of a key name (F1-F12, ENTER, SPACE, ESCAPE, TAB, BACKSPACE, the
// cursor keys, A-Z, 0-9; any case). False for an unknown name.
bool lookUpKey(const std::string& name, int& code, int& character);

// "--keys 120:F3,400:ENTER" without the option: UPDATE:KEY items, comma-separated. Presses after
// `lastUpdate` are refused: they would never be delivered.
bool parseKeys(const std::string& text, int lastUpdate, std::vector<ScriptedKey>& keys, std::string& error);

std::string helpText();

// Name of picture `index` (from 1) inside the output directory: frame_00001.png, ...
std::string pictureName(int index);
// The sound file inside the output directory.
constexpr const char* kSoundName = "audio.wav";

}  // namespace capture
