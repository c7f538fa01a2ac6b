// The capture host: a GLFW host game that runs the intro's own application in a hidden window on
// recorded time instead of the wall clock, and the start-up that puts it in place of the
// program's host. Pictures are read back from the OpenGL context; the sound is mixed through an
// OpenAL Soft loopback device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/game.h"
#include "tools/capture/capture_options.h"

class AlLoopback;

namespace capture {

// One pass per frame, in the real frame loop's order:
//   1. hostRender (the frame shows the state the previous update left), then the picture is read
//      back from the back buffer (no buffer swap: nobody looks at the hidden window);
//   2. the window events of the pass: the scripted presses for the coming update, each as
//      hostKey(1, code), the key's character event if it has one, hostKey(2, code);
//   3. exactly one hostUpdate;
//   4. the sound of the interval that update starts: 44100/51 frames, the fraction carried.
// Recorded time advances by 1/51 s per pass; nothing sleeps and no window event is processed.
class CaptureGame : public VxGlfwGame {
 public:
  // Milliseconds of recorded time at the start of the current pass.
  int elapsedMillis() override;
  // A fixed date, 2000-01-01 00:00:00, plus the recorded time.
  void readDate(Array<int> values) override;
  // The frame loop's window, hidden once it is made.
  void openWindow(int width, int height, int flags) override;

  // Opens the window, starts the game and records options.frames passes: pictures into
  // options.outDir, the sound appended to `samples` (interleaved 16-bit stereo). False with a
  // reason when a picture cannot be written. `pictures` receives the number written.
  bool record(const Options& options, AlLoopback& sound, std::vector<int16_t>& samples, int& pictures,
              std::string& error);

 private:
  void deliverPress(const ScriptedKey& key);

  int64_t framesBefore_ = 0;  // passes completed before the current one
};

// The program start-up of the real host with the capture host in place: GLFW, the host game,
// fatal signals, locale, collector and framework globals, the audio driver on the current OpenAL
// context (make the loopback context current first), and the intro's application. Null with a
// reason when GLFW cannot start (no display).
CaptureGame* startCaptureHost(std::string& error);

}  // namespace capture
