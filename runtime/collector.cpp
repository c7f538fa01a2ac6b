// The incremental tri-colour mark-and-sweep collector: four circular lists with sentinels, seven
// recycled-block lists for the sizes 8..56, allocation-paced marking and lazy destruction.
// It runs only inside collectStep, between application callbacks, so it never scans the stack.
#include "runtime/collector.h"

#include <climits>
#include <cstdlib>

#include "runtime/string.h"

CollectorCounters gcCounters = {0, 0, 0, 0};
std::atomic<int64_t> externalBytes{0};
uint32_t gcWhite = 1;

namespace {

GcLink unmarkedList = {&unmarkedList, &unmarkedList};
GcLink queueList = {&queueList, &queueList};
GcLink markedList = {&markedList, &markedList};
GcLink freeList = {&freeList, &freeList};

// Recycled blocks of 8, 16, ..., 56 bytes, indexed by size / 8, linked through the successor word.
constexpr uint32_t kMaxRecycledSize = 56;
GcLink* recycledBlocks[kMaxRecycledSize / 8 + 1] = {};

// Blocks handed out by operator new whose gc_object constructor has not run yet. The constructor
// finds its own entry: with C++17 sequencing, `new A(new B)` allocates A, then B, then constructs
// B before A, so the entries are not always consumed in stack order.
struct PendingBlock {
  void* block;
  uint32_t size;
};
constexpr int kMaxPending = 64;
PendingBlock pendingBlocks[kMaxPending];
int pendingCount = 0;

constinit const GcRootBase* rootListHead = nullptr;

bool isEmpty(const GcLink& list) { return list.succ == &list; }

void unlink(GcLink* node) {
  node->pred->succ = node->succ;
  node->succ->pred = node->pred;
}

void appendTo(GcLink& list, GcLink* node) {
  node->pred = list.pred;
  node->succ = &list;
  list.pred->succ = node;
  list.pred = node;
}

// Appends every node of `from` to the tail of `to` and leaves `from` empty, in O(1).
void spliceAll(GcLink& from, GcLink& to) {
  if (isEmpty(from)) return;
  GcLink* first = from.succ;
  GcLink* last = from.pred;
  first->pred = to.pred;
  to.pred->succ = first;
  last->succ = &to;
  to.pred = last;
  from.succ = from.pred = &from;
}

void destroyObject(gc_object* object) {
  uint32_t size = object->gcSize();
  object->~gc_object();
  releaseObject(object, size);
}

}  // namespace

// --- objects ---

gc_object::gc_object() {
  // The header is written here rather than in allocObject so that value-initialisation of a class
  // without a user-provided constructor (which zero-fills the whole object first) cannot erase it.
  for (int i = pendingCount - 1; i >= 0; --i) {
    if (pendingBlocks[i].block == this) {
      uint32_t size = pendingBlocks[i].size;
      pendingBlocks[i] = pendingBlocks[--pendingCount];
      flags = size | gcWhite;
      appendTo(unmarkedList, this);
      gcCounters.liveBytes += size;
      return;
    }
  }
  // Not from the allocator: an object in static storage, outside every list.
  succ = pred = this;
  flags = 2;
}

void* gc_object::operator new(std::size_t size) { return allocObject(size); }

void gc_object::operator delete(void* block) {
  for (int i = pendingCount - 1; i >= 0; --i) {
    if (pendingBlocks[i].block == block) {
      uint32_t size = pendingBlocks[i].size;
      pendingBlocks[i] = pendingBlocks[--pendingCount];
      // Never linked, so it only has to go back where it came from.
      gcCounters.freeBytes += size;
      releaseObject(static_cast<gc_object*>(block), size);
      return;
    }
  }
}

bool Object::equals(Object* other) { return this == other; }

int Object::compare(Object* other) {
  return static_cast<int>(reinterpret_cast<intptr_t>(this) - reinterpret_cast<intptr_t>(other));
}

String Object::debugText() { return String("+Object\n"); }

// --- roots ---

GcRootBase::GcRootBase() : next_(rootListHead) { rootListHead = this; }

const GcRootBase* GcRootBase::firstRoot() { return rootListHead; }

// --- the collector ---

void initCollector() {
  for (GcLink* list : {&unmarkedList, &queueList, &markedList, &freeList}) list->succ = list->pred = list;
}

void* allocObject(std::size_t requested) {
  if (requested > UINT32_MAX - 8) gcOutOfMemory();
  uint32_t size = static_cast<uint32_t>((requested + 7) & ~static_cast<std::size_t>(7));
  gcCounters.allocBytes += size;

  // Pay the sweep debt: destroy at least as many bytes of garbage as are asked for, or all of it.
  int64_t target = gcCounters.freeBytes - size;
  if (target < 0) target = 0;
  while (gcCounters.freeBytes > target && !isEmpty(freeList)) {
    gc_object* victim = static_cast<gc_object*>(freeList.succ);
    unlink(victim);
    destroyObject(victim);
  }

  void* block = nullptr;
  if (size <= kMaxRecycledSize && recycledBlocks[size / 8] != nullptr) {
    GcLink* recycled = recycledBlocks[size / 8];
    recycledBlocks[size / 8] = recycled->succ;
    block = recycled;
  } else {
    block = std::malloc(size);
    if (block == nullptr) gcOutOfMemory();
  }
  if (pendingCount == kMaxPending) gcOutOfMemory();
  pendingBlocks[pendingCount++] = {block, size};
  return block;
}

void releaseObject(gc_object* object, uint32_t size) {
  gcCounters.freeBytes -= size;
  if (size <= 63) {
    GcLink* block = object;
    block->succ = recycledBlocks[size / 8];
    recycledBlocks[size / 8] = block;
  } else {
    std::free(object);
  }
}

void greyObject(gc_object* object) {
  if (object == nullptr || !isWhite(object)) return;
  unlink(object);
  object->flags ^= 1u;
  appendTo(queueList, object);
}

void blackenNow(gc_object* object) {
  if (object == nullptr || !isWhite(object)) return;
  object->flags ^= 1u;
  unlink(object);
  appendTo(markedList, object);
  gcCounters.markedBytes += object->gcSize();
  object->mark();
}

void markQueued(int64_t limit) {
  while (gcCounters.markedBytes < limit && !isEmpty(queueList)) {
    gc_object* object = static_cast<gc_object*>(queueList.succ);
    unlink(object);
    appendTo(markedList, object);
    gcCounters.markedBytes += object->gcSize();
    object->mark();
  }
}

void endCycle() {
  if (gcCounters.liveBytes != gcCounters.markedBytes) {
    spliceAll(unmarkedList, freeList);
    gcCounters.freeBytes += gcCounters.liveBytes - gcCounters.markedBytes;
  }
  // Survivors become white by flipping W instead of being rewritten.
  spliceAll(markedList, unmarkedList);
  gcCounters.liveBytes = gcCounters.markedBytes;
  gcCounters.markedBytes = 0;
  gcWhite ^= 1u;
}

void markRoots() {
  for (const GcRootBase* root = GcRootBase::firstRoot(); root != nullptr; root = root->nextRoot()) {
    root->markRoot();
  }
}

void collectStep() {
  int64_t external = externalBytes.load();
  if (gcCounters.allocBytes + external > kFullCollectionBytes) {
    externalBytes.fetch_sub(external);
    markQueued(INT_MAX);
    endCycle();
    markRoots();
    gcCounters.allocBytes = 0;
  } else {
    int64_t alloc = gcCounters.allocBytes;
    markQueued(alloc + (alloc * (gcCounters.liveBytes - alloc)) / kFullCollectionBytes);
  }
}

void addExternalBytes(int64_t n) { externalBytes.fetch_add(n); }

GcList gcListOf(const gc_object* object) {
  const std::pair<GcLink*, GcList> lists[] = {{&unmarkedList, GcList::Unmarked},
                                              {&queueList, GcList::Queue},
                                              {&markedList, GcList::Marked},
                                              {&freeList, GcList::Free}};
  for (const auto& [list, kind] : lists) {
    for (GcLink* node = list->succ; node != list; node = node->succ) {
      if (node == object) return kind;
    }
  }
  return GcList::None;
}

int gcListLength(GcList kind) {
  GcLink* list = kind == GcList::Unmarked ? &unmarkedList
                 : kind == GcList::Queue  ? &queueList
                 : kind == GcList::Marked ? &markedList
                 : kind == GcList::Free   ? &freeList
                                          : nullptr;
  if (list == nullptr) return 0;
  int n = 0;
  for (GcLink* node = list->succ; node != list; node = node->succ) ++n;
  return n;
}

// Declared here rather than included: the runtime-error path lives in the host.
[[noreturn]] void fatalError(const char* message);

void gcOutOfMemory() { fatalError("Out of memory"); }
