// The collected object model and the incremental collector.
// Every framework and application object derives from gc_object and is allocated through the
// collector; marking is spread over frames and paced by allocation, and destruction of garbage is
// spread over later allocations. Needs only the C++ runtime (and fatalError for "Out of memory").
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

class String;

// The two links every collector list node has; the list sentinels are bare links.
struct GcLink {
  GcLink* succ;
  GcLink* pred;
};

class gc_object : public GcLink {
 public:
  // Size in bytes in bits 3-31 (a multiple of 8, header included), colour in bits 0-1.
  // Objects that live in static storage (the shared empty arrays) carry colour 2: never white,
  // so the barrier and the marker leave them alone.
  uint32_t flags;

  gc_object();
  gc_object(const gc_object&) = delete;
  gc_object& operator=(const gc_object&) = delete;
  // The sweep unlinks an object before destroying it. An object still linked here is being
  // destroyed some other way (its constructor threw, or a stray delete), so it leaves its list.
  virtual ~gc_object();
  // Greys every object this object references, in field declaration order.
  virtual void mark() {}

  uint32_t gcSize() const { return flags & ~7u; }

  // Every collected object is allocated here; nothing outside the collector's sweep deletes one.
  static void* operator new(std::size_t size);
  // For objects in static storage (the shared empty arrays): outside every collector list.
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  // Runs when a constructor throws (the half-built block goes back), or after a stray delete
  // expression. Sized, because the header cannot be read once the destructors have run. Also the
  // way to give back a block from allocObject that was never constructed.
  static void operator delete(void* block, std::size_t size);
  static void operator delete(void*, void*) noexcept {}
  // Arrays of objects are Array<T*>; a C++ array of collected objects could never be collected.
  static void* operator new[](std::size_t) = delete;
  static void operator delete[](void*) = delete;
};

class Object : public gc_object {
 public:
  // Identity.
  virtual bool equals(Object* other);
  // The difference of the two addresses, clamped to int so that its sign is always right.
  virtual int compare(Object* other);
  // "+Object\n".
  virtual String debugText();
};

// --- collector state (signed counters; 64-bit so that nothing overflows) ---
struct CollectorCounters {
  int64_t allocBytes;   // allocated since the last full collection (objects and strings)
  int64_t liveBytes;    // on the unmarked list, queue and marked list
  int64_t markedBytes;  // blackened in the current cycle
  int64_t freeBytes;    // on the free list, waiting for destruction
};
extern CollectorCounters gcCounters;
extern std::atomic<int64_t>
    externalBytes;        // file, image and audio data loaded since the last full collection
extern uint32_t gcWhite;  // colour value W that means "white" in this cycle

// Allocation (plus loaded data) beyond this since the last full collection triggers the next one.
constexpr int64_t kFullCollectionBytes = 8388608;
// Blocks up to this size are recycled through per-size lists instead of going back to the heap.
constexpr uint32_t kMaxRecycledSize = 56;

// Makes the four lists empty. They start out empty (constant-initialised), so this only matters
// before the first allocation; called later it leaves existing objects in place.
void initCollector();
void* allocObject(std::size_t size);
// The memory half of every deleting destructor: lowers freeBytes, recycles or frees the block.
void releaseObject(gc_object* object, uint32_t size);
void greyObject(gc_object* object);
void blackenNow(gc_object* object);
void markQueued(int64_t limit);
void endCycle();
void markRoots();
// Finishes the cycle, turns every white object into garbage and starts the next cycle.
void fullCollection();
// The per-frame step: a full collection past the budget, otherwise an allocation-paced slice.
void collectStep();
void addExternalBytes(int64_t n);

// --- the check mode ---
// Finds objects a program still uses after the collector took them (a plain pointer field, a
// field left out of mark()). While it is on, every collector step is a full collection that
// destroys its garbage at once; a destroyed object's memory is poisoned (on Linux its pages are
// made inaccessible) and never reused, and the first use of it (a virtual call, a read of a field,
// a write barrier or a mark) ends the program with a runtime error that names its class. Off by
// default; initCollector switches it on when the environment has CORVANE_GC_CHECK=1.
void setCollectorCheckMode(bool on);
bool collectorCheckMode();
// The runtime error's message when `address` lies inside an object the check mode has collected,
// null otherwise. The fatal-signal handler asks it about the address that faulted.
const char* collectedObjectMessage(const void* address);

inline bool isWhite(const gc_object* object) {
  return (object->flags & 3u) == gcWhite;
}

// Which list an object is on, for tests and diagnostics (a linear search; never on a hot path).
enum class GcList { None, Unmarked, Queue, Marked, Free };
GcList gcListOf(const gc_object* object);
// Number of objects on a list (linear; for tests).
int gcListLength(GcList list);
// Calls visit for every object on a list, in list order (for tests; visit must not change lists).
void gcVisitList(GcList list, void (*visit)(gc_object* object, void* context), void* context);
// Number of recycled blocks waiting on the list for one size (8..56; for tests).
int gcRecycledBlockCount(uint32_t size);

// --- the write barrier ---
// A reference to a collected object stored in a field or a global. Assignment applies the barrier
// (grey the stored object), so no store can bypass it.
template <class T>
class GcField;

template <class X>
class GcField<X*> {
 public:
  GcField() = default;
  explicit GcField(X* value) { *this = value; }
  GcField(const GcField&) = delete;
  GcField& operator=(X* value) {
    greyObject(value);
    ptr_ = value;
    return *this;
  }
  GcField& operator=(const GcField& other) { return *this = other.ptr_; }
  operator X*() const { return ptr_; }
  X* operator->() const { return ptr_; }
  X* get() const { return ptr_; }
  void mark() const { greyObject(ptr_); }

 private:
  X* ptr_ = nullptr;
};

// Root registry. A global GcRoot is constant-initialised (no static-initialisation order to get
// wrong) and links itself into the root list at its first store; a root that was never stored into
// has nothing to mark. A GcRoot that goes out of scope (in tests) unlinks itself.
class GcRootBase {
 public:
  constexpr GcRootBase() = default;
  GcRootBase(const GcRootBase&) = delete;
  GcRootBase& operator=(const GcRootBase&) = delete;
  virtual void markRoot() const = 0;
  const GcRootBase* nextRoot() const { return next_; }
  static const GcRootBase* firstRoot();

 protected:
  virtual ~GcRootBase();
  void registerRoot();

 private:
  GcRootBase* next_ = nullptr;
  bool registered_ = false;
};

template <class T>
class GcRoot : public GcField<T>, public GcRootBase {
 public:
  GcRoot() = default;
  template <class V>
  GcRoot& operator=(const V& value) {
    registerRoot();
    GcField<T>::operator=(value);
    return *this;
  }
  GcRoot& operator=(const GcRoot& other) { return *this = other.get(); }
  void markRoot() const override { GcField<T>::mark(); }
  // The in-place array operations store too (GcRoot<Array<T>>).
  template <class... A>
  decltype(auto) append(A&&... a) {
    registerRoot();
    return GcField<T>::append(std::forward<A>(a)...);
  }
  template <class... A>
  decltype(auto) insert(A&&... a) {
    registerRoot();
    return GcField<T>::insert(std::forward<A>(a)...);
  }
};

// Ends the program through the runtime-error path when the system heap is exhausted.
[[noreturn]] void gcOutOfMemory();
