// The set-up for code that does not start through startHost: host game, data paths, locale and
// collector steps.
#include "host/headless.h"

#include <gtest/gtest.h>

#include "host/files.h"
#include "host/game.h"
#include "runtime/collector.h"

namespace {

TEST(StartWithoutWindow, GivesAHostGameThatFindsTheDataBesideTheProgram) {
  VxGame* game = startWithoutWindow();
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game, currentGame);
  EXPECT_EQ(startWithoutWindow(), game) << "a second call keeps the host game";
  // The tests' own data/ is a copy of the program's, beside the test executables.
  EXPECT_FALSE(loadText(String("songs/brackenfold.dat")).empty());
  EXPECT_TRUE(loadText(String("songs/no-such-song.dat")).empty());
}

TEST(StartWithoutWindow, SetsALocaleThatLowersEveryLetter) {
  startWithoutWindow();
  EXPECT_EQ(toStdString(String(u"\u00C4RGER \u0130").ToLower()), toStdString(String(u"\u00E4rger i")));
}

TEST(RunCollectorSteps, CollectsWhatNoRootReaches) {
  startWithoutWindow();
  GcRoot<Object*> kept;
  kept = new Object();
  Object* dropped = new Object();
  // Past the budget, the next step is a full collection.
  addExternalBytes(kFullCollectionBytes + 1);
  runCollectorSteps(1);
  EXPECT_EQ(gcListOf(dropped), GcList::Free);
  EXPECT_NE(gcListOf(kept.get()), GcList::Free);
  EXPECT_NE(gcListOf(kept.get()), GcList::None);
}

}  // namespace
