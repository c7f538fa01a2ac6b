// The incremental tri-colour mark-and-sweep collector: four circular lists with sentinels, seven
// recycled-block lists for the sizes 8..56, allocation-paced marking and lazy destruction.
// It runs only inside collectStep, between application callbacks, so it never scans the stack.
#include "runtime/collector.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

#include "host/platform.h"
#include "host/runtime_error.h"
#include "runtime/string.h"

CollectorCounters gcCounters = {0, 0, 0, 0};
std::atomic<int64_t> externalBytes{0};
uint32_t gcWhite = 1;

namespace {

GcLink unmarkedList = {&unmarkedList, &unmarkedList};
GcLink queueList = {&queueList, &queueList};
GcLink markedList = {&markedList, &markedList};
GcLink freeList = {&freeList, &freeList};

// A dead block waiting for reuse. The link sits in the block's first word: the object is gone, so
// which word carries it does not matter, and the block start is what allocObject must hand out.
struct RecycledBlock {
  RecycledBlock* next;
};
// Indexed by size / 8; slot 0 is unused.
RecycledBlock* recycledBlocks[kMaxRecycledSize / 8 + 1] = {};

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

constinit GcRootBase* rootListHead = nullptr;

// --- check mode state ---
bool checkMode = false;
bool checkModeWasOn = false;  // blocks of the check mode's may still be live
// Every byte of a collected object that could not be made inaccessible: as a pointer no valid
// address, as a number an unlikely one.
constexpr unsigned char kPoisonByte = 0xDD;
// Collected objects by start address: their end and the message that names their class.
struct RetiredObject {
  uintptr_t end;
  const char* message;
};
std::map<uintptr_t, RetiredObject>& retiredObjects() {
  static auto* objects = new std::map<uintptr_t, RetiredObject>;
  return *objects;
}
// Blocks from allocGuardedBlock still holding a live object, with their rounded sizes.
std::unordered_map<void*, uint32_t>& guardedBlocks() {
  static auto* blocks = new std::unordered_map<void*, uint32_t>;
  return *blocks;
}

// "Array<c_Brick*>::Rep", not "N5ArrayIP7c_BrickE3RepE" and not with "(anonymous namespace)::".
std::string className(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : type.name();
  std::free(demangled);
  const std::string anonymous = "(anonymous namespace)::";
  for (size_t at; (at = name.find(anonymous)) != std::string::npos;) name.erase(at, anonymous.size());
  return name;
}

// One message per class, kept for the rest of the run (the fatal-signal handler reads them).
const char* collectedMessageFor(const gc_object* object) {
  static auto* messages = new std::unordered_map<std::type_index, std::string>;
  const std::type_info& type = typeid(*object);
  auto found = messages->find(type);
  if (found == messages->end()) {
    std::string text = "Object of class " + className(type) +
                       " used after it was already collected (collector check mode: a reference to it"
                       " was not in a GcField, or mark() left it out)";
    found = messages->emplace(type, std::move(text)).first;
  }
  return found->second.c_str();
}

// The barrier's and the marker's test, by address: a collected object is never read, since its
// memory may be inaccessible or hold no valid object any more.
void checkNotCollected(const gc_object* object) {
  if (object == nullptr) return;
  if (const char* message = collectedObjectMessage(object)) fatalError(message);
}

// The check mode's end of an object: destroyed, then kept out of reach instead of released.
void retireObject(gc_object* object, uint32_t size, const char* message) {
  gcCounters.freeBytes -= size;
  auto guarded = guardedBlocks().find(object);
  bool inaccessible = false;
  if (guarded != guardedBlocks().end()) {
    guardedBlocks().erase(guarded);
    inaccessible = retireGuardedBlock(object, size);
  }
  if (!inaccessible) std::memset(static_cast<void*>(object), kPoisonByte, size);
  auto start = reinterpret_cast<uintptr_t>(object);
  retiredObjects()[start] = {start + size, message};
}

bool isEmpty(const GcLink& list) {
  return list.succ == &list;
}

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

gc_object* firstOf(GcLink& list) {
  return static_cast<gc_object*>(list.succ);
}

// Removes the pending entry of a block; returns its size, or 0 when the block is not pending.
uint32_t takePending(const void* block) {
  for (int i = pendingCount - 1; i >= 0; --i) {
    if (pendingBlocks[i].block == block) {
      uint32_t size = pendingBlocks[i].size;
      pendingBlocks[i] = pendingBlocks[--pendingCount];
      return size;
    }
  }
  return 0;
}

void destroyObject(gc_object* object) {
  uint32_t size = object->gcSize();
  const char* message = checkMode ? collectedMessageFor(object) : nullptr;
  object->succ = object->pred = nullptr;  // tells ~gc_object that the sweep has unlinked it
  object->~gc_object();
  if (checkMode) {
    retireObject(object, size, message);
  } else {
    releaseObject(object, size);
  }
}

GcLink* listHead(GcList kind) {
  switch (kind) {
    case GcList::Unmarked:
      return &unmarkedList;
    case GcList::Queue:
      return &queueList;
    case GcList::Marked:
      return &markedList;
    case GcList::Free:
      return &freeList;
    case GcList::None:
      break;
  }
  return nullptr;
}

}  // namespace

// --- objects ---

gc_object::gc_object() {
  // The header is written here rather than in allocObject so that value-initialisation of a class
  // without a user-provided constructor (which zero-fills the whole object first) cannot erase it.
  if (uint32_t size = takePending(this)) {
    flags = size | gcWhite;
    appendTo(unmarkedList, this);
    gcCounters.liveBytes += size;
    return;
  }
  // Not from the allocator: an object in static storage, outside every list.
  succ = pred = this;
  flags = 2;
}

void* gc_object::operator new(std::size_t size) {
  return allocObject(size);
}

gc_object::~gc_object() {
  if (succ == nullptr || flags == 2) return;  // unlinked by the sweep, or in static storage
  GcList list = gcListOf(this);
  if (list == GcList::None) return;
  uint32_t size = gcSize();
  unlink(this);
  succ = pred = nullptr;
  if (list == GcList::Free) {
    gcCounters.freeBytes -= size;
  } else {
    gcCounters.liveBytes -= size;
    if (list == GcList::Marked) gcCounters.markedBytes -= size;
  }
}

void gc_object::operator delete(void* block, std::size_t size) {
  if (block == nullptr) return;
  uint32_t rounded = takePending(block);
  // Not pending: constructed, and taken off its list by ~gc_object; the size of the type is
  // what allocObject was asked for.
  if (rounded == 0) rounded = static_cast<uint32_t>((size + 7) & ~static_cast<std::size_t>(7));
  // Never counted as live now: it only has to go back where it came from.
  gcCounters.freeBytes += rounded;
  releaseObject(static_cast<gc_object*>(block), rounded);
}

bool Object::equals(Object* other) {
  return this == other;
}

int Object::compare(Object* other) {
  // A plain 32-bit difference of 64-bit addresses could have either sign.
  intptr_t difference = reinterpret_cast<intptr_t>(this) - reinterpret_cast<intptr_t>(other);
  if (difference > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (difference < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(difference);
}

String Object::debugText() {
  return String("+Object\n");
}

// --- roots ---

GcRootBase::~GcRootBase() {
  if (!registered_) return;
  for (GcRootBase** link = &rootListHead; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

void GcRootBase::registerRoot() {
  if (registered_) return;
  registered_ = true;
  next_ = rootListHead;
  rootListHead = this;
}

const GcRootBase* GcRootBase::firstRoot() {
  return rootListHead;
}

// --- the collector ---

void initCollector() {
  if (const char* check = std::getenv("CORVANE_GC_CHECK"); check != nullptr && std::strcmp(check, "1") == 0) {
    setCollectorCheckMode(true);
  }
  // Emptying lists that already hold objects would leave those objects linked to the sentinels.
  for (GcLink* list : {&unmarkedList, &queueList, &markedList, &freeList}) {
    if (list->succ == nullptr || list->pred == nullptr) list->succ = list->pred = list;
  }
}

void* allocObject(std::size_t requested) {
  if (requested > UINT32_MAX - 8) gcOutOfMemory();
  uint32_t size = static_cast<uint32_t>((requested + 7) & ~static_cast<std::size_t>(7));
  if (size == 0) size = 8;
  gcCounters.allocBytes += size;

  // Pay the sweep debt: destroy at least as many bytes of garbage as are asked for, or all of it.
  int64_t target = gcCounters.freeBytes - size;
  if (target < 0) target = 0;
  while (gcCounters.freeBytes > target && !isEmpty(freeList)) {
    gc_object* victim = firstOf(freeList);
    unlink(victim);
    destroyObject(victim);
  }

  void* block = nullptr;
  if (checkMode) {
    // Never a recycled block: memory once given to an object is not reused while checking.
    block = allocGuardedBlock(size);
    if (block != nullptr) {
      guardedBlocks()[block] = size;
    } else {
      block = std::malloc(size);
      if (block == nullptr) gcOutOfMemory();
    }
  } else if (size <= kMaxRecycledSize && recycledBlocks[size / 8] != nullptr) {
    RecycledBlock* recycled = recycledBlocks[size / 8];
    recycledBlocks[size / 8] = recycled->next;
    block = recycled;
  } else {
    block = std::malloc(size);
    if (block == nullptr) gcOutOfMemory();
  }
  if (pendingCount == kMaxPending) fatalError("Too many nested object allocations");
  pendingBlocks[pendingCount++] = {block, size};
  return block;
}

void releaseObject(gc_object* object, uint32_t size) {
  gcCounters.freeBytes -= size;
  void* block = object;
  // A block of the check mode's, whose object outlived the mode.
  if (checkModeWasOn && guardedBlocks().erase(block) != 0) {
    freeGuardedBlock(block, size);
    return;
  }
  if (size <= 63) {
    // Recycled blocks are never given back to the system.
    auto* recycled = ::new (block) RecycledBlock{recycledBlocks[size / 8]};
    recycledBlocks[size / 8] = recycled;
  } else {
    std::free(block);
  }
}

void greyObject(gc_object* object) {
  if (checkMode) checkNotCollected(object);
  if (object == nullptr || !isWhite(object)) return;
  unlink(object);
  object->flags ^= 1u;
  appendTo(queueList, object);
}

void blackenNow(gc_object* object) {
  if (checkMode) checkNotCollected(object);
  if (object == nullptr || !isWhite(object)) return;
  object->flags ^= 1u;
  unlink(object);
  appendTo(markedList, object);
  gcCounters.markedBytes += object->gcSize();
  object->mark();
}

void markQueued(int64_t limit) {
  while (gcCounters.markedBytes < limit && !isEmpty(queueList)) {
    gc_object* object = firstOf(queueList);
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

void fullCollection() {
  // Read once and subtract what was read: loader threads may add to it meanwhile.
  int64_t external = externalBytes.load();
  externalBytes.fetch_sub(external);
  // The counters are 64-bit, so "everything" is the 64-bit maximum rather than 2147483647.
  markQueued(std::numeric_limits<int64_t>::max());
  endCycle();
  markRoots();
  gcCounters.allocBytes = 0;
}

void collectStep() {
  if (checkMode) {
    // Everything unreachable goes now, and is destroyed now, so that a use of it is caught at once.
    fullCollection();
    while (!isEmpty(freeList)) {
      gc_object* victim = firstOf(freeList);
      unlink(victim);
      destroyObject(victim);
    }
    return;
  }
  int64_t alloc = gcCounters.allocBytes;
  if (alloc + externalBytes.load() > kFullCollectionBytes) {
    fullCollection();
  } else {
    // By the time the budget has been allocated, the target has grown to liveBytes: everything.
    markQueued(alloc + (alloc * (gcCounters.liveBytes - alloc)) / kFullCollectionBytes);
  }
}

void addExternalBytes(int64_t n) {
  externalBytes.fetch_add(n);
}

GcList gcListOf(const gc_object* object) {
  for (GcList kind : {GcList::Unmarked, GcList::Queue, GcList::Marked, GcList::Free}) {
    GcLink* list = listHead(kind);
    for (GcLink* node = list->succ; node != list; node = node->succ) {
      if (node == object) return kind;
    }
  }
  return GcList::None;
}

int gcListLength(GcList kind) {
  GcLink* list = listHead(kind);
  if (list == nullptr) return 0;
  int n = 0;
  for (GcLink* node = list->succ; node != list; node = node->succ) ++n;
  return n;
}

void gcVisitList(GcList kind, void (*visit)(gc_object* object, void* context), void* context) {
  GcLink* list = listHead(kind);
  if (list == nullptr) return;
  for (GcLink* node = list->succ; node != list; node = node->succ)
    visit(static_cast<gc_object*>(node), context);
}

int gcRecycledBlockCount(uint32_t size) {
  if (size == 0 || size > kMaxRecycledSize || size % 8 != 0) return 0;
  int n = 0;
  for (RecycledBlock* block = recycledBlocks[size / 8]; block != nullptr; block = block->next) ++n;
  return n;
}

void setCollectorCheckMode(bool on) {
  checkMode = on;
  checkModeWasOn = checkModeWasOn || on;
}

bool collectorCheckMode() {
  return checkMode;
}

const char* collectedObjectMessage(const void* address) {
  auto& retired = retiredObjects();
  if (retired.empty()) return nullptr;
  auto at = reinterpret_cast<uintptr_t>(address);
  auto after = retired.upper_bound(at);
  if (after == retired.begin()) return nullptr;
  auto object = std::prev(after);
  return at < object->second.end ? object->second.message : nullptr;
}

void gcOutOfMemory() {
  fatalError("Out of memory");
}
