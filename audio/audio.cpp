// The framework's audio functions: thin calls on the global audio driver.
#include "audio/audio.h"

#include "host/files.h"
#include "host/runtime_error.h"
#include "runtime/array.h"

GcRoot<gxtkAudio*> audioDriver;

namespace {

// The sounds audioPlaySoundFile has loaded, by path as given (a few, so a linear search); a path
// that did not load is listed with a null sound, so that it is reported once.
class c_SoundCache : public Object {
 public:
  GcField<Array<String>> paths;
  GcField<Array<c_Sound*>> sounds;
  int count = 0;

  void mark() override {
    paths.mark();
    sounds.mark();
  }

  // The entry of the path, or -1.
  int find(const String& path) const {
    for (int i = 0; i < count; ++i) {
      if (paths.get().get(i) == path) return i;
    }
    return -1;
  }

  void add(const String& path, c_Sound* sound) {
    if (count == sounds.length()) {
      int grown = count > 0 ? count * 2 : 8;
      paths = paths.get().Resize(grown);
      sounds = sounds.get().Resize(grown);
    }
    paths[count] = path;
    sounds[count] = sound;
    count += 1;
  }
};

GcRoot<c_SoundCache*> soundCache;

}  // namespace

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

int audioPlaySound(c_Sound* sound, int channel, float volume, float rate, int flags) {
  if (audioDriver == nullptr || sound == nullptr || sound->sample == nullptr) return 0;
  audioDriver->setVolume(channel, volume);
  audioDriver->setRate(channel, rate);
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

int audioPlayOnFreeChannel(c_Sound* sound, int flags) {
  gxtkAudio* driver = audioDriver;
  if (driver == nullptr || sound == nullptr || sound->sample == nullptr) return -1;
  for (int channel = 0; channel < kFreeChannelCount; ++channel) {
    if (driver->channelState(channel) != 0) continue;
    // A free channel keeps the volume and rate of its last use: start from the sound as recorded.
    driver->setVolume(channel, 1);
    driver->setRate(channel, 1);
    if (driver->playSample(sound->sample, channel, flags) != 0) return -1;
    return channel;
  }
  return -1;
}

int audioPlaySoundFile(const String& path, int flags) {
  if (audioDriver == nullptr) return -1;
  if (soundCache == nullptr) soundCache = new c_SoundCache();
  int entry = soundCache->find(path);
  c_Sound* sound = entry >= 0 ? soundCache->sounds.get().get(entry) : nullptr;
  if (sound == nullptr) {
    // A file that did not load is tried again (it may have appeared) but reported only once.
    sound = audioLoadSound(path);
    if (entry < 0) {
      if (sound == nullptr) writeErrorLine(String("Error - Unable to load sound: ") + path);
      soundCache->add(path, sound);
    } else if (sound != nullptr) {
      soundCache->sounds[entry] = sound;
    }
    if (sound == nullptr) return -1;
  }
  return audioPlayOnFreeChannel(sound, flags);
}
