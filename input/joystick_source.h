// Where the GLFW host reads joysticks from. The real source asks GLFW; tests attach one with
// fake sticks, so that the port scan and the layouts run against known axes and buttons.
#pragma once

class JoystickSource {
 public:
  virtual ~JoystickSource() = default;
  virtual bool present(int id) = 0;
  // Null when the joystick gives nothing; count receives the number of values otherwise.
  virtual const float* axes(int id, int& count) = 0;
  // One byte per button, 1 = pressed (GLFW_PRESS).
  virtual const unsigned char* buttons(int id, int& count) = 0;
};

// Joystick ids the host asks about (GLFW's 0-15).
constexpr int kJoystickIdCount = 16;

// Replaces the source (null = GLFW again) and forgets the last port scan, whose ids belonged to
// the old source. The source is not owned.
void setJoystickSource(JoystickSource* source);
JoystickSource& joystickSource();
