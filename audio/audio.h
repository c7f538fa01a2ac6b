// The framework's audio API: free functions over the one audio driver (audio/audio_driver.h).
// Playing a null sound, or any call before a driver exists, does nothing.
#pragma once

#include "audio/audio_driver.h"
#include "audio/sample.h"
#include "runtime/collector.h"
#include "runtime/string.h"

// The framework's audio-driver reference (a collector root); every gxtkAudio constructor sets it.
extern GcRoot<gxtkAudio*> audioDriver;

// A bare relative name is a data path ("corvane://data/..."); null when the file does not load.
c_Sound* audioLoadSound(const String& path);
// Returns 0 whatever the driver did (a channel without a source to be had is silently skipped).
int audioPlaySound(c_Sound* sound, int channel, int flags);
// The same with the channel's volume (1 as recorded) and rate (1 the sound's own, 2 an octave up)
// set first, in one call; the channel keeps them afterwards.
int audioPlaySound(c_Sound* sound, int channel, float volume, float rate, int flags = 0);
int audioStopChannel(int channel);
int audioSetChannelVolume(int channel, float volume);
int audioSetChannelRate(int channel, float rate);

// Channels 0-31 that the free-channel functions below may take; a program that addresses some
// channels itself (a song player on 1-8, say) keeps those out by playing them itself, since a
// playing or paused channel is never taken.
constexpr int kFreeChannelCount = 32;

// Plays the sound on the lowest channel 0-31 that is neither playing nor paused (a sound that
// has ended frees its channel), at volume 1 and the sample's own rate. Returns that channel, or
// -1 when the sound is null or every channel is busy.
int audioPlayOnFreeChannel(c_Sound* sound, int flags = 0);
// Loads a sound and plays it on a free channel in one call. The sound is loaded once per path
// (later calls reuse it). Returns the channel, or -1 when the file cannot be loaded (said once per
// path, in a line on standard error, as for a picture) or no channel is free.
int audioPlaySoundFile(const String& path, int flags = 0);
