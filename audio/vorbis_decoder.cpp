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

// A live block's links and size, padded so that the caller's bytes keep malloc's alignment.
struct alignas(std::max_align_t) TrackedBlock {
  TrackedBlock* prev;
  TrackedBlock* next;
  size_t size;
};

thread_local TrackedBlock liveBlocks = {&liveBlocks, &liveBlocks, 0};

// What the decoder may hold at once. Its tables and buffers for an ordinary stream take well under
// a megabyte (a stream of many channels a few more); a malformed setup header can make it ask for
// gigabytes (a codebook's entries times dimensions) and then fill them bit by bit. Past the limit an
// allocation fails, and the decoder refuses the stream as out of memory.
constexpr size_t kMaxDecoderBytes = 32u * 1024 * 1024;
thread_local size_t liveBytes = 0;
thread_local size_t peakBytes = 0;

bool fitsLimit(size_t more) {
  return more <= kMaxDecoderBytes && liveBytes <= kMaxDecoderBytes - more;
}

TrackedBlock* headerOf(void* pointer) {
  return reinterpret_cast<TrackedBlock*>(static_cast<char*>(pointer) - sizeof(TrackedBlock));
}

void* bytesOf(TrackedBlock* block) {
  return reinterpret_cast<char*>(block) + sizeof(TrackedBlock);
}

void* trackedMalloc(size_t size) {
  if (!fitsLimit(size)) return nullptr;
  auto* block = static_cast<TrackedBlock*>(std::malloc(sizeof(TrackedBlock) + size));
  if (block == nullptr) return nullptr;
  block->size = size;
  liveBytes += size;
  if (liveBytes > peakBytes) peakBytes = liveBytes;
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
  liveBytes -= block->size;
  std::free(block);
}

void* trackedRealloc(void* pointer, size_t size) {
  if (pointer == nullptr) return trackedMalloc(size);
  TrackedBlock* old = headerOf(pointer);
  const size_t oldSize = old->size;
  if (size > oldSize && !fitsLimit(size - oldSize)) return nullptr;
  TrackedBlock* prev = old->prev;
  TrackedBlock* next = old->next;
  auto* block = static_cast<TrackedBlock*>(std::realloc(old, sizeof(TrackedBlock) + size));
  if (block == nullptr) return nullptr;  // the old block stays valid and listed
  prev->next = block;
  next->prev = block;
  block->size = size;
  liveBytes = liveBytes - oldSize + size;
  if (liveBytes > peakBytes) peakBytes = liveBytes;
  return bytesOf(block);
}

}  // namespace

extern "C" size_t takeVorbisPeakBytes(void) {
  size_t peak = peakBytes;
  peakBytes = liveBytes;
  return peak;
}

extern "C" void releaseVorbisLeftovers(void) {
  while (liveBlocks.next != &liveBlocks) trackedFree(bytesOf(liveBlocks.next));
}

#define malloc(size) trackedMalloc(size)
#define realloc(pointer, size) trackedRealloc(pointer, size)
#define free(pointer) trackedFree(pointer)
#include <stb/stb_vorbis.h>
