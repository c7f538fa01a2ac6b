// The song player: loads a four-voice tracker song (songs/*.dat) and its seven
// instrument samples, and plays it one tick per update over audio channels 1 to 8.
// Needs the collector, strings and arrays, the text loader and the framework's audio functions.
#pragma once

#include "audio/sample.h"
#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/string.h"

class c_vumoPlay : public Object {
 public:
  static constexpr int kVoices = 4;
  static constexpr int kSampleCount = 7;
  static constexpr int kColumnCount = 16;
  static constexpr int kRowsPerPattern = 32;
  static constexpr int kPatternSlots = 256;
  static constexpr int kOrderLength = 256;
  static constexpr int kInstrumentParamCount = 255;
  static constexpr int kInstrumentParamsInFile = 249;
  static constexpr int kInstrumentNameCount = 32;
  static constexpr int kInstrumentNameLength = 21;
  // A song of all 255 patterns is about 132 kB (twice that as UTF-16); a larger file is refused
  // unread, as a file that cannot be loaded.
  static constexpr int kMaxSongFileBytes = 1 << 20;

  // Per-voice state, grouped the way the fields are laid out: each group repeats once per voice.
  struct VoiceNote {
    float rowValue = 0;
    float lastRowValue = 0;
    float note = 0;
    float arpOffset = 0;
    float slide = 0;
    int arpCounter = 0;
    int lfoCounter = 0;
    float decay = 0;
  };
  struct VoiceLevel {
    float volumeScale = 1.0f;
    float volume = 0;
  };
  struct VoiceSamples {
    GcField<c_Sound*> primarySample;
    GcField<c_Sound*> secondarySample;
  };
  struct VoiceLfo {
    int lfoPeriod = 8;
    int lfoDirection = 0;
  };

  // --- fields, in declaration order ---
  GcField<c_Sound*> instrumentSamples[kSampleCount];  // ramp, ramp_b, ramp_c, saw, fx2b, tri, hnoise
  String columns[kColumnCount];
  int rowCount = 32;
  int speed = 4;
  GcField<Array<int>> orderList;
  GcField<Array<int>> instrumentParams;
  GcField<Array<String>> instrumentNames;
  int tickCounter = 0;
  int rowInPattern = 0;
  int rowBase = 0;
  VoiceNote voiceNotes[kVoices];
  int rowInstrument[kVoices] = {0, 0, 0, 0};
  VoiceLevel voiceLevels[kVoices];
  int rowOctave[kVoices] = {0, 0, 0, 0};
  // Voice 1's pair, the never-assigned empty sample, then voices 2 to 4: the order of the fields.
  VoiceSamples voice1Samples;
  GcField<c_Sound*> emptySample;
  VoiceSamples voice234Samples[kVoices - 1];
  float detune[kVoices] = {0, 0, 0, 0};
  int instrument[kVoices] = {0, 0, 0, 0};
  int octave[kVoices] = {0, 0, 0, 0};
  int position = 0;
  float pitchDropBase[kVoices] = {0, 0, 0, 0};
  int arpStep[kVoices] = {0, 0, 0, 0};
  VoiceLfo voiceLfos[kVoices];

  c_vumoPlay();
  void mark() override;

  // Loads the seven samples (every call reloads them) and the song at the data path `path`.
  // "File Loaded..." or, when the song text is empty or the file is larger than
  // kMaxSongFileBytes, "Loading Failed!" (the song stays silent).
  String loadSong(const String& path);
  // One update: a row when one is due, then the per-tick envelope, arpeggio, detune and slides.
  void tick();
  // Stops channels 1 to 8.
  void stopVoices();
  // The row-time note handling of one voice (channel 1-4): stops on a note-off, retunes, and
  // restarts both channels when the row has a volume digit.
  void triggerVoice(c_Sound* primary, int noteArg, int channel, int flags, c_Sound* secondary, float detune,
                    int volumeDigit, float arp, int rowOctave);

  // Voice v is 0-3 here (channels v + 1 and v + 5).
  VoiceSamples& voiceSamples(int v) { return v == 0 ? voice1Samples : voice234Samples[v - 1]; }
  // Song positions actually played: the stored length, kept within the order list and never 0.
  int playedPositions() const;

  // P(j) of the voice's current instrument and R(j) of this row's instrument digit.
  int currentParam(int v, int j) const;
  int rowParam(int v, int j) const;

 private:
  void processRow();
  void tickVoices();
  void advancePosition();
};

// The value of one note-column character: 0-28 notes, 127 slide down, 128 off, 129 slide up,
// 130 pattern break, 255 empty; anything else (and the empty string) 0. Case-sensitive.
int noteValue(const String& cell);
// A volume or instrument digit: "a"-"f" / "A"-"F" give 10-15, otherwise the leading decimal digits.
int hexDigitValue(const String& cell);
