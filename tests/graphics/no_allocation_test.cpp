// Drawing must not touch the heap. Every allocation the main thread makes while a frame is drawn
// is counted: first a frame whose flushes go to a sink (so every allocation seen is ours), then a
// frame on the real context, where the software renderer allocates for itself and only calls
// made from this executable (our code is linked into it statically) are counted.
#include <GLFW/glfw3.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>

#include "graphics/graphics_context.h"
#include "tests/graphics/gl_fixture.h"

namespace {

enum class Counting { Off, All, FromThisExecutable };
// Only the main thread counts: the renderer's worker threads allocate on their own.
thread_local Counting counting = Counting::Off;
int allocations = 0;

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns malloc; its hook tells us about every allocation but not who made it.
// Declared here: g++ ships the sanitizer runtime without its interface headers.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
namespace {
constexpr bool kKnowsCallers = false;
void mallocHook(const volatile void*, size_t) {
  if (counting != Counting::Off) ++allocations;
}
void freeHook(const volatile void*) {}
[[maybe_unused]] const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}  // namespace
#else
extern "C" char __executable_start;
extern "C" char etext;
namespace {
constexpr bool kKnowsCallers = true;
void noteAllocation(void* caller) {
  if (counting == Counting::All) {
    ++allocations;
  } else if (counting == Counting::FromThisExecutable) {
    auto at = reinterpret_cast<uintptr_t>(caller);
    if (at >= reinterpret_cast<uintptr_t>(&__executable_start) && at < reinterpret_cast<uintptr_t>(&etext)) {
      ++allocations;
    }
  }
}
}  // namespace
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t size) {
  noteAllocation(__builtin_return_address(0));
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  noteAllocation(__builtin_return_address(0));
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  noteAllocation(__builtin_return_address(0));
  return __libc_realloc(block, size);
}
}
namespace {
void* countedNew(size_t size, void* caller) {
  noteAllocation(caller);
  if (void* p = __libc_malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace
void* operator new(size_t size) {
  return countedNew(size, __builtin_return_address(0));
}
void* operator new[](size_t size) {
  return countedNew(size, __builtin_return_address(0));
}
// The library's operator delete frees with free(), which is glibc's: it matches __libc_malloc.
#endif

namespace {

using NoAllocation = GlTest;

struct FrameInputs {
  gxtkSurface* a;
  gxtkSurface* b;
  Array<float> polygon;
  Array<float> textured;
};

// Flushes go nowhere: with no context current, even the device's own GL state calls are no-ops.
class SinkDevice : public gxtkGraphics {
 protected:
  void drawBatch() override {}
};

void drawFrame(gxtkGraphics* device, const FrameInputs& in, bool beginFrame) {
  if (beginFrame) device->beginFrame();
  device->clear(10, 20, 30);
  for (int i = 0; i < 2000; ++i) {
    float f = static_cast<float>(i % 97);
    device->setColor(f, 255 - f, 128);
    device->setAlpha(0.5f + f / 200);
    device->drawPoint(f, f);
    device->drawLine(f, 0, 0, f);
    device->drawRect(f, f, 3, 3);
    device->drawSurfaceRegion(i % 3 == 0 ? in.a : in.b, f, f, 1, 1, 4, 4);
    if (i % 50 == 0) {
      device->setMatrix(1, 0.1f, -0.1f, 1, f, 2);
      device->drawOval(f, f, 20, 10);
      device->drawPolygon(in.polygon);
      device->drawTexturedPolygon(in.textured, in.a, 0, 0);
      device->drawSurface(in.b, f, 5);
      device->setBlendMode(i % 100 == 0 ? 1 : 0);
      device->setScissor(0, 0, 64, 64);
      device->setMatrix(1, 0, 0, 1, 0, 0);
    }
  }
  // The context's drawing path around the device.
  renderDevice = device;
  for (int i = 0; i < 300; ++i) {
    pushMatrix();
    translate(static_cast<float>(i), 3);
    rotate(static_cast<float>(i));
    scale(1.5f, 0.5f);
    setColor(static_cast<float>(0x102030 + i));
    setAlpha(0.75f);
    drawLine(0, 0, 10, 10);
    if (i % 40 == 0) {
      for (int depth = 0; depth < 40; ++depth) pushMatrix();
      for (int depth = 0; depth < 40; ++depth) popMatrix();
    }
    popMatrix();
  }
  renderDevice = nullptr;
  device->setScissor(0, 0, kWindowWidth, kWindowHeight);
  device->endFrame();
}

FrameInputs makeInputs(gxtkGraphics* device) {
  FrameInputs in{device->createSurface(16, 16), device->createSurface(8, 8), Array<float>(2 * 7),
                 Array<float>(4 * 6)};
  for (int i = 0; i < in.polygon.length(); ++i) in.polygon[i] = static_cast<float>((i * 13) % 40);
  for (int i = 0; i < in.textured.length(); ++i) in.textured[i] = static_cast<float>((i * 7) % 16);
  return in;
}

int countAllocations(Counting mode, const std::function<void()>& work) {
  allocations = 0;
  counting = mode;
  work();
  counting = Counting::Off;
  return allocations;
}

TEST_F(NoAllocation, BatchingAndTheContextAllocateNothing) {
  initGraphicsContext();
  SinkDevice* sink = new SinkDevice();
  registerGraphicsDevice(sink);
  FrameInputs in = makeInputs(sink);
  // The first frame grows the matrix stack to the depth the frame needs; the second must be clean.
  glfwMakeContextCurrent(nullptr);
  drawFrame(sink, in, false);
  int64_t flushesBefore = sink->counters.flushes;
  int seen = countAllocations(Counting::All, [&] { drawFrame(sink, in, false); });
  ASSERT_TRUE(ensureGlContext());
  EXPECT_GT(sink->counters.flushes - flushesBefore, 1000) << "the frame must really batch and flush";
  EXPECT_EQ(seen, 0) << "allocations while drawing";

  // The counter itself works: an allocation in the same window is seen.
  int* probe = nullptr;
  EXPECT_EQ(countAllocations(Counting::All, [&] { probe = new int(3); }), 1);
  delete probe;
}

TEST_F(NoAllocation, DrawingOnTheRealContextAllocatesNothingOfOurOwn) {
  if (!kKnowsCallers) GTEST_SKIP() << "the sanitizer's allocator hook does not say who allocated";
  initGraphicsContext();
  registerGraphicsDevice(device);
  FrameInputs in = makeInputs(device);
  drawFrame(device, in, true);
  int64_t flushesBefore = device->counters.flushes;
  int seen = countAllocations(Counting::FromThisExecutable, [&] { drawFrame(device, in, true); });
  EXPECT_GT(device->counters.flushes - flushesBefore, 1000);
  EXPECT_EQ(seen, 0) << "allocations made by our code while drawing";

  int* probe = nullptr;
  EXPECT_EQ(countAllocations(Counting::FromThisExecutable, [&] { probe = new int(3); }), 1);
  delete probe;
  // readPixels is the one drawing-time operation allowed its temporary buffer.
  EXPECT_GE(countAllocations(Counting::FromThisExecutable, [&] { readBack(device, 0, 0, 2, 2); }), 1);
}

}  // namespace
