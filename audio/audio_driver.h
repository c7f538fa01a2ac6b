// The audio driver: 33 playback channels over OpenAL sources (0-31 for the application, 32 for
// music), the process-wide list of buffers waiting for deletion, and the opening of the device.
// Needs OpenAL (Soft) and the collector; samples are audio/sample.h.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#include <vector>

#include "runtime/collector.h"
#include "runtime/string.h"

class gxtkSample;

// One playback channel. `sample` is a plain reference: the driver keeps it alive through mark()
// only while the channel is still sounding, and reads it only while `state` is not 0.
struct gxtkChannel {
  ALuint source;
  gxtkSample* sample;
  int flags;  // nonzero = loop
  int state;  // 0 stopped/free, 1 playing, 2 paused
};

// The driver. Three ways to build one:
//  - gxtkAudio(): the program's driver. Opens the default OpenAL device (then "Generic Hardware",
//    then "Generic Software"), creates a context and makes it current; failures print one
//    "OpenAl error: ..." line and the driver carries on without a context.
//  - gxtkAudio(gxtkAudio::kOnCurrentContext): adopts the context that is current at the time (for
//    instance an ALC_SOFT_loopback context opened by a test or a tool, see audio/loopback.h). The
//    caller owns that device and context and must keep them current while the driver is used.
//  - gxtkAudio(gxtkAudio::kWithoutDevice), protected: no OpenAL call at all, not even for the music
//    channel's source. For subclasses that replace the channel operations (a recording driver in the
//    song player's tests); the base operations must then not be used, since no context exists.
// Every constructor registers the new driver as the framework's audio driver (audioDriver).
//
// Every OpenAL call of the driver goes through the protected virtual "OpenAL layer" below, so a test
// subclass can count or inspect calls. During construction the base layer is used (C++ rules).
class gxtkAudio : public Object {
 public:
  static constexpr int kChannelCount = 33;
  static constexpr int kMusicChannel = 32;

  struct OnCurrentContext {};
  static constexpr OnCurrentContext kOnCurrentContext{};

  gxtkAudio();
  explicit gxtkAudio(OnCurrentContext);
  // The device and context stay open as long as the program runs; an exit handler closes them.

  void mark() override;

  // Virtual operations in slot order. Channel numbers outside 0-32 are ignored: nothing happens,
  // playSample returns -1 and channelState 0.
  virtual int suspendAll();
  virtual int resumeAll();
  virtual gxtkSample* loadSample(const String& path);
  virtual bool loadSampleInto(gxtkSample* sample, const String& path);
  virtual int playSample(gxtkSample* sample, int channel, int flags);
  virtual int stopChannel(int channel);
  virtual int pauseChannel(int channel);
  virtual int resumeChannel(int channel);
  virtual int channelState(int channel);
  virtual int setVolume(int channel, float volume);
  virtual int setPan(int channel, float pan);
  virtual int setRate(int channel, float rate);
  virtual int playMusic(const String& path, int flags);
  virtual int stopMusic();
  virtual int pauseMusic();
  virtual int resumeMusic();
  virtual int musicState();
  virtual int setMusicVolume(float volume);

  // The record's source, generating one or taking the source of the first stopped channel 0-31;
  // 0 when none can be had.
  ALuint acquireSource(gxtkChannel& record);
  // Detaches buffers from channels that have stopped, then deletes every discarded buffer that
  // OpenAL lets go; refused ones stay listed for the next flush.
  void flushDiscardedBuffers();
  // Gives `sample` a new buffer holding the PCM block (frames of channels x bytesPerSample bytes).
  // OpenAL errors are not read: an unsupported layout still gives a sample, one with no data.
  void fillSample(gxtkSample* sample, const void* pcm, int length, int channels, int bytesPerSample,
                  int rate);

  const gxtkChannel& channel(int index) const { return channels_[index]; }
  ALCdevice* device() const { return device_; }
  ALCcontext* context() const { return context_; }

 protected:
  struct WithoutDevice {};
  static constexpr WithoutDevice kWithoutDevice{};
  explicit gxtkAudio(WithoutDevice);

  // --- OpenAL layer: one call each, nothing else ---
  virtual ALenum alGetErrorCall();
  virtual void alGenSourceCall(ALuint* source);
  virtual ALint alSourceStateCall(ALuint source);  // AL_SOURCE_STATE, 0 when the query fails
  virtual void alSourcePlayCall(ALuint source);
  virtual void alSourcePauseCall(ALuint source);
  virtual void alSourceStopCall(ALuint source);
  virtual void alSourceiCall(ALuint source, ALenum param, ALint value);
  virtual void alSourcefCall(ALuint source, ALenum param, ALfloat value);
  virtual void alSource3fCall(ALuint source, ALenum param, ALfloat x, ALfloat y, ALfloat z);
  virtual void alGenBufferCall(ALuint* buffer);
  virtual void alBufferDataCall(ALuint buffer, ALenum format, const void* data, ALsizei size, ALsizei rate);
  virtual void alDeleteBufferCall(ALuint buffer);

  gxtkChannel* validChannel(int channel);
  void setUpChannels();

  ALCdevice* device_ = nullptr;
  ALCcontext* context_ = nullptr;
  gxtkChannel channels_[kChannelCount];
};

// The process-wide discarded-buffer list (buffer names waiting for flushDiscardedBuffers).
void discardBuffer(ALuint buffer);
const std::vector<ALuint>& discardedBuffers();
