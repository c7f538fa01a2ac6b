// What the channels sound like: the driver runs on an ALC_SOFT_loopback context and the mixed
// output is rendered into memory and measured.
#include <cmath>
#include <numbers>

#include "audio/loopback.h"
#include "driver_fixture.h"

namespace {

constexpr int kCycleFrames = 100;  // one cycle at 44100 Hz: 441 Hz at rate 1.0

class LoopbackEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    loopback = new AlLoopback(kTestRate, 2);
    ASSERT_TRUE(loopback->isOpen()) << "ALC_SOFT_loopback with stereo float output";
  }
  void TearDown() override { delete loopback; }
  static inline AlLoopback* loopback = nullptr;
};

const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new LoopbackEnvironment);

struct Stereo {
  std::vector<float> left, right;
};

// Renders and drops `settleFrames` (gain and pitch changes ramp in over the first mix), then
// returns the next `frames` frames split by channel.
Stereo render(int frames, int settleFrames = 4410) {
  std::vector<float> mixed(size_t(settleFrames) * 2);
  LoopbackEnvironment::loopback->render(mixed.data(), settleFrames);
  mixed.assign(size_t(frames) * 2, 0.0f);
  LoopbackEnvironment::loopback->render(mixed.data(), frames);
  Stereo out;
  for (int i = 0; i < frames; ++i) {
    out.left.push_back(mixed[2 * i]);
    out.right.push_back(mixed[2 * i + 1]);
  }
  return out;
}

double rms(const std::vector<float>& samples) {
  double sum = 0;
  for (float s : samples) sum += double(s) * s;
  return std::sqrt(sum / samples.size());
}

// Upward zero crossings per second.
double fundamentalHz(const std::vector<float>& samples) {
  int crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i) crossings += samples[i - 1] < 0 && samples[i] >= 0;
  return crossings * double(kTestRate) / samples.size();
}

using MixTest = DriverTest;

TEST_F(MixTest, RateScalesTheFundamental) {
  ASSERT_EQ(driver->playSample(sineSample(driver, kCycleFrames), 1, 1), 0);
  Stereo normal = render(kTestRate);
  EXPECT_NEAR(fundamentalHz(normal.left), 441.0, 2.0);
  EXPECT_NEAR(fundamentalHz(normal.right), 441.0, 2.0);

  driver->setRate(1, 2.0f);
  Stereo doubled = render(kTestRate);
  EXPECT_NEAR(fundamentalHz(doubled.left), 882.0, 2.0);
}

TEST_F(MixTest, HalfGainHalvesTheAmplitude) {
  ASSERT_EQ(driver->playSample(sineSample(driver, kCycleFrames), 2, 1), 0);
  double full = rms(render(8820).left);
  ASSERT_GT(full, 0.05) << "the looped wave must be audible";
  driver->setVolume(2, 0.5f);
  double half = rms(render(8820).left);
  EXPECT_NEAR(half / full, 0.5, 0.01);
}

TEST_F(MixTest, PanTurnsTheSourceAroundTheListener) {
  ASSERT_EQ(driver->playSample(sineSample(driver, kCycleFrames), 3, 1), 0);
  driver->setPan(3, float(std::numbers::pi / 2));
  Stereo right = render(8820);
  EXPECT_GT(rms(right.right), 3 * rms(right.left));
  driver->setPan(3, float(-std::numbers::pi / 2));
  Stereo left = render(8820);
  EXPECT_GT(rms(left.left), 3 * rms(left.right));
}

TEST_F(MixTest, StoppedAndPausedChannelsAreSilent) {
  ASSERT_EQ(driver->playSample(sineSample(driver, kCycleFrames), 4, 1), 0);
  ASSERT_GT(rms(render(4410).left), 0.05);
  driver->pauseChannel(4);
  EXPECT_LT(rms(render(4410).left), 1e-6);
  driver->resumeChannel(4);
  EXPECT_GT(rms(render(4410).left), 0.05);
  driver->stopChannel(4);
  Stereo stopped = render(4410);
  EXPECT_LT(rms(stopped.left), 1e-6);
  EXPECT_LT(rms(stopped.right), 1e-6);
}

}  // namespace
