// The song compiler: parses a song source and writes the player's .dat layout.
//
// The source format, the warnings and the numbering of patterns are described for composers in
// the man page vumo-song(5) (docs/man/vumo-song.5.scd), the one reference for them; keep it in step
// with the parser and the linter below.
//
// The compiler refuses a source with the line number and the reason of the first error, and
// refuses to write a .dat that the framework's text loader would not read back value for value.
// The .dat starts with "VUMO" (not read by the player); a song that stores any value above 127
// ends with one extra byte 0xFF, which makes the file invalid UTF-8 as a whole, so the loader reads
// it one character per byte.
#include "vumo/song_compiler.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

#include "host/files.h"
#include "runtime/collector.h"
#include "vumo/notes.h"
#include "vumo/player.h"

namespace vumo {
namespace {

constexpr const char* kMagic = "VUMO";  // the four header characters the player skips
constexpr int kOrderSlots = 256;
constexpr int kHighestOctave = 9;
constexpr int kHighestStartingNote = 67;         // note + 12 x octave digit: G-5
constexpr unsigned char kFallbackMarker = 0xFF;  // never part of UTF-8 as the loader reads it

struct ParamKey {
  const char* word;
  int index;  // parameter 0-7; the two halves of parameter 3 are handled apart
  int highest;
};
constexpr int kIntervalKey = -1;
constexpr int kLfoKey = -2;
constexpr ParamKey kParamKeys[] = {
    {"type", 0, 255},     {"detune", 1, 255}, {"drop", 2, 255}, {"interval", kIntervalKey, 15},
    {"lfo", kLfoKey, 15}, {"decay", 4, 255},  {"step", 5, 255}, {"first", 6, 255},
    {"second", 7, 255}};

// The kinds of warning, as "# allow KIND: why" names them.
constexpr const char* kWarningKinds =
    "octave, decay, high-note, type, unplayed, empty-pattern, first-pattern, allow";

bool isWarningKind(const std::string& kind) {
  const std::string kinds = std::string(", ") + kWarningKinds + ",";
  return !kind.empty() && kinds.find(" " + kind + ",") != std::string::npos;
}

// The name of a pitch in semitones above C of octave 0: "G#3".
std::string pitchWord(int pitch) {
  return std::string(kSemitoneNames + 2 * (pitch % 12), 2) + std::to_string(pitch / 12);
}

class Failure {
 public:
  Failure(int line, std::string reason) : error{line, std::move(reason)} {}
  SourceError error;
};

[[noreturn]] void fail(int line, const std::string& reason) {
  throw Failure(line, reason);
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) out.push_back(word);
  return out;
}

std::string quoted(const std::string& word) {
  return "'" + word + "'";
}

// A decimal number in [lowest, highest]; `what` names it in the error.
int number(const std::string& word, int lowest, int highest, const std::string& what, int line) {
  const std::string range = std::to_string(lowest) + "-" + std::to_string(highest);
  bool digits = !word.empty();
  for (char c : word) digits = digits && c >= '0' && c <= '9';
  if (!digits) fail(line, what + " must be a number " + range + ", not " + quoted(word));
  const size_t significant = std::min(word.find_first_not_of('0'), word.size());
  if (word.size() - significant > 6) fail(line, what + " must be " + range + ", not " + word);
  int value = std::stoi(word);
  if (value < lowest || value > highest) {
    fail(line, what + " must be " + std::to_string(lowest) + "-" + std::to_string(highest) + ", not " + word);
  }
  return value;
}

bool isNumber(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool isIdentifier(const std::string& word) {
  if (word.empty() || !((word[0] >= 'a' && word[0] <= 'z') || (word[0] >= 'A' && word[0] <= 'Z')))
    return false;
  for (char c : word) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '-' || c == '+';
    if (!ok) return false;
  }
  return true;
}

char hexDigit(int value) {
  return static_cast<char>(value < 10 ? '0' + value : 'a' + value - 10);
}

// A one-character digit 0-9, a-f, A-F, or "." for 0.
std::optional<int> digitValue(const std::string& word) {
  if (word.size() != 1) return std::nullopt;
  char c = word[0];
  if (c == '.') return 0;
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return 10 + c - 'a';
  if (c >= 'A' && c <= 'F') return 10 + c - 'A';
  return std::nullopt;
}

class Parser {
 public:
  explicit Parser(Song& song) : song_(song) {}

  // Where things were written, for the warnings.
  struct Lines {
    std::vector<std::array<int, kRows>> rows;  // per pattern, the line of each written row (0: none)
    std::vector<int> patterns;
    std::vector<std::string> patternNames;
    int instruments[kSelectableInstruments] = {};
    std::vector<int> order;                        // the line of each order entry
    std::map<int, std::set<std::string>> allowed;  // the kinds an "# allow" silences on a line
    std::vector<SourceWarning> directives;         // "# allow" comments that silence nothing
  };
  const Lines& lines() const { return lines_; }

  void parse(const std::string& source) {
    std::istringstream in(source);
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
      ++line;
      if (!text.empty() && text.back() == '\r') text.pop_back();
      statement(stripComment(text, line), line);
    }
    if (inPattern_) fail(patternLine_, "pattern " + quoted(patternName_) + " has no end");
    resolveOrder();
    firstEntryFirst();
    if (!sawSpeed_) fail(0, "no speed given (for instance: speed 4)");
    if (song_.order.empty()) fail(0, "no order given: the song needs at least one position");
  }

 private:
  std::string stripComment(const std::string& text, int line) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '#' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\t')) {
        const bool alone = text.find_first_not_of(" \t") == i;
        allowDirective(text.substr(i + 1), alone ? line + 1 : line, line);
        break;
      }
      if (static_cast<unsigned char>(c) >= 0x80 || (c < 0x20 && c != '\t')) {
        fail(line, "only printable ASCII is allowed outside comments");
      }
      out.push_back(c);
    }
    return out;
  }

  // "allow KIND: why" in a comment, for the row it ends or, alone on its line, the next line
  // (`target`). One with an unknown kind or without its reason silences nothing and is a warning.
  void allowDirective(const std::string& comment, int target, int line) {
    std::vector<std::string> w = words(comment);
    if (w.empty() || w[0] != "allow") return;
    std::string kind = w.size() > 1 ? w[1] : std::string();
    const bool colon = !kind.empty() && kind.back() == ':';
    if (colon) kind.pop_back();
    auto problem = [&](const std::string& reason) { lines_.directives.push_back({line, "allow", reason}); };
    if (kind.empty()) {
      problem("\"# allow\" needs a kind and a reason: # allow KIND: why (kinds: " +
              std::string(kWarningKinds) + ")");
    } else if (!isWarningKind(kind)) {
      problem("\"# allow " + kind + "\" names no warning kind (kinds: " + std::string(kWarningKinds) + ")");
    } else if (!colon || w.size() < 3) {
      problem("\"# allow " + kind + "\" silences nothing without its reason: # allow " + kind +
              ": why (for the next reader)");
    } else {
      lines_.allowed[target].insert(kind);
    }
  }

  void statement(const std::string& text, int line) {
    std::vector<std::string> w = words(text);
    if (w.empty()) return;
    if (inPattern_) {
      if (w[0] == "end" && w.size() == 1) {
        inPattern_ = false;
      } else if (w[0] == "rest") {
        rest(w, line);
      } else if (text.find('|') != std::string::npos) {
        row(text, line);
      } else if (w[0] == "pattern" || w[0] == "instrument" || w[0] == "order" || w[0] == "speed") {
        fail(line, "pattern " + quoted(patternName_) + " (line " + std::to_string(patternLine_) +
                       ") has no end before this " + w[0]);
      } else {
        fail(line, "a row needs four cells separated by '|'");
      }
      return;
    }
    if (w[0] == "speed") {
      speed(w, line);
    } else if (w[0] == "order") {
      for (size_t i = 1; i < w.size(); ++i) orderWords_.push_back({w[i], line});
      if (w.size() == 1) fail(line, "order needs pattern names or numbers");
    } else if (w[0] == "instrument") {
      instrument(w, line);
    } else if (w[0] == "pattern") {
      pattern(w, line);
    } else if (w[0] == "end") {
      fail(line, "end without a pattern");
    } else if (text.find('|') != std::string::npos) {
      fail(line, "a row outside a pattern (start one with: pattern NAME)");
    } else {
      fail(line, "unknown statement " + quoted(w[0]) + " (speed, order, instrument, pattern)");
    }
  }

  void speed(const std::vector<std::string>& w, int line) {
    if (sawSpeed_) fail(line, "speed given twice");
    if (w.size() != 2) fail(line, "speed takes one number: ticks per row");
    song_.speed = number(w[1], 0, 255, "speed", line);
    sawSpeed_ = true;
  }

  void instrument(const std::vector<std::string>& w, int line) {
    if (w.size() < 3) fail(line, "instrument needs a number, a name and its parameters");
    int k = number(w[1], 0, 255, "instrument number", line);
    if (k >= kSelectableInstruments) fail(line, "instrument number must be 0-15 (cells hold one hex digit)");
    if (defined_[k] != 0) {
      fail(line,
           "instrument " + std::to_string(k) + " already defined on line " + std::to_string(defined_[k]));
    }
    const std::string& name = w[2];
    if (!isIdentifier(name) || name.size() < 2 || name.size() > static_cast<size_t>(kNameLength)) {
      fail(line, "instrument name " + quoted(name) +
                     " must be 2-21 letters, digits, '_', '-' or '+', starting with a letter");
    }
    if (instrumentByName_.count(name) != 0) fail(line, "instrument name " + quoted(name) + " used twice");
    defined_[k] = line;
    lines_.instruments[k] = line;
    instrumentByName_[name] = k;
    if (k > 0) song_.names[k] = name;

    int params[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    std::map<std::string, bool> seen;
    for (size_t i = 3; i < w.size(); ++i) {
      size_t eq = w[i].find('=');
      if (eq == std::string::npos) fail(line, "instrument parameter " + quoted(w[i]) + " must be key=value");
      std::string key = w[i].substr(0, eq), value = w[i].substr(eq + 1);
      const ParamKey* found = nullptr;
      for (const ParamKey& p : kParamKeys) {
        if (key == p.word) found = &p;
      }
      if (found == nullptr) {
        fail(line, "unknown instrument parameter " + quoted(key) +
                       " (type, decay, detune, lfo, drop, interval, step, first, second)");
      }
      if (seen[key]) fail(line, "instrument parameter " + quoted(key) + " given twice");
      seen[key] = true;
      int v = -1;
      if (key == "type") {
        for (int type = 0; type <= kHighestType; ++type) {
          if (value == kTypeNames[type]) v = type;
        }
      }
      if (v < 0 && key == "type" && !isNumber(value)) {
        std::string names;
        for (const char* type : kTypeNames) names += std::string(names.empty() ? "" : ", ") + type;
        fail(line, "type " + quoted(value) + " is not a type: " + names + ", or a number 0-255");
      }
      if (v < 0) {
        v = number(value, 0, found->highest, key, line);
      }
      if (found->index == kIntervalKey) {
        params[3] += v;
      } else if (found->index == kLfoKey) {
        params[3] += 16 * v;
      } else {
        params[found->index] = v;
      }
    }
    if (!seen["decay"]) fail(line, "instrument " + quoted(name) + " has no decay (decay=0 would silence it)");
    for (int j = 0; j < 8; ++j) song_.params[8 * k + j] = params[j];
  }

  void pattern(const std::vector<std::string>& w, int line) {
    if (w.size() != 2) fail(line, "pattern takes one name");
    int number = static_cast<int>(song_.patterns.size());
    if (number >= kMaxPatterns) fail(line, "more than 255 patterns");
    const std::string& name = w[1];
    if (isNumber(name)) {
      if (name != std::to_string(number)) {
        fail(line, "pattern " + name + " would be pattern number " + std::to_string(number) +
                       " (patterns are numbered in the order they are defined)");
      }
    } else if (!isIdentifier(name)) {
      fail(line, "pattern name " + quoted(name) + " must be a number or start with a letter");
    } else if (patternByName_.count(name) != 0) {
      fail(line, "pattern " + quoted(name) + " already defined");
    } else {
      patternByName_[name] = number;
    }
    song_.patterns.emplace_back();
    lines_.rows.emplace_back();
    lines_.rows.back().fill(0);
    lines_.patterns.push_back(line);
    lines_.patternNames.push_back(name);
    song_.patternNames.push_back(name);
    inPattern_ = true;
    patternName_ = name;
    patternLine_ = line;
    rowsWritten_ = 0;
  }

  void nextRow(int line) {
    if (rowsWritten_ >= kRows) fail(line, "pattern " + quoted(patternName_) + " has more than 32 rows");
    ++rowsWritten_;
  }

  void rest(const std::vector<std::string>& w, int line) {
    if (w.size() > 2) fail(line, "rest takes at most one number");
    int count = w.size() == 2 ? number(w[1], 1, kRows, "rest count", line) : 1;
    for (int i = 0; i < count; ++i) nextRow(line);
  }

  void row(const std::string& text, int line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
      size_t bar = text.find('|', start);
      cells.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    if (cells.size() != kVoices) {
      fail(line, "a row needs four cells separated by '|', this one has " + std::to_string(cells.size()));
    }
    std::vector<std::string> first = words(cells[0]);
    if (!first.empty() && first[0].size() > 1 && first[0].back() == ':') {
      std::string label = first[0].substr(0, first[0].size() - 1);
      int labelled = number(label, 0, 99, "row label", line);
      if (labelled != rowsWritten_) {
        fail(line, "row label " + label + " but this is row " + std::to_string(rowsWritten_));
      }
      cells[0] = cells[0].substr(cells[0].find(':') + 1);
    }
    const int r = rowsWritten_;
    nextRow(line);
    lines_.rows.back()[r] = line;
    Pattern& target = song_.patterns.back();
    for (int v = 0; v < kVoices; ++v) target[r][v] = cell(cells[v], v, line);
  }

  Cell cell(const std::string& text, int v, int line) {
    std::vector<std::string> w = words(text);
    std::string voice = "voice " + std::to_string(v + 1) + ": ";
    if (w.empty()) fail(line, voice + "empty cell (write ... for nothing)");
    if (w.size() > 3)
      fail(line, voice + "a cell is NOTE [VOLUME [INSTRUMENT]], " + quoted(text) + " has more");
    Cell out;
    note(w[0], out, voice, line);
    if (w.size() > 1) {
      std::optional<int> volume = digitValue(w[1]);
      if (!volume) fail(line, voice + "volume " + quoted(w[1]) + " must be one digit 0-9, a-f, or .");
      out.volume = hexDigit(*volume);
    }
    if (w.size() > 2) {
      std::optional<int> k = digitValue(w[2]);
      if (!k) {
        auto named = instrumentByName_.find(w[2]);
        if (named == instrumentByName_.end()) {
          fail(line, voice + "unknown instrument " + quoted(w[2]) + " (define it before the pattern)");
        }
        k = named->second;
      }
      out.instrument = hexDigit(*k);
    }
    return out;
  }

  void note(const std::string& word, Cell& out, const std::string& voice, int line) {
    std::string body = word;
    std::optional<int> storedOctave;
    size_t slash = word.find('/');
    if (slash != std::string::npos) {
      body = word.substr(0, slash);
      std::string digit = word.substr(slash + 1);
      if (digit.size() != 1 || digit[0] < '0' || digit[0] > '9') {
        fail(line, voice + "octave digit after '/' in " + quoted(word) + " must be 0-9");
      }
      storedOctave = digit[0] - '0';
    }
    for (const CommandKey& command : kCommandKeys) {
      if (body == command.word) {
        out.note = command.key;
        out.octave = static_cast<char>('0' + storedOctave.value_or(0));
        return;
      }
    }
    int semitone = -1;
    if (body.size() == 3) {
      for (int s = 0; s < 12; ++s) {
        if (body[0] == kSemitoneNames[2 * s] && body[1] == kSemitoneNames[2 * s + 1]) semitone = s;
      }
    }
    if (semitone < 0 || body[2] < '0' || body[2] > '9') {
      fail(line, voice + quoted(word) + " is not a note (C-3, C#3 ... B-9, ..., off, sl-, sl+, brk)");
    }
    int octave = body[2] - '0';
    int digit = storedOctave.value_or(octave);
    int value = semitone + 12 * (octave - digit);
    if (value < 0 || value > kHighestNote) {
      fail(line, voice + quoted(word) + ": " + body + " cannot be written with octave digit " +
                     std::to_string(digit) + " (from C of that octave up to E two octaves above)");
    }
    static_assert(kHighestOctave == 9);
    out.note = kNoteKeys[value];
    out.octave = static_cast<char>('0' + digit);
  }

  void resolveOrder() {
    if (orderWords_.size() > static_cast<size_t>(kMaxPositions)) {
      fail(orderWords_[kMaxPositions].second, "more than 255 song positions");
    }
    for (const auto& [word, line] : orderWords_) {
      lines_.order.push_back(line);
      if (isNumber(word)) {
        song_.order.push_back(number(word, 0, 255, "pattern number", line));
        continue;
      }
      auto found = patternByName_.find(word);
      if (found == patternByName_.end())
        fail(line, "order names pattern " + quoted(word) + ", which is not defined");
      song_.order.push_back(found->second);
    }
  }

  // The player starts with pattern 0 whatever the order list names first. When every pattern and
  // order entry is named, the numbers are the compiler's to give: the first entry's pattern becomes
  // number 0 and those defined before it move up by one. Numbers written in the source are kept
  // (the warnings say so).
  void firstEntryFirst() {
    if (song_.order.empty() || song_.order[0] == 0) return;
    const int first = song_.order[0];
    if (first >= static_cast<int>(song_.patterns.size())) return;
    for (const std::string& name : lines_.patternNames) {
      if (isNumber(name)) return;
    }
    for (const auto& [word, line] : orderWords_) {
      if (isNumber(word)) return;
    }
    auto toFront = [first](auto& list) {
      std::rotate(list.begin(), list.begin() + first, list.begin() + first + 1);
    };
    toFront(song_.patterns);
    toFront(song_.patternNames);
    toFront(lines_.rows);
    toFront(lines_.patterns);
    toFront(lines_.patternNames);
    auto renumbered = [first](int p) { return p == first ? 0 : p < first ? p + 1 : p; };
    for (int& p : song_.order) p = renumbered(p);
    for (auto& [name, number] : patternByName_) number = renumbered(number);
  }

  Song& song_;
  Lines lines_;
  bool sawSpeed_ = false;
  int defined_[kSelectableInstruments] = {};
  std::map<std::string, int> instrumentByName_;
  std::map<std::string, int> patternByName_;
  std::vector<std::pair<std::string, int>> orderWords_;
  bool inPattern_ = false;
  std::string patternName_;
  int patternLine_ = 0;
  int rowsWritten_ = 0;
};

// The checks behind the warnings, on the compiled song and where its parts were written.
class Linter {
 public:
  Linter(const Song& song, const Parser::Lines& lines) : song_(song), lines_(lines) {}

  std::vector<SourceWarning> run() {
    for (const SourceWarning& directive : lines_.directives) warn(directive.line, "allow", directive.reason);
    instruments();
    cells();
    octaves();
    patterns();
    std::stable_sort(found_.begin(), found_.end(),
                     [](const SourceWarning& a, const SourceWarning& b) { return a.line < b.line; });
    return found_;
  }

 private:
  static int noteOf(const Cell& cell) { return noteOfKey(cell.note); }
  static int digitOf(char c) { return c <= '9' ? c - '0' : 10 + c - 'a'; }

  std::string instrumentName(int k) const {
    return song_.names[k].empty() ? std::to_string(k) : quoted(song_.names[k]);
  }

  void warn(int line, const char* kind, const std::string& reason) {
    if (line <= 0) return;
    auto allowed = lines_.allowed.find(line);
    if (allowed != lines_.allowed.end() && allowed->second.count(kind) != 0) return;
    if (!reported_.insert({line, std::string(kind) + reason}).second) return;
    found_.push_back({line, kind, reason});
  }

  void instruments() {
    for (int k = 0; k < kSelectableInstruments; ++k) {
      if (lines_.instruments[k] != 0 && song_.params[8 * k + 4] == 0) {
        warn(lines_.instruments[k], "decay",
             "instrument " + instrumentName(k) + " has decay=0: it is silent from its first tick");
      }
    }
  }

  void cells() {
    for (size_t p = 0; p < song_.patterns.size(); ++p) {
      for (int r = 0; r < kRows; ++r) {
        for (int v = 0; v < kVoices; ++v) {
          const Cell& cell = song_.patterns[p][r][v];
          const int value = noteOf(cell);
          const int line = lines_.rows[p][r];
          if (value < 0) continue;
          const std::string voice = "voice " + std::to_string(v + 1) + ": ";
          if (value + 12 * (cell.octave - '0') > kHighestStartingNote) {
            warn(line, "high-note",
                 voice + "this note never sounds: notes above G-5 (octave digit 6 or more) never start");
          }
          const int k = digitOf(cell.instrument);
          const int type = song_.params[8 * k];
          if (k != 0 && (type < 1 || type > 7)) {
            warn(line, "type",
                 voice + "instrument " + instrumentName(k) + " has type " + std::to_string(type) +
                     ", outside 1-7: the note plays whatever samples the voice had");
          }
        }
      }
    }
  }

  // Follows the play order (pattern 0 first, then the order list twice round, which reaches
  // every state a loop can bring) with each voice's octave, as the player keeps it.
  void octaves() {
    int octave[kVoices] = {0, 0, 0, 0};
    int instrument[kVoices] = {0, 0, 0, 0};
    std::set<std::tuple<int, int, int>> warnedCells;  // one warning a cell, whichever pass finds it
    const int positions = static_cast<int>(song_.order.size());
    for (int pass = 0; pass < 2; ++pass) {
      for (int position = 0; position < positions; ++position) {
        const int p = pass == 0 && position == 0 ? 0 : song_.order[position];
        if (p >= static_cast<int>(song_.patterns.size())) continue;  // empty rows change nothing
        for (int r = 0; r < kRows; ++r) {
          bool pattern_break = false;
          for (int v = 0; v < kVoices; ++v) {
            const Cell& cell = song_.patterns[p][r][v];
            const int digit = cell.octave - '0';
            if (noteOf(cell) >= 0 && cell.volume != '0' && cell.instrument == '0' && digit != octave[v] &&
                warnedCells.insert({p, r, v}).second) {
              warn(lines_.rows[p][r], "octave", octaveReason(cell, v, octave[v], instrument[v]));
            }
            pattern_break = pattern_break || cell.note == '-';
          }
          for (int v = 0; v < kVoices; ++v) {
            const Cell& cell = song_.patterns[p][r][v];
            if (cell.instrument != '0') {
              octave[v] = cell.octave - '0';
              instrument[v] = digitOf(cell.instrument);
            }
          }
          if (pattern_break) break;
        }
      }
    }
  }

  // A note with a volume and no instrument sounds in the voice's octave, not in the one written:
  // the warning names both and a form that plays the written pitch, NOTE/DIGIT when the voice's
  // octave digit can hold it, else the cell with its instrument.
  std::string octaveReason(const Cell& cell, int v, int voiceOctave, int k) const {
    const int value = noteOf(cell);
    const int written = value + 12 * (cell.octave - '0');
    const int sounding = value + 12 * voiceOctave;
    std::string reason = "voice " + std::to_string(v + 1) + ": " + pitchWord(written) +
                         " has a volume but no instrument, so it plays in the voice's octave digit " +
                         std::to_string(voiceOctave) + " (its last cell with an instrument) and sounds as " +
                         pitchWord(sounding) + "; ";
    const int relative = written - 12 * voiceOctave;
    if (relative >= 0 && relative <= kHighestNote) {
      return reason + "to play " + pitchWord(written) + " write " + pitchWord(written) + "/" +
             std::to_string(voiceOctave);
    }
    const std::string volume(1, cell.volume);
    if (k == 0) return reason + "to play " + pitchWord(written) + " give the note its instrument";
    const std::string name = song_.names[k].empty() ? std::to_string(k) : song_.names[k];
    return reason + "to play " + pitchWord(written) + " give the note its instrument: " + pitchWord(written) +
           " " + volume + " " + name;
  }

  bool emptyPattern(int p) const {
    if (p >= static_cast<int>(song_.patterns.size())) return true;
    for (const auto& row : song_.patterns[p]) {
      for (const Cell& cell : row) {
        if (cell.note != '.' || cell.volume != '0' || cell.instrument != '0' || cell.octave != '0')
          return false;
      }
    }
    return true;
  }

  void patterns() {
    if (!song_.order.empty() && song_.order[0] != 0 && !song_.patterns.empty()) {
      const int first = song_.order[0];
      const std::string named = first < static_cast<int>(song_.patterns.size())
                                    ? quoted(lines_.patternNames[first])
                                    : std::to_string(first) + " (not defined)";
      warn(lines_.order[0], "first-pattern",
           "the song starts with pattern " + quoted(lines_.patternNames[0]) +
               " (number 0), not with the first order entry's " + named +
               ": patterns or order entries written as numbers keep their numbers (name them all, or "
               "define the first entry's pattern first)");
    }
    std::set<int> ordered(song_.order.begin(), song_.order.end());
    for (size_t p = 0; p < song_.patterns.size(); ++p) {
      if (ordered.count(static_cast<int>(p)) != 0) continue;
      std::string name = quoted(lines_.patternNames[p]);
      warn(lines_.patterns[p], "unplayed",
           p == 0 ? "pattern " + name + " is in no order entry: it plays only once, at the start"
                  : "pattern " + name + " is in no order entry: it is never played");
    }
    for (size_t i = 0; i < song_.order.size(); ++i) {
      const int p = song_.order[i];
      if (!emptyPattern(p)) continue;
      warn(lines_.order[i], "empty-pattern",
           p >= static_cast<int>(song_.patterns.size())
               ? "order entry " + std::to_string(i) + " names pattern " + std::to_string(p) +
                     ", which is not defined: 32 empty rows"
               : "order entry " + std::to_string(i) + " names pattern " + quoted(lines_.patternNames[p]) +
                     ", which has only empty rows");
    }
  }

  const Song& song_;
  const Parser::Lines& lines_;
  std::set<std::pair<int, std::string>> reported_;
  std::vector<SourceWarning> found_;
};

}  // namespace

bool compileSource(const std::string& source, Song& song, SourceError& error,
                   std::vector<SourceWarning>* warnings) {
  song = Song();
  if (warnings != nullptr) warnings->clear();
  try {
    Parser parser(song);
    parser.parse(source);
    if (warnings != nullptr) *warnings = Linter(song, parser.lines()).run();
  } catch (const Failure& failure) {
    error = failure.error;
    return false;
  }
  return true;
}

int playedRows(const Song& song) {
  int rows = 0;
  for (int p : song.order) {
    int played = kRows;
    if (p < static_cast<int>(song.patterns.size())) {
      for (int r = 0; r < kRows && played == kRows; ++r) {
        for (const Cell& cell : song.patterns[p][r]) {
          if (cell.note == '-') played = r + 1;
        }
      }
    }
    rows += played;
  }
  return rows;
}

std::string lengthLine(const std::string& file, const Song& song) {
  const int rows = playedRows(song);
  const int speed = song.speed == 0 ? 5 : song.speed;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", rows * speed / 51.0);
  return file + ": " + std::to_string(song.order.size()) + " positions, " + std::to_string(rows) + " rows, " +
         seconds + " seconds a pass at speed " + std::to_string(speed) + " (51 ticks a second)";
}

int encodedLength(const Song& song) {
  return 1163 + 512 * static_cast<int>(song.patterns.size());
}

std::vector<unsigned char> encodeSong(const Song& song) {
  std::vector<unsigned char> out(kMagic, kMagic + 4);
  const int n = static_cast<int>(song.patterns.size());
  out.push_back(static_cast<unsigned char>(song.order.size()));
  out.push_back(static_cast<unsigned char>(song.speed));
  out.push_back(static_cast<unsigned char>(n));
  for (int c = 0; c < 16; ++c) {
    const int v = c % kVoices;
    for (const Pattern& pattern : song.patterns) {
      for (const auto& row : pattern) {
        const Cell& cell = row[v];
        const char stored[4] = {cell.note, cell.volume, cell.instrument, cell.octave};
        out.push_back(static_cast<unsigned char>(stored[c / kVoices]));
      }
    }
  }
  for (int k = 0; k < kOrderSlots; ++k) {
    out.push_back(static_cast<unsigned char>(k < static_cast<int>(song.order.size()) ? song.order[k] : 0));
  }
  for (int p : song.params) out.push_back(static_cast<unsigned char>(p));
  for (int l = 1; l <= kNameCount; ++l) {
    std::string name = song.names[l];
    name.resize(kNameLength, ' ');
    out.insert(out.end(), name.begin(), name.end());
  }
  bool highBytes = false;
  for (unsigned char b : out) highBytes = highBytes || b >= 0x80;
  if (highBytes) out.push_back(kFallbackMarker);
  return out;
}

std::string checkDecodesAsWritten(const std::vector<unsigned char>& bytes, int length) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return "cannot open a temporary file to check the encoding";
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  String text = decodeTextFile(file);
  std::fclose(file);
  if (text.length() < length) {
    return "the text loader reads " + std::to_string(text.length()) + " characters, the song needs " +
           std::to_string(length);
  }
  for (int i = 0; i < length; ++i) {
    if (text[i] != bytes[i]) {
      return "the text loader reads character " + std::to_string(i) + " as " + std::to_string(text[i]) +
             ", written as " + std::to_string(bytes[i]);
    }
  }
  return std::string();
}

std::string checkPlayerReads(const std::string& path, const Song& song) {
  // Rooted while it loads: the loader allocates, and a collection may run in between.
  static GcRoot<c_vumoPlay*> player;
  player = new c_vumoPlay();
  String loaded = player->loadSong(String(path.c_str()));
  std::string result;
  // The description is only built for the first difference.
  auto check = [&](long expected, long actual, auto describe) {
    if (result.empty() && expected != actual) {
      result = "the player reads " + describe() + " as " + std::to_string(actual) + ", written as " +
               std::to_string(expected);
    }
  };
  if (loaded != String("File Loaded...")) {
    result = "the player could not load the written file";
  } else {
    const int n = static_cast<int>(song.patterns.size());
    check(32L * static_cast<long>(song.order.size()), player->rowCount,
          [] { return std::string("the song length"); });
    check(song.speed == 0 ? 5 : song.speed, player->speed, [] { return std::string("the speed"); });
    for (int c = 0; c < 16; ++c) {
      check(32L * c_vumoPlay::kPatternSlots, player->columns[c].length(),
            [&] { return "column " + std::to_string(c) + "'s length"; });
      for (int p = 0; p < n && result.empty(); ++p) {
        for (int r = 0; r < kRows; ++r) {
          const Cell& cell = song.patterns[p][r][c % kVoices];
          const char stored[4] = {cell.note, cell.volume, cell.instrument, cell.octave};
          check(static_cast<unsigned char>(stored[c / kVoices]), player->columns[c][32 * p + r], [&] {
            return "pattern " + std::to_string(p) + " row " + std::to_string(r) + " column " +
                   std::to_string(c);
          });
        }
      }
    }
    const Array<int>& order = player->orderList;
    for (int k = 0; k < kOrderSlots; ++k) {
      check(k < static_cast<int>(song.order.size()) ? song.order[k] : 0, order.get(k),
            [&] { return "order entry " + std::to_string(k); });
    }
    const Array<int>& params = player->instrumentParams;
    for (int k = 0; k < kParamsInFile; ++k) {
      check(song.params[k], params.get(k), [&] { return "instrument table entry " + std::to_string(k); });
    }
    const Array<String>& names = player->instrumentNames;
    for (int l = 1; l <= kNameCount && result.empty(); ++l) {
      std::string name = song.names[l];
      name.resize(kNameLength, ' ');
      if (names.get(l) != String(name.c_str()))
        result = "the player reads instrument name " + std::to_string(l) + " differently";
    }
  }
  player = nullptr;
  return result;
}

}  // namespace vumo
