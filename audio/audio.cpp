// The framework's audio functions: thin calls on the global audio driver.
#include "audio/audio.h"

#include "host/files.h"

GcRoot<gxtkAudio*> audioDriver;

c_Sound* audioLoadSound(const String& path) {
  if (audioDriver == nullptr) return nullptr;
  gxtkSample* sample = audioDriver->loadSample(completeDataPath(path));
  if (sample == nullptr) return nullptr;
  return (new c_Sound())->setSample(sample);
}

int audioPlaySound(c_Sound* sound, int channel, int flags) {
  if (audioDriver == nullptr || sound == nullptr || sound->sample == nullptr) return 0;
  audioDriver->playSample(sound->sample, channel, flags);
  return 0;
}

int audioStopChannel(int channel) {
  if (audioDriver != nullptr) audioDriver->stopChannel(channel);
  return 0;
}

int audioSetChannelVolume(int channel, float volume) {
  if (audioDriver != nullptr) audioDriver->setVolume(channel, volume);
  return 0;
}

int audioSetChannelRate(int channel, float rate) {
  if (audioDriver != nullptr) audioDriver->setRate(channel, rate);
  return 0;
}
