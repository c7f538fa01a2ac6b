// Counts the heap allocations the main thread makes between start and stop (malloc, calloc,
// realloc and operator new; through the sanitizer's hooks in the sanitizer build).
#pragma once

namespace introtest {

void startCountingAllocations();
// The allocations since the start.
int stopCountingAllocations();

}  // namespace introtest
