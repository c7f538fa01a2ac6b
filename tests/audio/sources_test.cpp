// Source stealing and exhaustion with a source limit of five (few_sources.conf via ALSOFT_CONF):
// each test's driver has three sources to share among channels 0-31.
#include "driver_fixture.h"

namespace {

class FewSourcesEnvironment : public testing::Environment {
 public:
  void SetUp() override { new gxtkAudio(); }
};

const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new FewSourcesEnvironment);

class SourcesTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    looped = sineSample(driver, 4410);
    for (int channel = 0; channel < 3; ++channel)
      ASSERT_EQ(driver->playSample(looped, channel, 1), 0) << channel;
  }
  gxtkSample* looped = nullptr;
};

TEST_F(SourcesTest, WithNoStoppedChannelPlayFailsAndChangesNothing) {
  EXPECT_EQ(driver->playSample(looped, 3, 1), -1);
  EXPECT_EQ(driver->channel(3).source, 0u);
  EXPECT_EQ(driver->channel(3).state, 0);
  EXPECT_EQ(driver->channel(gxtkAudio::kMusicChannel).state, 0) << "the idle music source is never taken";

  c_Sound* sound = (new c_Sound())->setSample(looped);
  EXPECT_EQ(audioPlaySound(sound, 3, 1), 0) << "the framework drops the driver's failure";
  EXPECT_EQ(driver->setVolume(3, 0.5f), 0) << "a gain for source 0 goes nowhere";
  EXPECT_EQ(driver->channel(3).source, 0u);
  for (int channel = 0; channel < 3; ++channel) EXPECT_EQ(driver->channelState(channel), 1) << channel;
}

TEST_F(SourcesTest, TheFirstStoppedChannelGivesUpItsSource) {
  const ALuint source1 = driver->channel(1).source, source2 = driver->channel(2).source;
  driver->setVolume(1, 0.3f);
  driver->stopChannel(2);
  driver->stopChannel(1);

  ASSERT_EQ(driver->playSample(looped, 5, 1), 0);
  EXPECT_EQ(driver->channel(5).source, source1) << "channel 1 comes before channel 2";
  EXPECT_EQ(driver->channel(1).source, 0u);
  EXPECT_EQ(driver->channel(1).sample, looped) << "the victim keeps its sample and flags";
  EXPECT_EQ(driver->channel(1).flags, 1);
  EXPECT_FLOAT_EQ(sourceFloat(source1, AL_GAIN), 0.3f) << "a taken source keeps its gain";

  ASSERT_EQ(driver->playSample(looped, 6, 1), 0);
  EXPECT_EQ(driver->channel(6).source, source2);
  EXPECT_EQ(driver->playSample(looped, 1, 1), -1) << "nothing left to take";
}

TEST_F(SourcesTest, AnEndedSoundCountsAsStopped) {
  const ALuint source0 = driver->channel(0).source;
  gxtkSample* blip = sineSample(driver, 441);
  ASSERT_EQ(driver->playSample(blip, 0, 0), 0);
  ASSERT_TRUE(waitUntilStopped(source0));
  EXPECT_EQ(driver->channel(0).state, 1) << "not yet queried";

  ASSERT_EQ(driver->playSample(looped, 9, 1), 0);
  EXPECT_EQ(driver->channel(9).source, source0);
  EXPECT_EQ(driver->channel(0).state, 0);
}

}  // namespace
