// Command-line parsing and the key names of brackenfold-capture.
#include "tools/capture/capture_options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "input/glfw_keys.h"
#include "tools/vumo/tool_args.h"

namespace capture {
namespace {

constexpr int kKeyF1 = 112;
constexpr int kFunctionKeys = 12;

struct NamedKey {
  const char* name;
  int code;
};

// Keys by name. The character event a press also sends comes from the host's own key table
// (characterForKeyCode), so a scripted press matches a real one event for event.
constexpr NamedKey kNamedKeys[] = {
    {"ENTER", 13}, {"RETURN", 13}, {"ESCAPE", 27}, {"ESC", 27},  {"TAB", 9},    {"BACKSPACE", 8},
    {"LEFT", 37},  {"UP", 38},     {"RIGHT", 39},  {"DOWN", 40}, {"SPACE", 32},
};

std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string framesRange() {
  return "from 1 to " + std::to_string(kMostFrames);
}

}  // namespace

bool lookUpKey(const std::string& name, int& code, int& character) {
  const std::string key = upperCase(name);
  if (key.size() == 1 && (std::isalpha(static_cast<unsigned char>(key[0])) ||
                          std::isdigit(static_cast<unsigned char>(key[0])))) {
    code = key[0];
    // Without shift a letter key types the lower-case letter (GLFW's character callback).
    character = std::tolower(static_cast<unsigned char>(key[0]));
    return true;
  }
  if (key.size() >= 2 && key[0] == 'F') {
    long n = 0;
    if (vumo::parseCount(key.substr(1), 1, kFunctionKeys, n) && key[1] != '0') {
      code = kKeyF1 + static_cast<int>(n) - 1;
      character = 0;
      return true;
    }
  }
  for (const NamedKey& named : kNamedKeys) {
    if (key == named.name) {
      code = named.code;
      // The space bar is printable: its character comes from the character callback.
      character = code == ' ' ? ' ' : characterForKeyCode(code);
      return true;
    }
  }
  return false;
}

bool parseKeys(const std::string& text, int lastUpdate, std::vector<ScriptedKey>& keys, std::string& error) {
  std::vector<ScriptedKey> parsed;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const size_t colon = item.find(':');
    if (colon == std::string::npos) {
      error = "--keys: '" + item + "' is not UPDATE:KEY (for example 120:F3)";
      return false;
    }
    long update = 0;
    if (!vumo::parseCount(item.substr(0, colon), 1, kMostFrames, update)) {
      error = "--keys: '" + item + "' needs an update number " + framesRange();
      return false;
    }
    if (update > lastUpdate) {
      error = "--keys: '" + item + "' comes after the last update (" + std::to_string(lastUpdate) + ")";
      return false;
    }
    ScriptedKey key{static_cast<int>(update), 0, 0, item.substr(colon + 1)};
    if (!lookUpKey(key.name, key.code, key.character)) {
      error = "--keys: unknown key '" + key.name +
              "' (F1-F12, ENTER, SPACE, ESCAPE, TAB, BACKSPACE, "
              "LEFT, RIGHT, UP, DOWN, A-Z, 0-9)";
      return false;
    }
    parsed.push_back(key);
    start = end + 1;
  }
  // Stable: presses before the same update keep the order they were given in.
  std::stable_sort(parsed.begin(), parsed.end(),
                   [](const ScriptedKey& a, const ScriptedKey& b) { return a.update < b.update; });
  keys.insert(keys.end(), parsed.begin(), parsed.end());
  std::stable_sort(keys.begin(), keys.end(),
                   [](const ScriptedKey& a, const ScriptedKey& b) { return a.update < b.update; });
  return true;
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
  std::vector<std::string> keyLists;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string text;
    long number = 0;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--frames") {
      if (!value(text) || !vumo::parseCount(text, 1, kMostFrames, number)) {
        error = "--frames needs a whole number " + framesRange();
        return false;
      }
      options.frames = static_cast<int>(number);
    } else if (arg == "--every") {
      if (!value(text) || !vumo::parseCount(text, 1, kMostFrames, number)) {
        error = "--every needs a whole number " + framesRange();
        return false;
      }
      options.every = static_cast<int>(number);
    } else if (arg == "--out") {
      if (!value(text) || text.empty()) {
        error = "--out needs a directory";
        return false;
      }
      options.outDir = text;
    } else if (arg == "--keys") {
      if (!value(text)) {
        error = "--keys needs a list like 120:F3,400:ENTER";
        return false;
      }
      keyLists.push_back(text);
    } else if (arg == "--video") {
      if (!value(text) || text.empty()) {
        error = "--video needs an output file (for example intro.mp4)";
        return false;
      }
      options.video = text;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg + " (see --help)";
      return false;
    } else {
      error = "unexpected argument " + arg + " (see --help)";
      return false;
    }
  }
  // After the loop: a press is checked against --frames wherever that came on the line.
  for (const std::string& list : keyLists) {
    if (!parseKeys(list, options.frames, options.keys, error)) return false;
  }
  return true;
}

std::string helpText() {
  return "usage: brackenfold-capture [--frames N] [--every K] [--out DIR] [--keys LIST] [--video OUT.mp4]\n"
         "\n"
         "Runs the intro without a visible window and records what a viewer would see and hear, at 51\n"
         "frames per second of recorded time (one update per frame), independent of the machine's speed.\n"
         "The same command writes byte-identical files on every run.\n"
         "\n"
         "  --frames N     frames to record, " +
         framesRange() +
         " (default 510, ten seconds)\n"
         "  --every K      keep every K-th frame as a picture: frames 1, 1+K, 1+2K, ... (default 1)\n"
         "  --out DIR      directory for the files, created if missing (default ./capture):\n"
         "                 frame_00001.png, frame_00002.png, ... (picture n is frame 1+(n-1)K, RGB)\n"
         "                 and audio.wav (16-bit stereo, 44100 Hz, 44100/51 samples per frame)\n"
         "  --keys LIST    key presses, UPDATE:KEY separated by commas, e.g. 120:F3,400:ENTER; each is\n"
         "                 pressed and released just before that update (updates count from 1; the\n"
         "                 frame after the update shows its effect). Keys: F1-F12, ENTER, SPACE, ESCAPE,\n"
         "                 TAB, BACKSPACE, LEFT, RIGHT, UP, DOWN, A-Z, 0-9\n"
         "  --video FILE   also mux the pictures and the sound into FILE with ffmpeg (overwritten;\n"
         "                 51/K pictures per second); needs ffmpeg on PATH\n"
         "  --help         this text\n"
         "\n"
         "Needs an X display (DISPLAY), for example: scripts/with-xvfb brackenfold-capture ...\n";
}

std::string pictureName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05d.png", index);
  return name;
}

}  // namespace capture
