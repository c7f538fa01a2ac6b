// The decoder's implementation, with malloc, realloc and free routed through a list of live
// blocks per thread (see vorbis_decoder.h). These definitions take the place of the system
// library's for this program.
#include "audio/vorbis_decoder.h"

#include <alloca.h>

#include <cassert>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A live block's links, padded so that the caller's bytes keep malloc's alignment.
struct alignas(std::max_align_t) TrackedBlock {
  TrackedBlock* prev;
  TrackedBlock* next;
};

thread_local TrackedBlock liveBlocks = {&liveBlocks, &liveBlocks};

TrackedBlock* headerOf(void* pointer) {
  return reinterpret_cast<TrackedBlock*>(static_cast<char*>(pointer) - sizeof(TrackedBlock));
}

void* bytesOf(TrackedBlock* block) {
  return reinterpret_cast<char*>(block) + sizeof(TrackedBlock);
}

void* trackedMalloc(size_t size) {
  if (size > SIZE_MAX - sizeof(TrackedBlock)) return nullptr;
  auto* block = static_cast<TrackedBlock*>(std::malloc(sizeof(TrackedBlock) + size));
  if (block == nullptr) return nullptr;
  block->prev = &liveBlocks;
  block->next = liveBlocks.next;
  liveBlocks.next->prev = block;
  liveBlocks.next = block;
  return bytesOf(block);
}

void trackedFree(void* pointer) {
  if (pointer == nullptr) return;
  TrackedBlock* block = headerOf(pointer);
  block->prev->next = block->next;
  block->next->prev = block->prev;
  std::free(block);
}

void* trackedRealloc(void* pointer, size_t size) {
  if (pointer == nullptr) return trackedMalloc(size);
  if (size > SIZE_MAX - sizeof(TrackedBlock)) return nullptr;
  TrackedBlock* old = headerOf(pointer);
  TrackedBlock* prev = old->prev;
  TrackedBlock* next = old->next;
  auto* block = static_cast<TrackedBlock*>(std::realloc(old, sizeof(TrackedBlock) + size));
  if (block == nullptr) return nullptr;  // the old block stays valid and listed
  prev->next = block;
  next->prev = block;
  return bytesOf(block);
}

}  // namespace

extern "C" void releaseVorbisLeftovers(void) {
  while (liveBlocks.next != &liveBlocks) trackedFree(bytesOf(liveBlocks.next));
}

#define malloc(size) trackedMalloc(size)
#define realloc(pointer, size) trackedRealloc(pointer, size)
#define free(pointer) trackedFree(pointer)
#include <stb/stb_vorbis.h>
