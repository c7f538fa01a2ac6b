// Runtime core benchmarks: the costs that recur every frame (small allocations paced by collector
// steps, string concatenation, the song player's one-character slices) and the worst single
// collector step (a full collection over 100,000 live objects).
#include <benchmark/benchmark.h>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/string.h"

namespace {

class Cell : public Object {
 public:
  GcField<Cell*> next;
  int value = 0;
  void mark() override { next.mark(); }
};

GcRoot<Cell*> keptCells;

// Allocation of short-lived small objects, one collector step per 64 allocations (about what a
// busy update does between two host entries). Garbage destruction is paid for by the allocations.
void BM_SmallObjectAllocationWithSteps(benchmark::State& state) {
  int sinceStep = 0;
  for (auto _ : state) {
    Cell* cell = new Cell;
    benchmark::DoNotOptimize(cell);
    if (++sinceStep == 64) {
      sinceStep = 0;
      collectStep();
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>((sizeof(Cell) + 7) / 8 * 8));
}
BENCHMARK(BM_SmallObjectAllocationWithSteps);

void BM_StringConcatenation(benchmark::State& state) {
  String left("Now playing: ");
  String right("a tracker song title");
  for (auto _ : state) {
    String joined = left + right;
    benchmark::DoNotOptimize(joined.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StringConcatenation);

// The player reads its note columns one character at a time.
void BM_OneCharacterSlices(benchmark::State& state) {
  String column(std::string(1024, 'C').c_str());
  int at = 0;
  for (auto _ : state) {
    String unit = column.Slice(at, at + 1);
    benchmark::DoNotOptimize(unit.data());
    at = (at + 1) & 1023;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OneCharacterSlices);

void BM_FullCollectionOf100000LiveObjects(benchmark::State& state) {
  constexpr int kCells = 100000;
  keptCells = nullptr;
  fullCollection();
  fullCollection();
  Cell* head = nullptr;
  for (int i = 0; i < kCells; ++i) {
    Cell* cell = new Cell;
    cell->value = i;
    cell->next = head;
    head = cell;
  }
  keptCells = head;
  fullCollection();  // from here on each full collection marks all of them
  for (auto _ : state) fullCollection();
  state.SetItemsProcessed(state.iterations() * kCells);
  // Proof that every cell was marked and kept: the survivors' bytes.
  state.counters["live_objects_bytes"] = static_cast<double>(gcCounters.liveBytes);
  keptCells = nullptr;
}
BENCHMARK(BM_FullCollectionOf100000LiveObjects)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
