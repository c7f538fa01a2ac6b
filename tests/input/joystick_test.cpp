// The GLFW host's joysticks over attached fake sticks: which ids become ports, when the scan is
// redone, the two layouts' axes and buttons, and sticks or ports the layouts do not fit.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "host/game.h"
#include "input/input_device.h"
#include "input/joystick_source.h"

namespace {

struct FakeStick {
  std::vector<float> axes;
  std::vector<unsigned char> buttons;
  bool answers = true;  // false: present, but the queries give nothing
};

class FakeJoysticks : public JoystickSource {
 public:
  std::map<int, FakeStick> sticks;
  std::set<int> queried;  // ids whose axes or buttons were read

  bool present(int id) override { return sticks.count(id) != 0; }
  const float* axes(int id, int& count) override {
    queried.insert(id);
    auto it = sticks.find(id);
    if (it == sticks.end() || !it->second.answers) return nullptr;
    count = static_cast<int>(it->second.axes.size());
    return it->second.axes.data();
  }
  const unsigned char* buttons(int id, int& count) override {
    queried.insert(id);
    auto it = sticks.find(id);
    if (it == sticks.end() || !it->second.answers) return nullptr;
    count = static_cast<int>(it->second.buttons.size());
    return it->second.buttons.data();
  }
};

// Records the ports the input device asks for, then lets the GLFW host answer.
class CountingGlfwGame : public VxGlfwGame {
 public:
  std::vector<int> polled;
  bool pollJoystick(int port, Array<float> joyX, Array<float> joyY, Array<float> joyZ,
                    Array<bool> buttons) override {
    polled.push_back(port);
    return VxGlfwGame::pollJoystick(port, joyX, joyY, joyZ, buttons);
  }
};

// A stick whose axes each have a distinct value, so that a wrong index or sign shows.
FakeStick stick(int axisCount, int buttonCount) {
  FakeStick s;
  const float values[] = {0.5f, 0.25f, -0.75f, 0.125f, 0.875f, -0.5f, 0.375f};
  for (int i = 0; i < axisCount; ++i) s.axes.push_back(values[i % 7]);
  s.buttons.assign(buttonCount, 0);
  return s;
}

struct Outputs {
  Array<float> joyX{2}, joyY{2}, joyZ{2};
  Array<bool> buttons{32};
};

class Joysticks : public ::testing::Test {
 protected:
  void SetUp() override { setJoystickSource(&fake); }
  void TearDown() override {
    setJoystickSource(nullptr);
    currentGame = savedGame;
  }

  bool poll(int port) { return game.pollJoystick(port, out.joyX, out.joyY, out.joyZ, out.buttons); }
  // The output buttons that are pressed, in order.
  std::vector<int> pressedOutputs() const {
    std::vector<int> pressed;
    for (int b = 0; b < 32; ++b) {
      if (out.buttons[b]) pressed.push_back(b);
    }
    return pressed;
  }

  FakeJoysticks fake;
  CountingGlfwGame game;
  Outputs out;
  VxGame* savedGame = currentGame;
};

TEST_F(Joysticks, FirstFourPresentIdsBecomePortsAndTheScanIsKept) {
  EXPECT_EQ(game.countJoysticks(false), 0);
  for (int id : {2, 5, 7, 9, 15}) fake.sticks[id] = stick(2, 4);
  EXPECT_EQ(game.countJoysticks(false), 0) << "the empty scan is kept until a rescan";
  EXPECT_EQ(game.countJoysticks(true), 4);

  fake.sticks[2].axes[0] = -1.0f;
  ASSERT_TRUE(poll(0));
  EXPECT_EQ(out.joyX[0], -1.0f) << "port 0 is the lowest present id";
  fake.queried.clear();
  ASSERT_TRUE(poll(3));
  EXPECT_EQ(fake.queried, (std::set<int>{9})) << "port 3 is the fourth id; id 15 is left out";

  fake.sticks.erase(2);
  EXPECT_EQ(game.countJoysticks(false), 4);
  EXPECT_FALSE(poll(0)) << "a stick that went away answers nothing";
  EXPECT_EQ(game.countJoysticks(true), 4);
  fake.queried.clear();
  ASSERT_TRUE(poll(3));
  EXPECT_EQ(fake.queried, (std::set<int>{15}));
}

TEST_F(Joysticks, OneStickLeavesTheOtherPortsUnpolled) {
  fake.sticks[3] = stick(5, 14);
  fake.sticks[3].buttons[0] = 1;
  currentGame = &game;
  GcRoot<c_InputDevice*> device;
  device = new c_InputDevice();
  // Stale state in port 1 must not turn into keys when the port does not answer.
  device->joyStates[1]->buttons[0] = true;

  device->beginUpdate();
  EXPECT_EQ(game.polled, (std::vector<int>{0, 1}));
  EXPECT_EQ(fake.queried, (std::set<int>{3})) << "only the attached stick is read";
  EXPECT_TRUE(device->keyDown[kFirstJoyButtonKey]);
  EXPECT_EQ(device->keyHitCount(kFirstJoyButtonKey), 1);
  for (int key = kFirstJoyButtonKey + kJoyButtonCount; key < kFirstTouchKey; ++key) {
    EXPECT_FALSE(device->keyDown[key]) << "key " << key;
  }
}

TEST_F(Joysticks, FiveAxesAndFourteenButtonsUseLayoutA) {
  fake.sticks[0] = stick(5, 14);
  const std::vector<float>& a = fake.sticks[0].axes;
  ASSERT_TRUE(poll(0));
  EXPECT_EQ(out.joyX[0], a[0]);
  EXPECT_EQ(out.joyY[0], -a[1]);
  EXPECT_EQ(out.joyZ[0], a[2]);
  EXPECT_EQ(out.joyX[1], a[4]);
  EXPECT_EQ(out.joyY[1], -a[3]);
  EXPECT_EQ(out.joyZ[1], -a[2]);

  // Output button n reads GLFW button source[n].
  const int source[14] = {0, 1, 2, 3, 4, 5, 6, 7, 13, 10, 11, 12, 8, 9};
  for (int n = 0; n < 14; ++n) {
    fake.sticks[0].buttons.assign(14, 0);
    fake.sticks[0].buttons[source[n]] = 1;
    ASSERT_TRUE(poll(0));
    EXPECT_EQ(pressedOutputs(), std::vector<int>{n}) << "GLFW button " << source[n];
  }
}

TEST_F(Joysticks, AnyOtherShapeUsesLayoutB) {
  fake.sticks[0] = stick(5, 15);
  const std::vector<float>& a = fake.sticks[0].axes;
  fake.sticks[0].buttons[6] = 1;
  ASSERT_TRUE(poll(0));
  EXPECT_EQ(out.joyX[0], a[0]);
  EXPECT_EQ(out.joyY[0], a[1]);
  EXPECT_EQ(out.joyZ[0], 1.0f) << "the left trigger is GLFW button 6";
  EXPECT_EQ(out.joyX[1], a[2]);
  EXPECT_EQ(out.joyY[1], -a[3]);
  EXPECT_EQ(out.joyZ[1], 0.0f) << "GLFW button 7 is up";

  const int source[14] = {1, 2, 0, 3, 4, 5, 8, 9, 15 /* beyond a 15-button stick */, 12, 13, 14, 10, 11};
  for (int n = 0; n < 14; ++n) {
    if (source[n] >= 15) continue;
    fake.sticks[0].buttons.assign(15, 0);
    fake.sticks[0].buttons[source[n]] = 1;
    ASSERT_TRUE(poll(0));
    EXPECT_EQ(pressedOutputs(), std::vector<int>{n}) << "GLFW button " << source[n];
  }
  // Buttons 6 and 7 feed the triggers only.
  fake.sticks[0].buttons.assign(15, 0);
  fake.sticks[0].buttons[7] = 1;
  ASSERT_TRUE(poll(0));
  EXPECT_EQ(pressedOutputs(), std::vector<int>{});
  EXPECT_EQ(out.joyZ[1], 1.0f);

  fake.sticks[0].buttons.assign(16, 0);
  fake.sticks[0].buttons[15] = 1;
  ASSERT_TRUE(poll(0));
  EXPECT_EQ(pressedOutputs(), std::vector<int>{8}) << "a 16-button stick reaches output 8";
}

TEST_F(Joysticks, ControlsASmallStickLacksReadAsIdle) {
  fake.sticks[0] = stick(2, 3);
  fake.sticks[0].buttons.assign(3, 1);
  out.joyX[1] = 9;
  out.joyZ[0] = 9;
  ASSERT_TRUE(poll(0));
  EXPECT_EQ(out.joyX[1], 0.0f) << "axis 2 does not exist";
  EXPECT_EQ(out.joyY[1], 0.0f) << "nor axis 3";
  EXPECT_EQ(out.joyZ[0], 0.0f) << "nor button 6";
  EXPECT_EQ(pressedOutputs(), (std::vector<int>{0, 1, 2})) << "GLFW buttons 1, 2 and 0";
}

TEST_F(Joysticks, PortsWithoutAnAnsweringStickGiveFalse) {
  fake.sticks[4] = stick(5, 14);
  fake.sticks[6] = stick(5, 14);
  fake.sticks[6].answers = false;
  out.joyX[0] = 7;
  out.buttons[3] = true;
  EXPECT_FALSE(poll(-1));
  EXPECT_FALSE(poll(2));
  EXPECT_FALSE(poll(4));
  EXPECT_FALSE(poll(1)) << "present, but its queries give nothing";
  EXPECT_EQ(out.joyX[0], 7.0f) << "nothing written on failure";
  EXPECT_TRUE(out.buttons[3]);

  // Arrays shorter than a joystick state are filled as far as they go.
  Array<float> one(1);
  Array<bool> few(4);
  EXPECT_TRUE(game.pollJoystick(0, one, one, Array<float>(), few));
}

}  // namespace
