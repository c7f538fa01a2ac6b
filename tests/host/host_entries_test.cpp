// The ten host entries: the flag conditions that gate each one, the flag changes made before the
// delegate sees the call, the collector step after every delivered call, the end of the process
// when a runtime exception escapes, and the attached delegate surviving collections.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "host/game.h"
#include "host/runtime_error.h"
#include "recording_delegate.h"
#include "runtime/array.h"

namespace {

// Counts the collector steps the entries run.
class CountingGame : public VxGame {
 public:
  int collectSteps = 0;
  void collectStep() override {
    ++collectSteps;
    VxGame::collectStep();
  }
};

GcRoot<RecordingDelegate*> entryDelegate;

class HostEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureCollector();
    delegate = new RecordingDelegate(&log);
    entryDelegate = delegate;
    game.attachDelegate(delegate);
  }
  void TearDown() override { entryDelegate = nullptr; }

  void callEveryEventEntry() {
    game.hostSuspend();
    game.hostResume();
    game.hostUpdate();
    game.hostRender();
    game.hostKey(1, 114);
    game.hostMouse(4, 0, 1, 2, 0);
    game.hostTouch(7, 0, 1, 2);
    game.hostMotion(10, 0, 1, 2, 3);
    game.hostDiscardGraphics();
  }

  std::string log;
  CountingGame game;
  RecordingDelegate* delegate = nullptr;
};

TEST_F(HostEntriesTest, EverythingBeforeStartIsDroppedWithoutACollectorStep) {
  callEveryEventEntry();
  EXPECT_EQ(log, "");
  EXPECT_EQ(game.collectSteps, 0);
  EXPECT_FALSE(game.isRunning());
}

TEST_F(HostEntriesTest, StartRunsOnceAndTheGameIsRunningDuringHandleStart) {
  bool runningInside = false;
  delegate->onStart = [&] { runningInside = game.isRunning(); };
  game.hostStart();
  game.hostStart();
  EXPECT_EQ(log, "start; ");
  EXPECT_TRUE(runningInside);
  EXPECT_EQ(game.collectSteps, 1);
}

TEST_F(HostEntriesTest, EveryEntryDeliversItsArgumentsWhileRunning) {
  game.hostStart();
  log.clear();
  game.hostUpdate();
  game.hostRender();
  game.hostKey(3, 65);
  game.hostMouse(6, -1, 1.5f, 2.5f, -3);
  game.hostTouch(9, 31, 7, 8);
  game.hostMotion(10, 0, 0.5f, -0.25f, 1);
  game.hostDiscardGraphics();
  EXPECT_EQ(log,
            "update; render; key 3 65; mouse 6 -1 1.5 2.5 -3; touch 9 31 7 8; motion 10 0 0.5 -0.25 1; "
            "discard; ");
  EXPECT_EQ(game.collectSteps, 8) << "one step after each delivered call, the start's included";
}

TEST_F(HostEntriesTest, SuspendAndResumeAlternateAndGateOnlyTheUpdates) {
  game.hostStart();
  log.clear();
  bool pausedInside = false;
  game.hostResume();  // not paused: nothing
  EXPECT_EQ(log, "");

  delegate->onRender = [&] { pausedInside = game.isPaused(); };
  game.hostSuspend();
  EXPECT_TRUE(game.isPaused());
  game.hostSuspend();  // already paused: nothing
  game.hostUpdate();   // paused: not delivered
  game.hostRender();   // the running flag, not the paused one, gates rendering
  game.hostKey(1, 13);
  EXPECT_EQ(log, "suspend; render; key 1 13; ");
  EXPECT_TRUE(pausedInside);

  log.clear();
  game.hostResume();
  game.hostResume();
  game.hostUpdate();
  EXPECT_EQ(log, "resume; update; ");
  EXPECT_FALSE(game.isPaused());
}

TEST_F(HostEntriesTest, TheFlagChangesBeforeTheDelegateSeesSuspendOrResume) {
  game.hostStart();
  std::string seen;
  class FlagDelegate : public RecordingDelegate {
   public:
    FlagDelegate(std::string* log, VxGame* game, std::string* seen)
        : RecordingDelegate(log), game_(game), seen_(seen) {}
    void handleSuspend() override { *seen_ += game_->isPaused() ? "paused " : "running "; }
    void handleResume() override { *seen_ += game_->isPaused() ? "paused " : "running "; }

   private:
    VxGame* game_;
    std::string* seen_;
  };
  auto* flags = new FlagDelegate(&log, &game, &seen);
  entryDelegate = flags;
  game.attachDelegate(flags);
  game.hostSuspend();
  game.hostResume();
  EXPECT_EQ(seen, "paused running ");
}

TEST_F(HostEntriesTest, EventsWithoutAnAttachedDelegateAreDropped) {
  game.attachDelegate(nullptr);
  game.hostStart();
  callEveryEventEntry();
  EXPECT_EQ(game.collectSteps, 0);
}

using HostEntriesDeathTest = HostEntriesTest;

// The report goes to standard output; the death-test matcher reads standard error.
void throwFrom(VxGame& game, RecordingDelegate* delegate, void (*entry)(VxGame&)) {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  auto fail = [] { throw new ThrowableObject(); };
  delegate->onStart = fail;
  delegate->onUpdate = fail;
  delegate->onRender = fail;
  delegate->onKey = fail;
  entry(game);
}

TEST_F(HostEntriesDeathTest, AnExceptionEscapingAHookEndsTheProcessWithStatus255) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* report = "Corvane Runtime Error : Uncaught Corvane Exception";
  EXPECT_EXIT(throwFrom(game, delegate, [](VxGame& g) { g.hostStart(); }), ::testing::ExitedWithCode(255),
              report);
  game.hostStart();
  EXPECT_EXIT(throwFrom(game, delegate, [](VxGame& g) { g.hostUpdate(); }), ::testing::ExitedWithCode(255),
              report);
  EXPECT_EXIT(throwFrom(game, delegate, [](VxGame& g) { g.hostRender(); }), ::testing::ExitedWithCode(255),
              report);
  EXPECT_EXIT(throwFrom(game, delegate, [](VxGame& g) { g.hostKey(1, 65); }), ::testing::ExitedWithCode(255),
              report);
}

// Destruction of the delegate is observable through this flag.
bool delegateDestroyed = false;

class MortalDelegate : public VxGameDelegate {
 public:
  ~MortalDelegate() override { delegateDestroyed = true; }
};

// Allocates past the full-collection budget with a collector step after each block, as a run of
// frames would.
void churn(VxGame& game) {
  for (int i = 0; i < 64 && !delegateDestroyed; ++i) {
    Array<int> garbage(1 << 18);  // 1 MiB
    (void)garbage;
    game.collectStep();
  }
}

TEST(HostCollectStep, KeepsTheAttachedDelegateAliveThroughFullCollections) {
  ensureCollector();
  VxGame game;
  delegateDestroyed = false;
  game.attachDelegate(new MortalDelegate());  // reachable only through the host game
  churn(game);
  EXPECT_FALSE(delegateDestroyed);
  game.attachDelegate(nullptr);
  churn(game);
  EXPECT_TRUE(delegateDestroyed) << "once detached, nothing holds it";
}

}  // namespace
