// The framework's input state: per-key down flags and per-update hit counts, a small character
// queue, pointer, touch and accelerometer values, and four joystick states. The host's events
// arrive through c_GameDelegate; the joysticks are polled through currentGame before each update.
#pragma once

#include <bitset>

#include "runtime/array.h"
#include "runtime/collector.h"

// Key codes 0-511 cover keys, mouse buttons, joystick buttons, touches and the quit codes.
constexpr int kKeyCodeCount = 512;
constexpr int kMouseLeftKey = 1;
constexpr int kFirstJoyButtonKey = 256;
constexpr int kFirstTouchKey = 384;
constexpr int kJoyPortCount = 4;
constexpr int kJoyButtonCount = 32;
constexpr int kTouchCount = 32;
// One update's worth of hits; presses beyond this keep their down flag but are not counted.
constexpr int kHitQueueSize = 33;
constexpr int kCharQueueSize = 32;

class c_JoyState : public Object {
 public:
  // Index 0 is the left stick (or trigger), 1 the right one.
  GcField<Array<float>> joyX;
  GcField<Array<float>> joyY;
  GcField<Array<float>> joyZ;
  GcField<Array<bool>> buttons;

  c_JoyState();
  void mark() override;
};

class c_InputDevice : public Object {
 public:
  GcField<Array<c_JoyState*>> joyStates;
  GcField<Array<bool>> keyDown;
  int hitQueueCount = 0;
  GcField<Array<int>> hitQueue;
  GcField<Array<int>> keyHit;
  int charGet = 0;
  int charPut = 0;
  GcField<Array<int>> charQueue;
  float mouseX = 0;
  float mouseY = 0;
  float mouseZ = 0;
  GcField<Array<float>> touchX;
  GcField<Array<float>> touchY;
  float accelX = 0;
  float accelY = 0;
  float accelZ = 0;

  c_InputDevice();
  void mark() override;

  // Host events, numbered as the delegate receives them; unknown numbers are ignored.
  int keyEvent(int event, int data);
  int mouseEvent(int event, int data, float x, float y, float z);
  int touchEvent(int event, int index, float x, float y);
  int motionEvent(int event, int data, float x, float y, float z);

  int pressKey(int key);
  int releaseKey(int key);
  int putChar(int character);

  // Around the application's update: poll the joysticks before it, clear hits and characters after.
  int beginUpdate();
  int endUpdate();

  // Presses of key since the last endUpdate; 0 for codes outside 1-511.
  int keyHitCount(int key);
  // Whether key went up since the last endUpdate; false for codes outside 0-511.
  bool keyReleasedSinceUpdate(int key) const;
  // The next character of this update's queue (0 when none is left): the read position advances.
  int nextChar();

 private:
  // Counts one hit of key if the queue has room (the down flag is the caller's business).
  void countHit(int key);
  // Keys that went up since the last endUpdate (kept beside the hits; no queue limit).
  std::bitset<kKeyCodeCount> released_;
};

// The framework's input device (created by the delegate's start handler).
extern GcRoot<c_InputDevice*> inputDevice;

// The framework function over the global device: 0 before the device exists.
int keyHitCount(int key);

// The program's input functions, all over the global device; before the game has started they
// read as "nothing pressed, nothing typed, pointer at 0, 0". Key codes are those of the table in
// input/keys.h (KEY_A, KEY_LEFT, KEY_ENTER, MOUSE_LEFT, ...).

// Whether the key is held now; false for codes outside 0-511.
bool keyDown(int key);
// How often the key went down since the previous update ended: keyHitCount under the name games
// use. Every hit is seen by exactly one update.
int keyHit(int key);
// Whether the key went up since the previous update ended (seen by exactly one update, as hits).
bool keyReleased(int key);
// The next character typed since the previous update ended, 0 when there is none. Each call
// consumes one: a loop `while (int c = getChar())` reads the whole queue once. Besides Unicode
// code points, backspace gives 8, tab 9, enter 13, escape 27, delete 127, and the cursor, page
// and home/end/insert keys their key code plus 65536.
int getChar();
// The pointer in window pixels (top-left 0, 0), as of its last move or press.
float mouseX();
float mouseY();
// The wheel's last step (positive away from the user); 0 after the next move.
float mouseZ();
// Mouse buttons 0 (left), 1 (right), 2 (middle): keys 1, 2 and 3.
bool mouseDown(int button);
int mouseHit(int button);
// Stick axes of a joystick port (0-3): index 0 is the left stick, 1 the right one; -1..1, or 0
// for a port or index without one. Its buttons are keys 256 + 32 * port + button.
float joyX(int index, int port = 0);
float joyY(int index, int port = 0);
float joyZ(int index, int port = 0);
bool joyDown(int button, int port = 0);
