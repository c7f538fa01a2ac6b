// Running the real song player outside the intro: over the recording driver (traces) or over an
// OpenAL Soft loopback device (rendering to PCM), and the file-path handling the song tools share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/recording_audio.h"
#include "runtime/string.h"

namespace vumo {

constexpr int kTicksPerSecond = 51;
constexpr int kRenderRate = 44100;

// Makes the host game object the text and sample loaders go through, once.
void ensureHostGame();
// A tool argument as a path loadSong takes as it is: absolute ones unchanged, relative ones
// prefixed with the working directory (a bare name would otherwise be taken for a data path).
std::string absolutePath(const std::string& path);
// True when the file exists and can be read (the tools check this before the player, which would
// only play silence).
bool readableFile(const std::string& path);
// UTF-8 bytes of a file name as a String; bytes that are not UTF-8 travel as the units
// 0xDC80-0xDCFF, which the host's file opening turns back into the same bytes.
String hostPathString(const std::string& bytes);

// Loads the song at `path` (absolute) into a fresh player over a fresh recording driver and runs
// `ticks` ticks; the trace text has one "TICK OP CHANNEL ARG" line per call. `loadResult` (if
// given) receives loadSong's text.
std::string traceSong(const std::string& path, int ticks, RecordingAudio::SampleFiles files,
                      std::string* loadResult = nullptr);

// Plays the song at `path` (absolute) at 51 ticks a second through a loopback device and returns
// 16-bit stereo frames at 44100 Hz, 44100/51 frames per tick with the fraction carried. False with
// a reason when the device cannot be opened.
bool renderSong(const std::string& path, int ticks, std::vector<int16_t>& frames, std::string& error);
// Frames rendered for ticks 0 .. tick-1.
int64_t framesBeforeTick(int64_t tick);
// A 16-bit stereo 44100 Hz WAV file.
bool writeWav(const std::string& path, const std::vector<int16_t>& frames);

}  // namespace vumo
