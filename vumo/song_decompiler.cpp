// The song decompiler: loads a .dat with the real player, rebuilds the compiler's song from what the
// player holds, and writes it as a source. Values the source cannot hold are replaced by the closest
// one the player treats the same (or nearly) and named in a comment line each.
#include "vumo/song_decompiler.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "audio/audio.h"
#include "host/files.h"
#include "runtime/collector.h"
#include "vumo/notes.h"
#include "vumo/player.h"
#include "vumo/song_compiler.h"
#include "vumo/song_runner.h"

namespace vumo {
namespace {

constexpr const char* kMagic = "VUMO";
constexpr int kParamsKept = 8 * kSelectableInstruments;  // the compiler writes instruments 0-15 only

// A character for a comment: printable ASCII as it is, anything else as its code.
std::string shown(int code) {
  if (code >= 0x20 && code < 0x7F && code != '\'') return "'" + std::string(1, static_cast<char>(code)) + "'";
  return "code " + std::to_string(code);
}

bool isNameCharacter(char c, bool first) {
  bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '+';
}

char hexDigit(int value) {
  return static_cast<char>(value < 10 ? '0' + value : 'a' + value - 10);
}

class Rebuilder {
 public:
  Rebuilder(const String& text, c_vumoPlay& player) : text_(text), player_(player) {}

  void run() {
    header();
    patterns();
    order();
    instruments();
    ending();
  }

  Song song;
  std::array<bool, kSelectableInstruments> defined{};
  std::array<std::string, kSelectableInstruments> names;
  std::vector<std::string> notKept;

 private:
  int code(int index) const { return index < text_.length() ? text_[index] : 0; }

  void lost(const std::string& what) { notKept.push_back(what); }

  // Spaces only; a name cut short by the file's end counts too (the end is reported once).
  static bool blankName(const String& stored) {
    for (int i = 0; i < stored.length(); ++i) {
      if (stored[i] != ' ') return false;
    }
    return true;
  }

  void header() {
    std::string magic;
    bool same = true;
    for (int i = 0; i < 4; ++i) same = same && code(i) == kMagic[i];
    if (!same) {
      for (int i = 0; i < 4; ++i) magic += (i > 0 ? " " : "") + shown(code(i));
      lost("header characters 0-3 (" + magic + ") are written as VUMO; the player does not read them");
    }
    length_ = code(4);
    if (length_ == 0) {
      lost("song length 0: the player plays 1 position, and so does this source");
      length_ = 1;
    } else if (length_ > kMaxPositions) {
      lost("song length " + std::to_string(length_) + ": kept as 255 positions (the player plays " +
           std::to_string(player_.playedPositions()) + ")");
      length_ = kMaxPositions;
    }
    song.speed = code(5);
    if (song.speed > 255) {
      lost("speed " + std::to_string(song.speed) + " kept as 255");
      song.speed = 255;
    }
    patternCount_ = code(6);
    if (patternCount_ > kMaxPatterns) {
      lost("pattern count " + std::to_string(patternCount_) + ": patterns 255 and up are not kept");
      patternCount_ = kMaxPatterns;
    }
  }

  void patterns() {
    song.patterns.resize(patternCount_);
    for (int p = 0; p < patternCount_; ++p) {
      for (int r = 0; r < kRows; ++r) {
        for (int v = 0; v < kVoices; ++v) song.patterns[p][r][v] = cell(p, r, v);
      }
    }
  }

  int columnCode(int column, int row) const {
    const String& text = player_.columns[column];
    return row < text.length() ? text[row] : 0;
  }

  Cell cell(int p, int r, int v) {
    const int row = kRows * p + r;
    const std::string where = "pattern " + std::to_string(p) + " row " + std::to_string(r) + " voice " +
                              std::to_string(v + 1) + ": ";
    Cell out;
    const int note = columnCode(v, row);
    if (commandOfKey(note) != nullptr || noteOfKey(note) >= 0) {
      out.note = static_cast<char>(note);
    } else {
      lost(where + "note character " + shown(note) + " plays as C (written as 'y')");
      out.note = 'y';
    }
    out.volume = digit(columnCode(4 + v, row), where + "volume");
    out.instrument = digit(columnCode(8 + v, row), where + "instrument");
    const int octave = columnCode(12 + v, row);
    if (octave >= '0' && octave <= '9') {
      out.octave = static_cast<char>(octave);
    } else {
      lost(where + "octave character " + shown(octave) + " reads as 0");
      out.octave = '0';
    }
    const int value = noteOfKey(out.note);
    if (value >= 0 && (out.octave - '0') + value / 12 > 9) {
      // The note name would need octave 10 or more; a note this high never starts anyway.
      lost(where + "note " + std::string(1, out.note) + " over octave digit " + std::string(1, out.octave) +
           " is above B-9 and cannot be named: written " + std::to_string(value / 12) + " octave(s) lower");
      out.note = kNoteKeys[value % 12];
    }
    return out;
  }

  // A volume or instrument digit as the player reads it, in the compiler's lower-case form.
  char digit(int c, const std::string& what) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) return static_cast<char>(c);
    int value = (c >= 'A' && c <= 'F') ? 10 + c - 'A' : 0;
    lost(what + " character " + shown(c) + " reads as " + std::to_string(value) + ", written as '" +
         std::string(1, hexDigit(value)) + "'");
    return hexDigit(value);
  }

  void order() {
    const Array<int>& list = player_.orderList;
    for (int k = 0; k < c_vumoPlay::kOrderLength; ++k) {
      int entry = list.get(k);
      if (k < length_) {
        if (entry > 255) {
          lost("order entry " + std::to_string(k) + " names pattern " + std::to_string(entry) +
               " (empty rows), kept as 255");
          entry = 255;
        }
        song.order.push_back(entry);
      } else if (entry != 0) {
        lost("order entry " + std::to_string(k) + " (pattern " + std::to_string(entry) +
             ") after the song's end");
      }
    }
  }

  void instruments() {
    const Array<int>& params = player_.instrumentParams;
    for (int k = 0; k < kParamsInFile; ++k) {
      int value = params.get(k);
      if (k >= kParamsKept) {
        if (value != 0) {
          lost("instrument " + std::to_string(k / 8) + " parameter " + std::to_string(k % 8) + " = " +
               std::to_string(value) + " (cells select instruments 0-15 only)");
        }
        continue;
      }
      if (value > 255) {
        lost("instrument " + std::to_string(k / 8) + " parameter " + std::to_string(k % 8) + " = " +
             std::to_string(value) + " kept as 255");
        value = 255;
      }
      song.params[k] = value;
    }
    std::set<std::string> used;
    // Names first, so that a made-up one never takes a name the file has.
    for (int k = 1; k < kSelectableInstruments; ++k) {
      std::string name = storedName(k);
      if (name.empty()) continue;
      if (used.insert(name).second) {
        names[k] = name;
      } else {
        lost("instrument " + std::to_string(k) + "'s name " + name + " repeats an earlier one");
      }
    }
    for (int k = 0; k < kSelectableInstruments; ++k) {
      bool hasParams = false;
      for (int j = 0; j < 8; ++j) hasParams = hasParams || song.params[8 * k + j] != 0;
      const bool hasName = !names[k].empty();
      if (!hasParams && !hasName) continue;
      defined[k] = true;
      if (hasName) continue;
      std::string base = k == 0 ? "default" : "instrument" + std::to_string(k);
      std::string name = base;
      for (int n = 2; used.count(name) != 0; ++n) name = base + "_" + std::to_string(n);
      used.insert(name);
      names[k] = name;
      if (k > 0) {
        lost("instrument " + std::to_string(k) + " has parameters but no name the source can hold: named " +
             name);
      }
    }
    for (int k = 1; k < kSelectableInstruments; ++k) {
      if (defined[k]) song.names[k] = names[k];
    }
    for (int l = kSelectableInstruments; l <= kNameCount; ++l) {
      if (!blankName(player_.instrumentNames.get().get(l))) {
        lost("instrument name " + std::to_string(l) + " (cells select instruments 0-15 only)");
      }
    }
  }

  // The name stored for instrument k when it is one the compiler writes (a name padded with
  // spaces to 21 characters), else empty, with a note when something was there.
  std::string storedName(int k) {
    const String& stored = player_.instrumentNames.get().get(k);
    if (blankName(stored)) return std::string();
    std::string name;
    bool valid = stored.length() == kNameLength;
    int i = 0;
    for (; valid && i < stored.length() && stored[i] != ' '; ++i) {
      const int c = stored[i];
      valid = c < 0x80 && isNameCharacter(static_cast<char>(c), i == 0);
      name.push_back(static_cast<char>(c));
    }
    for (; valid && i < stored.length(); ++i) valid = stored[i] == ' ';
    if (valid && name.size() >= 2) return name;
    lost("instrument " + std::to_string(k) + "'s stored name is not one a source can hold");
    return std::string();
  }

  void ending() {
    // The end marker the compiler adds after a song with values above 127 is a character of the text.
    const int needed = static_cast<int>(encodeSong(song).size());
    if (code(6) > kMaxPatterns) return;
    if (text_.length() < needed) {
      lost("the file ends after " + std::to_string(text_.length()) + " characters; the player reads the " +
           "missing ones as 0 and as empty rows");
    } else if (text_.length() > needed) {
      lost(std::to_string(text_.length() - needed) + " characters after the song's end");
    }
  }

  const String& text_;
  c_vumoPlay& player_;
  int length_ = 0;
  int patternCount_ = 0;
};

// --- writing the source ---

std::string noteWord(const Cell& cell) {
  if (const CommandKey* command = commandOfKey(cell.note)) {
    return cell.octave == '0' ? command->word : std::string(command->word) + "/" + cell.octave;
  }
  const int value = noteOfKey(cell.note);
  const int digit = cell.octave - '0';
  const int octave = digit + value / 12;
  std::string word{kSemitoneNames[2 * (value % 12)], kSemitoneNames[2 * (value % 12) + 1],
                   static_cast<char>('0' + octave)};
  if (octave != digit) word += "/" + std::string(1, cell.octave);
  return word;
}

std::string sourceCell(const Cell& cell, const std::array<std::string, kSelectableInstruments>& names,
                       const std::array<bool, kSelectableInstruments>& defined) {
  std::string text = noteWord(cell);
  const int k = cell.instrument <= '9' ? cell.instrument - '0' : 10 + cell.instrument - 'a';
  if (k != 0) {
    text += " " + std::string(1, cell.volume == '0' ? '.' : cell.volume) + " ";
    text += defined[k] ? names[k] : std::string(1, cell.instrument);
  } else if (cell.volume != '0') {
    text += " " + std::string(1, cell.volume);
  }
  return text;
}

bool emptyRow(const std::array<Cell, kVoices>& row) {
  for (const Cell& c : row) {
    if (c.note != '.' || c.volume != '0' || c.instrument != '0' || c.octave != '0') return false;
  }
  return true;
}

std::string instrumentLine(int k, const std::string& name, const Song& song) {
  const int* p = &song.params[8 * k];
  std::string line = "instrument " + std::to_string(k) + " " + name;
  line += " type=" + std::string(p[0] <= kHighestType ? kTypeNames[p[0]] : std::to_string(p[0]));
  line += " decay=" + std::to_string(p[4]);
  auto add = [&](const char* key, int value) {
    if (value != 0) line += std::string(" ") + key + "=" + std::to_string(value);
  };
  add("detune", p[1]);
  add("lfo", p[3] / 16);
  add("drop", p[2]);
  add("interval", p[3] % 16);
  add("step", p[5]);
  add("first", p[6]);
  add("second", p[7]);
  return line;
}

std::string writeSource(const Rebuilder& built, const std::string& fileName) {
  const Song& song = built.song;
  std::ostringstream out;
  out << "# Decompiled from " << fileName << " by vumo-decompile.\n";
  for (const std::string& line : built.notKept) out << "# not kept: " << line << "\n";
  out << "\nspeed " << song.speed << "\n\n";
  for (int k = 0; k < kSelectableInstruments; ++k) {
    if (built.defined[k]) out << instrumentLine(k, built.names[k], song) << "\n";
  }
  // The .dat keeps no pattern names: they are named part1, part2 ... by their first use in the
  // order list (then those no entry plays). A song whose first entry is not pattern 0 keeps the
  // numbers, which the compiler then keeps too.
  const int count = static_cast<int>(song.patterns.size());
  std::vector<std::string> names(count);
  for (int p = 0; p < count; ++p) names[p] = std::to_string(p);
  if (!song.order.empty() && song.order[0] == 0) {
    int next = 1;
    std::vector<int> uses(song.order.begin(), song.order.end());
    for (int p = 0; p < count; ++p) uses.push_back(p);
    std::vector<bool> named(count, false);
    for (int p : uses) {
      if (p >= count || named[p]) continue;
      named[p] = true;
      names[p] = "part" + std::to_string(next++);
    }
  }
  // Twenty order words a line keeps the lines short.
  for (size_t i = 0; i < song.order.size(); ++i) {
    if (i % 20 == 0) out << "\norder";
    const int p = song.order[i];
    out << " " << (p < count ? names[p] : std::to_string(p));
  }
  out << "\n";
  for (size_t p = 0; p < song.patterns.size(); ++p) {
    const Pattern& pattern = song.patterns[p];
    int lastRow = kRows - 1;
    while (lastRow >= 0 && emptyRow(pattern[lastRow])) --lastRow;
    std::array<std::array<std::string, kVoices>, kRows> cells;
    std::array<size_t, kVoices> width{};
    for (int r = 0; r <= lastRow; ++r) {
      for (int v = 0; v < kVoices; ++v) {
        cells[r][v] = sourceCell(pattern[r][v], built.names, built.defined);
        width[v] = std::max(width[v], cells[r][v].size());
      }
    }
    out << "\npattern " << names[p] << "\n";
    for (int r = 0; r <= lastRow; ++r) {
      char label[8];
      std::snprintf(label, sizeof label, "  %02d:", r);
      std::string line = label;
      for (int v = 0; v < kVoices; ++v) {
        std::string text = cells[r][v];
        if (v + 1 < kVoices) text.resize(width[v], ' ');
        line += (v == 0 ? " " : " | ") + text;
      }
      out << line << "\n";
    }
    out << "end\n";
  }
  return out.str();
}

std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) {
      out.push_back(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    }
  }
  return out;
}

GcRoot<c_vumoPlay*> loadingPlayer;

}  // namespace

bool decompileFile(const std::string& path, Decompiled& out, std::string& error) {
  ensureHostGame();
  if (audioDriver.get() == nullptr) new RecordingAudio();  // loadSong loads samples through it
  const String hostPath = hostPathString(absolutePath(path));
  loadingPlayer = new c_vumoPlay();
  if (loadingPlayer->loadSong(hostPath) != String("File Loaded...")) {
    loadingPlayer = nullptr;
    error = "the player does not load " + path + " (missing, empty, or larger than 1 MiB)";
    return false;
  }
  const String text = loadText(hostPath);
  Rebuilder built(text, *loadingPlayer);
  built.run();
  loadingPlayer = nullptr;

  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
  if (built.notKept.empty() && bytes != encodeSong(built.song)) {
    built.notKept.push_back(
        "the file's bytes differ from what the compiler writes for the same values "
        "(a different text encoding or end marker)");
  }
  for (std::string& line : built.notKept) line = printable(line);
  size_t slash = path.rfind('/');
  out.source = writeSource(built, printable(slash == std::string::npos ? path : path.substr(slash + 1)));
  out.notKept = built.notKept;
  return true;
}

}  // namespace vumo
