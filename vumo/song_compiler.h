// The song compiler: a readable song source (format: vumo-song(5))
// to the player's .dat format, and the checks that prove a .dat reads back as written.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace vumo {

constexpr int kVoices = 4;
constexpr int kRows = 32;
constexpr int kMaxPatterns = 255;   // the pattern count is one 8-bit character
constexpr int kMaxPositions = 255;  // so is the song length
constexpr int kSelectableInstruments = 16;
constexpr int kParamsInFile = 249;
constexpr int kNameCount = 31;
constexpr int kNameLength = 21;

// One voice of one row, as the characters stored in the four columns.
struct Cell {
  char note = '.';
  char volume = '0';
  char instrument = '0';
  char octave = '0';
};
using Pattern = std::array<std::array<Cell, kVoices>, kRows>;

struct Song {
  int speed = 0;
  std::vector<int> order;                         // pattern number per position
  std::vector<Pattern> patterns;                  // pattern p is number p
  std::array<int, kParamsInFile> params{};        // parameter j of instrument k at 8k + j
  std::array<std::string, kNameCount + 1> names;  // 1-31; 0 is not stored
  std::vector<std::string> patternNames;          // by number, as the source names them (not stored)
};

struct SourceError {
  int line = 0;  // 1-based; 0 when the error concerns the whole source
  std::string reason;
};

// What is valid but almost always a mistake (vumo-song(5) lists the kinds). A warning is silenced
// by a comment "# allow KIND: why" at the end of its row or alone on the line above it.
struct SourceWarning {
  int line = 0;
  std::string kind;  // octave, decay, high-note, type, unplayed, empty-pattern, first-pattern, allow
  std::string reason;
};

// Parses a song source. False with the first error found. The warnings that are not silenced go
// to `warnings` when it is given, in line order.
bool compileSource(const std::string& source, Song& song, SourceError& error,
                   std::vector<SourceWarning>* warnings = nullptr);

// Rows one pass of the order list plays: 32 a position, fewer where a break ends the pattern.
int playedRows(const Song& song);
// "FILE: N positions, R rows, S seconds a pass at speed K (51 ticks a second)".
std::string lengthLine(const std::string& file, const Song& song);

// The .dat bytes. Values of 128 and above are single bytes that only the loader's 8-bit fallback
// reads back: such a file gets one byte 0xFF after its end, which no UTF-8 text can hold, so the
// whole file falls back and no position shifts. The player ignores anything after the end.
std::vector<unsigned char> encodeSong(const Song& song);
// 1163 + 512 N: the characters the player reads.
int encodedLength(const Song& song);

// Decodes the bytes with the framework's text decoder and compares every character the player
// reads with the byte written for it. Empty when they all match, else the first difference.
std::string checkDecodesAsWritten(const std::vector<unsigned char>& bytes, int length);
// Loads the file at `path` (an absolute path) with the real player and compares every value it
// holds with the song. Needs the host game object (text loader); empty when all match.
std::string checkPlayerReads(const std::string& path, const Song& song);

}  // namespace vumo
