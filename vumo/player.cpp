// c_vumoPlay: the song loader and the replay routine. Row data is read as one-character slices of
// the column strings, so any position past a column's end reads as an empty cell; header, order
// list and instrument table positions past the end of the text read as code 0.
#include "vumo/player.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "audio/audio.h"
#include "host/files.h"
#include "host/game.h"
#include "vumo/notes.h"

namespace {

// True when the file holds more than kMaxSongFileBytes. The bytes are counted by reading (at most
// one past the cap), so a device or an endless pipe cannot pass for a small file.
bool songFileTooLarge(const String& path) {
  if (currentGame == nullptr) return false;
  FILE* file = currentGame->openHostFile(completeDataPath(path), String("rb"));
  if (file == nullptr) return false;  // loadText finds no text either
  std::vector<unsigned char> block(65536);
  size_t total = 0;
  while (total <= static_cast<size_t>(c_vumoPlay::kMaxSongFileBytes)) {
    size_t got = std::fread(block.data(), 1, block.size(), file);
    total += got;
    if (got < block.size()) break;
  }
  std::fclose(file);
  return total > static_cast<size_t>(c_vumoPlay::kMaxSongFileBytes);
}

constexpr const char* kSamplePaths[c_vumoPlay::kSampleCount] = {
    "wav/ramp_64.wav", "wav/ramp_b_64.wav", "wav/ramp_c_64.wav", "wav/saw_64.wav",
    "wav/fx2b.wav",    "wav/tri_64.wav",    "wav/hnoise.wav"};
enum SampleSlot { kRamp, kRampB, kRampC, kSaw, kFx2b, kTri, kHnoise, kNoSample };

// The samples of a voice's primary and secondary channel for instrument types 1 to 7; kNoSample
// is the never-assigned empty sample, which leaves the secondary channel stopped.
struct TypeSamples {
  SampleSlot primary;
  SampleSlot secondary;
};
using vumo::kHighestType;
constexpr TypeSamples kTypeSamples[kHighestType + 1] = {
    {kNoSample, kNoSample}, {kRampB, kSaw},      {kRampC, kSaw},     {kRamp, kSaw},
    {kTri, kNoSample},      {kRampB, kNoSample}, {kFx2b, kNoSample}, {kHnoise, kNoSample}};

constexpr int kLengthIndex = 4;  // character indexes of the three header values
constexpr int kSpeedIndex = 5;
constexpr int kPatternCountIndex = 6;
constexpr int kColumnsStart = 7;
constexpr int kDefaultSpeed = 5;  // what a stored speed of 0 means

constexpr float kNoteSlideDown = 127;
constexpr float kNoteSlideUp = 129;
constexpr float kPatternBreak = 130;
constexpr float kFirstCommand = 127;  // row values below this are notes

// The highest note argument that still triggers: note + 12 x octave digit at most 67.
constexpr int kHighestTriggeredArg = 43;
// The single-precision value nearest to the twelfth root of 2.
constexpr float kSemitoneRatio = 1.0594631f;

// The rate of a note `semitones` above the sample's own pitch: the power is taken in double
// precision and rounded once, so every build plays the same rates.
float semitoneRate(float semitones) {
  return static_cast<float>(std::pow(static_cast<double>(kSemitoneRatio), static_cast<double>(semitones)));
}

// The value of the character at `index`, 0 past the end of the text.
int codeAt(const String& text, int index) {
  return index >= 0 && index < text.length() ? text[index] : 0;
}

// Counters that only ever count up (a voice held for years): wrap instead of overflowing.
int incremented(int counter) {
  return static_cast<int>(static_cast<unsigned>(counter) + 1u);
}

// A row reads its twenty cells as single units rather than one-character slices, so that a tick
// allocates nothing. kNoUnit stands for the empty slice.
constexpr int kNoUnit = -1;

// The unit Slice(from, from + 1) would hold, with Slice's clamping of negative and large
// indices; kNoUnit where that slice is empty.
int unitAt(const String& text, int from) {
  int to = from + 1;
  return clampSliceRange(from, to, text.length()) ? text[from] : kNoUnit;
}

int noteValueOfUnit(int key) {
  if (key == kNoUnit) return 0;
  if (const int semitone = vumo::noteOfKey(key); semitone >= 0) return semitone;
  const vumo::CommandKey* command = vumo::commandOfKey(key);
  return command != nullptr ? command->value : 0;
}

// A one-character decimal number read as the 8-bit text does: a digit, otherwise 0.
int digitValueOfUnit(int unit) {
  if (unit == kNoUnit) return 0;
  const char c = static_cast<char>(unit & 0xFF);
  return c >= '0' && c <= '9' ? c - '0' : 0;
}

// A one-character hexadecimal digit: a-f and A-F, otherwise the decimal reading.
int hexDigitValueOfUnit(int unit) {
  if (unit == kNoUnit) return 0;
  const char c = static_cast<char>(unit & 0xFF);
  if (c >= 'a' && c <= 'f') return 10 + (c - 'a');
  if (c >= 'A' && c <= 'F') return 10 + (c - 'A');
  return digitValueOfUnit(unit);
}

}  // namespace

int noteValue(const String& cell) {
  return cell.length() == 1 ? noteValueOfUnit(cell[0]) : 0;
}

int hexDigitValue(const String& cell) {
  constexpr int kMaxConverted = 63;
  char narrow[kMaxConverted + 1];
  int n = cell.length() < kMaxConverted ? cell.length() : kMaxConverted;
  for (int i = 0; i < n; ++i) narrow[i] = static_cast<char>(cell[i] & 0xFF);
  narrow[n] = 0;
  if (cell.length() == 1) return hexDigitValueOfUnit(cell[0]);
  return std::atoi(narrow);
}

c_vumoPlay::c_vumoPlay() {
  orderList = Array<int>(kOrderLength);
  instrumentParams = Array<int>(kInstrumentParamCount);
  instrumentNames = Array<String>(kInstrumentNameCount);
}

void c_vumoPlay::mark() {
  for (const GcField<c_Sound*>& sample : instrumentSamples) sample.mark();
  orderList.mark();
  instrumentParams.mark();
  instrumentNames.mark();
  voice1Samples.primarySample.mark();
  voice1Samples.secondarySample.mark();
  emptySample.mark();
  for (const VoiceSamples& pair : voice234Samples) {
    pair.primarySample.mark();
    pair.secondarySample.mark();
  }
}

String c_vumoPlay::loadSong(const String& path) {
  for (int i = 0; i < kSampleCount; ++i) instrumentSamples[i] = audioLoadSound(String(kSamplePaths[i]));

  if (songFileTooLarge(path)) return String("Loading Failed!");
  String text = loadText(path);
  if (text.empty()) return String("Loading Failed!");

  for (String& column : columns) column = String();
  rowCount = codeAt(text, kLengthIndex) * kRowsPerPattern;
  int storedSpeed = codeAt(text, kSpeedIndex);
  speed = storedSpeed == 0 ? kDefaultSpeed : storedSpeed;
  const int patterns = codeAt(text, kPatternCountIndex);
  const int columnLength = kRowsPerPattern * patterns;

  for (int c = 0; c < kColumnCount; ++c) {
    columns[c] = text.Slice(kColumnsStart + columnLength * c, kColumnsStart + columnLength * (c + 1));
  }
  // Patterns the file does not hold are empty rows: "." notes and "0" digits. The padding is built
  // once and appended, which gives the same columns as appending row by row.
  if (patterns < kPatternSlots) {
    const int padRows = (kPatternSlots - patterns) * kRowsPerPattern;
    std::u16string dots(padRows, u'.'), zeros(padRows, u'0');
    const String notePad(dots.data(), padRows), digitPad(zeros.data(), padRows);
    for (int c = 0; c < kColumnCount; ++c) columns[c] = columns[c] + (c < kVoices ? notePad : digitPad);
  }

  const int orderStart = kColumnsStart + kColumnCount * columnLength;
  for (int k = 0; k < kOrderLength; ++k) orderList[k] = codeAt(text, orderStart + k);
  const int paramsStart = orderStart + kOrderLength;
  for (int k = 0; k < kInstrumentParamsInFile; ++k) instrumentParams[k] = codeAt(text, paramsStart + k);
  const int namesStart = paramsStart + kInstrumentParamsInFile;
  for (int l = 1; l < kInstrumentNameCount; ++l) {
    instrumentNames[l] =
        text.Slice(namesStart + kInstrumentNameLength * (l - 1), namesStart + kInstrumentNameLength * l);
  }
  return String("File Loaded...");
}

int c_vumoPlay::playedPositions() const {
  // A stored length of 0 would never wrap and one above the order list would run past it.
  int positions = rowCount / kRowsPerPattern;
  if (positions < 1) return 1;
  return positions > kOrderLength ? kOrderLength : positions;
}

int c_vumoPlay::currentParam(int v, int j) const {
  return instrumentParams.get().get(8 * instrument[v] + j);
}

int c_vumoPlay::rowParam(int v, int j) const {
  return instrumentParams.get().get(8 * rowInstrument[v] + j);
}

void c_vumoPlay::tick() {
  if (tickCounter == speed) {
    processRow();
    tickCounter = 1;
  } else {
    tickCounter += 1;
  }
  tickVoices();
}

void c_vumoPlay::processRow() {
  const int r = rowBase + rowInPattern;
  auto cell = [&](int column) { return unitAt(columns[column], r); };

  for (int v = 0; v < kVoices; ++v) {
    VoiceNote& voice = voiceNotes[v];
    voice.rowValue = static_cast<float>(noteValueOfUnit(cell(v)));
    if (voice.rowValue < kFirstCommand) {
      voice.note = voice.rowValue;
      voice.arpOffset = 0;
      voice.slide = 0;
      voice.arpCounter = 0;
      voice.lfoCounter = 0;
      voice.decay = 0;
    }
  }
  for (int v = 0; v < kVoices; ++v) rowInstrument[v] = hexDigitValueOfUnit(cell(8 + v));
  for (int v = 0; v < kVoices; ++v) {
    int digit = hexDigitValueOfUnit(cell(4 + v));
    if (digit != 0) voiceLevels[v].volume = static_cast<float>(digit) * 0.125f * voiceLevels[v].volumeScale;
  }
  for (int v = 0; v < kVoices; ++v) rowOctave[v] = digitValueOfUnit(cell(12 + v));

  for (int v = 0; v < kVoices; ++v) {
    // Other types keep the samples the voice had.
    const int type = rowParam(v, 0);
    if (type < 1 || type > kHighestType) continue;
    VoiceSamples& pair = voiceSamples(v);
    pair.primarySample = instrumentSamples[kTypeSamples[type].primary].get();
    const int secondary = kTypeSamples[type].secondary;
    pair.secondarySample = secondary == kNoSample ? emptySample.get() : instrumentSamples[secondary].get();
  }
  for (int v = 0; v < kVoices; ++v) {
    if (rowInstrument[v] != 0) detune[v] = static_cast<float>(rowParam(v, 1));
  }

  for (int v = 0; v < kVoices; ++v) {
    const int volumeDigit = hexDigitValueOfUnit(cell(4 + v));
    const float noteArg = voiceNotes[v].rowValue - 24.0f + static_cast<float>(12 * rowOctave[v]);
    VoiceSamples& pair = voiceSamples(v);
    triggerVoice(pair.primarySample, static_cast<int>(noteArg), v + 1, 1, pair.secondarySample, detune[v],
                 volumeDigit, voiceNotes[v].arpOffset, rowOctave[v]);
  }

  for (int v = 0; v < kVoices; ++v) {
    if (rowInstrument[v] != 0) instrument[v] = rowInstrument[v];
  }
  for (int v = 0; v < kVoices; ++v) {
    if (rowInstrument[v] != 0) octave[v] = rowOctave[v];
  }
  for (VoiceNote& voice : voiceNotes) voice.lastRowValue = voice.rowValue;

  // A break in voice 1 or 2 makes this the pattern's last row; in voice 3 or 4 it ends the pattern
  // at once. Either way the next row read is row 0 of the next position.
  if (voiceNotes[0].rowValue == kPatternBreak || voiceNotes[1].rowValue == kPatternBreak) rowInPattern = 31;
  if (voiceNotes[2].rowValue == kPatternBreak || voiceNotes[3].rowValue == kPatternBreak) {
    rowInPattern = kRowsPerPattern;
    advancePosition();
  } else {
    rowInPattern += 1;
    if (rowInPattern >= kRowsPerPattern) advancePosition();
  }
  const Array<int>& order = orderList;
  rowBase = (order.inRange(position) ? order.get(position) : 0) * kRowsPerPattern;
}

void c_vumoPlay::advancePosition() {
  position += 1;
  if (position >= playedPositions()) position = 0;
  rowInPattern = 0;
}

void c_vumoPlay::triggerVoice(c_Sound* primary, int noteArg, int channel, int flags, c_Sound* secondary,
                              float detune, int volumeDigit, float arp, int rowOctave) {
  // A note-off row ("<", value 128) gives exactly this argument whatever the octave digit.
  if (noteArg == 12 * rowOctave + 104) {
    audioStopChannel(channel);
    audioStopChannel(channel + 4);
  }
  if (noteArg > kHighestTriggeredArg) return;
  const float rate = semitoneRate(static_cast<float>(noteArg));
  audioSetChannelRate(channel, rate + arp);
  audioSetChannelRate(channel + 4, rate + arp + detune / 800.0f);
  // Without a volume digit the note only retunes the samples already sounding (legato).
  if (volumeDigit <= 0) return;
  audioStopChannel(channel + 4);
  audioPlaySound(primary, channel, flags);
  audioPlaySound(secondary, channel + 4, flags);
}

void c_vumoPlay::tickVoices() {
  float level[kVoices];
  for (int v = 0; v < kVoices; ++v) {
    VoiceNote& voice = voiceNotes[v];
    VoiceLevel& gain = voiceLevels[v];
    if (voice.decay < 1.0f) {
      // A decay divisor of 0 makes the step infinite: the level clamps to 0 and the voice is silent.
      const int divisor = currentParam(v, 4);
      voice.decay +=
          divisor == 0 ? std::numeric_limits<float>::infinity() : 0.1f / static_cast<float>(divisor);
    }
    level[v] = gain.volume - voice.decay;
    if (level[v] < 0) {
      gain.volume = 0;
      voice.decay = 0;
      level[v] = 0;
    }
  }
  for (int v = 0; v < kVoices; ++v) {
    audioSetChannelVolume(v + 1, level[v]);
    audioSetChannelVolume(v + 5, level[v]);
  }
  for (int v = 0; v < kVoices; ++v) {
    if (currentParam(v, 2) != 0) pitchDropBase[v] = voiceNotes[v].decay;
  }
  for (int v = 0; v < kVoices; ++v) arpStep[v] = currentParam(v, 5);

  for (int v = 0; v < kVoices; ++v) {
    VoiceNote& voice = voiceNotes[v];
    const float interval = static_cast<float>(currentParam(v, 3) % 16);
    if (voice.arpCounter == 0) voice.arpOffset = 0;
    if (voice.arpCounter == arpStep[v])
      voice.arpOffset = static_cast<float>(currentParam(v, 6)) / 15.0f * interval;
    if (voice.arpCounter == 2 * arpStep[v]) {
      voice.arpOffset = static_cast<float>(currentParam(v, 7)) / 15.0f * interval;
    }
  }
  for (int v = 0; v < kVoices; ++v) {
    VoiceNote& voice = voiceNotes[v];
    voice.arpCounter = incremented(voice.arpCounter);
    if (voice.arpCounter == 3 * arpStep[v]) voice.arpCounter = 0;
  }

  for (int v = 0; v < kVoices; ++v) {
    VoiceNote& voice = voiceNotes[v];
    VoiceLfo& lfo = voiceLfos[v];
    const int half = currentParam(v, 3) / 16;
    voice.lfoCounter = incremented(voice.lfoCounter);
    const int n = voice.lfoCounter;
    lfo.lfoPeriod = 2 * half;
    if (n < half) lfo.lfoDirection = 1;
    if (n > half) lfo.lfoDirection = -1;
    if (n == 2 * half) voice.lfoCounter = 0;
    if (2 * half == 0) lfo.lfoDirection = 1;
  }

  for (int v = 0; v < kVoices; ++v) {
    VoiceNote& voice = voiceNotes[v];
    const float volume = voiceLevels[v].volume;
    if (voice.lastRowValue == kNoteSlideDown) {
      voice.slide -= 8.0f * volume * 0.005f;
    } else if (voice.lastRowValue == kNoteSlideUp) {
      voice.slide += 8.0f * volume * 0.005f;
    }
  }

  for (int v = 0; v < kVoices; ++v) {
    const VoiceNote& voice = voiceNotes[v];
    const float x = (voice.note - 24.0f) + static_cast<float>(12 * octave[v]) + voice.arpOffset;
    const float base = semitoneRate(x);
    const float drop = static_cast<float>(currentParam(v, 2)) * pitchDropBase[v];
    audioSetChannelRate(v + 1, base + voice.slide - drop);
    audioSetChannelRate(v + 5, base + voice.slide +
                                   detune[v] / 800.0f * static_cast<float>(voiceLfos[v].lfoDirection) - drop);
  }
}

void c_vumoPlay::stopVoices() {
  for (int channel = 1; channel <= 8; ++channel) audioStopChannel(channel);
}
