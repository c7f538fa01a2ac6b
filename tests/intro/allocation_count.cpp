#include "tests/intro/allocation_count.h"

#include <cstddef>
#include <new>

namespace {

// Only the main thread counts; nothing else runs in these tests, but a stray thread must not skew it.
thread_local bool counting = false;
int allocations = 0;

void noteAllocation() {
  if (counting) ++allocations;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns malloc and reports every allocation through its hook. Declared here: g++
// ships the sanitizer runtime without its interface headers.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
namespace {
void mallocHook(const volatile void*, size_t) {
  noteAllocation();
}
void freeHook(const volatile void*) {}
[[maybe_unused]] const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}  // namespace
#else
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t size) {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  noteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  noteAllocation();
  return __libc_realloc(block, size);
}
}
void* operator new(size_t size) {
  noteAllocation();
  if (void* p = __libc_malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  noteAllocation();
  if (void* p = __libc_malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
#endif

namespace introtest {

void startCountingAllocations() {
  allocations = 0;
  counting = true;
}

int stopCountingAllocations() {
  counting = false;
  return allocations;
}

}  // namespace introtest
