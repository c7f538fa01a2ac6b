// The base host game: plain field accessors, the collector step that follows every delivered
// event, and the ten host entries that check the game flags and hand one call to the delegate.
// Platform services live in the GLFW host (host/glfw_game.cpp) and in host/files.cpp and
// host/services.cpp.
#include "host/game.h"

#include "host/delegate.h"
#include "host/runtime_error.h"
#include "host/services.h"
#include "runtime/collector.h"

VxGame* currentGame = nullptr;
int contextGeneration = 0;

VxGame::VxGame() = default;
VxGame::~VxGame() = default;

void VxGame::attachDelegate(VxGameDelegate* delegate) {
  attachedDelegate_ = delegate;
}
VxGameDelegate* VxGame::attachedDelegate() {
  return attachedDelegate_;
}
void VxGame::setKeyboardRequested(bool requested) {
  keyboardRequested_ = requested;
}
bool VxGame::keyboardRequested() {
  return keyboardRequested_;
}
void VxGame::setUpdateFrequency(int hz) {
  updateFrequency_ = hz;
}
int VxGame::updateFrequency() {
  return updateFrequency_;
}
bool VxGame::isRunning() {
  return running_;
}
bool VxGame::isPaused() {
  return paused_;
}
int VxGame::elapsedMillis() {
  return 0;
}
int VxGame::countJoysticks(bool) {
  return 0;
}
bool VxGame::pollJoystick(int, Array<float>, Array<float>, Array<float>, Array<bool>) {
  return false;
}
void VxGame::openInShell(const String&) {}
void VxGame::showPointer(bool) {}
int VxGame::windowWidth() {
  return 0;
}
int VxGame::windowHeight() {
  return 0;
}
void VxGame::openWindow(int, int, int) {}
Array<VxDisplayMode*> VxGame::enumerateDisplayModes() {
  return Array<VxDisplayMode*>();
}
VxDisplayMode* VxGame::currentDesktopMode() {
  return nullptr;
}
void VxGame::setVsyncInterval(int) {}
void VxGame::setWindowTitle(const String&) {}
unsigned char* VxGame::loadImageData(const String&, int&, int&, int&) {
  return nullptr;
}
unsigned char* VxGame::loadAudioData(const String&, int&, int&, int&, int&) {
  return nullptr;
}

void VxGame::collectStep() {
  // The delegate is held only by this plain pointer and a framework root; marking it here keeps
  // it alive even if the root is replaced mid-cycle.
  if (attachedDelegate_) blackenNow(attachedDelegate_);
  ::collectStep();
}

namespace {

// Runs one delegate call; a runtime exception that escapes it ends the process through
// reportUncaught, so the collector step after it only runs when the call returned normally.
template <class Call>
void deliver(VxGame& game, Call call) {
  try {
    call(*game.attachedDelegate());
  } catch (ThrowableObject* exception) {
    game.reportUncaught(exception);
  }
  game.collectStep();
}

}  // namespace

// Every entry needs a delegate as well as its flag condition: events that arrive before the
// application exists (or in a host with none attached) are dropped like events before hostStart.

void VxGame::hostStart() {
  if (running_ || !attachedDelegate_) return;
  running_ = true;
  deliver(*this, [](VxGameDelegate& d) { d.handleStart(); });
}

void VxGame::hostSuspend() {
  if (!running_ || paused_) return;
  paused_ = true;
  deliver(*this, [](VxGameDelegate& d) { d.handleSuspend(); });
}

void VxGame::hostResume() {
  if (!running_ || !paused_) return;
  paused_ = false;
  deliver(*this, [](VxGameDelegate& d) { d.handleResume(); });
}

void VxGame::hostUpdate() {
  if (!running_ || paused_) return;
  deliver(*this, [](VxGameDelegate& d) { d.handleUpdate(); });
}

void VxGame::hostRender() {
  if (!running_) return;
  deliver(*this, [](VxGameDelegate& d) { d.handleRender(); });
}

void VxGame::hostKey(int event, int data) {
  if (!running_) return;
  deliver(*this, [=](VxGameDelegate& d) { d.keyEvent(event, data); });
}

void VxGame::hostMouse(int event, int data, float x, float y, float z) {
  if (!running_) return;
  deliver(*this, [=](VxGameDelegate& d) { d.mouseEvent(event, data, x, y, z); });
}

void VxGame::hostTouch(int event, int data, float x, float y) {
  if (!running_) return;
  deliver(*this, [=](VxGameDelegate& d) { d.touchEvent(event, data, x, y); });
}

void VxGame::hostMotion(int event, int data, float x, float y, float z) {
  if (!running_) return;
  deliver(*this, [=](VxGameDelegate& d) { d.motionEvent(event, data, x, y, z); });
}

void VxGame::hostDiscardGraphics() {
  if (!running_) return;
  deliver(*this, [](VxGameDelegate& d) { d.handleDiscardGraphics(); });
}
