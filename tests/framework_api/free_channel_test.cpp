// Playing on a free channel, and loading and playing a file in one call, over OpenAL Soft's null
// back-end.
#include <AL/al.h>
#include <gtest/gtest.h>

#include <vector>

#include "audio/audio.h"
#include "audio/audio_driver.h"
#include "host/headless.h"

namespace {

// A second of a quiet square wave, looped by the tests that need a channel to stay busy.
c_Sound* squareSound(gxtkAudio* driver) {
  std::vector<int16_t> pcm(44100);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = (i / 50) % 2 ? 3000 : -3000;
  auto* sample = new gxtkSample();
  driver->fillSample(sample, pcm.data(), static_cast<int>(pcm.size()), 1, 2, 44100);
  return (new c_Sound())->setSample(sample);
}

float gainOf(gxtkAudio* driver, int channel) {
  ALfloat gain = -1;
  alGetSourcef(driver->channel(channel).source, AL_GAIN, &gain);
  return gain;
}

class FreeChannels : public ::testing::Test {
 protected:
  void SetUp() override {
    startWithoutWindow();
    if (audioDriver == nullptr) new gxtkAudio();  // registers itself as the driver; opened once
    driver = audioDriver;
    for (int c = 0; c < gxtkAudio::kChannelCount; ++c) driver->stopChannel(c);
    sound = squareSound(driver);
  }
  gxtkAudio* driver = nullptr;
  GcRoot<c_Sound*> sound;
};

TEST_F(FreeChannels, TakesTheLowestChannelThatIsNotPlayingOrPaused) {
  EXPECT_EQ(audioPlayOnFreeChannel(sound, 1), 0);
  EXPECT_EQ(audioPlayOnFreeChannel(sound, 1), 1);
  audioPlaySound(sound, 2, 1);  // a channel the program addresses itself
  driver->pauseChannel(1);
  EXPECT_EQ(audioPlayOnFreeChannel(sound, 1), 3) << "paused and playing channels are busy";
  audioStopChannel(0);
  EXPECT_EQ(audioPlayOnFreeChannel(sound, 1), 0) << "a stopped channel is free again";
  EXPECT_EQ(driver->channelState(0), 1);
}

TEST_F(FreeChannels, StartsAtFullVolumeAndOwnRate) {
  audioSetChannelVolume(0, 0.25f);
  audioSetChannelRate(0, 2.0f);
  ASSERT_EQ(audioPlayOnFreeChannel(sound), 0);
  EXPECT_EQ(gainOf(driver, 0), 1.0f);
  ALfloat pitch = -1;
  alGetSourcef(driver->channel(0).source, AL_PITCH, &pitch);
  EXPECT_EQ(pitch, 1.0f);
}

TEST_F(FreeChannels, ReportsWhenNothingCanBePlayed) {
  for (int c = 0; c < kFreeChannelCount; ++c) ASSERT_EQ(audioPlayOnFreeChannel(sound, 1), c);
  EXPECT_EQ(audioPlayOnFreeChannel(sound, 1), -1) << "every channel busy";
  EXPECT_EQ(driver->channelState(gxtkAudio::kMusicChannel), 0) << "the music channel is never taken";
  EXPECT_EQ(audioPlayOnFreeChannel(nullptr), -1);
}

TEST_F(FreeChannels, PlaySoundWithVolumeAndRateSetsBothBeforeItStarts) {
  audioPlaySound(sound, 5, 0.5f, 1.5f, 1);
  EXPECT_EQ(driver->channelState(5), 1);
  EXPECT_EQ(gainOf(driver, 5), 0.5f);
  ALfloat pitch = -1;
  alGetSourcef(driver->channel(5).source, AL_PITCH, &pitch);
  EXPECT_EQ(pitch, 1.5f);
  EXPECT_EQ(driver->channel(5).flags, 1) << "looped";
}

TEST_F(FreeChannels, AMissingSoundFileIsReportedInOneLineOnce) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(audioPlaySoundFile(String("wav/nope.wav")), -1);
  EXPECT_EQ(audioPlaySoundFile(String("wav/nope.wav")), -1);  // a game calls it at every bounce
  EXPECT_EQ(audioLoadSound(String("wav/nope2.wav")), nullptr) << "the plain loader stays silent";
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error - Unable to load sound: wav/nope.wav\n");
}

TEST_F(FreeChannels, PlaySoundFileLoadsOncePerPath) {
  int first = audioPlaySoundFile(String("wav/fx2b.wav"), 1);  // looped: still busy below
  ASSERT_EQ(first, 0) << "the build's data/ sits beside the test";
  gxtkSample* loaded = driver->channel(first).sample;
  int second = audioPlaySoundFile(String("wav/fx2b.wav"), 1);
  ASSERT_EQ(second, 1);
  EXPECT_EQ(driver->channel(second).sample, loaded) << "the second call reuses the first load";
  EXPECT_EQ(audioPlaySoundFile(String("wav/no-such-sound.wav")), -1);
  EXPECT_EQ(driver->channelState(2), 0);
}

}  // namespace
