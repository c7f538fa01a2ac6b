// The program's input functions over the global input device, fed the host's events as the
// delegate passes them on.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "input/glfw_keys.h"
#include "input/input_device.h"
#include "input/keys.h"

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

TEST_F(InputFunctions, KeyReleasedIsSeenByTheNextUpdateOnly) {
  device->keyEvent(1, KEY_SPACE);
  EXPECT_FALSE(keyReleased(KEY_SPACE)) << "down, not up";
  device->keyEvent(2, KEY_SPACE);
  device->keyEvent(2, KEY_SPACE);  // a second release of a key that is up already
  EXPECT_TRUE(keyReleased(KEY_SPACE));
  EXPECT_FALSE(keyReleased(KEY_A));
  device->mouseEvent(4, 0, 1, 1, 0);
  device->mouseEvent(5, 0, 1, 1, 0);
  EXPECT_TRUE(keyReleased(MOUSE_LEFT));
  EXPECT_TRUE(keyReleased(touchKey(0))) << "touch 0 mirrors the left button";
  device->endUpdate();
  EXPECT_FALSE(keyReleased(KEY_SPACE)) << "one update sees it";
  EXPECT_FALSE(keyReleased(MOUSE_LEFT));
  EXPECT_FALSE(keyReleased(-1));
  EXPECT_FALSE(keyReleased(512));
}

TEST(NamedKeys, AreTheCodesTheHostGivesForGlfwKeys) {
  const std::pair<int, int> keys[] = {{GLFW_KEY_LEFT, KEY_LEFT},
                                      {GLFW_KEY_RIGHT, KEY_RIGHT},
                                      {GLFW_KEY_UP, KEY_UP},
                                      {GLFW_KEY_DOWN, KEY_DOWN},
                                      {GLFW_KEY_SPACE, KEY_SPACE},
                                      {GLFW_KEY_ENTER, KEY_ENTER},
                                      {GLFW_KEY_ESCAPE, KEY_ESCAPE},
                                      {GLFW_KEY_BACKSPACE, KEY_BACKSPACE},
                                      {GLFW_KEY_TAB, KEY_TAB},
                                      {GLFW_KEY_DELETE, KEY_DELETE},
                                      {GLFW_KEY_INSERT, KEY_INSERT},
                                      {GLFW_KEY_HOME, KEY_HOME},
                                      {GLFW_KEY_END, KEY_END},
                                      {GLFW_KEY_PAGE_UP, KEY_PAGEUP},
                                      {GLFW_KEY_PAGE_DOWN, KEY_PAGEDOWN},
                                      {GLFW_KEY_LEFT_SHIFT, KEY_SHIFT},
                                      {GLFW_KEY_RIGHT_CONTROL, KEY_CONTROL},
                                      {GLFW_KEY_A, KEY_A},
                                      {GLFW_KEY_Z, KEY_Z},
                                      {GLFW_KEY_0, KEY_0},
                                      {GLFW_KEY_9, KEY_9},
                                      {GLFW_KEY_F1, KEY_F1},
                                      {GLFW_KEY_F12, KEY_F12},
                                      {GLFW_KEY_KP_0, KEY_NUM0},
                                      {GLFW_KEY_KP_ADD, KEY_NUMADD},
                                      {GLFW_KEY_KP_DIVIDE, KEY_NUMDIVIDE},
                                      {GLFW_KEY_SEMICOLON, KEY_SEMICOLON},
                                      {GLFW_KEY_EQUAL, KEY_EQUALS},
                                      {GLFW_KEY_COMMA, KEY_COMMA},
                                      {GLFW_KEY_MINUS, KEY_MINUS},
                                      {GLFW_KEY_PERIOD, KEY_PERIOD},
                                      {GLFW_KEY_SLASH, KEY_SLASH},
                                      {GLFW_KEY_GRAVE_ACCENT, KEY_GRAVE},
                                      {GLFW_KEY_LEFT_BRACKET, KEY_OPENBRACKET},
                                      {GLFW_KEY_BACKSLASH, KEY_BACKSLASH},
                                      {GLFW_KEY_RIGHT_BRACKET, KEY_CLOSEBRACKET},
                                      {GLFW_KEY_APOSTROPHE, KEY_APOSTROPHE}};
  for (auto [glfwKey, named] : keys) EXPECT_EQ(translateGlfwKey(glfwKey), named) << "GLFW key " << glfwKey;
  EXPECT_EQ(characterForKeyCode(KEY_DELETE), CHAR_DELETE);
  EXPECT_EQ(characterForKeyCode(KEY_LEFT), KEY_LEFT + CHAR_KEY);
  EXPECT_EQ(joyButtonKey(1, 2), 256 + 32 + 2);
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
