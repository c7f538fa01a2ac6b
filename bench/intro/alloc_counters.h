// Allocation and collector-step counters of the intro benchmark. Collected objects are counted
// through a linker wrap of gc_object's constructor, string blocks in the benchmark's own copy of
// runtime/string.cpp, heap allocations by replacing malloc; collector steps are timed through a
// wrap of collectStep. Only the main thread counts.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

struct AllocationCounts {
  int64_t collected = 0;     // collected objects constructed
  int64_t stringBlocks = 0;  // string blocks taken from the heap
  int64_t heap = 0;          // malloc, calloc, realloc, operator new on the main thread
};

// Running totals since the program started (main thread only).
AllocationCounts allocationTotals();
AllocationCounts operator-(const AllocationCounts& a, const AllocationCounts& b);

// Marks the calling thread as the one whose allocations count.
void countThisThread();

// Notes the caller of every heap allocation other than a string block while on (for finding
// where a frame's allocations come from).
void traceHeapCallers(bool on);
std::vector<void*> tracedHeapCallers();

struct CollectorStep {
  double microseconds;     // wall clock
  double cpuMicroseconds;  // the main thread's CPU time (preemption left out)
  bool full;  // the step ran a full collection
};
// Every collectStep from now on is timed and appended here (null: no timing).
void recordCollectorSteps(std::vector<CollectorStep>* steps);

}  // namespace bench
