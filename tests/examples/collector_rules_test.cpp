// The collector's rules for a program's own classes, shown by breaking them: the two mistakes the
// guide (docs/FRAMEWORK.md) warns about lose objects that are still in use, and the class written
// by the rules keeps them. The marked regions are the guide's code.
#include <gtest/gtest.h>

#include "audio/sample.h"
#include "graphics/image.h"
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

}  // namespace
