// The song format's one table of note keys, note names, command keys and instrument types, shared
// by the player, the compiler, the decompiler and vumo-play's display.
#pragma once

namespace vumo {

// A note column's keys: two rows of a computer keyboard laid out as a piano, semitones 0-28 above
// C of the octave digit stored with the note.
inline constexpr char kNoteKeys[] = "ysxdcvgbhnjmq2w3er5t6z7ui9o0p";
inline constexpr int kHighestNote = 28;

// The twelve semitone names, two characters each: "C-", "C#", "D-" ... "B-".
inline constexpr char kSemitoneNames[] = "C-C#D-D#E-F-F#G-G#A-A#B-";

// The other keys of a note column: the source's word for it and the row value the player gives it.
struct CommandKey {
  char key;
  const char* word;
  int value;
};
inline constexpr CommandKey kCommandKeys[] = {
    {'.', "...", 255}, {'<', "off", 128}, {'+', "sl-", 127}, {'#', "sl+", 129}, {'-', "brk", 130}};

// Instrument types 0-7 by the samples they play; 0 (and any type above 7) keeps the voice's samples.
inline constexpr int kHighestType = 7;
inline constexpr const char* kTypeNames[kHighestType + 1] = {"keep", "ramp_b+saw", "ramp_c+saw", "ramp+saw",
                                                             "tri",  "ramp_b",     "fx2b",       "hnoise"};

// The semitone (0-28) of a note key, -1 for any other character.
constexpr int noteOfKey(int key) {
  for (int semitone = 0; semitone <= kHighestNote; ++semitone) {
    if (kNoteKeys[semitone] == key) return semitone;
  }
  return -1;
}

// The command of a key, null for any other character.
constexpr const CommandKey* commandOfKey(int key) {
  for (const CommandKey& command : kCommandKeys) {
    if (command.key == key) return &command;
  }
  return nullptr;
}

}  // namespace vumo
