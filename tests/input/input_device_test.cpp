// The input device: hit counting across updates, the hit and character queues, the mouse/touch
// mirror, pointer positions, joystick buttons from beginUpdate, and codes outside the arrays.
#include "input/input_device.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/game.h"
#include "tests/runtime/gc_test_support.h"

namespace {

constexpr int kF1 = 112;
constexpr int kEnter = 13;
constexpr int kLeftButton = 0;  // host button number; key code 1

// A host whose joystick ports answer from a script, recording every port it is asked about.
class ScriptedJoystickGame : public VxGame {
 public:
  int answeringPorts = 0;                    // ports 0..answeringPorts-1 answer true
  std::vector<std::vector<int>> pressed{4};  // buttons reported pressed, per port
  std::vector<int> polled;

  bool pollJoystick(int port, Array<float> joyX, Array<float>, Array<float>, Array<bool> buttons) override {
    polled.push_back(port);
    if (port >= answeringPorts) return false;
    joyX[0] = 0.5f;
    for (int b = 0; b < buttons.length(); ++b) buttons[b] = false;
    for (int b : pressed[port]) buttons[b] = true;
    return true;
  }
};

class InputDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    root = new c_InputDevice();
    device = root;
  }
  void TearDown() override { currentGame = savedGame; }

  // Everything the event path can write; a stray write shows up as a difference.
  int downCount() const {
    int n = 0;
    for (int k = 0; k < kKeyCodeCount; ++k) n += device->keyDown[k] ? 1 : 0;
    return n;
  }
  int hitTotal() const {
    int n = 0;
    for (int k = 0; k < kKeyCodeCount; ++k) n += device->keyHit[k];
    return n;
  }

  GcRoot<c_InputDevice*> root;
  c_InputDevice* device = nullptr;
  VxGame* savedGame = currentGame;
};

TEST_F(InputDevice, HitsCountPressesUntilTheUpdateEnds) {
  device->keyEvent(1, kF1);
  device->keyEvent(2, kF1);
  device->keyEvent(1, kF1);
  EXPECT_EQ(device->keyHitCount(kF1), 2) << "two presses before one update";
  EXPECT_TRUE(device->keyDown[kF1]);
  device->endUpdate();
  EXPECT_EQ(device->keyHitCount(kF1), 0) << "hits are cleared when the update ends";
  EXPECT_TRUE(device->keyDown[kF1]) << "the down flag outlives the update";

  // Auto-repeat delivers presses without releases: only the first one counts.
  device->keyEvent(2, kF1);
  for (int i = 0; i < 5; ++i) device->keyEvent(1, kF1);
  EXPECT_EQ(device->keyHitCount(kF1), 1);
  device->endUpdate();
  EXPECT_EQ(device->keyHitCount(kF1), 0);
  EXPECT_EQ(device->hitQueueCount, 0);
}

TEST_F(InputDevice, CharacterQueueDropsOverflowButKeysStillCount) {
  for (int i = 0; i < kCharQueueSize; ++i) device->keyEvent(3, 'a' + i % 26);
  // The host sends ENTER as a key press followed by its character.
  device->keyEvent(1, kEnter);
  device->keyEvent(3, kEnter);
  EXPECT_EQ(device->keyHitCount(kEnter), 1);
  EXPECT_EQ(device->charPut, kCharQueueSize);
  EXPECT_EQ(device->charQueue[kCharQueueSize - 1], 'a' + (kCharQueueSize - 1) % 26)
      << "the last kept character";

  device->endUpdate();
  EXPECT_EQ(device->charPut, 0);
  EXPECT_EQ(device->charGet, 0);
  device->keyEvent(3, 'z');
  EXPECT_EQ(device->charPut, 1);
  EXPECT_EQ(device->charQueue[0], 'z');
}

TEST_F(InputDevice, LeftClickIsAlsoTheFirstTouch) {
  device->mouseEvent(4, kLeftButton, 12, 34, 0);
  EXPECT_TRUE(device->keyDown[1]);
  EXPECT_TRUE(device->keyDown[kFirstTouchKey]);
  EXPECT_EQ(device->keyHitCount(1), 1);
  EXPECT_EQ(device->keyHitCount(kFirstTouchKey), 1);
  EXPECT_EQ(device->mouseX, 12);
  EXPECT_EQ(device->mouseY, 34);
  EXPECT_EQ(device->touchX[0], 12);
  EXPECT_EQ(device->touchY[0], 34);

  device->mouseEvent(5, kLeftButton, 12, 34, 0);
  EXPECT_FALSE(device->keyDown[1]);
  EXPECT_FALSE(device->keyDown[kFirstTouchKey]);
  EXPECT_EQ(device->keyHitCount(1), 1) << "a release leaves the hits alone";

  // The same pointer seen as a touch: the press mirrors onto the left button.
  device->endUpdate();
  device->touchEvent(7, 0, 5, 6);
  EXPECT_TRUE(device->keyDown[1]);
  EXPECT_EQ(device->keyHitCount(1), 1);
  EXPECT_EQ(device->keyHitCount(kFirstTouchKey), 1);
  EXPECT_EQ(device->mouseX, 5);
  device->touchEvent(8, 0, 7, 8);
  EXPECT_FALSE(device->keyDown[1]);
  EXPECT_EQ(device->touchX[0], 5) << "a touch release does not move the touch";
}

TEST_F(InputDevice, ButtonReleaseDoesNotMoveThePointer) {
  device->mouseEvent(6, -1, 100, 200, 0);
  device->mouseEvent(4, 1, 110, 210, 0);  // right button
  EXPECT_TRUE(device->keyDown[2]);
  EXPECT_FALSE(device->keyDown[kFirstTouchKey]) << "only the left button mirrors";
  device->mouseEvent(5, 1, 300, 400, 0);
  EXPECT_FALSE(device->keyDown[2]);
  EXPECT_EQ(device->mouseX, 110);
  EXPECT_EQ(device->mouseY, 210);
  EXPECT_EQ(device->touchX[0], 110);
}

TEST_F(InputDevice, WheelValueLastsUntilTheNextMove) {
  device->mouseEvent(6, -1, 40, 50, 0);
  device->mouseEvent(6, -1, 40, 50, 3);  // what the host sends for a scroll: the position and the notches
  EXPECT_EQ(device->mouseX, 40);
  EXPECT_EQ(device->mouseY, 50);
  EXPECT_EQ(device->mouseZ, 3);
  device->mouseEvent(6, -1, 41, 51, 0);
  EXPECT_EQ(device->mouseX, 41);
  EXPECT_EQ(device->mouseY, 51);
  EXPECT_EQ(device->mouseZ, 0);
}

TEST_F(InputDevice, TouchesAndMotionKeepTheirOwnValues) {
  device->touchEvent(9, 3, 7, 9);
  EXPECT_EQ(device->touchX[3], 7);
  EXPECT_EQ(device->touchY[3], 9);
  EXPECT_EQ(device->mouseX, 0) << "only touch 0 moves the mouse";
  device->touchEvent(7, 31, 1, 2);
  EXPECT_TRUE(device->keyDown[kFirstTouchKey + 31]);
  EXPECT_EQ(device->keyHitCount(kFirstTouchKey + 31), 1);

  device->motionEvent(10, 0, 0.25f, -0.5f, 1.0f);
  device->motionEvent(11, 0, 9, 9, 9);
  EXPECT_EQ(device->accelX, 0.25f);
  EXPECT_EQ(device->accelY, -0.5f);
  EXPECT_EQ(device->accelZ, 1.0f);
}

TEST_F(InputDevice, PressesBeyondTheHitQueueAreDownButNotCounted) {
  for (int i = 0; i < kHitQueueSize; ++i) device->pressKey(40 + i);
  device->pressKey(200);
  EXPECT_TRUE(device->keyDown[200]);
  EXPECT_EQ(device->keyHitCount(200), 0);
  EXPECT_EQ(device->keyHitCount(40 + kHitQueueSize - 1), 1) << "the 33rd press still counts";
  EXPECT_EQ(device->hitQueueCount, kHitQueueSize);

  // A full queue also stops the left button's mirror from counting, not from going down.
  device->mouseEvent(4, kLeftButton, 0, 0, 0);
  EXPECT_TRUE(device->keyDown[kFirstTouchKey]);
  EXPECT_EQ(device->keyHitCount(kFirstTouchKey), 0);

  device->endUpdate();
  EXPECT_EQ(hitTotal(), 0) << "every counted hit is cleared";
  device->releaseKey(200);
  device->pressKey(200);
  EXPECT_EQ(device->keyHitCount(200), 1) << "the next update has room again";
}

TEST_F(InputDevice, KeyHitCountOutsideTheCodesIsZero) {
  device->mouseEvent(4, -1, 0, 0, 0);  // button -1 is key 0
  EXPECT_TRUE(device->keyDown[0]);
  EXPECT_EQ(device->keyHitCount(0), 0);
  EXPECT_EQ(device->keyHitCount(512), 0);
  EXPECT_EQ(device->keyHitCount(-1), 0);
  device->pressKey(511);
  EXPECT_EQ(device->keyHitCount(511), 1);
}

TEST_F(InputDevice, CodesOutsideTheArraysAreIgnored) {
  device->keyEvent(1, kKeyCodeCount);
  device->keyEvent(1, -1);
  device->keyEvent(1, 100000);
  device->keyEvent(2, kKeyCodeCount);
  device->keyEvent(2, -7);
  device->mouseEvent(4, kKeyCodeCount, 1, 1, 0);
  device->mouseEvent(5, -5, 1, 1, 0);
  device->touchEvent(7, kTouchCount, 1, 1);
  device->touchEvent(7, -1, 1, 1);
  device->touchEvent(8, kTouchCount, 1, 1);
  device->touchEvent(9, 1000, 1, 1);
  EXPECT_EQ(downCount(), 0);
  EXPECT_EQ(hitTotal(), 0);
  EXPECT_EQ(device->hitQueueCount, 0);
  for (int i = 1; i < kTouchCount; ++i) EXPECT_EQ(device->touchX[i], 0) << "touch " << i;
  // The mouse press still moves the pointer: only its key code was out of range.
  EXPECT_EQ(device->mouseX, 1);
}

TEST_F(InputDevice, JoystickButtonsBecomeKeysOfTheirPort) {
  ScriptedJoystickGame game;
  currentGame = &game;
  game.answeringPorts = 2;
  game.pressed[0] = {0, 5};
  game.pressed[1] = {31};
  device->beginUpdate();
  EXPECT_EQ(game.polled, (std::vector<int>{0, 1, 2})) << "the first port that does not answer ends the scan";
  EXPECT_TRUE(device->keyDown[kFirstJoyButtonKey + 0]);
  EXPECT_TRUE(device->keyDown[kFirstJoyButtonKey + 5]);
  EXPECT_TRUE(device->keyDown[kFirstJoyButtonKey + 32 + 31]);
  EXPECT_EQ(device->keyHitCount(kFirstJoyButtonKey + 5), 1);
  EXPECT_EQ(device->keyHitCount(kFirstJoyButtonKey + 63), 1);
  EXPECT_EQ(device->joyStates[0]->joyX[0], 0.5f) << "the poll writes into the port's own state";
  device->endUpdate();

  // Held buttons do not count again; released ones go up at the next poll.
  game.pressed[0] = {0};
  game.polled.clear();
  device->beginUpdate();
  EXPECT_EQ(device->keyHitCount(kFirstJoyButtonKey + 0), 0);
  EXPECT_TRUE(device->keyDown[kFirstJoyButtonKey + 0]);
  EXPECT_FALSE(device->keyDown[kFirstJoyButtonKey + 5]);

  // Without a host there is nothing to poll.
  currentGame = nullptr;
  device->beginUpdate();
  EXPECT_TRUE(device->keyDown[kFirstJoyButtonKey + 0]);
}

TEST_F(InputDevice, FrameworkFunctionReadsTheGlobalDevice) {
  inputDevice = nullptr;
  EXPECT_EQ(keyHitCount(kF1), 0) << "no device yet";
  inputDevice = device;
  device->pressKey(kF1);
  EXPECT_EQ(keyHitCount(kF1), 1);
  EXPECT_EQ(keyHitCount(512), 0);
  inputDevice = nullptr;
}

void checkAlive(gc_object* object, const char* what) {
  GcList list = gcListOf(object);
  EXPECT_TRUE(list != GcList::Free && list != GcList::None) << what << " was collected";
}

TEST_F(InputDevice, MarkKeepsEveryArrayAlive) {
  settleCollector();
  settleCollector();
  checkAlive(device, "device");
  checkAlive(device->joyStates.get().rep(), "joyStates");
  checkAlive(device->keyDown.get().rep(), "keyDown");
  checkAlive(device->hitQueue.get().rep(), "hitQueue");
  checkAlive(device->keyHit.get().rep(), "keyHit");
  checkAlive(device->charQueue.get().rep(), "charQueue");
  checkAlive(device->touchX.get().rep(), "touchX");
  checkAlive(device->touchY.get().rep(), "touchY");
  for (int port = 0; port < kJoyPortCount; ++port) {
    c_JoyState* state = device->joyStates[port];
    checkAlive(state, "joy state");
    checkAlive(state->joyX.get().rep(), "joyX");
    checkAlive(state->joyY.get().rep(), "joyY");
    checkAlive(state->joyZ.get().rep(), "joyZ");
    checkAlive(state->buttons.get().rep(), "buttons");
  }
  // Still usable after the collections.
  device->pressKey(kF1);
  EXPECT_EQ(device->keyHitCount(kF1), 1);
}

}  // namespace
