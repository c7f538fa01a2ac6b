// The GLFW host's joysticks: the port scan that keeps the first four present sticks, and the
// two button/axis layouts that turn a stick's raw GLFW values into the framework's joystick state.
#include <GLFW/glfw3.h>

#include <array>

#include "host/game.h"
#include "input/joystick_source.h"

namespace {

class GlfwJoystickSource final : public JoystickSource {
 public:
  bool present(int id) override { return glfwJoystickPresent(GLFW_JOYSTICK_1 + id) == GLFW_TRUE; }
  const float* axes(int id, int& count) override {
    count = 0;
    return glfwGetJoystickAxes(GLFW_JOYSTICK_1 + id, &count);
  }
  const unsigned char* buttons(int id, int& count) override {
    count = 0;
    return glfwGetJoystickButtons(GLFW_JOYSTICK_1 + id, &count);
  }
};

GlfwJoystickSource glfwJoysticks;
JoystickSource* activeSource = &glfwJoysticks;

constexpr int kMaxPorts = 4;

// The scan belongs to the one host game of the process; it lives here rather than in the class
// so that the host's field layout stays as documented.
struct PortScan {
  bool done = false;
  int count = 0;
  std::array<int, kMaxPorts> ids{};
};
PortScan portScan;

// A layout source code: the low 4 bits pick an axis or a button, the high bits say how to read it.
constexpr int kIndexMask = 15;
constexpr int kAxisUnsigned = 16;  // (axis + 1) / 2
constexpr int kAxisReversed = 32;  // (1 - axis) / 2
constexpr int kAxisNegated = 64;
constexpr int kButtonValue = 128;  // 1 when pressed, else 0

struct JoystickLayout {
  // joyX[0], joyY[0], joyZ[0], joyX[1], joyY[1], joyZ[1].
  std::array<int, 6> sources;
  // Output button n reads GLFW button buttonSources[n].
  std::array<int, 14> buttonSources;
};

// Sticks with exactly 5 axes and 14 buttons get layout A; every other stick gets layout B.
constexpr JoystickLayout kLayoutA = {{0, 65, 2, 4, 67, 66}, {0, 1, 2, 3, 4, 5, 6, 7, 13, 10, 11, 12, 8, 9}};
constexpr JoystickLayout kLayoutB = {{0, 1, 134, 2, 67, 135},
                                     {1, 2, 0, 3, 4, 5, 8, 9, 15, 12, 13, 14, 10, 11}};
constexpr int kLayoutAAxes = 5;
constexpr int kLayoutAButtons = 14;

// A layout can name an axis or a button that a smaller stick does not have: it reads as centred
// or released rather than past the end of GLFW's arrays.
struct RawJoystick {
  const float* axes;
  int axisCount;
  const unsigned char* buttons;
  int buttonCount;

  float axis(int i) const { return i < axisCount ? axes[i] : 0.0f; }
  bool pressed(int i) const { return i < buttonCount && buttons[i] == GLFW_PRESS; }

  float read(int code) const {
    int index = code & kIndexMask;
    if (code & kButtonValue) return pressed(index) ? 1.0f : 0.0f;
    float value = axis(index);
    if (code & kAxisUnsigned) return (value + 1.0f) / 2.0f;
    if (code & kAxisReversed) return (1.0f - value) / 2.0f;
    if (code & kAxisNegated) return -value;
    return value;
  }
};

void store(const Array<float>& values, int i, float value) {
  if (values.inRange(i)) values[i] = value;
}

}  // namespace

void setJoystickSource(JoystickSource* source) {
  activeSource = source ? source : &glfwJoysticks;
  portScan = PortScan{};
}

JoystickSource& joystickSource() {
  return *activeSource;
}

int VxGlfwGame::countJoysticks(bool rescan) {
  if (portScan.done && !rescan) return portScan.count;
  portScan = PortScan{};
  portScan.done = true;
  for (int id = 0; id < kJoystickIdCount && portScan.count < kMaxPorts; ++id) {
    if (activeSource->present(id)) portScan.ids[portScan.count++] = id;
  }
  return portScan.count;
}

bool VxGlfwGame::pollJoystick(int port, Array<float> joyX, Array<float> joyY, Array<float> joyZ,
                              Array<bool> buttons) {
  int count = countJoysticks(false);
  if (port < 0 || port >= count) return false;
  int id = portScan.ids[port];

  RawJoystick raw{};
  raw.axes = activeSource->axes(id, raw.axisCount);
  raw.buttons = activeSource->buttons(id, raw.buttonCount);
  if (!raw.axes || !raw.buttons) return false;
  if (raw.axisCount < 0) raw.axisCount = 0;
  if (raw.buttonCount < 0) raw.buttonCount = 0;

  const JoystickLayout& layout =
      raw.axisCount == kLayoutAAxes && raw.buttonCount == kLayoutAButtons ? kLayoutA : kLayoutB;

  store(joyX, 0, raw.read(layout.sources[0]));
  store(joyY, 0, raw.read(layout.sources[1]));
  store(joyZ, 0, raw.read(layout.sources[2]));
  store(joyX, 1, raw.read(layout.sources[3]));
  store(joyY, 1, raw.read(layout.sources[4]));
  store(joyZ, 1, raw.read(layout.sources[5]));

  for (int b = 0; b < buttons.length(); ++b) buttons[b] = false;
  for (int n = 0; n < static_cast<int>(layout.buttonSources.size()) && n < buttons.length(); ++n) {
    buttons[n] = raw.pressed(layout.buttonSources[n]);
  }
  return true;
}
