// The framework side of the host: the application base (whose construction attaches the one game
// delegate to the host game), the game delegate that creates the devices at start and brackets the
// application's hooks, and the framework's update-rate setter.
#include "host/delegate.h"

#include <algorithm>
#include <cstdint>

#include "audio/audio_driver.h"
#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/render_device.h"
#include "host/game.h"
#include "host/platform.h"
#include "host/runtime_error.h"
#include "host/services.h"
#include "input/input_device.h"

GcRoot<c_App*> currentApp;
GcRoot<c_GameDelegate*> currentDelegate;
int deviceWidth = 0;
int deviceHeight = 0;
int updateRate = 0;

namespace {

// Key codes that quit the application on a key-down: 416 and the close button's 432 (416 | 16).
constexpr int kQuitKeyCode = 416;
constexpr int kQuitKeyVariantBit = 16;

// The cached size is stored only when it changed (a plain int compare; cheap either way).
void refreshDeviceSize() {
  if (!currentGame) return;
  int width = currentGame->windowWidth();
  int height = currentGame->windowHeight();
  if (width != deviceWidth || height != deviceHeight) {
    deviceWidth = width;
    deviceHeight = height;
  }
}

// The fixed-step clock behind millisecs(): the time the current rate started at, plus the updates
// run at that rate times its period (multiplied, not summed, so that 1000 / 51 does not drift).
double clockBaseMillis = 0;
int64_t clockUpdates = 0;
int clockRate = 0;

double updateClockMillis() {
  return clockRate > 0 ? clockBaseMillis + static_cast<double>(clockUpdates) * 1000.0 / clockRate
                       : clockBaseMillis;
}

void startUpdateClock() {
  if (updateRate > 0 || currentGame == nullptr) return;
  clockBaseMillis = std::max(updateClockMillis(), static_cast<double>(currentGame->elapsedMillis()));
  clockUpdates = 0;
  clockRate = 0;
}

void advanceUpdateClock() {
  if (updateRate <= 0) return;
  if (updateRate != clockRate) {
    clockBaseMillis = updateClockMillis();
    clockUpdates = 0;
    clockRate = updateRate;
  }
  clockUpdates += 1;
}

gxtkAudio* openAudioDevice() {
  return new gxtkAudio();
}

}  // namespace

gxtkAudio* (*createAudioDriver)() = openAudioDevice;

c_App::c_App() {
  if (currentApp) raiseRuntimeError(String("App has already been created"));
  currentApp = this;
  c_GameDelegate* delegate = new c_GameDelegate();
  currentDelegate = delegate;
  if (currentGame) currentGame->attachDelegate(delegate);
}

void c_GameDelegate::mark() {
  graphics.mark();
  audio.mark();
  input.mark();
}

WindowRequest c_GameDelegate::requestedWindow() {
  WindowRequest request;
  if (c_App* app = currentApp) {
    request.title = app->windowTitle;
    request.width = app->windowWidth;
    request.height = app->windowHeight;
    request.resizable = app->windowResizable;
  }
  return request;
}

void c_GameDelegate::handleStart() {
  graphics = new gxtkGraphics();
  registerGraphicsDevice(graphics);
  // Makes the default font, so that it is current from the first frame.
  setFont(nullptr);

  // Every driver registers itself as the framework's driver; the default one opens the device.
  audio = createAudioDriver();

  input = new c_InputDevice();
  inputDevice = input.get();

  deviceWidth = currentGame ? currentGame->windowWidth() : 0;
  deviceHeight = currentGame ? currentGame->windowHeight() : 0;

  buildDisplayModes();

  if (currentApp) currentApp->appStart();
}

void c_GameDelegate::handleSuspend() {
  if (audio) audio->suspendAll();
}

void c_GameDelegate::handleResume() {
  if (audio) audio->resumeAll();
}

void c_GameDelegate::handleUpdate() {
  refreshDeviceSize();
  startUpdateClock();
  if (input) input->beginUpdate();
  if (currentApp) currentApp->appUpdate();
  if (input) input->endUpdate();
  advanceUpdateClock();
}

void c_GameDelegate::handleRender() {
  refreshDeviceSize();
  renderStep();
}

void c_GameDelegate::keyEvent(int event, int data) {
  // The device turns 1, 2 and 3 into pressKey, releaseKey and putChar and ignores the rest.
  if (input) input->keyEvent(event, data);
  // The quit does not depend on whether the key was already down.
  if (event == 1 && (data & ~kQuitKeyVariantBit) == kQuitKeyCode) raiseRuntimeError(String());
}

void c_GameDelegate::mouseEvent(int event, int data, float x, float y, float z) {
  if (input) input->mouseEvent(event, data, x, y, z);
}

void c_GameDelegate::touchEvent(int event, int data, float x, float y) {
  if (input) input->touchEvent(event, data, x, y);
}

void c_GameDelegate::motionEvent(int event, int data, float x, float y, float z) {
  if (input) input->motionEvent(event, data, x, y, z);
}

void c_GameDelegate::handleDiscardGraphics() {
  if (graphics) graphics->releaseGraphics();
}

void setUpdateRate(int hz) {
  updateRate = hz;
  if (currentGame) currentGame->setUpdateFrequency(hz);
}

void setWindowTitle(const String& title) {
  if (c_App* app = currentApp) app->windowTitle = title;
  if (currentGame) currentGame->setWindowTitle(title);
}

void addKeyButton(const String& label, int key) {
  showKeyButton(toStdString(label), key);
}

void markKeyButton(int key) {
  markShownKeyButton(key);
}

int millisecs() {
  return static_cast<int>(std::min(updateClockMillis(), 2147483647.0));
}

int realMillisecs() {
  return currentGame ? currentGame->elapsedMillis() : 0;
}
