// The set-up for code that does not start through startHost: host game, data paths, locale and
// collector steps.
#include "host/headless.h"

#include <gtest/gtest.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <string>

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

// A fresh container has neither LANG nor the locales package: the environment names only "C".
TEST(StartWithoutWindow, FindsAUtf8LocaleWhenTheEnvironmentNamesNone) {
  const char* before = std::getenv("LC_ALL");
  const std::string saved = before != nullptr ? before : "";
  setenv("LC_ALL", "C", 1);
  std::setlocale(LC_CTYPE, "C");
  useUtf8Locale();
  const std::string codeset = nl_langinfo(CODESET);
  const std::string lowered = toStdString(String(u"\u00C4RGER \u0130").ToLower());
  if (before != nullptr) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  useUtf8Locale();
  EXPECT_EQ(codeset, "UTF-8");
  EXPECT_EQ(lowered, toStdString(String(u"\u00E4rger i")));
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
