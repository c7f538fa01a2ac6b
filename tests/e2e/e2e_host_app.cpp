// A program of its own on the framework, for the end-to-end host tests. E2E_HOST_MODE chooses:
//   rate  (default) asks for 51 updates a second, counts the updates it gets over four seconds
//         (after one second of settling), prints the count and quits;
//   throw the application's construction throws a runtime exception;
//   none  no application is constructed at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/delegate.h"
#include "host/game.h"
#include "host/runtime_error.h"

namespace {

constexpr int kSettleMillis = 1000;
constexpr int kMeasureMillis = 4000;

class RateApp : public c_App {
 public:
  int appStart() override {
    setUpdateRate(51);
    return 0;
  }
  int appUpdate() override {
    int now = currentGame->elapsedMillis();
    if (firstMillis_ < 0) {
      if (now < kSettleMillis) return 0;
      firstMillis_ = now;
    }
    ++updates_;
    if (now - firstMillis_ >= kMeasureMillis) {
      std::printf("updates %d from %d ms to %d ms\n", updates_, firstMillis_, now);
      std::fflush(stdout);
      quitApp();
    }
    return 0;
  }

 private:
  int firstMillis_ = -1;
  int updates_ = 0;
};

}  // namespace

c_App* createApplication() {
  const char* mode = std::getenv("E2E_HOST_MODE");
  if (mode && std::strcmp(mode, "throw") == 0) throw new ThrowableObject();
  if (mode && std::strcmp(mode, "none") == 0) return nullptr;
  return new RateApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
