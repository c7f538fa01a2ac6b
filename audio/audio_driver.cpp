// gxtkAudio: device opening, the channel state machine over OpenAL sources, source stealing,
// the deferred deletion of discarded buffers and the driver's mark operation.
#include "audio/audio_driver.h"

#include <cmath>
#include <cstdlib>

#include "audio/audio.h"
#include "audio/audio_stats.h"
#include "audio/sample.h"
#include "host/game.h"
#include "host/runtime_error.h"

namespace {

// Channels 0-31 may lose their source to another channel; the music channel never does.
constexpr int kStealableChannels = 32;

std::vector<ALuint>& discardedList() {
  static std::vector<ALuint> list;
  return list;
}

// Every device (and its context) that a driver opened. OpenAL Soft reports a device still open
// when the process ends ("AL lib: (EE) alc_cleanup: 1 device not closed" on standard error), which
// reads as an error after a perfectly normal quit; so they are closed by an exit handler, which
// runs before the library's own clean-up. The program never closes them earlier: the driver
// lives as long as the program, and quitting is an exit() from inside an event.
struct OpenDevice {
  ALCdevice* device;
  ALCcontext* context;
};

std::vector<OpenDevice>& openDevices() {
  static std::vector<OpenDevice> list;
  return list;
}

void closeOpenDevices() {
  // After a crash the library may be halfway through a call of its own: leave it alone then.
  if (exitingFromFatalSignal()) return;
  for (const OpenDevice& open : openDevices()) {
    if (open.context != nullptr) {
      if (alcGetCurrentContext() == open.context) alcMakeContextCurrent(nullptr);
      alcDestroyContext(open.context);
    }
    alcCloseDevice(open.device);
  }
  openDevices().clear();
}

void closeAtExit(ALCdevice* device, ALCcontext* context) {
  // The list is made before the handler is registered, so it is destroyed after the handler ran.
  std::vector<OpenDevice>& list = openDevices();
  static const bool registered = std::atexit(closeOpenDevices) == 0;
  (void)registered;
  list.push_back({device, context});
}

ALCdevice* openFirstDevice() {
  const char* const fallbacks[] = {nullptr, "Generic Hardware", "Generic Software"};
  for (const char* name : fallbacks) {
    if (ALCdevice* device = alcOpenDevice(name)) return device;
  }
  return nullptr;
}

ALenum alFormatFor(int bytesPerSample, int channels) {
  if (bytesPerSample == 1 && channels == 1) return AL_FORMAT_MONO8;
  if (bytesPerSample == 1 && channels == 2) return AL_FORMAT_STEREO8;
  if (bytesPerSample == 2 && channels == 1) return AL_FORMAT_MONO16;
  if (bytesPerSample == 2 && channels == 2) return AL_FORMAT_STEREO16;
  // Passed on as it is: OpenAL refuses it and the sample stays silent.
  return 0;
}

}  // namespace

void discardBuffer(ALuint buffer) {
  discardedList().push_back(buffer);
}

const std::vector<ALuint>& discardedBuffers() {
  return discardedList();
}

// --- construction ---

gxtkAudio::gxtkAudio() {
  audioDriver = this;
  device_ = openFirstDevice();
  if (device_ == nullptr) {
    printLine("OpenAl error: alcOpenDevice failed");
  } else {
    context_ = alcCreateContext(device_, nullptr);
    if (context_ == nullptr) {
      printLine("OpenAl error: alcCreateContext failed");
    } else if (!alcMakeContextCurrent(context_)) {
      printLine("OpenAl error: alcMakeContextCurrent failed");
    }
    closeAtExit(device_, context_);
  }
  // Without a context this is a no-op; the driver carries on silent either way.
  alDistanceModel(AL_NONE);
  setUpChannels();
}

gxtkAudio::gxtkAudio(OnCurrentContext) {
  audioDriver = this;
  context_ = alcGetCurrentContext();
  device_ = context_ != nullptr ? alcGetContextsDevice(context_) : nullptr;
  alDistanceModel(AL_NONE);
  setUpChannels();
}

gxtkAudio::gxtkAudio(WithoutDevice) {
  audioDriver = this;
  for (gxtkChannel& record : channels_) record = gxtkChannel{0, nullptr, 0, 0};
}

void gxtkAudio::setUpChannels() {
  for (gxtkChannel& record : channels_) record = gxtkChannel{0, nullptr, 0, 0};
  acquireSource(channels_[kMusicChannel]);
}

// --- OpenAL layer ---

ALenum gxtkAudio::alGetErrorCall() {
  return alGetError();
}
void gxtkAudio::alGenSourceCall(ALuint* source) {
  alGenSources(1, source);
}
ALint gxtkAudio::alSourceStateCall(ALuint source) {
  ALint state = 0;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  return state;
}
void gxtkAudio::alSourcePlayCall(ALuint source) {
  alSourcePlay(source);
}
void gxtkAudio::alSourcePauseCall(ALuint source) {
  alSourcePause(source);
}
void gxtkAudio::alSourceStopCall(ALuint source) {
  alSourceStop(source);
}
void gxtkAudio::alSourceiCall(ALuint source, ALenum param, ALint value) {
  alSourcei(source, param, value);
}
void gxtkAudio::alSourcefCall(ALuint source, ALenum param, ALfloat value) {
  alSourcef(source, param, value);
}
void gxtkAudio::alSource3fCall(ALuint source, ALenum param, ALfloat x, ALfloat y, ALfloat z) {
  alSource3f(source, param, x, y, z);
}
void gxtkAudio::alGenBufferCall(ALuint* buffer) {
  alGenBuffers(1, buffer);
}
void gxtkAudio::alBufferDataCall(ALuint buffer, ALenum format, const void* data, ALsizei size, ALsizei rate) {
  alBufferData(buffer, format, data, size, rate);
}
void gxtkAudio::alDeleteBufferCall(ALuint buffer) {
  alDeleteBuffers(1, &buffer);
}

// --- channels ---

gxtkChannel* gxtkAudio::validChannel(int channel) {
  if (channel < 0 || channel >= kChannelCount) return nullptr;
  return &channels_[channel];
}

ALuint gxtkAudio::acquireSource(gxtkChannel& record) {
  if (record.source != 0) return record.source;
  alGetErrorCall();
  alGenSourceCall(&record.source);
  if (alGetErrorCall() == AL_NO_ERROR) {
    noteAudioSources(1);
    return record.source;
  }

  record.source = 0;
  for (int i = 0; i < kStealableChannels; ++i) {
    gxtkChannel& victim = channels_[i];
    if (victim.source == 0) continue;
    if (channelState(i) == 0) {
      // The victim keeps its sample and flags; the source keeps its gain, pitch and position.
      record.source = victim.source;
      victim.source = 0;
      break;
    }
  }
  return record.source;
}

int gxtkAudio::suspendAll() {
  for (gxtkChannel& record : channels_) {
    if (record.state == 1 && alSourceStateCall(record.source) == AL_PLAYING) alSourcePauseCall(record.source);
  }
  return 0;
}

int gxtkAudio::resumeAll() {
  // Only channels the application left playing: one it paused itself (state 2) stays paused.
  for (gxtkChannel& record : channels_) {
    if (record.state == 1 && alSourceStateCall(record.source) == AL_PAUSED) alSourcePlayCall(record.source);
  }
  return 0;
}

int gxtkAudio::playSample(gxtkSample* sample, int channel, int flags) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr || sample == nullptr) return -1;
  flushDiscardedBuffers();
  ALuint source = acquireSource(*record);
  if (source == 0) return -1;
  alSourceStopCall(source);
  alSourceiCall(source, AL_BUFFER, static_cast<ALint>(sample->buffer));
  alSourceiCall(source, AL_LOOPING, flags != 0 ? 1 : 0);
  alSourcePlayCall(source);
  // The table is scanned by mark(), not by the barrier; grey the sample so that a sample made
  // during this cycle is not taken for garbage before the driver's next mark.
  greyObject(sample);
  record->sample = sample;
  record->flags = flags;
  record->state = 1;
  return 0;
}

int gxtkAudio::stopChannel(int channel) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr || record->state == 0) return 0;
  alSourceStopCall(record->source);
  record->state = 0;
  return 0;
}

int gxtkAudio::pauseChannel(int channel) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr || record->state != 1) return 0;
  if (alSourceStateCall(record->source) == AL_STOPPED) {
    record->state = 0;  // the sound had already ended
  } else {
    alSourcePauseCall(record->source);
    record->state = 2;
  }
  return 0;
}

int gxtkAudio::resumeChannel(int channel) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr || record->state != 2) return 0;
  alSourcePlayCall(record->source);
  record->state = 1;
  return 0;
}

int gxtkAudio::channelState(int channel) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr) return 0;
  if (record->state == 1 && alSourceStateCall(record->source) == AL_STOPPED) record->state = 0;
  return record->state;
}

int gxtkAudio::setVolume(int channel, float volume) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr) return 0;
  alSourcefCall(acquireSource(*record), AL_GAIN, volume);
  return 0;
}

int gxtkAudio::setPan(int channel, float pan) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr) return 0;
  // Pan is an angle in radians around the listener at distance 1; with the distance model off
  // only the direction matters.
  float x = std::sin(pan);
  float z = -std::cos(pan);
  alSource3fCall(acquireSource(*record), AL_POSITION, x, 0.0f, z);
  return 0;
}

int gxtkAudio::setRate(int channel, float rate) {
  gxtkChannel* record = validChannel(channel);
  if (record == nullptr) return 0;
  alSourcefCall(acquireSource(*record), AL_PITCH, rate);
  return 0;
}

// --- music: channel 32 through the virtual channel operations ---

int gxtkAudio::playMusic(const String& path, int flags) {
  stopMusic();
  gxtkSample* sample = loadSample(path);
  if (sample == nullptr) return -1;
  playSample(sample, kMusicChannel, flags);
  return 0;
}

int gxtkAudio::stopMusic() {
  return stopChannel(kMusicChannel);
}
int gxtkAudio::pauseMusic() {
  return pauseChannel(kMusicChannel);
}
int gxtkAudio::resumeMusic() {
  return resumeChannel(kMusicChannel);
}
int gxtkAudio::musicState() {
  return channelState(kMusicChannel);
}
int gxtkAudio::setMusicVolume(float volume) {
  return setVolume(kMusicChannel, volume);
}

// --- samples and buffers ---

gxtkSample* gxtkAudio::loadSample(const String& path) {
  flushDiscardedBuffers();
  gxtkSample* sample = new gxtkSample();
  if (!loadSampleInto(sample, path)) return nullptr;  // the fresh sample is left to the collector
  return sample;
}

bool gxtkAudio::loadSampleInto(gxtkSample* sample, const String& path) {
  if (sample == nullptr || currentGame == nullptr) return false;
  int length = 0, channels = 0, bytesPerSample = 0, rate = 0;
  unsigned char* pcm = currentGame->loadAudioData(path, length, channels, bytesPerSample, rate);
  if (pcm == nullptr) return false;
  fillSample(sample, pcm, length, channels, bytesPerSample, rate);
  std::free(pcm);
  return true;
}

void gxtkAudio::fillSample(gxtkSample* sample, const void* pcm, int length, int channels, int bytesPerSample,
                           int rate) {
  ALuint name = 0;
  alGenBufferCall(&name);
  if (name != 0) noteAudioBuffers(1);
  alBufferDataCall(name, alFormatFor(bytesPerSample, channels), pcm, length * channels * bytesPerSample,
                   rate);
  sample->buffer = name;
}

void gxtkAudio::flushDiscardedBuffers() {
  reportAudioStats();
  std::vector<ALuint>& list = discardedList();
  if (list.empty()) return;
  // OpenAL refuses to delete a buffer that is still attached to a source, even a stopped one.
  for (gxtkChannel& record : channels_) {
    if (record.state != 0 && alSourceStateCall(record.source) == AL_STOPPED) {
      alSourceiCall(record.source, AL_BUFFER, 0);
    }
  }
  std::vector<ALuint> refused;
  for (ALuint name : list) {
    // Clear any error left by an earlier call (a gain on source 0, a negative pitch): read after the
    // deletion it would make a deleted name look refused, and retrying a dead name could later
    // delete a live buffer that reused it.
    alGetErrorCall();
    alDeleteBufferCall(name);
    if (alGetErrorCall() != AL_NO_ERROR) {
      refused.push_back(name);
    } else {
      noteAudioBuffers(-1);
    }
  }
  list.swap(refused);
}

void gxtkAudio::mark() {
  // Only samples that are still sounding are kept alive; a finished channel's sample may go.
  for (gxtkChannel& record : channels_) {
    if (record.state != 0 && record.sample != nullptr && alSourceStateCall(record.source) != AL_STOPPED) {
      blackenNow(record.sample);
    }
  }
}
