// The frame loop's pass over a fake clock and event source: what one pass does, in which order,
// and how the update schedule follows stalls, frequency changes and focus changes.
#include "host/frame_loop.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "host/game.h"
#include "recording_delegate.h"

namespace {

// Sleeping moves the clock; the events step runs a test's script in the place of the window
// callbacks.
class FakePlatform : public FramePlatform {
 public:
  explicit FakePlatform(std::string* log) : log_(log) {}

  double now = 100.0;
  bool focused = true;
  bool closing = false;
  std::function<void()> onEvents;

  bool windowShouldClose() override { return closing; }
  void swapBuffers() override { *log_ += "swap; "; }
  double currentTime() override { return now; }
  void sleepMillis(int milliseconds) override {
    *log_ += "sleep " + std::to_string(milliseconds) + "; ";
    now += milliseconds / 1000.0;
  }
  void waitEvents() override { events("wait"); }
  void pollEvents() override { events("poll"); }
  bool windowHasFocus() override { return focused; }

 private:
  void events(const char* how) {
    *log_ += std::string(how) + "; ";
    if (onEvents) onEvents();
  }
  std::string* log_;
};

GcRoot<RecordingDelegate*> loopDelegate;

class FrameLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureCollector();
    delegate = new RecordingDelegate(&log);
    loopDelegate = delegate;
    game.attachDelegate(delegate);
    game.hostStart();
    // Four updates a second: a period of 0.25 s keeps every sum on the fake clock exact.
    game.setUpdateFrequency(4);
    log.clear();
  }
  void TearDown() override { loopDelegate = nullptr; }

  // Runs one pass and returns what it did.
  std::string pass() {
    log.clear();
    EXPECT_TRUE(runFramePass(game, platform));
    return log;
  }

  std::string log;
  VxGlfwGame game;
  FakePlatform platform{&log};
  RecordingDelegate* delegate = nullptr;
};

TEST_F(FrameLoopTest, FirstPassRendersBeforeTheFirstUpdateThenSleepsUntilEachUpdateIsDue) {
  EXPECT_EQ(pass(), "render; swap; poll; update; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 100.25);
  EXPECT_EQ(pass(), "render; swap; sleep 250; poll; update; ");
  EXPECT_DOUBLE_EQ(platform.now, 100.25);
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 100.5);
}

TEST_F(FrameLoopTest, FrequencyZeroRunsOneUpdatePerPassWithoutWaiting) {
  game.setUpdateFrequency(0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pass(), "render; swap; poll; update; ") << "pass " << i;
    EXPECT_EQ(game.nextUpdateTime, 0);
  }
  EXPECT_DOUBLE_EQ(game.updatePeriod, 0.25) << "frequency 0 keeps the old period";
}

TEST_F(FrameLoopTest, AStallRunsAtMostFourUpdatesAndThenStartsAFreshSchedule) {
  pass();
  platform.onEvents = [&] { platform.now += 10; };  // the window is dragged for ten seconds
  EXPECT_EQ(pass(), "render; swap; sleep 250; poll; update; update; update; update; ");
  EXPECT_EQ(game.nextUpdateTime, 0) << "the backlog is dropped";
  platform.onEvents = nullptr;
  EXPECT_EQ(pass(), "render; swap; poll; update; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, platform.now + 0.25);
}

TEST_F(FrameLoopTest, ASmallerBacklogIsCaughtUpWithinThePass) {
  pass();
  platform.onEvents = [&] { platform.now += 0.6; };
  // Due at 100.25 and 100.5 and 100.75, the clock reads 100.85 after the events.
  EXPECT_EQ(pass(), "render; swap; sleep 250; poll; update; update; update; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 101.0);
}

TEST_F(FrameLoopTest, ChangingTheFrequencyInsideAnUpdateEndsThatPassesUpdates) {
  pass();
  platform.onEvents = [&] { platform.now += 10; };
  delegate->onUpdate = [&] { game.setUpdateFrequency(8); };
  EXPECT_EQ(pass(), "render; swap; sleep 250; poll; update; ");
  EXPECT_EQ(game.nextUpdateTime, 0);
  delegate->onUpdate = nullptr;
  platform.onEvents = nullptr;
  EXPECT_EQ(pass(), "render; swap; poll; update; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, platform.now + 0.125);
}

TEST_F(FrameLoopTest, LosingFocusSuspendsAndRegainingItResumesWithAFreshSchedule) {
  pass();
  platform.focused = false;
  EXPECT_EQ(pass(), "render; swap; sleep 250; poll; suspend; ");
  EXPECT_TRUE(game.isPaused());
  EXPECT_EQ(game.nextUpdateTime, 0);
  // Suspended: still renders, blocks for events, runs no updates, and does not suspend again.
  EXPECT_EQ(pass(), "render; swap; wait; ");
  EXPECT_EQ(pass(), "render; swap; wait; ");
  platform.focused = true;
  platform.now = 200;
  EXPECT_EQ(pass(), "render; swap; wait; resume; update; ");
  EXPECT_FALSE(game.isPaused());
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 200.25);
}

TEST_F(FrameLoopTest, AWindowThatNeverHadFocusIsNeverSuspended) {
  game.hadFocus = false;  // as openWindow leaves it
  platform.focused = false;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pass().find("suspend"), std::string::npos) << "pass " << i;
  EXPECT_FALSE(game.isPaused());
  platform.focused = true;
  pass();
  EXPECT_TRUE(game.hadFocus);
  platform.focused = false;
  EXPECT_EQ(pass(), "render; swap; sleep 250; poll; suspend; ");
}

TEST_F(FrameLoopTest, APassDoesNothingOnceTheWindowShouldClose) {
  platform.closing = true;
  log.clear();
  EXPECT_FALSE(runFramePass(game, platform));
  EXPECT_EQ(log, "");
}

// --- the same passes driven by callbacks that cannot block (the browser's animation frames) ---

class SteppedFrameLoopTest : public FrameLoopTest {
 protected:
  using Step = SteppedFrameLoop::Step;

  // One callback at the given time; returns what it did.
  std::string frameAt(double time, int pageEvents = 0) {
    platform.now = time;
    log.clear();
    loop.onFrame(pageEvents);
    return log;
  }

  SteppedFrameLoop loop{game, platform};
};

TEST_F(SteppedFrameLoopTest, TheFirstCallbackRendersThenEachPassWaitsForItsUpdateTime) {
  EXPECT_EQ(frameAt(100.0), "render; swap; ") << "the first pass renders before the first update";
  // The pass's events and updates come with the next callback, whatever its time: nothing is
  // scheduled yet, so the first update is due at once.
  EXPECT_EQ(frameAt(100.01), "poll; update; render; swap; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 100.26);
  EXPECT_EQ(frameAt(100.2), "") << "before the wait has elapsed nothing happens";
  EXPECT_EQ(frameAt(100.25), "");
  EXPECT_EQ(frameAt(100.27), "poll; update; render; swap; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 100.51);
}

TEST_F(SteppedFrameLoopTest, RendersAtTheUpdateRateWhateverTheCallbackRate) {
  game.setUpdateFrequency(51);
  for (double hz : {60.0, 144.0, 30.0}) {
    int renders = 0, updates = 0;
    delegate->onUpdate = [&] { ++updates; };
    const double start = platform.now;
    for (int i = 1; i <= static_cast<int>(10 * hz); ++i) {
      std::string did = frameAt(start + i / hz);
      renders += did.find("render") != std::string::npos;
    }
    // 51 updates a second in every case; one render per pass, and a pass per update unless the
    // callbacks come less often than the updates.
    EXPECT_NEAR(updates, 510, 2) << hz << " Hz callbacks";
    EXPECT_NEAR(renders, hz < 51 ? 10 * hz : 510, 2) << hz << " Hz callbacks";
  }
}

TEST_F(SteppedFrameLoopTest, ASuspendedGameRunsAPassOnlyWhenAPageEventArrived) {
  frameAt(100.0);
  frameAt(100.01);
  platform.focused = false;
  EXPECT_EQ(frameAt(100.3, 1), "poll; suspend; render; swap; ");
  EXPECT_EQ(frameAt(100.4, 1), "") << "no event since the last pass";
  EXPECT_EQ(frameAt(100.5, 1), "");
  EXPECT_EQ(frameAt(100.6, 2), "wait; render; swap; ");
  platform.focused = true;
  EXPECT_EQ(frameAt(100.7, 3), "wait; resume; update; render; swap; ");
  EXPECT_DOUBLE_EQ(game.nextUpdateTime, 100.95);
}

TEST_F(SteppedFrameLoopTest, AFocusChangeTheGameHasNotFollowedRunsThePassAtOnce) {
  frameAt(100.0);
  frameAt(100.01);
  log.clear();
  EXPECT_EQ(loop.onFocusChange(0), Step::kIdle) << "still focused: nothing to follow";
  platform.focused = false;
  platform.now = 100.05;  // long before the wait has elapsed: no animation frame would come
  EXPECT_EQ(loop.onFocusChange(0), Step::kRan);
  EXPECT_EQ(log, "poll; suspend; render; swap; ");
  log.clear();
  EXPECT_EQ(loop.onFocusChange(0), Step::kIdle) << "already suspended";
  platform.focused = true;
  EXPECT_EQ(loop.onFocusChange(0), Step::kRan);
  EXPECT_EQ(log, "wait; resume; update; render; swap; ");
}

TEST_F(SteppedFrameLoopTest, AFocusLossBeforeTheFirstFocusRunsNothing) {
  game.hadFocus = false;
  platform.focused = false;
  frameAt(100.0);
  log.clear();
  EXPECT_EQ(loop.onFocusChange(0), Step::kIdle) << "a page that never had focus is not suspended";
  EXPECT_EQ(log, "");
}

TEST_F(SteppedFrameLoopTest, ClosingTheWindowEndsTheLoop) {
  frameAt(100.0);
  platform.closing = true;
  platform.now = 100.5;
  log.clear();
  EXPECT_EQ(loop.onFrame(0), Step::kClosed);
  EXPECT_EQ(log, "poll; update; ") << "the pending pass finishes; no further render";
}

TEST(FrameLoopWait, IsTheTimeUntilTheUpdateInWholeMilliseconds) {
  EXPECT_EQ(millisecondsUntil(0, 100), 0) << "not scheduled";
  EXPECT_EQ(millisecondsUntil(100.0199, 100), 19) << "truncated";
  EXPECT_EQ(millisecondsUntil(99.5, 100), 0) << "overdue";
  EXPECT_EQ(millisecondsUntil(100, 100), 0);
  EXPECT_EQ(millisecondsUntil(1e12, 1), INT_MAX) << "a clock gone wrong is clamped, not overflowed";
}

}  // namespace
