// Arrays, the int-keyed red-black maps and the object stack, including how they behave under
// the collector (marking through their fields and barriers).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "runtime/array.h"
#include "runtime/map.h"
#include "runtime/stack.h"
#include "tests/runtime/gc_test_support.h"

namespace {

class Item : public Object {
 public:
  explicit Item(int id) : id(id) {}
  int id;
};

// --- arrays ---

TEST(ArrayCreate, ZeroFillsEveryElementKind) {
  Array<int> ints(3);
  Array<float> floats(2);
  Array<bool> bools(5);
  Array<Item*> items(4);
  Array<String> strings(2);
  EXPECT_EQ(ints[2], 0);
  EXPECT_EQ(floats[1], 0.0f);
  EXPECT_FALSE(bools[4]);
  EXPECT_EQ(items[3], nullptr);
  EXPECT_EQ(strings[1].rep(), String().rep());
  EXPECT_EQ(ints.rep()->gcSize(), roundedSize(Array<int>::kElementOffset + 3 * sizeof(int)));
  EXPECT_EQ(items.rep()->gcSize(), roundedSize(Array<Item*>::kElementOffset + 4 * sizeof(Item*)));
}

TEST(ArrayCreate, ZeroLengthIsTheSharedEmptyArrayAndNeverAllocates) {
  int64_t before = gcCounters.allocBytes;
  Array<int> none(0);
  Array<int> negative(-4);
  EXPECT_EQ(none.rep(), negative.rep());
  EXPECT_TRUE(none.isSharedEmpty());
  EXPECT_EQ(none.length(), 0);
  EXPECT_EQ(gcCounters.allocBytes, before);
  EXPECT_FALSE(isWhite(none.rep())) << "the shared empty array is never white";
  EXPECT_EQ(gcListOf(none.rep()), GcList::None);
}

TEST(ArraySlice, ClampsBoundsAndAlwaysCopies) {
  Array<int> five(5);
  for (int i = 0; i < 5; ++i) five[i] = 10 * i;
  Array<int> tail = five.Slice(-2, five.length());
  ASSERT_EQ(tail.length(), 2);
  EXPECT_EQ(tail[0], 30);
  EXPECT_EQ(tail[1], 40);
  EXPECT_TRUE(five.Slice(3, 1).isSharedEmpty());
  EXPECT_TRUE(five.Slice(2, 2).isSharedEmpty());
  Array<int> full = five.Slice(0, 99);
  EXPECT_NE(full.rep(), five.rep()) << "a full slice is still a copy";
  EXPECT_EQ(full.length(), 5);
  EXPECT_EQ(five.Slice(-99, -4).length(), 1);
}

TEST(ArrayResize, KeepsThePrefixAndZeroFillsTheRest) {
  Array<String> words = String("a b c").Split(String(" "));
  Array<String> longer = words.Resize(5);
  ASSERT_EQ(longer.length(), 5);
  EXPECT_EQ(toStdString(longer[2]), "c");
  EXPECT_EQ(longer[2].rep(), words[2].rep());
  EXPECT_EQ(longer[4].rep(), String().rep());
  EXPECT_EQ(words.Resize(1).length(), 1);
  EXPECT_TRUE(words.Resize(0).isSharedEmpty());
  EXPECT_TRUE(words.Resize(-1).isSharedEmpty());
}

TEST(ArrayOfStrings, DestructionReleasesEachElementOnce) {
  settleCollector();
  String word("word");
  String other("other");
  {
    Array<String> strings(3);
    strings[0] = word;
    strings[1] = word;
    strings[2] = other;
    EXPECT_EQ(word.rep()->refs, 3);
  }
  fullCollection();  // the array was never reachable
  EXPECT_EQ(word.rep()->refs, 3) << "garbage is not destroyed before an allocation pays for it";
  destroyAllGarbage();
  EXPECT_EQ(word.rep()->refs, 1);
  EXPECT_EQ(other.rep()->refs, 1);
}

TEST(ArrayOfObjects, GlobalArrayRootKeepsItsElements) {
  settleCollector();
  GcRoot<Array<Item*>> root;
  root = Array<Item*>(3);
  root[0] = new Item(5);
  root[2] = new Item(6);
  root[1] = new Item(7);
  root[1] = nullptr;  // the item stored here becomes garbage
  settleCollector();
  EXPECT_NE(gcListOf(root.get().rep()), GcList::Free);
  EXPECT_EQ(root[0]->id, 5);
  EXPECT_EQ(root[2]->id, 6);
  EXPECT_EQ(gcListLength(GcList::Free), 0);
  root = Array<Item*>();
  fullCollection();
  fullCollection();
  EXPECT_EQ(gcCounters.freeBytes,
            roundedSize(Array<Item*>::kElementOffset + 3 * sizeof(Item*)) + 2 * roundedSize(sizeof(Item)))
      << "the dropped array and its two items";
}

// A holder scanned already in this cycle: what it gets from now on survives only through a barrier.
class Holder : public Object {
 public:
  GcField<Array<Item*>> items;
  void mark() override { items.mark(); }
};

std::vector<int> idsOf(const Array<Item*>& items) {
  std::vector<int> ids;
  for (Item* item : items) ids.push_back(item ? item->id : -1);
  return ids;
}

TEST(ArrayEdit, AppendInsertRemoveGiveNewArraysAndClampOrIgnoreBadIndexes) {
  Array<Item*> none;
  Array<Item*> one = none.Append(new Item(1));
  Array<Item*> three = one.Insert(0, new Item(0)).Insert(99, new Item(3));
  EXPECT_EQ(idsOf(three), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(idsOf(three.Insert(-5, new Item(-1))), (std::vector<int>{-1, 0, 1, 3}));
  EXPECT_EQ(idsOf(three.Remove(1)), (std::vector<int>{0, 3}));
  EXPECT_EQ(three.Remove(3).rep(), three.rep()) << "an index past the end removes nothing";
  EXPECT_EQ(three.Remove(-1).rep(), three.rep());
  EXPECT_TRUE(one.Remove(0).isSharedEmpty());
  EXPECT_EQ(idsOf(one), (std::vector<int>{1})) << "the array appended to is unchanged";

  Array<String> words = Array<String>().Append(String("b")).Insert(0, String("a"));
  std::string joined;
  for (String& w : words) joined += toStdString(w);
  EXPECT_EQ(joined, "ab");
}

TEST(ArrayEdit, AFieldEditedInPlaceKeepsWhatItGetsThroughTheCollector) {
  settleCollector();
  GcRoot<Holder*> holder;
  holder = new Holder();
  fullCollection();
  markQueued(INT64_MAX);  // the holder is black: only the barrier can save what it takes now
  for (int i = 0; i < 5; ++i) holder->items.append(new Item(i));
  holder->items.insert(2, new Item(10));
  Item* removed = holder->items.remove(0);
  EXPECT_EQ(removed->id, 0);
  EXPECT_EQ(holder->items.remove(holder->items.length()), nullptr);
  settleCollector();
  EXPECT_EQ(idsOf(holder->items), (std::vector<int>{1, 10, 2, 3, 4}));
  for (Item* item : holder->items) ASSERT_NE(gcListOf(item), GcList::Free) << item->id;
  EXPECT_EQ(gcListLength(GcList::Free), 0);

  GcRoot<Array<Item*>> global;  // a root that is first stored into by append
  global.append(new Item(42));
  settleCollector();
  ASSERT_EQ(global.length(), 1);
  EXPECT_EQ(global[0]->id, 42);
}

// --- maps ---

template <class Node>
struct TreeCheck {
  int count = 0;
  bool ok = true;
  std::string problem;
  void fail(const std::string& what) {
    if (ok) problem = what;
    ok = false;
  }
  // Returns the black height of the subtree.
  int walk(Node* node, Node* parent, int64_t low, int64_t high) {
    if (node == nullptr) return 1;
    ++count;
    if (node->parent.get() != parent) fail("parent link of " + std::to_string(node->key));
    if (node->key <= low || node->key >= high) fail("order at " + std::to_string(node->key));
    if (node->colour != redblack::kRed && node->colour != redblack::kBlack) fail("colour value");
    if (node->colour == redblack::kRed &&
        (redblack::isRed<Node>(node->left) || redblack::isRed<Node>(node->right))) {
      fail("red node with a red child at " + std::to_string(node->key));
    }
    int left = walk(node->left, node, low, node->key);
    int right = walk(node->right, node, node->key, high);
    if (left != right) fail("black heights differ at " + std::to_string(node->key));
    return left + (node->colour == redblack::kBlack ? 1 : 0);
  }
};

template <class Map>
void expectRedBlack(Map* map, int expectedCount) {
  using Node = typename Map::Node;
  TreeCheck<Node> check;
  if (map->root != nullptr && map->root->colour != redblack::kBlack) check.fail("red root");
  check.walk(map->root, nullptr, INT64_MIN, INT64_MAX);
  EXPECT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(check.count, expectedCount);
}

TEST(IntMap, ThreeAscendingKeysBalanceAroundTheMiddle) {
  auto* map = new c_IntMap<Item>;
  map->add(1, new Item(1));
  ASSERT_NE(map->root, nullptr);
  EXPECT_EQ(map->root->colour, redblack::kRed) << "the first node stays red until the next insertion";
  map->add(2, new Item(2));
  EXPECT_EQ(map->root->colour, redblack::kBlack);
  map->add(3, new Item(3));
  c_Node<Item>* root = map->root;
  EXPECT_EQ(root->key, 2);
  EXPECT_EQ(root->colour, redblack::kBlack);
  ASSERT_NE(root->left, nullptr);
  ASSERT_NE(root->right, nullptr);
  EXPECT_EQ(root->left->key, 1);
  EXPECT_EQ(root->left->colour, redblack::kRed);
  EXPECT_EQ(root->right->key, 3);
  EXPECT_EQ(root->right->colour, redblack::kRed);
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(root->left->parent, root);
}

TEST(IntMap, AddKeepsTheOldValueAndSetReplacesIt) {
  auto* map = new c_IntMap<Item>;
  Item* first = new Item(1);
  Item* second = new Item(2);
  EXPECT_TRUE(map->add(7, first));
  EXPECT_FALSE(map->add(7, second));
  EXPECT_EQ(map->get(7), first);
  EXPECT_FALSE(map->set(7, second));
  EXPECT_EQ(map->get(7), second);
  EXPECT_TRUE(map->contains(7));
  EXPECT_FALSE(map->contains(8));
  EXPECT_EQ(map->find(8), nullptr);
  EXPECT_EQ(map->get(8), nullptr);

  auto* map2 = new c_IntMap2<Item>;
  EXPECT_TRUE(map2->set(3, first));
  EXPECT_FALSE(map2->set(3, second));
  EXPECT_EQ(map2->find(3)->value, second);
  EXPECT_FALSE(map2->add(3, first));
  EXPECT_EQ(map2->get(3), second);
}

TEST(IntMap, ThousandsOfRandomKeysKeepTheRedBlackRules) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> keys(-50000, 50000);
  auto* map = new c_IntMap<Item>;
  auto* map2 = new c_IntMap2<Item>;
  std::map<int, Item*> model;
  for (int i = 0; i < 5000; ++i) {
    int key = keys(random);
    Item* item = new Item(key);
    bool fresh = model.emplace(key, item).second;
    EXPECT_EQ(map->add(key, item), fresh);
    EXPECT_EQ(map2->set(key, item), fresh);
  }
  expectRedBlack(map, static_cast<int>(model.size()));
  expectRedBlack(map2, static_cast<int>(model.size()));
  for (const auto& [key, item] : model) {
    ASSERT_EQ(map->get(key), item) << "key " << key;
  }
  // The in-order walk visits the keys in ascending order.
  auto expected = model.begin();
  for (c_Node<Item>* node = map->firstNode(); node != nullptr; node = node->nextNode(), ++expected) {
    ASSERT_NE(expected, model.end());
    ASSERT_EQ(node->key, expected->first);
  }
  EXPECT_EQ(expected, model.end());
}

TEST(IntMap, KeysFarApartStayOrdered) {
  auto* map = new c_IntMap<Item>;
  const int keys[] = {0, INT32_MAX, INT32_MIN, -1, 1, INT32_MAX - 1, INT32_MIN + 1};
  for (int key : keys) EXPECT_TRUE(map->add(key, new Item(key)));
  for (int key : keys) EXPECT_TRUE(map->contains(key)) << key;
  for (int key : keys) EXPECT_FALSE(map->add(key, nullptr)) << key;
  expectRedBlack(map, 7);
  EXPECT_EQ(map->firstNode()->key, INT32_MIN);
}

TEST(IntMap, SurvivesCollectionsBetweenInsertions) {
  settleCollector();
  GcRoot<c_IntMap<Item>*> map;
  map = new c_IntMap<Item>;
  std::mt19937 random(7);
  std::vector<int> inserted;
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 50; ++i) {
      int key = static_cast<int>(random() % 100000);
      if (map->add(key, new Item(key))) inserted.push_back(key);
      if (i % 10 == 0) collectStep();
    }
    gcCounters.allocBytes += kFullCollectionBytes / 3;  // forces a full collection every few rounds
    collectStep();
    destroyAllGarbage();
  }
  settleCollector();
  for (int key : inserted) {
    c_Node<Item>* node = map->find(key);
    ASSERT_NE(node, nullptr) << key;
    ASSERT_NE(gcListOf(node), GcList::Free);
    ASSERT_EQ(node->value->id, key);
  }
  expectRedBlack(map.get(), static_cast<int>(inserted.size()));
}

// --- stacks ---

TEST(Stack, GrowsTenThirtySeventy) {
  auto* stack = new c_Stack<Item>;
  EXPECT_TRUE(stack->data.get().isSharedEmpty());
  EXPECT_EQ(stack->length, 0);
  std::vector<int> capacities;
  for (int i = 0; i < 31; ++i) {
    EXPECT_EQ(stack->push(new Item(i)), 0);
    if (capacities.empty() || capacities.back() != stack->data.length())
      capacities.push_back(stack->data.length());
  }
  EXPECT_EQ(capacities, (std::vector<int>{10, 30, 70}));
  EXPECT_EQ(stack->length, 31);
  Array<Item*> used = stack->toArray();
  ASSERT_EQ(used.length(), 31);
  for (int i = 0; i < 31; ++i) EXPECT_EQ(used[i]->id, i);
}

TEST(Stack, PushAllTakesARangeAndSkipsWhatIsOutside) {
  Array<Item*> source(5);
  for (int i = 0; i < 5; ++i) source[i] = new Item(i);
  auto* stack = new c_Stack<Item>;
  stack->pushAll(source, 1, 2);
  stack->pushAll(source, 3);
  stack->pushAll(source, 0, 0);
  stack->pushAll(source, 0, -3);
  ASSERT_EQ(stack->length, 4);
  Array<Item*> pushed = stack->toArray();
  EXPECT_EQ(pushed[0]->id, 1);
  EXPECT_EQ(pushed[1]->id, 2);
  EXPECT_EQ(pushed[3]->id, 4);
  stack->pushAll(source, 4, 100);
  stack->pushAll(source, -2, 3);
  EXPECT_EQ(stack->length, 6) << "only indexes 4, then 0 exist";
  EXPECT_EQ(stack->toArray()[5]->id, 0);
}

TEST(Stack, ConstructionCopiesTheArray) {
  Array<Item*> source(3);
  source[1] = new Item(9);
  auto* stack = new c_Stack<Item>(source);
  EXPECT_EQ(stack->length, 3);
  EXPECT_NE(stack->data.get().rep(), source.rep());
  EXPECT_EQ(stack->data[1]->id, 9);
  stack->push(new Item(10));
  EXPECT_EQ(stack->data.length(), 2 * 3 + 10);

  auto* empty = new c_Stack<Item>(Array<Item*>());
  EXPECT_EQ(empty->length, 0);
  EXPECT_TRUE(empty->data.get().isSharedEmpty());
  EXPECT_TRUE(empty->toArray().isSharedEmpty());
}

TEST(Stack, PopTopAndElementAccess) {
  settleCollector();
  GcRoot<c_Stack<Item>*> stack;
  stack = new c_Stack<Item>;
  EXPECT_EQ(stack->pop(), nullptr);
  EXPECT_EQ(stack->top(), nullptr);
  for (int i = 0; i < 3; ++i) stack->push(new Item(i));
  EXPECT_EQ(stack->top()->id, 2);
  EXPECT_EQ(stack->get(0)->id, 0);
  EXPECT_EQ((*stack)[1]->id, 1);
  EXPECT_EQ(stack->get(3), nullptr) << "past the used elements";
  EXPECT_EQ(stack->get(-1), nullptr);
  stack->set(1, new Item(11));
  std::vector<int> ids;
  for (Item* item : *stack) ids.push_back(item->id);
  EXPECT_EQ(ids, (std::vector<int>{0, 11, 2}));

  Item* popped = stack->pop();
  EXPECT_EQ(popped->id, 2);
  EXPECT_EQ(stack->length, 2);
  fullCollection();
  fullCollection();
  EXPECT_EQ(gcListOf(popped), GcList::Free) << "a popped element is no longer kept by the stack";
  EXPECT_NE(gcListOf(stack->get(1)), GcList::Free) << "one set through the barrier is";
}

TEST(Stack, KeepsItsElementsThroughCollections) {
  settleCollector();
  GcRoot<c_Stack<Item>*> stack;
  stack = new c_Stack<Item>;
  for (int i = 0; i < 200; ++i) {
    stack->push(new Item(i));
    if (i % 25 == 0) {
      fullCollection();
      destroyAllGarbage();
    }
  }
  settleCollector();
  Array<Item*> items = stack->toArray();
  for (int i = 0; i < 200; ++i) {
    ASSERT_NE(gcListOf(items[i]), GcList::Free);
    ASSERT_EQ(items[i]->id, i);
  }
}

}  // namespace
