// What batching costs the CPU: 100,000 textured quads written into the device's batch, with and
// without a transform, with every flush going to a sink that draws nothing (no OpenGL needed).
#include <benchmark/benchmark.h>

#include "graphics/render_device.h"
#include "graphics/surface.h"
#include "runtime/collector.h"

namespace {

constexpr int kQuads = 100000;

class SinkDevice : public gxtkGraphics {
 protected:
  void drawBatch() override { benchmark::DoNotOptimize(batch()); }
};

struct BenchSetup {
  SinkDevice* device;
  gxtkSurface* surface;
  BenchSetup() {
    initCollector();
    device = new SinkDevice();
    surface = device->createSurface(256, 256);  // no context: no texture, just the sizes
    surface->uScale = surface->vScale = 1.0f / 256;
    device->setColor(255, 200, 100);
    device->setAlpha(0.5f);
  }
};

BenchSetup& setup() {
  static BenchSetup s;
  return s;
}

void drawQuads(benchmark::State& state, bool transformed) {
  BenchSetup& s = setup();
  s.device->setMatrix(1, 0, 0, 1, 0, 0);
  if (transformed) s.device->setMatrix(0.8f, 0.6f, -0.6f, 0.8f, 320, 240);
  for (auto _ : state) {
    for (int i = 0; i < kQuads; ++i) {
      float f = static_cast<float>(i & 511);
      s.device->drawSurfaceRegion(s.surface, f, f * 0.5f, i & 127, (i >> 7) & 127, 16, 16);
    }
    s.device->flush();
  }
  state.SetItemsProcessed(state.iterations() * kQuads);
  // Seconds per quad (printed with an SI prefix: "5n" is 5 ns).
  state.counters["per_quad"] = benchmark::Counter(static_cast<double>(state.iterations()) * kQuads,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TexturedQuads(benchmark::State& state) {
  drawQuads(state, false);
}
void BM_TexturedQuadsTransformed(benchmark::State& state) {
  drawQuads(state, true);
}

BENCHMARK(BM_TexturedQuads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TexturedQuadsTransformed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
