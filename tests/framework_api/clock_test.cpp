// millisecs(): fixed-step time that the delegate's update handler advances by one update period.
#include <gtest/gtest.h>

#include <vector>

#include "host/delegate.h"
#include "host/game.h"

namespace {

// Records what the program's clock reads inside each update and render.
class ClockApp : public c_App {
 public:
  int appUpdate() override {
    seenInUpdates.push_back(millisecs());
    return 0;
  }
  std::vector<int> seenInUpdates;
};

// A host whose own clock the test sets.
class ScriptedClockGame : public VxGame {
 public:
  int now = 0;
  int elapsedMillis() override { return now; }
};

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    savedGame = currentGame;
    currentGame = &game;
    currentApp = nullptr;
    app = new ClockApp();
    currentApp = app;  // keeps it (and the delegate through its root) reachable
  }
  void TearDown() override {
    setUpdateRate(0);
    currentApp = nullptr;
    currentDelegate = nullptr;
    currentGame = savedGame;
  }
  ScriptedClockGame game;
  VxGame* savedGame = nullptr;
  ClockApp* app = nullptr;
};

TEST_F(Clock, UpdatesAreOnePeriodApartWhateverTheRealTime) {
  setUpdateRate(50);
  int start = millisecs();
  for (int i = 0; i < 4; ++i) {
    game.now += i == 2 ? 500 : 1;  // a stall in the middle changes nothing
    currentDelegate->handleUpdate();
  }
  ASSERT_EQ(app->seenInUpdates.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(app->seenInUpdates[i], start + 20 * i) << "update " << i + 1;
  EXPECT_EQ(millisecs(), start + 80) << "after the updates: the time of the next one";
}

TEST_F(Clock, FractionalPeriodsDoNotDrift) {
  setUpdateRate(51);
  int start = millisecs();
  for (int i = 0; i < 51 * 3; ++i) currentDelegate->handleUpdate();
  EXPECT_EQ(millisecs() - start, 3000);
}

TEST_F(Clock, WithoutAnUpdateRateUpdatesSeeTheHostClockNeverGoingBack) {
  setUpdateRate(0);
  game.now = millisecs() + 1000;
  currentDelegate->handleUpdate();
  game.now -= 400;  // a host clock that went back
  currentDelegate->handleUpdate();
  game.now += 1000;
  currentDelegate->handleUpdate();
  ASSERT_EQ(app->seenInUpdates.size(), 3u);
  EXPECT_EQ(app->seenInUpdates[1], app->seenInUpdates[0]);
  EXPECT_EQ(app->seenInUpdates[2], app->seenInUpdates[0] + 600);
}

TEST_F(Clock, RealMillisecsIsTheHostClock) {
  game.now = 1234;
  EXPECT_EQ(realMillisecs(), 1234);
}

}  // namespace
