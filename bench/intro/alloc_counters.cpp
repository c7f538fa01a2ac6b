#include "bench/intro/alloc_counters.h"

#include <time.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "runtime/collector.h"

namespace {

thread_local bool counted = false;
// Where the heap allocations of one traced stretch came from (return addresses, not strings).
bool tracing = false;
bool inStringBlock = false;
void* tracedCallers[4096];
int tracedCount = 0;
bench::AllocationCounts totals;
std::vector<bench::CollectorStep>* stepLog = nullptr;

double microsOf(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

}  // namespace

namespace bench {

AllocationCounts allocationTotals() {
  return totals;
}

AllocationCounts operator-(const AllocationCounts& a, const AllocationCounts& b) {
  return {a.collected - b.collected, a.stringBlocks - b.stringBlocks, a.heap - b.heap};
}

void countThisThread() {
  counted = true;
}

void traceHeapCallers(bool on) {
  if (on) tracedCount = 0;
  tracing = on;
}

std::vector<void*> tracedHeapCallers() {
  return std::vector<void*>(tracedCallers, tracedCallers + tracedCount);
}

void recordCollectorSteps(std::vector<CollectorStep>* steps) {
  stepLog = steps;
}

}  // namespace bench

namespace std {
void* benchCountedStringMalloc(size_t bytes) {
  if (counted) ++totals.stringBlocks;
  inStringBlock = true;
  void* block = malloc(bytes);
  inStringBlock = false;
  return block;
}
}  // namespace std

extern "C" {

void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
  if (counted) {
    ++totals.heap;
    if (tracing && !inStringBlock && tracedCount < 4096) tracedCallers[tracedCount++] = __builtin_return_address(0);
  }
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  if (counted) ++totals.heap;
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  if (counted) ++totals.heap;
  return __libc_realloc(block, size);
}

// The linker routes every call of gc_object's constructor from another object file (every
// collected class's constructor) and of collectStep (the host's step) through these.
void __real__ZN9gc_objectC2Ev(gc_object* self);
void __wrap__ZN9gc_objectC2Ev(gc_object* self) {
  if (counted) ++totals.collected;
  __real__ZN9gc_objectC2Ev(self);
}

void __real__Z11collectStepv();
void __wrap__Z11collectStepv() {
  if (stepLog == nullptr) {
    __real__Z11collectStepv();
    return;
  }
  // The same test collectStep makes: past the budget the step is a full collection.
  bool full = gcCounters.allocBytes + externalBytes.load() > kFullCollectionBytes;
  // The CPU clock is a system call; read outside the wall-clock window so that it stays out of it.
  double cpuStart = microsOf(CLOCK_THREAD_CPUTIME_ID);
  double start = microsOf(CLOCK_MONOTONIC);
  __real__Z11collectStepv();
  double end = microsOf(CLOCK_MONOTONIC);
  double cpuEnd = microsOf(CLOCK_THREAD_CPUTIME_ID);
  stepLog->push_back({end - start, cpuEnd - cpuStart, full});
}

}  // extern "C"

void* operator new(size_t size) {
  if (counted) {
    ++totals.heap;
    if (tracing && tracedCount < 4096) tracedCallers[tracedCount++] = __builtin_return_address(0);
  }
  if (void* p = __libc_malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (counted) ++totals.heap;
  if (void* p = __libc_malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
  std::free(block);
}
