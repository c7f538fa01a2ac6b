// Force-included into the benchmark's own copy of runtime/string.cpp: every block that file takes
// from the heap is counted (the runtime itself keeps no allocation counts).
#pragma once

#include <cstddef>
#include <cstdlib>

namespace std {
void* benchCountedStringMalloc(size_t bytes);
}  // namespace std

#define malloc benchCountedStringMalloc
