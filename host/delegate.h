// The framework side of the host: the delegate that receives host events and the application base.
// c_GameDelegate creates the devices when the game starts and calls the application's three hooks
// around the framework's own per-update and per-render work.
#pragma once

#include "runtime/collector.h"
#include "runtime/string.h"

class gxtkGraphics;
class gxtkAudio;
class c_InputDevice;

// The window a program asks for. The host reads it once, just before the window opens.
struct WindowRequest {
  String title;  // empty: the program file's name
  int width = 640;
  int height = 480;
  bool resizable = false;
};

class VxGameDelegate : public Object {
 public:
  virtual WindowRequest requestedWindow() { return WindowRequest(); }
  virtual void handleStart() {}
  virtual void handleSuspend() {}
  virtual void handleResume() {}
  virtual void handleUpdate() {}
  virtual void handleRender() {}
  virtual void keyEvent(int event, int data) { (void)event, (void)data; }
  virtual void mouseEvent(int event, int data, float x, float y, float z) {
    (void)event, (void)data, (void)x, (void)y, (void)z;
  }
  virtual void touchEvent(int event, int data, float x, float y) {
    (void)event, (void)data, (void)x, (void)y;
  }
  virtual void motionEvent(int event, int data, float x, float y, float z) {
    (void)event, (void)data, (void)x, (void)y, (void)z;
  }
  virtual void handleDiscardGraphics() {}
};

class c_App : public Object {
 public:
  c_App();
  virtual int appStart() { return 0; }
  virtual int appUpdate() { return 0; }
  virtual int appRender() { return 0; }

  // The program's window, read when it opens: set them in the constructor. The title (empty: the
  // program file's name), the size of the screen the program draws on, and whether the user may
  // resize the window. A resizable window's screen follows the window's size; a fixed one keeps
  // its size, and the host scales it up to fill a larger window (full screen, ALT+ENTER).
  String windowTitle;
  int windowWidth = 640;
  int windowHeight = 480;
  bool windowResizable = false;
};

class c_GameDelegate : public VxGameDelegate {
 public:
  GcField<gxtkGraphics*> graphics;
  GcField<gxtkAudio*> audio;
  GcField<c_InputDevice*> input;

  void mark() override;
  WindowRequest requestedWindow() override;
  void handleStart() override;
  void handleSuspend() override;
  void handleResume() override;
  void handleUpdate() override;
  void handleRender() override;
  void keyEvent(int event, int data) override;
  void mouseEvent(int event, int data, float x, float y, float z) override;
  void touchEvent(int event, int data, float x, float y) override;
  void motionEvent(int event, int data, float x, float y, float z) override;
  void handleDiscardGraphics() override;
};

// Framework globals (collector roots).
extern GcRoot<c_App*> currentApp;
extern GcRoot<c_GameDelegate*> currentDelegate;
extern int deviceWidth;
extern int deviceHeight;
// The framework's update-rate global: the last rate given to setUpdateRate.
extern int updateRate;

// The framework's update-rate setter: applications call this one.
void setUpdateRate(int hz);

// Changes the window's title, at once when the window is open.
void setWindowTitle(const String& title);

// For screens without a keyboard (a phone): in the browser, a button under the program's screen
// that presses the key as the keyboard would (a press and a release), one per call, in order;
// markKeyButton shows which one is current (a key without a button: none). In a native window,
// which has its keyboard, neither does anything.
void addKeyButton(const String& label, int key);
void markKeyButton(int key);

// The program's clock in milliseconds, for movement and timers. It is fixed-step time: update n
// (counting from 1) sees (n - 1) x the update period, whenever it really runs, so the updates of
// a catch-up burst see evenly spaced times, and the clock stands still while the game is
// suspended. The render hook sees the time of the next update. With an update rate of 0 each update
// sees the host's clock instead (never going back). 0 before the first update.
int millisecs();
// The host's own clock: milliseconds since the host started (0 without a host).
int realMillisecs();

// Makes the audio driver that handleStart installs. The default opens the OpenAL output device; a
// host that mixes the sound somewhere else (the capture tool's loopback device) replaces it before
// hostStart.
extern gxtkAudio* (*createAudioDriver)();

// Constructs the program's application (a collected c_App subclass). Each program that calls
// startHost defines it; startHost calls it inside the runtime-exception handler.
c_App* createApplication();
