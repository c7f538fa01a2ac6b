// The program's input functions over the global input device, fed the host's events as the
// delegate passes them on.
#include <gtest/gtest.h>

#include "input/input_device.h"

namespace {

constexpr int kKeyA = 65;
constexpr int kKeyLeft = 37;

class InputFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    device = new c_InputDevice();
    inputDevice = device;
  }
  void TearDown() override { inputDevice = nullptr; }
  c_InputDevice* device = nullptr;
};

TEST_F(InputFunctions, KeyDownFollowsPressAndReleaseWhileHitsLastOneUpdate) {
  device->keyEvent(1, kKeyA);
  EXPECT_TRUE(keyDown(kKeyA));
  EXPECT_EQ(keyHit(kKeyA), 1);
  device->keyEvent(1, kKeyA);  // auto-repeat
  EXPECT_EQ(keyHit(kKeyA), 1);
  device->endUpdate();
  EXPECT_TRUE(keyDown(kKeyA)) << "still held after the update";
  EXPECT_EQ(keyHit(kKeyA), 0);
  device->keyEvent(2, kKeyA);
  EXPECT_FALSE(keyDown(kKeyA));
  EXPECT_FALSE(keyDown(-1));
  EXPECT_FALSE(keyDown(512));
}

TEST_F(InputFunctions, GetCharConsumesTheQueueInOrder) {
  device->keyEvent(3, 'h');
  device->keyEvent(3, 0x00E9);              // e acute
  device->keyEvent(3, kKeyLeft | 0x10000);  // what the host sends for the left arrow
  EXPECT_EQ(getChar(), 'h');
  EXPECT_EQ(device->charGet, 1) << "the read position advances";
  EXPECT_EQ(getChar(), 0x00E9);
  EXPECT_EQ(getChar(), kKeyLeft | 0x10000);
  EXPECT_EQ(getChar(), 0);
  EXPECT_EQ(getChar(), 0) << "stays empty";

  // Characters typed after the update ended are the next update's.
  device->endUpdate();
  device->keyEvent(3, 'x');
  EXPECT_EQ(getChar(), 'x');
  EXPECT_EQ(getChar(), 0);
}

TEST_F(InputFunctions, CharactersBeyondTheQueueAreDroppedNotWrapped) {
  for (int i = 0; i < kCharQueueSize + 5; ++i) device->keyEvent(3, 'a' + i % 26);
  int read = 0;
  while (getChar() != 0) ++read;
  EXPECT_EQ(read, kCharQueueSize);
}

TEST_F(InputFunctions, MouseFollowsMovesAndButtons) {
  device->mouseEvent(6, -1, 12.5f, 40, 0);
  EXPECT_EQ(mouseX(), 12.5f);
  EXPECT_EQ(mouseY(), 40);
  device->mouseEvent(4, 1, 30, 31, 0);  // right button down at (30, 31)
  EXPECT_TRUE(mouseDown(1));
  EXPECT_FALSE(mouseDown(0));
  EXPECT_EQ(mouseHit(1), 1);
  EXPECT_EQ(mouseX(), 30);
  device->mouseEvent(5, 1, 90, 91, 0);
  EXPECT_FALSE(mouseDown(1));
  EXPECT_EQ(mouseX(), 30) << "a release does not move the pointer";
  device->mouseEvent(6, -1, 0, 0, 2);
  EXPECT_EQ(mouseZ(), 2);
  EXPECT_FALSE(mouseDown(3));
  EXPECT_FALSE(mouseDown(-1));
  EXPECT_EQ(mouseHit(7), 0);
}

TEST_F(InputFunctions, JoystickButtonsAreKeysAndAxesArePerPort) {
  device->pressKey(kFirstJoyButtonKey + kJoyButtonCount * 1 + 4);
  EXPECT_TRUE(joyDown(4, 1));
  EXPECT_FALSE(joyDown(4, 0));
  EXPECT_FALSE(joyDown(32, 1));
  device->joyStates.get().get(2)->joyY[1] = -0.75f;
  EXPECT_EQ(joyY(1, 2), -0.75f);
  EXPECT_EQ(joyY(2, 2), 0) << "no third stick";
  EXPECT_EQ(joyX(0, 4), 0) << "no fifth port";
}

TEST(InputFunctionsWithoutDevice, ReadAsNothingPressed) {
  ASSERT_EQ(inputDevice.get(), nullptr);
  EXPECT_FALSE(keyDown(kKeyA));
  EXPECT_EQ(keyHit(kKeyA), 0);
  EXPECT_EQ(getChar(), 0);
  EXPECT_EQ(mouseX(), 0);
  EXPECT_FALSE(mouseDown(0));
  EXPECT_EQ(joyX(0), 0);
}

}  // namespace
