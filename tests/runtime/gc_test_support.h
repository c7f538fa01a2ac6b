// Helpers that bring the one process-wide collector to a known state, so that each test can
// measure its own effects regardless of what ran before it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "runtime/collector.h"

// The size the collector books for a request: rounded up to a multiple of 8.
constexpr uint32_t roundedSize(std::size_t bytes) {
  return static_cast<uint32_t>((bytes + 7) / 8 * 8);
}

// Destroys everything on the free list: an allocation pays at least its own size of garbage.
inline void destroyAllGarbage() {
  int64_t owed = std::max<int64_t>(gcCounters.freeBytes, 8);
  auto size = static_cast<std::size_t>(owed);
  gc_object::operator delete(allocObject(size), size);  // never constructed: goes straight back
}

// Two full collections turn everything unreachable into garbage (an object greyed in the current
// cycle survives it, but not the next); then the garbage is destroyed.
inline void settleCollector() {
  fullCollection();
  fullCollection();
  destroyAllGarbage();
}
