// The application base and the game delegate: construction and attachment, the quit key codes,
// events handed to the input device, the update bracket, suspend and resume reaching the audio
// driver, and the framework's update-rate setter.
#include "host/delegate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "audio/audio_driver.h"
#include "host/game.h"
#include "input/input_device.h"
#include "recording_delegate.h"

namespace {

class SizedGame : public VxGame {
 public:
  int width = 320, height = 200;
  int windowWidth() override { return width; }
  int windowHeight() override { return height; }
};

std::string appLog;

class TestApp : public c_App {
 public:
  int appStart() override { return note("start"); }
  int appUpdate() override { return note("update(hits of F3: " + std::to_string(keyHitCount(114)) + ")"); }
  int appRender() override { return note("render"); }

 private:
  int note(const std::string& what) {
    appLog += what + "; ";
    return 0;
  }
};

// Records suspendAll / resumeAll without opening any device.
class RecordingAudio : public gxtkAudio {
 public:
  RecordingAudio() : gxtkAudio(kWithoutDevice) {}
  std::string calls;
  int suspendAll() override {
    calls += "suspendAll ";
    return 0;
  }
  int resumeAll() override {
    calls += "resumeAll ";
    return 0;
  }
};

class DelegateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureCollector();
    currentApp = nullptr;
    currentDelegate = nullptr;
    currentGame = &game;
    appLog.clear();
  }
  void TearDown() override {
    currentApp = nullptr;
    currentDelegate = nullptr;
    inputDevice = nullptr;
    currentGame = nullptr;
  }

  // The delegate of a new application, with an input device as handleStart would give it.
  c_GameDelegate* delegateWithInput() {
    new TestApp();
    c_GameDelegate* delegate = currentDelegate;
    delegate->input = new c_InputDevice();
    inputDevice = delegate->input.get();
    return delegate;
  }

  SizedGame game;
};

TEST_F(DelegateTest, ConstructingTheApplicationAttachesANewDelegateToTheHost) {
  c_App* app = new TestApp();
  EXPECT_EQ(currentApp.get(), app);
  ASSERT_NE(currentDelegate.get(), nullptr);
  EXPECT_EQ(game.attachedDelegate(), currentDelegate.get());
  EXPECT_EQ(currentDelegate->graphics.get(), nullptr);
  EXPECT_EQ(currentDelegate->audio.get(), nullptr);
  EXPECT_EQ(currentDelegate->input.get(), nullptr);
  EXPECT_EQ(appLog, "") << "no hook runs before the game starts";
}

TEST_F(DelegateTest, KeyEventsReachTheInputDeviceAndOtherCodesDoNotQuit) {
  c_GameDelegate* delegate = delegateWithInput();
  c_InputDevice* input = delegate->input;
  delegate->keyEvent(1, 114);
  delegate->keyEvent(1, 400);  // neither 416 nor 432
  delegate->keyEvent(1, 448);  // 416 | 32
  delegate->keyEvent(2, 432);  // releasing the close code
  delegate->keyEvent(3, 416);  // a character, not a key
  delegate->keyEvent(3, 65);
  delegate->keyEvent(9, 65);  // unknown event number
  EXPECT_EQ(input->keyHitCount(114), 1);
  EXPECT_TRUE(input->keyDown[400]);
  EXPECT_TRUE(input->keyDown[448]);
  EXPECT_EQ(input->charPut, 2);
  EXPECT_EQ(input->charQueue[1], 65);
  delegate->keyEvent(2, 114);
  EXPECT_FALSE(input->keyDown[114]);
}

TEST_F(DelegateTest, PointerTouchAndMotionEventsReachTheInputDevice) {
  c_GameDelegate* delegate = delegateWithInput();
  c_InputDevice* input = delegate->input;
  delegate->mouseEvent(6, -1, 3, 4, 0);
  delegate->mouseEvent(4, 1, 5, 6, 0);
  delegate->touchEvent(9, 2, 7, 8);
  delegate->motionEvent(10, 0, 0.5f, 0.25f, -1);
  EXPECT_FLOAT_EQ(input->mouseX, 5);
  EXPECT_FLOAT_EQ(input->mouseY, 6);
  EXPECT_TRUE(input->keyDown[2]) << "host button 1 is key code 2";
  EXPECT_FLOAT_EQ(input->touchX[2], 7);
  EXPECT_FLOAT_EQ(input->accelZ, -1);
}

TEST_F(DelegateTest, AnUpdateSeesTheHitsOfThePassAndClearsThemAfterwards) {
  c_GameDelegate* delegate = delegateWithInput();
  deviceWidth = deviceHeight = 0;
  delegate->keyEvent(1, 114);
  delegate->handleUpdate();
  delegate->handleUpdate();
  EXPECT_EQ(appLog, "update(hits of F3: 1); update(hits of F3: 0); ");
  EXPECT_EQ(deviceWidth, 320);
  EXPECT_EQ(deviceHeight, 200);
  game.width = 100;
  delegate->handleUpdate();
  EXPECT_EQ(deviceWidth, 100) << "the cached size follows the host";
}

TEST_F(DelegateTest, SuspendAndResumePauseAndResumeTheAudioChannels) {
  new TestApp();
  auto* audio = new RecordingAudio();
  currentDelegate->audio = audio;
  currentDelegate->handleSuspend();
  currentDelegate->handleResume();
  EXPECT_EQ(audio->calls, "suspendAll resumeAll ");
}

TEST_F(DelegateTest, TheUpdateRateSetterStoresTheRateAndRestartsTheHostSchedule) {
  VxGlfwGame glfwGame;
  currentGame = &glfwGame;
  glfwGame.nextUpdateTime = 5;
  setUpdateRate(51);
  EXPECT_EQ(updateRate, 51);
  EXPECT_EQ(glfwGame.updateFrequency(), 51);
  EXPECT_DOUBLE_EQ(glfwGame.updatePeriod, 1.0 / 51);
  EXPECT_EQ(glfwGame.nextUpdateTime, 0);
  glfwGame.nextUpdateTime = 5;
  setUpdateRate(0);
  EXPECT_EQ(glfwGame.updateFrequency(), 0);
  EXPECT_DOUBLE_EQ(glfwGame.updatePeriod, 1.0 / 51) << "frequency 0 keeps the old period";
  EXPECT_EQ(glfwGame.nextUpdateTime, 0);
}

using DelegateDeathTest = DelegateTest;

// The banner goes to standard output, which the death-test matcher does not read; a debugger
// that is not there answers with end of input.
void withReportOnStderr() {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  if (!std::freopen("/dev/null", "r", stdin)) std::abort();
}

TEST_F(DelegateDeathTest, ASecondApplicationIsARuntimeError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        withReportOnStderr();
        new TestApp();
        new TestApp();
      },
      ::testing::ExitedWithCode(255), "Corvane Runtime Error : App has already been created");
}

TEST_F(DelegateDeathTest, TheQuitCodesEndTheProcessWithStatus0) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(delegateWithInput()->keyEvent(1, 416), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(delegateWithInput()->keyEvent(1, 432), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        c_GameDelegate* delegate = delegateWithInput();
        delegate->input->keyDown[432] = true;  // already down: quits all the same
        delegate->keyEvent(1, 432);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
