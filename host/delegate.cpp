// The framework side of the host: the application base (whose construction attaches the one game
// delegate to the host game), the game delegate that creates the devices at start and brackets the
// application's hooks, and the framework's update-rate setter.
#include "host/delegate.h"

#include "audio/audio_driver.h"
#include "graphics/graphics_context.h"
#include "graphics/render_device.h"
#include "host/game.h"
#include "host/runtime_error.h"
#include "host/services.h"

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

}  // namespace

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
  // PENDING (input): input.mark() once c_InputDevice is a complete type here.
}

void c_GameDelegate::handleStart() {
  graphics = new gxtkGraphics();
  registerGraphicsDevice(graphics);
  // PENDING (fonts): setFont(nullptr) here, right after registering the device, once the font
  // module (graphics/font.h) exists; it makes the default font current from the first frame.

  // The constructor opens the OpenAL device and registers itself as the framework's driver.
  audio = new gxtkAudio();

  // PENDING (input): input = new c_InputDevice(), also stored in the framework's input-device
  // reference, once input/input_device.h exists.

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
  // PENDING (input): input->beginUpdate() before and input->endUpdate() after the hook.
  if (currentApp) currentApp->appUpdate();
}

void c_GameDelegate::handleRender() {
  refreshDeviceSize();
  renderStep();
}

void c_GameDelegate::keyEvent(int event, int data) {
  switch (event) {
    case 1:
      // PENDING (input): input->pressKey(data).
      // The quit does not depend on whether the key was already down.
      if ((data & ~kQuitKeyVariantBit) == kQuitKeyCode) raiseRuntimeError(String());
      break;
    case 2:
      // PENDING (input): input->releaseKey(data).
      break;
    case 3:
      // PENDING (input): input->putChar(data).
      break;
    default:
      break;
  }
}

void c_GameDelegate::mouseEvent(int event, int data, float x, float y, float z) {
  // PENDING (input): forwarded to the input device's mouse handling (events 4-6).
  (void)event, (void)data, (void)x, (void)y, (void)z;
}

void c_GameDelegate::touchEvent(int event, int data, float x, float y) {
  // PENDING (input): forwarded to the input device's touch handling (events 7-9).
  (void)event, (void)data, (void)x, (void)y;
}

void c_GameDelegate::motionEvent(int event, int data, float x, float y, float z) {
  // PENDING (input): forwarded to the input device's motion handling (event 10).
  (void)event, (void)data, (void)x, (void)y, (void)z;
}

void c_GameDelegate::handleDiscardGraphics() {
  if (graphics) graphics->releaseGraphics();
}

void setUpdateRate(int hz) {
  updateRate = hz;
  if (currentGame) currentGame->setUpdateFrequency(hz);
}
