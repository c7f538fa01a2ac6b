// The capture host's passes and its start-up.
#include "tools/capture/capture_host.h"

#include <GLFW/glfw3.h>

#include <cstdio>
#include <ctime>

#include "audio/audio_driver.h"
#include "audio/loopback.h"
#include "graphics/graphics_context.h"
#include "graphics/render_device.h"
#include "host/delegate.h"
#include "host/frame_loop.h"
#include "host/headless.h"
#include "host/runtime_error.h"
#include "runtime/collector.h"
#include "tools/capture/capture_output.h"
#include "vumo/song_runner.h"

namespace capture {
namespace {

static_assert(vumo::kTicksPerSecond == kFramesPerSecond, "the sound is cut into update intervals");

// The window the real frame loop opens: 640 x 480, decorated.
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
constexpr int kWindowFlags = 4;

constexpr int kKeyDown = 1;
constexpr int kKeyUp = 2;
constexpr int kCharacter = 3;

// 2000-01-01 00:00:00 UTC: the recording's date never depends on when it was made.
constexpr std::time_t kRecordingEpoch = 946684800;

// The read-back buffer, reused by every picture.
GcRoot<Array<int>> framePixels;

void reportGlfwError(int code, const char* message) {
  std::fprintf(stderr, "brackenfold-capture: GLFW error %d: %s\n", code, message ? message : "");
}

gxtkAudio* adoptCurrentContext() {
  return new gxtkAudio(gxtkAudio::kOnCurrentContext);
}

}  // namespace

int CaptureGame::elapsedMillis() {
  return static_cast<int>(framesBefore_ * 1000 / kFramesPerSecond);
}

void CaptureGame::readDate(Array<int> values) {
  const std::time_t now = kRecordingEpoch + elapsedMillis() / 1000;
  std::tm date = {};
  gmtime_r(&now, &date);
  const int fields[7] = {
      date.tm_year + 1900, date.tm_mon + 1, date.tm_mday, date.tm_hour, date.tm_min, date.tm_sec, 0};
  for (int i = 0; i < values.length() && i < 7; ++i) values[i] = fields[i];
}

void CaptureGame::openWindow(int width, int height, int flags) {
  // The frame loop's window, callbacks and context as they are; the base shows the window, so it
  // is hidden again at once. Its back buffer is drawn and read all the same.
  VxGlfwGame::openWindow(width, height, flags);
  if (window_) glfwHideWindow(window_);
}

void CaptureGame::deliverPress(const ScriptedKey& key) {
  // The GLFW callbacks' sequence for one press and release: key down, the key's character (from
  // the key table, or the typed character), key up.
  hostKey(kKeyDown, key.code);
  if (key.character != 0) hostKey(kCharacter, key.character);
  hostKey(kKeyUp, key.code);
}

bool CaptureGame::record(const Options& options, AlLoopback& sound, std::vector<int16_t>& samples,
                         int& pictures, std::string& error) {
  pictures = 0;
  framesBefore_ = 0;
  openWindow(kWindowWidth, kWindowHeight, kWindowFlags);
  // As in the real loop: the driver's per-frame memory stays mapped instead of being faulted in anew.
  keepHeapBetweenFrames();
  hostStart();

  samples.reserve(samples.size() + static_cast<size_t>(vumo::framesBeforeTick(options.frames)) * 2);
  std::vector<float> mixed;
  size_t nextKey = 0;
  for (int frame = 1; frame <= options.frames; ++frame) {
    framesBefore_ = frame - 1;

    hostRender();
    if ((frame - 1) % options.every == 0) {
      gxtkGraphics* device = registeredDevice;
      const int width = windowWidth_, height = windowHeight_;
      if (framePixels.length() != width * height) framePixels = Array<int>(width * height);
      if (device) device->readPixels(framePixels, 0, 0, width, height, 0, width);
      const std::string path = options.outDir + "/" + pictureName(++pictures);
      if (device == nullptr || !writePicture(path, framePixels, width, height)) {
        error = "cannot write " + path;
        return false;
      }
    }

    while (nextKey < options.keys.size() && options.keys[nextKey].update == frame) {
      deliverPress(options.keys[nextKey++]);
    }

    hostUpdate();

    const int count = static_cast<int>(vumo::framesBeforeTick(frame) - vumo::framesBeforeTick(frame - 1));
    mixed.assign(static_cast<size_t>(count) * 2, 0.0f);
    sound.render(mixed.data(), count);
    appendSamples(mixed, samples);
  }
  framesBefore_ = options.frames;
  return true;
}

CaptureGame* startCaptureHost(std::string& error) {
  glfwSetErrorCallback(reportGlfwError);
  if (!glfwInit()) {
    error = "cannot start GLFW: an X display is needed (DISPLAY; for example run under scripts/with-xvfb)";
    return nullptr;
  }

  // Lives for the whole process, like the program's host game.
  auto* game = new CaptureGame();
  currentGame = game;

  installFatalSignalHandlers();
  useUtf8Locale();

  try {
    initCollector();
    currentApp = nullptr;
    currentDelegate = nullptr;
    initGraphicsContext();
    markRoots();
    createAudioDriver = adoptCurrentContext;
    // The c_App constructor creates the game delegate and attaches it to currentGame.
    createApplication();
  } catch (ThrowableObject* exception) {
    glfwTerminate();
    game->reportUncaught(exception);
  }
  if (game->attachedDelegate() == nullptr) {
    error = "the application did not attach a delegate";
    return nullptr;
  }
  return game;
}

}  // namespace capture
