// vumo-play's screen layout. Nothing here knows the player or the terminal.
#include "tools/vumo/play_view.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "vumo/notes.h"

namespace vumo {
namespace {

constexpr int kMeterWidth = 16;
constexpr int kRowsAround = 6;  // rows shown above and below the current one: 80 x 24 holds 13

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char line[256];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(line, sizeof line, pattern, args);
  va_end(args);
  return line;
}

std::string digitText(char digit) {
  return std::string(1, digit == '0' ? '.' : digit);
}

// 0 to 1 fills the bar; a level above 1 (volume digits above 8) ends it in "+".
std::string meter(float level) {
  if (!(level > 0)) return std::string(kMeterWidth, '.');
  const int filled = std::min(kMeterWidth, static_cast<int>(std::lround(level * kMeterWidth)));
  std::string bar = std::string(filled, '#') + std::string(kMeterWidth - filled, '.');
  if (level > 1.0f) bar.back() = '+';
  return bar;
}

std::string voiceLine(int v, const VoiceState& voice) {
  std::string pitch = voice.volume > 0 || voice.level > 0 ? pitchName(voice.note + 12 * voice.octave) : "---";
  std::string name = voice.instrumentName.substr(0, 12);
  return format("%d %-4s %2d %-12s %-10s %5.3f %s%s", v + 1, pitch.c_str(), voice.instrument, name.c_str(),
                typeName(voice.type).c_str(), voice.volume, meter(voice.level).c_str(),
                voice.muted ? " MUTED" : "");
}

// A pattern as the source names it, or its number.
std::string patternLabel(const PlayState& state, int pattern) {
  const bool named = pattern >= 0 && pattern < static_cast<int>(state.patternNames.size()) &&
                     !state.patternNames[pattern].empty() && !std::isdigit(state.patternNames[pattern][0]);
  return named ? state.patternNames[pattern] : format("%02d", pattern);
}

std::string orderEntry(const PlayState& state, int p) {
  const std::string label =
      patternLabel(state, p < static_cast<int>(state.order.size()) ? state.order[p] : 0);
  return p == state.position ? " [" + label + "]" : " " + label;
}

// The order list around the current position, as many entries as the width holds.
std::string orderLine(const PlayState& state, int width) {
  const int room = std::max(1, width - 9);  // "order", and " .." at either end
  int first = std::min(std::max(0, state.position), std::max(0, state.positions - 1));
  int last = first;  // entries first..last are shown
  int used = static_cast<int>(orderEntry(state, first).size());
  // Widen around the current position, after it first, while the entries fit.
  for (bool grew = true; grew;) {
    grew = false;
    if (last + 1 < state.positions) {
      const int size = static_cast<int>(orderEntry(state, last + 1).size());
      if (used + size <= room) {
        used += size;
        ++last;
        grew = true;
      }
    }
    if (first > 0 && (last - state.position >= state.position - first || last + 1 >= state.positions)) {
      const int size = static_cast<int>(orderEntry(state, first - 1).size());
      if (used + size <= room) {
        used += size;
        --first;
        grew = true;
      }
    }
  }
  std::string line = "order";
  if (first > 0) line += " ..";
  for (int p = first; p <= last; ++p) line += orderEntry(state, p);
  if (last + 1 < state.positions) line += " ..";
  return line;
}

// `text` cut into lines of at most `width` characters, at spaces where it can.
std::vector<std::string> wrapped(const std::string& text, int width) {
  std::vector<std::string> lines;
  if (width <= 0) return lines;
  size_t at = 0;
  while (text.size() - at > static_cast<size_t>(width)) {
    size_t cut = text.rfind(' ', at + width);
    if (cut == std::string::npos || cut <= at) {
      lines.push_back(text.substr(at, width));
      at += width;
    } else {
      lines.push_back(text.substr(at, cut - at));
      at = cut + 1;
    }
  }
  lines.push_back(text.substr(at));
  return lines;
}

std::string patternRow(const PlayState& state, int r) {
  std::string line = format("%s%02d ", r == state.row ? ">" : " ", r);
  for (int v = 0; v < 4; ++v) {
    line += (v > 0 ? " | " : "") + cellText(state.rows[r][v]);
  }
  return line;
}

}  // namespace

std::string pitchName(int semitones) {
  if (semitones < 0) return "?";
  return std::string(kSemitoneNames + 2 * (semitones % 12), 2) + std::to_string(semitones / 12);
}

std::string typeName(int type) {
  return kTypeNames[type >= 1 && type <= kHighestType ? type : 0];
}

std::string cellText(const StoredCell& cell) {
  std::string note;
  if (const CommandKey* command = commandOfKey(cell[0])) {
    note = command->word;
  } else {
    const int value = std::max(0, noteOfKey(cell[0]));  // any other key plays as "y", C
    const int digit = cell[3] >= '0' && cell[3] <= '9' ? cell[3] - '0' : 0;
    note = pitchName(value + 12 * digit);
  }
  note.resize(4, ' ');
  return note.substr(0, 4) + " " + digitText(cell[1]) + " " + digitText(cell[2]) + " ";
}

std::vector<std::string> renderScreen(const PlayState& state, int width, int height) {
  std::vector<std::string> lines;
  lines.push_back(format("vumo-play  %s", state.title.c_str()) + (state.paused ? "  [paused]" : "") +
                  (state.watching ? "  [watching]" : "") +
                  (state.reloaded.empty() ? "" : "  " + state.reloaded));
  const std::string row = state.row < 0 ? "--" : format("%02d", state.row);
  lines.push_back(format("position %02d/%02d  pattern %s  row %s  speed %d", state.position, state.positions,
                         patternLabel(state, state.pattern).c_str(), row.c_str(), state.speed));
  lines.push_back(orderLine(state, width));
  lines.push_back("v note ins name         type       volume level");
  for (int v = 0; v < 4; ++v) lines.push_back(voiceLine(v, state.voices[v]));
  // Below the rows: the message and the warnings, wrapped to the width (a third of the screen at
  // most), and the key help.
  std::vector<std::string> notes = wrapped(state.message, width);
  for (const std::string& warning : state.warnings) {
    for (const std::string& line : wrapped(warning, width)) notes.push_back(line);
  }
  const int mostNotes = std::max(1, height / 3);
  if (static_cast<int>(notes.size()) > mostNotes) {
    notes.resize(mostNotes);
    notes.back() = "...";
  }
  const int fixedBelow = static_cast<int>(notes.size()) + 1;
  const int roomForRows = height - static_cast<int>(lines.size()) - fixedBelow - 1;
  const int around = std::max(0, std::min(kRowsAround, (roomForRows - 1) / 2));
  if (roomForRows > 0 && !state.rows.empty()) {
    lines.push_back("");
    // A window of rows around the current one, kept inside the pattern.
    const int count = static_cast<int>(state.rows.size());
    const int span = std::min(count, 2 * around + 1);
    const int first = std::max(0, std::min(std::max(0, state.row) - around, count - span));
    for (int r = first; r < first + span; ++r) lines.push_back(patternRow(state, r));
  }
  while (static_cast<int>(lines.size()) < height - fixedBelow) lines.push_back("");
  lines.resize(std::max(0, height - fixedBelow));
  for (const std::string& note : notes) lines.push_back(note);
  lines.push_back("space pause  left/right position  1-4 mute  r restart  q quit");
  lines.resize(std::max(0, height));
  for (std::string& line : lines) {
    if (static_cast<int>(line.size()) > width) line.resize(std::max(0, width));
  }
  return lines;
}

std::string rowLine(const PlayState& state) {
  std::string line = format("position %02d pattern %s row %02d", state.position,
                            patternLabel(state, state.pattern).c_str(), state.row);
  for (int v = 0; v < 4; ++v) {
    const StoredCell cell = state.row >= 0 && state.row < static_cast<int>(state.rows.size())
                                ? state.rows[state.row][v]
                                : StoredCell{'.', '0', '0', '0'};
    std::string text = cellText(cell);
    text.pop_back();
    line += " | " + text + (state.voices[v].muted ? " (muted)" : "");
  }
  return line;
}

}  // namespace vumo
