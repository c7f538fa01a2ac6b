// The collector's rules for a program's own classes, shown by breaking them: the two mistakes the
// guide (docs/FRAMEWORK.md) warns about lose objects that are still in use, and the class written
// by the rules keeps them. The marked regions are the guide's code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "audio/sample.h"
#include "graphics/image.h"
#include "host/headless.h"
#include "host/platform.h"
#include "runtime/collector.h"

namespace {

// [guide:mistake-plain-pointer]
class c_Player : public Object {
 public:
  c_Image* sprite = nullptr;  // WRONG: a plain pointer is neither marked nor seen by the barrier
};
// [/guide:mistake-plain-pointer]

// [guide:mistake-unmarked-field]
class c_Enemy : public Object {
 public:
  GcField<c_Image*> sprite;
  GcField<c_Sound*> shout;

  void mark() override { sprite.mark(); }  // WRONG: shout is missing, so it is lost
};
// [/guide:mistake-unmarked-field]

// The same enemy written by the rules.
class c_GoodEnemy : public Object {
 public:
  GcField<c_Image*> sprite;
  GcField<c_Sound*> shout;

  void mark() override {
    sprite.mark();
    shout.mark();
  }
};

// What the frame loop's collector step does once the allocation budget is spent.
void fullCollectionNow() {
  addExternalBytes(kFullCollectionBytes + 1);
  collectStep();
}

class CollectorRules : public ::testing::Test {
 protected:
  void SetUp() override {
    initCollector();
    // Start from a fresh cycle, with nothing of an earlier test waiting to be destroyed.
    fullCollectionNow();
    while (gcCounters.freeBytes > 0) new Object();
  }
};

TEST_F(CollectorRules, APlainPointerFieldLosesItsObjectAtTheNextCollection) {
  GcRoot<c_Player*> player;
  player = new c_Player();
  c_Image* sprite = new c_Image();
  player->sprite = sprite;
  fullCollectionNow();
  EXPECT_EQ(gcListOf(sprite), GcList::Free) << "collected although the player still points at it";
}

TEST_F(CollectorRules, AFieldMissingFromMarkIsLostOneCycleLater) {
  GcRoot<c_Enemy*> enemy;
  enemy = new c_Enemy();
  c_Sound* shout = new c_Sound();
  enemy->shout = shout;  // the barrier keeps it through this cycle only
  fullCollectionNow();
  ASSERT_NE(gcListOf(shout), GcList::Free);
  fullCollectionNow();
  EXPECT_EQ(gcListOf(shout), GcList::Free) << "collected although the enemy still points at it";
}

TEST_F(CollectorRules, FieldsStoredThroughGcFieldAndMarkedSurvive) {
  GcRoot<c_GoodEnemy*> enemy;
  enemy = new c_GoodEnemy();
  c_Image* sprite = new c_Image();
  c_Sound* shout = new c_Sound();
  enemy->sprite = sprite;
  enemy->shout = shout;
  for (int i = 0; i < 3; ++i) {
    fullCollectionNow();
    ASSERT_NE(gcListOf(sprite), GcList::Free) << "cycle " << i;
    ASSERT_NE(gcListOf(shout), GcList::Free) << "cycle " << i;
  }
  enemy = nullptr;  // unreachable now: it and everything only it held go
  fullCollectionNow();
  fullCollectionNow();
  EXPECT_EQ(gcListOf(shout), GcList::Free);
}

// The check mode as a program gets it: CORVANE_GC_CHECK=1 read when the collector starts, the
// runtime-error path's handlers installed, and the banner (on standard output) where the death
// test reads it.
void startInCheckMode() {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  setenv("CORVANE_GC_CHECK", "1", 1);
  installFatalSignalHandlers();
  initCollector();
}

// The runtime error banner naming the class.
std::string collectedError(const char* className) {
  return std::string("Corvane Runtime Error : Object of class ") + className +
         " used after it was already collected";
}

using CollectorCheckMode = CollectorRules;

TEST_F(CollectorCheckMode, StopsAtTheFirstUseOfAnObjectHeldByAPlainPointer) {
  EXPECT_EXIT(
      {
        startInCheckMode();
        GcRoot<c_Player*> player;
        player = new c_Player();
        player->sprite = new c_Image();
        runCollectorSteps(1);  // the end of the first update: the sprite was never seen
        std::printf("width %d\n", player->sprite->width());
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), collectedError("c_Image"));
}

TEST_F(CollectorCheckMode, StopsAtTheFirstUseOfAFieldLeftOutOfMark) {
  EXPECT_EXIT(
      {
        startInCheckMode();
        GcRoot<c_Enemy*> enemy;
        enemy = new c_Enemy();
        enemy->sprite = new c_Image();
        enemy->shout = new c_Sound();
        for (int update = 0; update < 51; ++update) {  // a second of updates
          runCollectorSteps(1);
          enemy->shout->setSample(nullptr);  // a virtual-free call that writes a field
          std::printf("%s\n", toStdString(enemy->sprite->debugText()).c_str());  // a virtual call
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), collectedError("c_Sound"));
}

TEST_F(CollectorCheckMode, StopsAtAVirtualCallOrABarrierOnACollectedObject) {
  // A virtual call on the protected memory of a collected object.
  EXPECT_EXIT(
      {
        startInCheckMode();
        Object* lost = new c_Image();
        runCollectorSteps(1);
        lost->debugText();
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), collectedError("c_Image"));
  // An object from before the mode began lies in ordinary heap memory, which is poisoned instead
  // of protected: storing it into a field is still stopped, by the barrier.
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        installFatalSignalHandlers();
        auto* lost = new c_Sound();
        setCollectorCheckMode(true);
        runCollectorSteps(1);
        GcRoot<c_Enemy*> enemy;
        enemy = new c_Enemy();
        enemy->shout = lost;
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), collectedError("c_Sound"));
}

TEST_F(CollectorCheckMode, KeepsEveryObjectAProgramWrittenByTheRulesStillUses) {
  setCollectorCheckMode(true);
  GcRoot<c_GoodEnemy*> enemy;
  enemy = new c_GoodEnemy();
  for (int update = 0; update < 20; ++update) {
    enemy->sprite = new c_Image();  // the previous one is garbage now
    enemy->shout = new c_Sound();
    runCollectorSteps(1);
    ASSERT_EQ(enemy->sprite->width(), 0);
    ASSERT_EQ(toStdString(enemy->shout->debugText()), "+Object\n");
  }
  c_Image* last = enemy->sprite;
  enemy = nullptr;
  runCollectorSteps(2);
  EXPECT_NE(collectedObjectMessage(last), nullptr) << "garbage is destroyed at the step that finds it";
  setCollectorCheckMode(false);
}

}  // namespace
