// The collector: write barrier, lazy destruction, size classes, pacing, roots and object headers.
#include "runtime/collector.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/array.h"
#include "tests/runtime/gc_test_support.h"

namespace {

int destructions = 0;

class Holder : public Object {
 public:
  GcField<Holder*> child;
  GcField<Array<Holder*>> items;
  Holder() = default;
  explicit Holder(Holder* first) { child = first; }
  ~Holder() override { ++destructions; }
  void mark() override {
    child.mark();
    items.mark();
  }
};

// No user-provided constructor: `new Plain()` zero-fills the object before any constructor runs.
class Plain : public Object {
 public:
  int value;
  GcField<Plain*> next;
  void mark() override { next.mark(); }
};

class Small : public Object {
 public:
  int64_t payload[2];
};
static_assert(roundedSize(sizeof(Small)) <= kMaxRecycledSize, "Small must fall in a recycled size class");

class Big : public Object {
 public:
  char payload[30];
};
static_assert(roundedSize(sizeof(Big)) == 64, "Big must round to 64 bytes: just past the recycled classes");

class Throwing : public Object {
 public:
  Throwing() { throw 7; }
};

Holder* throwingArgument() {
  throw 8;
}

class Collector : public ::testing::Test {
 protected:
  void SetUp() override { settleCollector(); }
};

TEST_F(Collector, StoreIntoBlackObjectKeepsNewObjectAlive) {
  GcRoot<Holder*> root;
  root = new Holder;
  markQueued(INT64_MAX);
  ASSERT_EQ(gcListOf(root), GcList::Marked);

  Holder* stored = new Holder;
  Holder* dropped = new Holder;
  EXPECT_EQ(gcListOf(stored), GcList::Unmarked);
  root->child = stored;
  EXPECT_EQ(gcListOf(stored), GcList::Queue) << "the barrier greys the stored object";

  fullCollection();
  EXPECT_EQ(gcListOf(stored), GcList::Unmarked) << "a survivor is white again after the cycle";
  EXPECT_EQ(gcListOf(dropped), GcList::Free);
  EXPECT_EQ(gcListOf(root), GcList::Queue) << "the next cycle starts with the roots";
}

TEST_F(Collector, BarrierGreysWhateverColourTheWrittenObjectHas) {
  Holder* white = new Holder;  // unreachable itself
  Holder* target = new Holder;
  white->child = target;
  EXPECT_EQ(gcListOf(target), GcList::Queue);
  white->child = nullptr;  // storing null does nothing
  EXPECT_EQ(gcListOf(white), GcList::Unmarked);
}

TEST_F(Collector, ArrayStoredInFieldIsMarkedAtOnceWithItsElements) {
  GcRoot<Holder*> root;
  root = new Holder;
  Array<Holder*> items(3);
  Holder* first = new Holder;
  Holder* last = new Holder;
  items[0] = first;
  items[2] = last;
  EXPECT_EQ(gcListOf(first), GcList::Queue) << "an element store greys the element";
  root->items = items;
  EXPECT_EQ(gcListOf(items.rep()), GcList::Marked) << "a field store blackens the array";
  fullCollection();
  // Everything survived and is white again; a second field store marks array and elements at once.
  ASSERT_EQ(gcListOf(items.rep()), GcList::Unmarked);
  ASSERT_EQ(gcListOf(first), GcList::Unmarked);
  GcRoot<Holder*> other;
  other = new Holder;
  other->items = items;
  EXPECT_EQ(gcListOf(items.rep()), GcList::Marked);
  EXPECT_EQ(gcListOf(first), GcList::Marked);
  EXPECT_EQ(gcListOf(last), GcList::Marked);
  EXPECT_EQ(gcCounters.markedBytes, items.rep()->gcSize() + 2 * first->gcSize());
}

TEST_F(Collector, GarbageWaitsOnFreeListUntilAnAllocationPaysForIt) {
  const int64_t objectSize = roundedSize(sizeof(Holder));
  Holder* garbage = new Holder;
  EXPECT_EQ(garbage->gcSize(), objectSize);
  int before = destructions;

  fullCollection();
  EXPECT_EQ(gcListOf(garbage), GcList::Free);
  EXPECT_EQ(gcCounters.freeBytes, objectSize);
  EXPECT_EQ(destructions, before) << "endCycle must not destroy anything";
  fullCollection();
  EXPECT_EQ(destructions, before) << "a full collection does not sweep either";

  GcRoot<Holder*> keep;
  keep = new Holder;  // this allocation pays for the garbage
  EXPECT_EQ(destructions, before + 1);
  EXPECT_EQ(gcCounters.freeBytes, 0);
}

TEST_F(Collector, AllocationDestroysOldestGarbageFirstAndOnlyWhatItOwes) {
  std::vector<Holder*> garbage;
  for (int i = 0; i < 3; ++i) garbage.push_back(new Holder);
  fullCollection();
  const int64_t objectSize = roundedSize(sizeof(Holder));
  ASSERT_EQ(gcCounters.freeBytes, 3 * objectSize);
  int before = destructions;

  void* block = allocObject(sizeof(Holder));  // asks for one object's worth
  EXPECT_EQ(destructions, before + 1);
  EXPECT_EQ(gcCounters.freeBytes, 2 * objectSize);
  EXPECT_EQ(gcListOf(garbage[1]), GcList::Free) << "the oldest one went first";
  EXPECT_EQ(gcListOf(garbage[2]), GcList::Free);
  gc_object::operator delete(block, sizeof(Holder));
}

TEST_F(Collector, SixtyBytesRoundToSixtyFourAndGoBackToTheHeap) {
  int64_t alloc = gcCounters.allocBytes;
  std::vector<int> recycled;
  for (uint32_t size = 8; size <= kMaxRecycledSize; size += 8) recycled.push_back(gcRecycledBlockCount(size));

  void* block = allocObject(60);
  EXPECT_EQ(gcCounters.allocBytes - alloc, 64);
  gc_object::operator delete(block, 60);
  for (uint32_t size = 8; size <= kMaxRecycledSize; size += 8) {
    EXPECT_EQ(gcRecycledBlockCount(size), recycled[size / 8 - 1]) << "size list " << size;
  }
}

TEST_F(Collector, SeventeenBytesRoundToTwentyFourAndAreRecycled) {
  constexpr uint32_t kRounded = roundedSize(17);
  static_assert(kRounded == 24);
  int64_t alloc = gcCounters.allocBytes;
  int recycled = gcRecycledBlockCount(kRounded);

  void* block = allocObject(17);
  EXPECT_EQ(gcCounters.allocBytes - alloc, kRounded);
  gc_object::operator delete(block, 17);
  EXPECT_EQ(gcRecycledBlockCount(kRounded), recycled + 1);
  void* again = allocObject(17);
  EXPECT_EQ(again, block) << "the recycled block is handed out again";
  EXPECT_EQ(gcRecycledBlockCount(kRounded), recycled);
  gc_object::operator delete(again, 17);
}

TEST_F(Collector, DestroyedSmallObjectsAreReusedAndBigOnesAreNot) {
  const uint32_t smallSize = roundedSize(sizeof(Small));
  Small* dead = new Small;
  new Big;
  fullCollection();
  int smallBlocks = gcRecycledBlockCount(smallSize);
  destroyAllGarbage();
  EXPECT_EQ(gcRecycledBlockCount(smallSize), smallBlocks + 1);
  int total = 0;
  for (uint32_t size = 8; size <= kMaxRecycledSize; size += 8) total += gcRecycledBlockCount(size);

  Small* reborn = new Small;
  EXPECT_EQ(static_cast<void*>(reborn), static_cast<void*>(dead));
  EXPECT_EQ(reborn->gcSize(), smallSize);
  EXPECT_EQ(gcListOf(reborn), GcList::Unmarked);
  int after = 0;
  for (uint32_t size = 8; size <= kMaxRecycledSize; size += 8) after += gcRecycledBlockCount(size);
  EXPECT_EQ(after, total - 1) << "the 64-byte object was not kept on any size list";
}

TEST_F(Collector, NoAllocationMeansNoMarking) {
  GcRoot<Holder*> root;
  root = new Holder;
  ASSERT_EQ(gcListOf(root), GcList::Queue);
  gcCounters.allocBytes = 0;
  collectStep();
  EXPECT_EQ(gcCounters.markedBytes, 0);
  EXPECT_EQ(gcListOf(root), GcList::Queue);
}

TEST_F(Collector, IncrementalStepMarksUpToTheAllocationPacedTarget) {
  std::vector<GcRoot<Holder*>> roots(10);
  for (auto& root : roots) root = new Holder;
  const int64_t objectSize = roundedSize(sizeof(Holder));
  gcCounters.allocBytes = 3 * objectSize + 1;
  int64_t alloc = gcCounters.allocBytes;
  int64_t target = alloc + alloc * (gcCounters.liveBytes - alloc) / kFullCollectionBytes;

  collectStep();
  EXPECT_GE(gcCounters.markedBytes, target);
  EXPECT_LT(gcCounters.markedBytes - objectSize, target) << "marking stops as soon as the target is met";
  EXPECT_EQ(gcCounters.markedBytes, 4 * objectSize);
  EXPECT_EQ(gcListOf(roots[4]), GcList::Queue);
}

TEST_F(Collector, FullCollectionOnlyWhenBudgetIsExceeded) {
  addExternalBytes(1000);
  gcCounters.allocBytes = kFullCollectionBytes - 1000;
  Holder* garbage = new Holder;
  gcCounters.allocBytes = kFullCollectionBytes - 1000;
  collectStep();
  EXPECT_EQ(gcCounters.allocBytes, kFullCollectionBytes - 1000)
      << "exactly at the budget: no full collection";
  EXPECT_EQ(externalBytes.load(), 1000);
  EXPECT_EQ(gcListOf(garbage), GcList::Unmarked);

  gcCounters.allocBytes += 1;
  collectStep();
  EXPECT_EQ(gcCounters.allocBytes, 0);
  EXPECT_EQ(externalBytes.load(), 0);
  EXPECT_EQ(gcListOf(garbage), GcList::Free);
}

constinit GcRoot<Holder*> globalRoot;

TEST_F(Collector, RootsKeepObjectsAcrossCyclesAndUnregisterWhenGone) {
  globalRoot = new Holder(new Holder);
  Holder* kept = globalRoot;
  Holder* dropped = nullptr;
  {
    GcRoot<Holder*> scoped;
    scoped = new Holder;
    dropped = scoped;
    for (int i = 0; i < 3; ++i) fullCollection();
    EXPECT_NE(gcListOf(dropped), GcList::Free);
  }
  fullCollection();
  fullCollection();
  EXPECT_EQ(gcListOf(dropped), GcList::Free) << "a root that went out of scope no longer marks";
  EXPECT_NE(gcListOf(kept), GcList::Free);
  EXPECT_NE(gcListOf(kept->child), GcList::Free);
  globalRoot = nullptr;
}

TEST_F(Collector, HeaderSurvivesValueInitialisationAndNestedNew) {
  Plain* plain = new Plain();
  EXPECT_EQ(plain->value, 0);
  EXPECT_EQ(plain->gcSize(), roundedSize(sizeof(Plain)));
  EXPECT_EQ(gcListOf(plain), GcList::Unmarked);

  Holder* outer = new Holder(new Holder);
  EXPECT_EQ(outer->gcSize(), roundedSize(sizeof(Holder)));
  EXPECT_EQ(outer->child->gcSize(), roundedSize(sizeof(Holder)));
  EXPECT_EQ(gcListOf(outer), GcList::Unmarked);
  EXPECT_EQ(gcListOf(outer->child), GcList::Queue);
}

TEST_F(Collector, ThrowingConstructorGivesItsBlockBack) {
  int64_t live = gcCounters.liveBytes;
  int unmarked = gcListLength(GcList::Unmarked);
  EXPECT_THROW(new Throwing, int);
  EXPECT_THROW(new Holder(throwingArgument()), int);
  Holder* strayDelete = new Holder;
  delete strayDelete;  // never done by framework code; must still leave the lists sound
  EXPECT_EQ(gcCounters.liveBytes, live);
  EXPECT_EQ(gcCounters.freeBytes, 0);
  EXPECT_EQ(gcListLength(GcList::Unmarked), unmarked);
  // The allocator is still sound afterwards.
  Holder* next = new Holder;
  EXPECT_EQ(gcListOf(next), GcList::Unmarked);
}

TEST_F(Collector, CountersMatchTheLists) {
  GcRoot<Holder*> root;
  root = new Holder(new Holder);
  new Holder;
  fullCollection();
  struct Sums {
    int64_t bytes = 0;
  };
  auto add = [](gc_object* object, void* context) { static_cast<Sums*>(context)->bytes += object->gcSize(); };
  Sums live, garbage;
  gcVisitList(GcList::Unmarked, add, &live);
  gcVisitList(GcList::Queue, add, &live);
  gcVisitList(GcList::Marked, add, &live);
  gcVisitList(GcList::Free, add, &garbage);
  EXPECT_EQ(gcCounters.liveBytes, live.bytes);
  EXPECT_EQ(gcCounters.freeBytes, garbage.bytes);
  EXPECT_GT(garbage.bytes, 0);
  EXPECT_EQ(gcCounters.markedBytes, 0);
}

TEST(ObjectBase, EqualsIsIdentityAndCompareHasTheSignOfTheAddressOrder) {
  Object* a = new Object;
  Object* b = new Object;
  EXPECT_TRUE(a->equals(a));
  EXPECT_FALSE(a->equals(b));
  EXPECT_EQ(a->compare(a), 0);
  EXPECT_EQ(a->compare(b) < 0, a < b);
  static Object staticObject;  // far from the heap: a 32-bit difference could flip the sign
  EXPECT_EQ(staticObject.compare(a) < 0, &staticObject < a);
  EXPECT_EQ(a->compare(&staticObject) < 0, a < &staticObject);
  EXPECT_EQ(toStdString(a->debugText()), "+Object\n");
}

}  // namespace
