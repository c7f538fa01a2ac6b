// vumo-play's screen as a pure function of what it shows: PlayState is a snapshot of the player
// (position, row, voices, levels sent to the channels) and of the tool (mutes, pause, message);
// renderScreen and rowLine turn it into text, so the display is tested without a terminal.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace vumo {

// One cell of the row data as stored: note key, volume digit, instrument digit, octave digit.
using StoredCell = std::array<char, 4>;
using StoredRow = std::array<StoredCell, 4>;

struct VoiceState {
  int note = 0;  // the player's note (0-28) and octave: the pitch the voice is tuned to
  int octave = 0;
  int instrument = 0;  // the voice's current instrument, its type (parameter 0) and name
  int type = 0;
  std::string instrumentName;
  float volume = 0;  // level before decay
  float level = 0;   // the last level the player sent to the voice's channels
  bool muted = false;
};

struct PlayState {
  std::string title;  // the song file's name (and the intro's title for its songs)
  int position = 0;   // of the row shown (the last one played)
  int positions = 1;
  int pattern = 0;
  int row = -1;  // -1 before the first row
  int speed = 0;
  std::vector<int> order;  // the played positions' patterns
  std::array<VoiceState, 4> voices;
  std::vector<StoredRow> rows;  // the 32 rows of the pattern shown
  bool paused = false;
  bool watching = false;
  std::string message;                // no sound device, a compile error of the watched source
  std::vector<std::string> warnings;  // the source's warnings, one line each
  std::string reloaded;               // "reloaded HH:MM:SS" after the last good reload of the watched source
  std::vector<std::string> patternNames;  // by pattern number, as the source names them (none: numbers)
};

// A stored cell as the source writes it, always 9 characters: "C-3 8 1", "... . .", "off . .".
std::string cellText(const StoredCell& cell);
// The note name of a pitch (semitones from C of octave 0): "C-3", "A#11".
std::string pitchName(int semitones);
// The sample pair of an instrument type, "keep" for types outside 1-7.
std::string typeName(int type);

// The screen: exactly `height` lines of at most `width` characters, laid out for 80 x 24 and
// trimmed (rows first, then columns) when smaller.
std::vector<std::string> renderScreen(const PlayState& state, int width, int height);
// The plain form when the output is not a terminal: one line per row played.
std::string rowLine(const PlayState& state);

}  // namespace vumo
