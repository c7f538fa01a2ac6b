// The channel state machine, suspend/resume, the discarded-buffer list and the driver's part in
// collection, on OpenAL Soft's null back-end (ALSOFT_DRIVERS=null; it mixes in real time).
#include <climits>
#include <cstdio>
#include <string>

#include "driver_fixture.h"

namespace {

// The program's driver, built with the real device opening; every test then builds its own
// driver on the context this one made current.
class NullDeviceEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    testing::internal::CaptureStdout();
    first = new gxtkAudio();
    printed = testing::internal::GetCapturedStdout();
  }
  static inline gxtkAudio* first = nullptr;
  static inline std::string printed;
};

const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new NullDeviceEnvironment);

TEST(DeviceOpening, OpensTheDefaultDeviceAndSetsUpTheChannels) {
  gxtkAudio* first = NullDeviceEnvironment::first;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(NullDeviceEnvironment::printed, "") << "no OpenAL error line with a working device";
  EXPECT_NE(first->device(), nullptr);
  EXPECT_EQ(alcGetCurrentContext(), first->context());
  EXPECT_EQ(alGetInteger(AL_DISTANCE_MODEL), AL_NONE);
  EXPECT_NE(first->channel(gxtkAudio::kMusicChannel).source, 0u)
      << "the music channel gets its source at once";
  for (int i = 0; i < gxtkAudio::kMusicChannel; ++i) {
    EXPECT_EQ(first->channel(i).source, 0u) << i;
    EXPECT_EQ(first->channel(i).state, 0) << i;
  }
}

TEST_F(DriverTest, PlayPauseResumeStop) {
  gxtkSample* sample = sineSample(driver, 4410);
  ASSERT_EQ(driver->playSample(sample, 4, 1), 0);
  const ALuint source = driver->channel(4).source;
  ASSERT_NE(source, 0u);
  EXPECT_EQ(driver->channelState(4), 1);
  EXPECT_EQ(sourceInt(source, AL_SOURCE_STATE), AL_PLAYING);
  EXPECT_EQ(sourceInt(source, AL_BUFFER), ALint(sample->buffer));
  EXPECT_EQ(driver->channel(4).sample, sample);
  EXPECT_EQ(driver->channel(4).flags, 1);

  driver->pauseChannel(4);
  EXPECT_EQ(driver->channelState(4), 2);
  EXPECT_EQ(sourceInt(source, AL_SOURCE_STATE), AL_PAUSED);
  driver->alCalls = 0;
  driver->pauseChannel(4);
  EXPECT_EQ(driver->alCalls, 0) << "pausing a paused channel does nothing";

  driver->resumeChannel(4);
  EXPECT_EQ(driver->channelState(4), 1);
  EXPECT_EQ(sourceInt(source, AL_SOURCE_STATE), AL_PLAYING);
  driver->alCalls = 0;
  driver->resumeChannel(4);
  EXPECT_EQ(driver->alCalls, 0) << "resuming a playing channel does nothing";

  driver->stopChannel(4);
  EXPECT_EQ(driver->channelState(4), 0);
  EXPECT_EQ(sourceInt(source, AL_SOURCE_STATE), AL_STOPPED);
  driver->alCalls = 0;
  driver->stopChannel(4);
  driver->resumeChannel(4);
  driver->pauseChannel(4);
  EXPECT_EQ(driver->alCalls, 0) << "a stopped channel is left alone";
  EXPECT_EQ(driver->channel(4).source, source) << "the channel keeps its source";
}

TEST_F(DriverTest, AnEndedSoundFreesItsChannelOnTheNextQuery) {
  gxtkSample* blip = sineSample(driver, 441);  // 10 ms
  ASSERT_EQ(driver->playSample(blip, 5, 0), 0);
  const ALuint source = driver->channel(5).source;
  EXPECT_EQ(sourceInt(source, AL_LOOPING), 0);
  ASSERT_TRUE(waitUntilStopped(source));
  EXPECT_EQ(driver->channel(5).state, 1) << "the state is read from OpenAL lazily";
  driver->pauseCalls = 0;
  driver->pauseChannel(5);
  EXPECT_EQ(driver->channel(5).state, 0) << "pausing an ended sound frees the channel";
  EXPECT_EQ(driver->pauseCalls, 0);

  ASSERT_EQ(driver->playSample(blip, 5, 0), 0);
  ASSERT_TRUE(waitUntilStopped(source));
  EXPECT_EQ(driver->channelState(5), 0);
  EXPECT_EQ(driver->channel(5).state, 0);
}

TEST_F(DriverTest, AnyNonzeroFlagsLoop) {
  gxtkSample* blip = sineSample(driver, 441);
  ASSERT_EQ(driver->playSample(blip, 6, 2), 0);
  const ALuint source = driver->channel(6).source;
  EXPECT_EQ(sourceInt(source, AL_LOOPING), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(driver->channelState(6), 1) << "a looped 10 ms sample still plays after 150 ms";
  EXPECT_EQ(sourceInt(source, AL_SOURCE_STATE), AL_PLAYING);
  ASSERT_EQ(driver->playSample(blip, 6, 0), 0);
  EXPECT_EQ(sourceInt(source, AL_LOOPING), 0) << "flags 0 turns looping off again";
}

TEST_F(DriverTest, AppPausedChannelStaysPausedThroughSuspendAndResume) {
  gxtkSample* sample = sineSample(driver, 4410);
  ASSERT_EQ(driver->playSample(sample, 1, 1), 0);
  ASSERT_EQ(driver->playSample(sample, 2, 1), 0);
  driver->pauseChannel(2);
  const ALuint playing = driver->channel(1).source, paused = driver->channel(2).source;

  driver->suspendAll();
  EXPECT_EQ(sourceInt(playing, AL_SOURCE_STATE), AL_PAUSED);
  EXPECT_EQ(driver->channel(1).state, 1) << "suspending changes no channel state";
  EXPECT_EQ(driver->channel(2).state, 2);

  driver->resumeAll();
  EXPECT_EQ(sourceInt(playing, AL_SOURCE_STATE), AL_PLAYING);
  EXPECT_EQ(sourceInt(paused, AL_SOURCE_STATE), AL_PAUSED);
  EXPECT_EQ(driver->channelState(1), 1);
  EXPECT_EQ(driver->channelState(2), 2);
}

TEST_F(DriverTest, VolumeRateAndPanReachTheSourceAndOutlastPlays) {
  driver->setVolume(7, 0.25f);
  const ALuint source = driver->channel(7).source;
  ASSERT_NE(source, 0u) << "setVolume before any play gives the channel a source";
  EXPECT_EQ(driver->channel(7).state, 0);
  driver->setRate(7, 1.5f);
  driver->setPan(7, 1.25f);

  gxtkSample* sample = sineSample(driver, 4410);
  ASSERT_EQ(driver->playSample(sample, 7, 1), 0);
  EXPECT_EQ(driver->channel(7).source, source);
  EXPECT_FLOAT_EQ(sourceFloat(source, AL_GAIN), 0.25f);
  EXPECT_FLOAT_EQ(sourceFloat(source, AL_PITCH), 1.5f);
  ALfloat x = 0, y = 1, z = 0;
  alGetSource3f(source, AL_POSITION, &x, &y, &z);
  EXPECT_FLOAT_EQ(x, std::sin(1.25f));
  EXPECT_FLOAT_EQ(y, 0.0f);
  EXPECT_FLOAT_EQ(z, -std::cos(1.25f));

  driver->setVolume(7, 3.0f);  // passed on unclamped
  EXPECT_FLOAT_EQ(sourceFloat(source, AL_GAIN), 3.0f);
}

TEST_F(DriverTest, ChannelsOutsideTheTableAreIgnored) {
  gxtkSample* sample = sineSample(driver, 441);
  for (int channel : {-1, 33, 1000, INT_MIN, INT_MAX}) {
    driver->alCalls = 0;
    EXPECT_EQ(driver->playSample(sample, channel, 1), -1) << channel;
    EXPECT_EQ(driver->stopChannel(channel), 0);
    EXPECT_EQ(driver->pauseChannel(channel), 0);
    EXPECT_EQ(driver->resumeChannel(channel), 0);
    EXPECT_EQ(driver->channelState(channel), 0);
    EXPECT_EQ(driver->setVolume(channel, 1), 0);
    EXPECT_EQ(driver->setPan(channel, 1), 0);
    EXPECT_EQ(driver->setRate(channel, 1), 0);
    EXPECT_EQ(audioPlaySound((new c_Sound())->setSample(sample), channel, 0), 0);
    EXPECT_EQ(driver->alCalls, 0) << "channel " << channel;
  }
  EXPECT_EQ(driver->playSample(nullptr, 3, 0), -1) << "no sample, nothing to play";
}

TEST_F(DriverTest, FrameworkFunctionsReachTheDriver) {
  c_Sound* sound = (new c_Sound())->setSample(sineSample(driver, 4410));
  EXPECT_EQ(audioPlaySound(nullptr, 3, 1), 0);
  driver->alCalls = 0;
  EXPECT_EQ(audioPlaySound(new c_Sound(), 3, 1), 0);
  EXPECT_EQ(driver->alCalls, 0) << "a sound without a sample plays nothing";
  EXPECT_EQ(driver->channel(3).state, 0);

  EXPECT_EQ(audioPlaySound(sound, 3, 1), 0);
  EXPECT_EQ(driver->channelState(3), 1);
  EXPECT_EQ(driver->channel(3).sample, sound->sample.get());
  const ALuint source = driver->channel(3).source;
  EXPECT_EQ(audioSetChannelVolume(3, 0.5f), 0);
  EXPECT_EQ(audioSetChannelRate(3, 2.0f), 0);
  EXPECT_FLOAT_EQ(sourceFloat(source, AL_GAIN), 0.5f);
  EXPECT_FLOAT_EQ(sourceFloat(source, AL_PITCH), 2.0f);
  EXPECT_EQ(audioStopChannel(3), 0);
  EXPECT_EQ(driver->channelState(3), 0);
}

TEST_F(DriverTest, DiscardedBufferWaitsUntilItsSourceStops) {
  gxtkSample* sample = sineSample(driver, kTestRate, 440);  // one second
  const ALuint buffer = sample->buffer;
  ASSERT_EQ(driver->playSample(sample, 8, 0), 0);
  sample->discard();
  EXPECT_EQ(sample->buffer, 0u);
  ASSERT_TRUE(isDiscarded(buffer));

  driver->flushDiscardedBuffers();
  EXPECT_TRUE(alIsBuffer(buffer)) << "OpenAL refuses to delete a buffer that is playing";
  EXPECT_TRUE(isDiscarded(buffer)) << "a refused deletion is retried later";
  EXPECT_EQ(sourceInt(driver->channel(8).source, AL_SOURCE_STATE), AL_PLAYING);

  ASSERT_TRUE(waitUntilStopped(driver->channel(8).source));
  driver->flushDiscardedBuffers();
  EXPECT_FALSE(alIsBuffer(buffer)) << "detached from its stopped source and deleted";
  EXPECT_FALSE(isDiscarded(buffer));
}

TEST_F(DriverTest, PendingErrorDoesNotKeepADeletedBufferListed) {
  gxtkSample* sample = sineSample(driver, 441);
  const ALuint buffer = sample->buffer;
  sample->discard();
  driver->setRate(9, -1.0f);  // OpenAL refuses a negative pitch; nobody reads that error
  driver->flushDiscardedBuffers();
  EXPECT_FALSE(alIsBuffer(buffer));
  EXPECT_FALSE(isDiscarded(buffer)) << "an earlier call's error was taken for a refused deletion";
}

TEST_F(DriverTest, DriverKeepsOnlySoundingSamplesAlive) {
  gxtkSample* looped = sineSample(driver, 4410);
  gxtkSample* blip = sineSample(driver, 441);
  const ALuint blipBuffer = blip->buffer;
  ASSERT_EQ(driver->playSample(looped, 10, 1), 0);
  ASSERT_EQ(driver->playSample(blip, 11, 0), 0);
  ASSERT_TRUE(waitUntilStopped(driver->channel(11).source));
  // playSample's barrier carries both samples through the cycle they were played in; from the
  // next cycle on, only the driver's mark decides.
  fullCollection();
  fullCollection();
  EXPECT_NE(gcListOf(looped), GcList::Free) << "a sounding sample is kept by the driver";
  EXPECT_EQ(gcListOf(blip), GcList::Free) << "a finished sample is left to the collector";

  destroyGarbage();
  EXPECT_TRUE(isDiscarded(blipBuffer)) << "a destroyed sample hands its buffer over";
  EXPECT_TRUE(alIsBuffer(blipBuffer));
  driver->flushDiscardedBuffers();
  EXPECT_FALSE(alIsBuffer(blipBuffer));
  EXPECT_EQ(sourceInt(driver->channel(10).source, AL_SOURCE_STATE), AL_PLAYING);
}

// A driver built without a device, as a recording subclass builds it: the music operations must
// reach the channel operations through their virtual slots.
class ChannelLog : public gxtkAudio {
 public:
  ChannelLog() : gxtkAudio(kWithoutDevice) {}
  std::string log;
  gxtkSample* toLoad = nullptr;

  gxtkSample* loadSample(const String& path) override {
    log += "load " + toStdString(path) + ";";
    return toLoad;
  }
  int playSample(gxtkSample*, int channel, int flags) override {
    log += "play " + std::to_string(channel) + " " + std::to_string(flags) + ";";
    return -1;
  }
  int stopChannel(int channel) override { return log += "stop " + std::to_string(channel) + ";", 0; }
  int pauseChannel(int channel) override { return log += "pause " + std::to_string(channel) + ";", 0; }
  int resumeChannel(int channel) override { return log += "resume " + std::to_string(channel) + ";", 0; }
  int channelState(int channel) override { return log += "state " + std::to_string(channel) + ";", 2; }
  int setVolume(int channel, float volume) override {
    return log += "volume " + std::to_string(channel) + " " + std::to_string(volume) + ";", 0;
  }
};

TEST(MusicOperations, GoThroughTheChannelSlotsOfChannel32) {
  ChannelLog* music = new ChannelLog();
  EXPECT_EQ(audioDriver.get(), music);
  EXPECT_EQ(music->channel(gxtkAudio::kMusicChannel).source, 0u) << "no device, no source";
  music->stopMusic();
  music->pauseMusic();
  music->resumeMusic();
  EXPECT_EQ(music->musicState(), 2);
  music->setMusicVolume(0.5f);
  EXPECT_EQ(music->log, "stop 32;pause 32;resume 32;state 32;volume 32 0.500000;");

  music->log.clear();
  EXPECT_EQ(music->playMusic("song.ogg", 1), -1) << "a file that does not load";
  EXPECT_EQ(music->log, "stop 32;load song.ogg;");

  music->log.clear();
  music->toLoad = new gxtkSample();
  EXPECT_EQ(music->playMusic("song.ogg", 1), 0) << "0 whatever playSample gave";
  EXPECT_EQ(music->log, "stop 32;load song.ogg;play 32 1;");
}

}  // namespace
