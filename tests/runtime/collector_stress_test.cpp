// A seeded random object graph mutated through the barrier, with allocation-paced collector steps
// between mutations. An independent reachability walk checks after every step that nothing
// reachable is garbage, that garbage reaches the free list within two full collections, and that
// it is destroyed exactly once after later allocations paid for it.
#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "tests/runtime/gc_test_support.h"

namespace {

struct Record {
  bool destroyed = false;
  int destroyCount = 0;
  int unreachableSince = -1;  // full-collection count when first seen unreachable
};

std::vector<Record> records;
// Objects found reachable at the end of the previous step. Every allocation happens at the start
// of a step, before any store, so an object in this set is still reachable when a destructor runs.
std::unordered_set<const gc_object*> reachableNow;
int reachableDestroyed = 0;

class Node : public Object {
 public:
  explicit Node(int id) : id(id) {}
  ~Node() override {
    if (static_cast<size_t>(id) >= records.size()) return;  // left over from an earlier run
    Record& record = records[id];
    record.destroyed = true;
    ++record.destroyCount;
    if (reachableNow.count(this) != 0) ++reachableDestroyed;
  }
  void mark() override {
    a.mark();
    b.mark();
    items.mark();
  }
  int id;
  GcField<Node*> a;
  GcField<Node*> b;
  GcField<Array<Node*>> items;
};

class GraphRun {
 public:
  explicit GraphRun(unsigned seed) : random_(seed) {}

  void run(int steps) {
    records.clear();
    reachableNow.clear();
    reachableDestroyed = 0;
    settleCollector();
    for (auto& root : roots_) root = create();
    refreshReachable();
    for (int step = 0; step < steps && !::testing::Test::HasFatalFailure(); ++step) {
      mutate();
      pace();
      refreshReachable();
      maxReach_ = std::max(maxReach_, reachableList_.size());
      checkStep(step);
    }
    finish();
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  Node* create() {
    int id = static_cast<int>(records.size());
    records.emplace_back();
    int64_t owed =
        std::max<int64_t>(0, gcCounters.freeBytes - static_cast<int64_t>(roundedSize(sizeof(Node))));
    Node* node = new Node(id);
    EXPECT_LE(gcCounters.freeBytes, owed) << "an allocation pays at least its own size of garbage";
    objects_.push_back(node);
    return node;
  }

  Node* randomReachable() {
    return reachableList_.empty() ? nullptr : reachableList_[pick(static_cast<int>(reachableList_.size()))];
  }
  Node* randomTargetOrNull() { return pick(6) == 0 ? nullptr : randomReachable(); }

  void mutate() {
    Node* holder = randomReachable();
    // Allocations first (see reachableNow), then the stores.
    int op = pick(12);
    // Grow the graph to several hundred nodes, then keep it from growing without bound.
    if (reachableList_.size() < 600 && op >= 9 && pick(5) != 0) op = 0;
    if (reachableList_.size() > 1500 && op < 6) op = 11;
    switch (op) {
      case 0:
      case 1:
      case 2:
      case 3: {  // a new node, linked or dropped at once
        Node* fresh = create();
        if (pick(4) != 0 && holder != nullptr) {
          (pick(2) ? holder->a : holder->b) = fresh;
          if (pick(2)) fresh->a = randomReachable();
        }
        break;
      }
      case 4: {  // a new array of existing nodes (and sometimes a new one) stored into a field
        int length = pick(6);
        Array<Node*> array(length);
        Node* fresh = length > 0 && pick(3) == 0 ? create() : nullptr;
        for (int i = 0; i < length; ++i) array[i] = randomTargetOrNull();
        if (fresh != nullptr) array[pick(length)] = fresh;
        if (holder != nullptr) holder->items = array;
        break;
      }
      case 5:
      case 6:
      case 7: {  // store into an element of an existing array
        if (holder != nullptr && holder->items.length() > 0) {
          holder->items[pick(holder->items.length())] = randomTargetOrNull();
        }
        break;
      }
      case 8: {  // now and then a root moves, which can drop most of the graph at once
        if (pick(20) == 0) roots_[pick(kRoots)] = randomReachable();
        break;
      }
      default: {  // overwrite references, mostly with null, to make garbage
        if (holder == nullptr) break;
        if (pick(2)) {
          holder->a = randomTargetOrNull();
        } else {
          holder->b = pick(3) == 0 ? randomReachable() : nullptr;
        }
        if (pick(4) == 0) holder->items = Array<Node*>();
        break;
      }
    }
    if (roots_[0] == nullptr) roots_[0] = create();  // never lose the whole graph
  }

  void pace() {
    // Inflate the allocation count: small steps keep the marking target below the live size for
    // dozens of steps (so the graph is mutated while partly marked), and an occasional jump runs
    // the budget out so that a cycle lasts about a hundred steps.
    int64_t added = std::uniform_int_distribution<int64_t>(0, 1500)(random_);
    if (pick(50) == 0) added += kFullCollectionBytes / 2;
    gcCounters.allocBytes += added;
    if (gcCounters.allocBytes + externalBytes.load() > kFullCollectionBytes) ++fullCollections_;
    if (gcListLength(GcList::Queue) > 0) ++stepsWithGreyObjects_;
    collectStep();
  }

  void refreshReachable() {
    reachableNow.clear();
    reachableList_.clear();
    std::vector<Node*> pending;
    auto visit = [&](Node* node) {
      if (node != nullptr && reachableNow.insert(node).second) {
        reachableList_.push_back(node);
        pending.push_back(node);
      }
    };
    for (auto& root : roots_) visit(root);
    while (!pending.empty()) {
      Node* node = pending.back();
      pending.pop_back();
      visit(node->a);
      visit(node->b);
      const Array<Node*>& items = node->items.get();
      if (!items.isSharedEmpty()) {
        reachableNow.insert(items.rep());
        for (int i = 0; i < items.length(); ++i) visit(items.get(i));
      }
    }
  }

  void checkStep(int step) {
    ASSERT_EQ(reachableDestroyed, 0) << "a reachable node was destroyed before step " << step;
    std::unordered_set<const gc_object*> garbage;
    gcVisitList(
        GcList::Free,
        [](gc_object* object, void* set) {
          static_cast<std::unordered_set<const gc_object*>*>(set)->insert(object);
        },
        &garbage);
    for (const gc_object* object : reachableNow) {
      ASSERT_EQ(garbage.count(object), 0u) << "reachable object on the free list at step " << step;
    }
    for (Node* node : reachableList_) ASSERT_FALSE(records[node->id].destroyed) << "node " << node->id;

    for (size_t id = 0; id < objects_.size(); ++id) {
      Record& record = records[id];
      if (record.destroyed) continue;
      if (reachableNow.count(objects_[id]) == 0 && record.unreachableSince < 0)
        record.unreachableSince = fullCollections_;
      if (record.unreachableSince >= 0 && fullCollections_ - record.unreachableSince >= 2) {
        ASSERT_EQ(garbage.count(objects_[id]), 1u) << "node " << id << " unreachable since full collection "
                                                   << record.unreachableSince << ", now " << fullCollections_;
      }
    }
  }

  void finish() {
    for (auto& root : roots_) root = nullptr;
    reachableNow.clear();
    settleCollector();
    settleCollector();
    int destroyed = 0;
    for (const Record& record : records) {
      EXPECT_LE(record.destroyCount, 1);
      destroyed += record.destroyCount;
    }
    EXPECT_EQ(destroyed, static_cast<int>(records.size()))
        << "every node is destroyed once nothing reaches it";
    EXPECT_EQ(gcCounters.freeBytes, 0);
    EXPECT_GE(fullCollections_, 20) << "the run should span many cycles";
    EXPECT_GE(maxReach_, 100u) << "the graph should be large enough for marking to span several steps";
    EXPECT_GE(stepsWithGreyObjects_, 1000) << "mutations should often meet a partly marked graph";
  }

  static constexpr int kRoots = 3;
  std::mt19937 random_;
  GcRoot<Node*> roots_[kRoots];
  std::vector<Node*> objects_;  // by id; dereferenced only while reachable
  std::vector<Node*> reachableList_;
  int fullCollections_ = 0;
  size_t maxReach_ = 0;
  int stepsWithGreyObjects_ = 0;
};

TEST(CollectorStress, RandomGraphNeverLosesReachableObjects) {
  for (unsigned seed : {1u, 77u, 4242u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    GraphRun run(seed);
    run.run(6000);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
