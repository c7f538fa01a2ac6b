// A small program over the whole framework for the end-to-end key test: it prints one line per
// update in which key 114 (F3) was hit, then quits on its own a little later.
#include <string>

#include "host/delegate.h"
#include "host/game.h"
#include "host/runtime_error.h"
#include "input/input_device.h"

namespace {

constexpr int kF3 = 114;
constexpr int kUpdatesAfterHit = 50;  // about a second: room for a stray second hit to show
constexpr int kGiveUpUpdates = 51 * 30;

class c_KeyHitsApp : public c_App {
 public:
  int appStart() override {
    setUpdateRate(51);
    return 0;
  }

  int appUpdate() override {
    ++updates;
    if (updates == 1) printLine(String("ready"));
    int hits = keyHitCount(kF3);
    if (hits != 0) {
      printLine(String("update ") + String::fromInt(updates) + String(" hits 114: ") + String::fromInt(hits));
      if (firstHitUpdate == 0) firstHitUpdate = updates;
    }
    if ((firstHitUpdate != 0 && updates - firstHitUpdate >= kUpdatesAfterHit) || updates >= kGiveUpUpdates) {
      printLine(String("done"));
      quitApp();
    }
    return 0;
  }

 private:
  int updates = 0;
  int firstHitUpdate = 0;
};

}  // namespace

c_App* createApplication() {
  return new c_KeyHitsApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
