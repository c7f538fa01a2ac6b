// A delegate that writes every call it receives into one log line, for the host tests.
#pragma once

#include <functional>
#include <string>

#include "host/delegate.h"
#include "host/game.h"
#include "runtime/collector.h"

// The collector's lists must be set up before the first collected allocation of the process.
inline void ensureCollector() {
  static bool done = [] {
    initCollector();
    return true;
  }();
  (void)done;
}

inline std::string formatNumber(float value) {
  std::string text = std::to_string(value);
  while (text.size() > 1 && text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

class RecordingDelegate : public VxGameDelegate {
 public:
  explicit RecordingDelegate(std::string* log) : log_(log) {}

  // Run inside the matching calls, after they were logged.
  std::function<void()> onStart, onUpdate, onRender, onKey;

  void handleStart() override { note("start", onStart); }
  void handleSuspend() override { note("suspend"); }
  void handleResume() override { note("resume"); }
  void handleUpdate() override { note("update", onUpdate); }
  void handleRender() override { note("render", onRender); }
  void keyEvent(int event, int data) override {
    note("key " + std::to_string(event) + " " + std::to_string(data), onKey);
  }
  void mouseEvent(int event, int data, float x, float y, float z) override {
    note("mouse " + std::to_string(event) + " " + std::to_string(data) + " " + formatNumber(x) + " " +
         formatNumber(y) + " " + formatNumber(z));
  }
  void touchEvent(int event, int data, float x, float y) override {
    note("touch " + std::to_string(event) + " " + std::to_string(data) + " " + formatNumber(x) + " " +
         formatNumber(y));
  }
  void motionEvent(int event, int data, float x, float y, float z) override {
    note("motion " + std::to_string(event) + " " + std::to_string(data) + " " + formatNumber(x) + " " +
         formatNumber(y) + " " + formatNumber(z));
  }
  void handleDiscardGraphics() override { note("discard"); }

 private:
  void note(const std::string& what, const std::function<void()>& then = nullptr) {
    *log_ += what + "; ";
    if (then) then();
  }
  std::string* log_;
};
