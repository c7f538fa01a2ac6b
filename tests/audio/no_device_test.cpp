// The driver when OpenAL can open no device (ALSOFT_DRIVERS names no back-end that exists): the
// specified error line, and then every operation runs without a context and without failing.
#include <string>

#include "driver_fixture.h"

namespace {

TEST(NoDevice, PrintsTheErrorLineAndStaysQuiet) {
  testing::internal::CaptureStdout();
  gxtkAudio* driver = new gxtkAudio();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "OpenAl error: alcOpenDevice failed\n");
  EXPECT_EQ(driver->device(), nullptr);
  EXPECT_EQ(driver->context(), nullptr);
  EXPECT_EQ(audioDriver.get(), driver);
  EXPECT_EQ(driver->channel(gxtkAudio::kMusicChannel).source, 0u);

  gxtkSample* sample = new gxtkSample();
  EXPECT_EQ(driver->playSample(sample, 1, 1), -1);
  EXPECT_EQ(audioPlaySound((new c_Sound())->setSample(sample), 1, 1), 0);
  EXPECT_EQ(driver->setVolume(1, 0.5f), 0);
  EXPECT_EQ(driver->setRate(1, 2.0f), 0);
  EXPECT_EQ(driver->setPan(1, 1.0f), 0);
  EXPECT_EQ(driver->channelState(1), 0);
  EXPECT_EQ(driver->suspendAll(), 0);
  EXPECT_EQ(driver->resumeAll(), 0);
  EXPECT_EQ(driver->playMusic("missing.wav", 0), -1);
  sample->buffer = 12345;  // a name no device ever handed out
  sample->discard();
  driver->flushDiscardedBuffers();
  EXPECT_EQ(discardedBuffers().size(), 1u) << "without a context the deletion is refused and kept";
}

}  // namespace
