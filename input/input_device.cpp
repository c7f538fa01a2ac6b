// The input device: state changes for the host's key, mouse, touch and motion events, the hit
// queue that lets endUpdate clear only the keys that were hit, and joystick polling.
#include "input/input_device.h"

#include "host/game.h"

GcRoot<c_InputDevice*> inputDevice;

namespace {

constexpr int kStickCount = 2;

bool isKeyCode(int key) {
  return key >= 0 && key < kKeyCodeCount;
}

}  // namespace

c_JoyState::c_JoyState() {
  joyX = Array<float>(kStickCount);
  joyY = Array<float>(kStickCount);
  joyZ = Array<float>(kStickCount);
  buttons = Array<bool>(kJoyButtonCount);
}

void c_JoyState::mark() {
  Object::mark();
  joyX.mark();
  joyY.mark();
  joyZ.mark();
  buttons.mark();
}

c_InputDevice::c_InputDevice() {
  Array<c_JoyState*> states(kJoyPortCount);
  for (int port = 0; port < kJoyPortCount; ++port) states[port] = new c_JoyState();
  joyStates = states;
  keyDown = Array<bool>(kKeyCodeCount);
  hitQueue = Array<int>(kHitQueueSize);
  keyHit = Array<int>(kKeyCodeCount);
  charQueue = Array<int>(kCharQueueSize);
  touchX = Array<float>(kTouchCount);
  touchY = Array<float>(kTouchCount);
}

void c_InputDevice::mark() {
  Object::mark();
  joyStates.mark();
  keyDown.mark();
  hitQueue.mark();
  keyHit.mark();
  charQueue.mark();
  touchX.mark();
  touchY.mark();
}

int c_InputDevice::keyEvent(int event, int data) {
  switch (event) {
    case 1:
      pressKey(data);
      break;
    case 2:
      releaseKey(data);
      break;
    case 3:
      putChar(data);
      break;
    default:
      break;
  }
  return 0;
}

int c_InputDevice::mouseEvent(int event, int data, float x, float y, float z) {
  switch (event) {
    case 4:
      pressKey(1 + data);
      break;
    case 5:
      // A release reports where the pointer is, but the stored position only follows moves
      // and presses.
      releaseKey(1 + data);
      return 0;
    case 6:
      break;
    default:
      return 0;
  }
  mouseX = x;
  mouseY = y;
  mouseZ = z;
  touchX[0] = x;
  touchY[0] = y;
  return 0;
}

int c_InputDevice::touchEvent(int event, int index, float x, float y) {
  if (index < 0 || index >= kTouchCount) return 0;
  switch (event) {
    case 7:
      pressKey(kFirstTouchKey + index);
      break;
    case 8:
      releaseKey(kFirstTouchKey + index);
      return 0;
    case 9:
      break;
    default:
      return 0;
  }
  touchX[index] = x;
  touchY[index] = y;
  if (index == 0) {
    mouseX = x;
    mouseY = y;
  }
  return 0;
}

int c_InputDevice::motionEvent(int event, int data, float x, float y, float z) {
  (void)data;
  if (event == 10) {
    accelX = x;
    accelY = y;
    accelZ = z;
  }
  return 0;
}

void c_InputDevice::countHit(int key) {
  if (hitQueueCount >= kHitQueueSize) return;
  keyHit[key] += 1;
  hitQueue[hitQueueCount] = key;
  hitQueueCount += 1;
}

int c_InputDevice::pressKey(int key) {
  if (!isKeyCode(key) || keyDown[key]) return 0;  // held keys and auto-repeat count once
  keyDown[key] = true;
  countHit(key);
  // The left button and the first touch are one pointer seen two ways: a press of either is a
  // press of both, even when the other was already down.
  int mirror = key == kMouseLeftKey ? kFirstTouchKey : key == kFirstTouchKey ? kMouseLeftKey : 0;
  if (mirror != 0) {
    keyDown[mirror] = true;
    countHit(mirror);
  }
  return 0;
}

int c_InputDevice::releaseKey(int key) {
  if (!isKeyCode(key) || !keyDown[key]) return 0;
  keyDown[key] = false;
  released_.set(static_cast<size_t>(key));
  if (key == kMouseLeftKey) {
    keyDown[kFirstTouchKey] = false;
    released_.set(kFirstTouchKey);
  }
  if (key == kFirstTouchKey) {
    keyDown[kMouseLeftKey] = false;
    released_.set(kMouseLeftKey);
  }
  return 0;
}

int c_InputDevice::putChar(int character) {
  if (charPut < kCharQueueSize) {
    charQueue[charPut] = character;
    charPut += 1;
  }
  return 0;
}

int c_InputDevice::beginUpdate() {
  if (!currentGame) return 0;
  for (int port = 0; port < kJoyPortCount; ++port) {
    c_JoyState* state = joyStates[port];
    // A port that does not answer ends the scan: later ports keep their last state this update.
    if (!currentGame->pollJoystick(port, state->joyX, state->joyY, state->joyZ, state->buttons)) break;
    for (int button = 0; button < kJoyButtonCount; ++button) {
      int key = kFirstJoyButtonKey + kJoyButtonCount * port + button;
      if (!state->buttons[button]) {
        if (keyDown[key]) released_.set(static_cast<size_t>(key));
        keyDown[key] = false;
      } else if (!keyDown[key]) {
        keyDown[key] = true;
        countHit(key);
      }
    }
  }
  return 0;
}

int c_InputDevice::endUpdate() {
  for (int i = 0; i < hitQueueCount; ++i) keyHit[hitQueue[i]] = 0;
  hitQueueCount = 0;
  released_.reset();
  charGet = 0;
  charPut = 0;
  return 0;
}

int c_InputDevice::keyHitCount(int key) {
  if (key < 1 || key >= kKeyCodeCount) return 0;
  return keyHit[key];
}

int keyHitCount(int key) {
  c_InputDevice* device = inputDevice;
  return device ? device->keyHitCount(key) : 0;
}

int c_InputDevice::nextChar() {
  if (charGet >= charPut) return 0;
  int character = charQueue[charGet];
  charGet += 1;
  return character;
}

// --- the program's input functions ---

namespace {

constexpr int kMouseButtonCount = 3;

float joyAxis(GcField<Array<float>> c_JoyState::*axis, int index, int port) {
  c_InputDevice* device = inputDevice;
  if (device == nullptr || port < 0 || port >= kJoyPortCount) return 0;
  c_JoyState* state = device->joyStates.get().get(port);
  const Array<float>& values = (state->*axis).get();
  return values.inRange(index) ? values.get(index) : 0;
}

}  // namespace

bool keyDown(int key) {
  c_InputDevice* device = inputDevice;
  if (device == nullptr || key < 0 || key >= kKeyCodeCount) return false;
  return device->keyDown.get().get(key);
}

int keyHit(int key) {
  return keyHitCount(key);
}

bool c_InputDevice::keyReleasedSinceUpdate(int key) const {
  return isKeyCode(key) && released_.test(static_cast<size_t>(key));
}

bool keyReleased(int key) {
  c_InputDevice* device = inputDevice;
  return device != nullptr && device->keyReleasedSinceUpdate(key);
}

int getChar() {
  c_InputDevice* device = inputDevice;
  return device ? device->nextChar() : 0;
}

float mouseX() {
  c_InputDevice* device = inputDevice;
  return device ? device->mouseX : 0;
}

float mouseY() {
  c_InputDevice* device = inputDevice;
  return device ? device->mouseY : 0;
}

float mouseZ() {
  c_InputDevice* device = inputDevice;
  return device ? device->mouseZ : 0;
}

bool mouseDown(int button) {
  if (button < 0 || button >= kMouseButtonCount) return false;
  return keyDown(kMouseLeftKey + button);
}

int mouseHit(int button) {
  if (button < 0 || button >= kMouseButtonCount) return 0;
  return keyHitCount(kMouseLeftKey + button);
}

float joyX(int index, int port) {
  return joyAxis(&c_JoyState::joyX, index, port);
}

float joyY(int index, int port) {
  return joyAxis(&c_JoyState::joyY, index, port);
}

float joyZ(int index, int port) {
  return joyAxis(&c_JoyState::joyZ, index, port);
}

bool joyDown(int button, int port) {
  if (button < 0 || button >= kJoyButtonCount || port < 0 || port >= kJoyPortCount) return false;
  return keyDown(kFirstJoyButtonKey + kJoyButtonCount * port + button);
}
