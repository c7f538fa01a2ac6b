// Shared pieces of the driver tests: a driver that counts its OpenAL calls, a fixture that builds a
// fresh driver per test on the context opened once for the executable, sample makers and waits.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/audio_driver.h"
#include "audio/sample.h"
#include "runtime/collector.h"

constexpr int kTestRate = 44100;

// Counts every call of the OpenAL layer, so a test can show that an operation made none.
class CountingAudio : public gxtkAudio {
 public:
  CountingAudio() = default;
  explicit CountingAudio(OnCurrentContext tag) : gxtkAudio(tag) {}

  int alCalls = 0;
  int pauseCalls = 0;

  // After a test has deleted the driver's sources: a stale table must not be marked later.
  void forgetChannels() {
    for (gxtkChannel& record : channels_) record = gxtkChannel{0, nullptr, 0, 0};
  }

 protected:
  ALenum alGetErrorCall() override { return ++alCalls, gxtkAudio::alGetErrorCall(); }
  void alGenSourceCall(ALuint* source) override { ++alCalls, gxtkAudio::alGenSourceCall(source); }
  ALint alSourceStateCall(ALuint source) override { return ++alCalls, gxtkAudio::alSourceStateCall(source); }
  void alSourcePlayCall(ALuint source) override { ++alCalls, gxtkAudio::alSourcePlayCall(source); }
  void alSourcePauseCall(ALuint source) override {
    ++alCalls, ++pauseCalls;
    gxtkAudio::alSourcePauseCall(source);
  }
  void alSourceStopCall(ALuint source) override { ++alCalls, gxtkAudio::alSourceStopCall(source); }
  void alSourceiCall(ALuint source, ALenum param, ALint value) override {
    ++alCalls, gxtkAudio::alSourceiCall(source, param, value);
  }
  void alSourcefCall(ALuint source, ALenum param, ALfloat value) override {
    ++alCalls, gxtkAudio::alSourcefCall(source, param, value);
  }
  void alSource3fCall(ALuint source, ALenum param, ALfloat x, ALfloat y, ALfloat z) override {
    ++alCalls, gxtkAudio::alSource3fCall(source, param, x, y, z);
  }
  void alGenBufferCall(ALuint* buffer) override { ++alCalls, gxtkAudio::alGenBufferCall(buffer); }
  void alBufferDataCall(ALuint buffer, ALenum format, const void* data, ALsizei size, ALsizei rate) override {
    ++alCalls, gxtkAudio::alBufferDataCall(buffer, format, data, size, rate);
  }
  void alDeleteBufferCall(ALuint buffer) override { ++alCalls, gxtkAudio::alDeleteBufferCall(buffer); }
};

inline ALint sourceInt(ALuint source, ALenum param) {
  ALint value = 0;
  alGetSourcei(source, param, &value);
  return value;
}

inline ALfloat sourceFloat(ALuint source, ALenum param) {
  ALfloat value = -1;
  alGetSourcef(source, param, &value);
  return value;
}

// Waits (in real time: the null back-end mixes at the device's pace) until the source has stopped.
inline bool waitUntilStopped(ALuint source, int timeoutMs = 5000) {
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    if (sourceInt(source, AL_SOURCE_STATE) == AL_STOPPED) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Mono 16-bit PCM of `frames` frames: `cycles` whole sine cycles of the given peak.
inline std::vector<int16_t> sinePcm(int frames, int cycles, double peak = 16000) {
  std::vector<int16_t> pcm(frames);
  for (int i = 0; i < frames; ++i)
    pcm[i] = int16_t(std::lround(peak * std::sin(2 * std::numbers::pi * cycles * i / frames)));
  return pcm;
}

inline gxtkSample* sineSample(gxtkAudio* driver, int frames, int cycles = 1, double peak = 16000) {
  std::vector<int16_t> pcm = sinePcm(frames, cycles, peak);
  gxtkSample* sample = new gxtkSample();
  driver->fillSample(sample, pcm.data(), frames, 1, 2, kTestRate);
  return sample;
}

// Ends the collector's current cycle at once: everything reachable is marked (the driver's mark
// included), the rest moves to the free list, and the roots are greyed for the next cycle.
inline void fullCollection() {
  addExternalBytes(kFullCollectionBytes + 1);
  collectStep();
}

// Destruction is paid for by allocations: allocate until the free list is empty.
inline void destroyGarbage() {
  while (gcCounters.freeBytes > 0) new Object();
}

inline bool isDiscarded(ALuint buffer) {
  for (ALuint name : discardedBuffers()) {
    if (name == buffer) return true;
  }
  return false;
}

// A fresh driver per test on the context that is current for the whole executable. Sources the
// driver made are deleted afterwards so that the device's source limit lasts for every test.
class DriverTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(alcGetCurrentContext(), nullptr) << "no OpenAL context for the tests";
    driver = new CountingAudio(gxtkAudio::kOnCurrentContext);
    ASSERT_NE(driver->channel(gxtkAudio::kMusicChannel).source, 0u);
  }
  void TearDown() override {
    for (int i = 0; i < gxtkAudio::kChannelCount; ++i) {
      ALuint source = driver->channel(i).source;
      if (source == 0) continue;
      alSourceStop(source);
      alSourcei(source, AL_BUFFER, 0);
      alDeleteSources(1, &source);
    }
    driver->forgetChannels();
    alGetError();
  }

  CountingAudio* driver = nullptr;
};
