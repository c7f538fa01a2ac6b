// The host game classes: the native layer under the framework. One VxCorvaneGame (reachable as
// currentGame) owns GLFW, the window and its OpenGL context, the frame loop and the platform
// services; it talks to the framework only through its attached VxGameDelegate.
#pragma once

#include <cstdio>

#include "host/screen_scaler.h"
#include "runtime/array.h"
#include "runtime/string.h"

struct GLFWwindow;
class VxGameDelegate;
class VxDisplayMode;
class ThrowableObject;

class VxGame {
 public:
  VxGame();
  virtual ~VxGame();

  // Virtual operations in table-slot order.
  virtual void attachDelegate(VxGameDelegate* delegate);
  virtual VxGameDelegate* attachedDelegate();
  virtual void setKeyboardRequested(bool requested);
  virtual bool keyboardRequested();
  virtual void setUpdateFrequency(int hz);
  virtual int updateFrequency();
  virtual bool isRunning();
  virtual bool isPaused();
  virtual int elapsedMillis();
  virtual void readDate(Array<int> values);
  virtual int storeStateText(const String& text);
  virtual String fetchStateText();
  virtual String loadTextFile(const String& path);
  virtual int countJoysticks(bool rescan);
  virtual bool pollJoystick(int port, Array<float> joyX, Array<float> joyY, Array<float> joyZ,
                            Array<bool> buttons);
  virtual void openInShell(const String& target);
  virtual void showPointer(bool visible);
  virtual int windowWidth();
  virtual int windowHeight();
  virtual void openWindow(int width, int height, int flags);
  virtual Array<VxDisplayMode*> enumerateDisplayModes();
  virtual VxDisplayMode* currentDesktopMode();
  virtual void setVsyncInterval(int interval);
  virtual String resolvePath(const String& path);
  virtual FILE* openHostFile(const String& path, const String& mode);
  // A malloc'd block owned by the caller, or null.
  virtual unsigned char* readFileBytes(const String& path, int& size);
  // A malloc'd pixel block (rows top first, depth bytes per pixel), or null.
  virtual unsigned char* loadImageData(const String& path, int& width, int& height, int& depth);
  // A malloc'd PCM block (length frames of channels interleaved samples), or null.
  virtual unsigned char* loadAudioData(const String& path, int& length, int& channels, int& bytesPerSample,
                                       int& rate);
  [[noreturn]] virtual void reportUncaught(ThrowableObject* exception);
  virtual void collectStep();
  virtual void hostStart();
  virtual void hostSuspend();
  virtual void hostResume();
  virtual void hostUpdate();
  virtual void hostRender();
  virtual void hostKey(int event, int data);
  virtual void hostMouse(int event, int data, float x, float y, float z);
  virtual void hostTouch(int event, int data, float x, float y);
  virtual void hostMotion(int event, int data, float x, float y, float z);
  virtual void hostDiscardGraphics();
  // Beyond the table: the window's title, changed while the program runs.
  virtual void setWindowTitle(const String& title);

 protected:
  VxGameDelegate* attachedDelegate_ = nullptr;
  bool keyboardRequested_ = false;
  int updateFrequency_ = 0;
  bool running_ = false;
  bool paused_ = false;
};

class VxGlfwGame : public VxGame {
 public:
  // Overrides marked [owner] are declared by the code that defines them, when it lands.
  VxGlfwGame();
  ~VxGlfwGame() override;

  // Also sets the period and restarts the schedule (the base only stores the frequency).
  void setUpdateFrequency(int hz) override;
  int elapsedMillis() override;
  int countJoysticks(bool rescan) override;
  bool pollJoystick(int port, Array<float> joyX, Array<float> joyY, Array<float> joyZ,
                    Array<bool> buttons) override;
  void openInShell(const String& target) override;
  void showPointer(bool visible) override;
  int windowWidth() override;
  int windowHeight() override;
  void openWindow(int width, int height, int flags) override;
  Array<VxDisplayMode*> enumerateDisplayModes() override;
  VxDisplayMode* currentDesktopMode() override;
  void setVsyncInterval(int interval) override;
  String resolvePath(const String& path) override;
  unsigned char* loadImageData(const String& path, int& width, int& height, int& depth) override;
  unsigned char* loadAudioData(const String& path, int& length, int& channels, int& bytesPerSample,
                               int& rate) override;

  void setWindowTitle(const String& title) override;
  // Draws into the scaled screen's buffer when the window is not the screen's size.
  void hostRender() override;

  // The one loop of the program: returns when the window should close.
  void runFrames();
  // Opens the window the attached delegate asks for (WindowRequest), at the scale and in the
  // mode of screenOptions. A scale larger than the desktop holds ends the program (status 2).
  void openProgramWindow();

  GLFWwindow* window() const { return window_; }

  // Full screen on the primary monitor at its current mode (no mode switch), or back to the
  // centred window. The OpenGL context, and so every texture, stays.
  void setFullscreen(bool on);
  bool isFullscreen() const;
  // Whether the program's screen is drawn offscreen and scaled into the window.
  bool screenIsScaled() const { return scaler_.active(); }
  // A pointer position in the window's coordinates, in the program's screen's coordinates.
  void windowToScreen(double& x, double& y);
  // Shows the frame drawn since the last one: copies a scaled screen into the window and swaps
  // the window's buffers. True when a scaled screen was put into the window from memory, which
  // needs no swap (host/x11_image.h).
  bool presentScreen();
  // The window's new size (its size callback).
  void windowResized(int width, int height);

  // Fields, in their documented order.
  int desktopVideoMode[6] = {0, 0, 0, 0, 0, 0};  // width, height, red, green, blue bits, refresh
  GLFWwindow* window_ = nullptr;
  int windowWidth_ = 0;
  int windowHeight_ = 0;
  int vsyncInterval = 1;
  bool hadFocus = true;
  double updatePeriod = 0;
  double nextUpdateTime = 0;
  String appDirectory;
  String internalDirectory;
  // The title openWindow gives the window (empty: the program file's name).
  String windowTitle;

 private:
  // Makes the drawing target follow the window: the window itself when it is the screen's size
  // (or the screen follows the window), otherwise the scaled screen's buffer.
  void chooseDrawingTarget();

  ScreenScaler scaler_;
  bool screenFollowsWindow_ = true;  // a resizable program's screen is its window
  bool openHidden_ = false;          // the window goes full screen as soon as it is open
  // Where the window was before it went full screen, to go back to.
  int windowedX_ = 0, windowedY_ = 0, windowedWidth_ = 0, windowedHeight_ = 0;
};

// How the host shows the program's window, chosen before startHost (the intro's command line).
// The defaults show the window at the program's own size.
struct ScreenOptions {
  bool fullscreen = false;  // the primary monitor at its current desktop mode, the screen scaled
  int scale = 1;            // a window this many times the program's size
};
extern ScreenOptions screenOptions;

class VxCorvaneGame : public VxGlfwGame {
 public:
  VxCorvaneGame();
  ~VxCorvaneGame() override;
};

// The one host game object (a plain heap object, not collected; it lives for the whole process).
extern VxGame* currentGame;
// Incremented by every successful window creation; textures of older generations are gone.
extern int contextGeneration;

// The program entry's body: returns the exit status (0).
int startHost(int argc, char** argv);
