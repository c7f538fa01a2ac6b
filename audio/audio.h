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
int audioStopChannel(int channel);
int audioSetChannelVolume(int channel, float volume);
int audioSetChannelRate(int channel, float rate);
