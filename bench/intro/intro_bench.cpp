// intro_bench: the intro's own application measured in a hidden window, one update and one
// rendered frame per pass as the capture host runs it, plus the analysis of the frame loop's
// pacing trace. Every result is a line "FIGURE<TAB>group<TAB>name<TAB>value<TAB>unit<TAB>note"
// that scripts/bench gathers into its table.
//
//   intro_bench frames [--frames N] [--only real|sink|replay]
//       render-step CPU time per frame: through OpenGL, with the batches going to a sink (the
//       framework alone), and the recorded batches replayed straight through OpenGL (the floor);
//       allocations per frame and per update in steady state.
//   intro_bench collector [--seconds S] [--switch-every S]
//       every collector step over S seconds of recorded time with a song key every few seconds,
//       the full collections, resident memory, and the time of every song switch.
//   intro_bench pacing TRACE [--seconds S] [--machine SLEEPS]
//       the figures of a CORVANE_FRAME_TRACE file written by the real program; with the file of
//       a sleeper run beside it, also how often the machine itself held a process up.
//   intro_bench sleeper SLEEPS [--seconds S]
//       a process that only sleeps one update period at a time, for S seconds, writing each
//       sleep's end and length ("s END MS", seconds of the steady clock): what the machine lets
//       a program that does nothing else keep to.
#include <GLFW/glfw3.h>
#include <dlfcn.h>
#include <malloc.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/audio.h"
#include "audio/audio_driver.h"
#include "bench/intro/alloc_counters.h"
#include "graphics/graphics_context.h"
#include "graphics/render_device.h"
#include "graphics/surface.h"
#include "host/delegate.h"
#include "host/frame_loop.h"
#include "host/game.h"
#include "intro/intro_globals.h"
#include "intro/my_app.h"
#include "runtime/collector.h"

namespace {

constexpr int kUpdatesPerSecond = 51;

// --- figures and statistics ---

void figure(const std::string& group, const std::string& name, double value, const std::string& unit,
            const std::string& note = "") {
  std::printf("FIGURE\t%s\t%s\t%.6g\t%s\t%s\n", group.c_str(), name.c_str(), value, unit.c_str(),
              note.c_str());
  std::fflush(stdout);
}

// Nearest-rank percentile of a copy of the values.
double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  if (rank < 1) rank = 1;
  return values[std::min(rank, values.size()) - 1];
}

double median(const std::vector<double>& values) {
  return percentile(values, 50);
}

double maximum(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void distribution(const std::string& group, const std::string& name, const std::vector<double>& values,
                  const std::string& unit, const std::string& note) {
  figure(group, name + " median", median(values), unit, note);
  figure(group, name + " p99", percentile(values, 99), unit, note);
  figure(group, name + " max", maximum(values), unit, note);
}

double threadCpuMicros() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double wallMicros() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

long minorFaults() {
  rusage usage;
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

double residentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::string programDirectory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  std::string dir(path);
  return dir.substr(0, dir.rfind('/'));
}

// --- the device: real drawing, a sink, and a recorder of what reaches OpenGL ---

struct RecordedBatch {
  unsigned texture;  // 0: untextured
  int primitiveSize;
  std::vector<BatchVertex> vertices;
};
using RecordedFrame = std::vector<RecordedBatch>;

class BenchGraphics : public gxtkGraphics {
 public:
  enum class Mode { Real, Sink, Record };
  Mode mode = Mode::Real;
  RecordedFrame* recording = nullptr;

 protected:
  void drawBatch() override {
    if (mode == Mode::Sink) return;
    if (mode == Mode::Record && recording != nullptr) {
      gxtkSurface* surface = batchSurface();
      // The texture the real draw binds: the first bind creates it.
      if (surface != nullptr) surface->bind();
      recording->push_back({surface != nullptr ? surface->texture : 0u, primitiveSize(),
                            std::vector<BatchVertex>(batch(), batch() + vertexCount())});
    }
    gxtkGraphics::drawBatch();
  }
};

// Replays one recorded frame the way the device draws: the same state, the same client arrays and
// the same draw calls, with nothing of the framework in between.
void replayFrame(const RecordedFrame& frame, const uint16_t* quadIndices, int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  for (const RecordedBatch& batch : frame) {
    const BatchVertex* v = batch.vertices.data();
    const int count = static_cast<int>(batch.vertices.size());
    if (batch.texture != 0) {
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, batch.texture);
    }
    glVertexPointer(2, GL_FLOAT, sizeof(BatchVertex), &v->x);
    glTexCoordPointer(2, GL_FLOAT, sizeof(BatchVertex), &v->u);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BatchVertex), &v->colour);
    switch (batch.primitiveSize) {
      case 1:
        glDrawArrays(GL_POINTS, 0, count);
        break;
      case 2:
        glDrawArrays(GL_LINES, 0, count);
        break;
      case 3:
        glDrawArrays(GL_TRIANGLES, 0, count);
        break;
      case 4:
        glDrawElements(GL_TRIANGLES, count / 4 * 6, GL_UNSIGNED_SHORT, quadIndices);
        break;
      default:
        for (int first = 0; first < count; first += batch.primitiveSize)
          glDrawArrays(GL_TRIANGLE_FAN, first, batch.primitiveSize);
    }
    if (batch.texture != 0) glDisable(GL_TEXTURE_2D);
  }
}

// --- the host: the program's start-up with a hidden window and one update per pass ---

class BenchGame : public VxCorvaneGame {
 public:
  void openWindow(int width, int height, int flags) override {
    VxCorvaneGame::openWindow(width, height, flags);
    // Nobody looks at it; the frames are drawn into its back buffer all the same.
    if (window() != nullptr) glfwHideWindow(window());
  }
};

BenchGame* game = nullptr;
BenchGraphics* device = nullptr;

bool startIntro(std::string& error) {
  if (!glfwInit()) {
    error = "glfwInit failed (no display?)";
    return false;
  }
  // As the program's frame loop does (BENCH_TRIM_HEAP=1 leaves the allocator as it was).
  if (std::getenv("BENCH_TRIM_HEAP") == nullptr) keepHeapBetweenFrames();
  game = new BenchGame();
  currentGame = game;
  game->appDirectory = String(programDirectory().c_str()) + String("/..");
  initCollector();
  currentApp = nullptr;
  currentDelegate = nullptr;
  initGraphicsContext();
  markRoots();
  new c_MyApp();
  game->openWindow(640, 480, 4);
  game->hostStart();
  // The intro's pictures were loaded through the delegate's device; they are textures of this
  // context and draw the same through ours.
  device = new BenchGraphics();
  currentDelegate->graphics = device;
  registerGraphicsDevice(device);
  if (player.get() == nullptr || scrollerFont.get() == nullptr) {
    error = "the intro did not start (data/ missing beside the benchmark's build?)";
    return false;
  }
  return true;
}

void pressKey(int code) {
  game->hostKey(1, code);
  game->hostKey(2, code);
}

// --- frames ---

struct FrameTimes {
  std::vector<double> cpu;     // render step, thread CPU microseconds
  std::vector<double> finish;  // glFinish after it
  std::vector<double> faults;  // minor page faults of the main thread in the render step
};

// Its own function for the framework-alone frames, so that callgrind can count just those
// (--toggle-collect='*sinkFrame*').
[[gnu::noinline]] void sinkFrame() {
  currentDelegate->handleRender();
}

FrameTimes runFrames(BenchGraphics::Mode mode, int frames, std::vector<RecordedFrame>* record) {
  FrameTimes times;
  device->mode = mode;
  for (int i = 0; i < frames; ++i) {
    game->hostUpdate();
    if (record != nullptr) {
      record->emplace_back();
      device->recording = &record->back();
    }
    long faults = minorFaults();
    double start = threadCpuMicros();
    if (mode == BenchGraphics::Mode::Sink) {
      sinkFrame();
    } else {
      currentDelegate->handleRender();
    }
    double end = threadCpuMicros();
    times.faults.push_back(static_cast<double>(minorFaults() - faults));
    game->collectStep();
    double finishStart = threadCpuMicros();
    glFinish();
    times.finish.push_back(threadCpuMicros() - finishStart);
    times.cpu.push_back(end - start);
  }
  device->recording = nullptr;
  device->mode = BenchGraphics::Mode::Real;
  return times;
}

// Largest count per rendered frame and per update; with the batches going to the sink, the
// driver's own heap use is left out.
void measureAllocations(int frames, BenchGraphics::Mode mode) {
  device->mode = mode;
  std::vector<double> perRender[3], perUpdate[3];
  for (int i = 0; i < frames; ++i) {
    bench::AllocationCounts before = bench::allocationTotals();
    game->hostUpdate();
    bench::AllocationCounts afterUpdate = bench::allocationTotals();
    game->hostRender();
    bench::AllocationCounts afterRender = bench::allocationTotals();
    glFinish();
    bench::AllocationCounts u = afterUpdate - before, r = afterRender - afterUpdate;
    perUpdate[0].push_back(static_cast<double>(u.collected));
    perUpdate[1].push_back(static_cast<double>(u.stringBlocks));
    perUpdate[2].push_back(static_cast<double>(u.heap));
    perRender[0].push_back(static_cast<double>(r.collected));
    perRender[1].push_back(static_cast<double>(r.stringBlocks));
    perRender[2].push_back(static_cast<double>(r.heap));
  }
  device->mode = BenchGraphics::Mode::Real;
  const bool sink = mode == BenchGraphics::Mode::Sink;
  const std::string note = "max over " + std::to_string(frames) + " passes, no song switch, main thread";
  if (sink) {
    const char* kinds[3] = {"collected objects", "string blocks", "heap allocations"};
    for (int k = 0; k < 3; ++k) {
      figure("allocation", std::string(kinds[k]) + " per frame", maximum(perRender[k]), "count", note);
      figure("allocation", std::string(kinds[k]) + " per update", maximum(perUpdate[k]), "count", note);
    }
  } else {
    figure("allocation", "heap allocations per frame incl. OpenGL driver median", median(perRender[2]),
           "count", note);
  }
}

int commandFrames(int frames, const std::string& only) {
  std::string error;
  if (!startIntro(error)) {
    std::fprintf(stderr, "intro_bench: %s\n", error.c_str());
    return 1;
  }
  bench::countThisThread();
  // Past the start-up's loads and the first collections.
  runFrames(BenchGraphics::Mode::Real, 2 * kUpdatesPerSecond, nullptr);
  const std::string note = std::to_string(frames) + " frames, thread CPU time";

  if (only.empty() || only == "real") {
    FrameTimes real = runFrames(BenchGraphics::Mode::Real, frames, nullptr);
    distribution("frame cost", "render step through OpenGL", real.cpu, "us", note);
    figure("frame cost", "glFinish after the step median", median(real.finish), "us", note);
    figure("frame cost", "page faults in the render step median", median(real.faults), "count",
           "minor faults of the main thread; independent of load");
    if (only.empty()) {
      FrameTimes sink = runFrames(BenchGraphics::Mode::Sink, frames, nullptr);
      distribution("frame cost", "framework alone (batches to a sink)", sink.cpu, "us", note);
      figure("frame cost", "driver share (through OpenGL - sink) median", median(real.cpu) - median(sink.cpu),
             "us", note);

      // Recorded first, then replayed interleaved with real frames, so that both see the same load.
      std::vector<RecordedFrame> recorded;
      runFrames(BenchGraphics::Mode::Record, frames, &recorded);
      FrameTimes replay, interleaved;
      for (const RecordedFrame& frame : recorded) {
        FrameTimes one = runFrames(BenchGraphics::Mode::Real, 1, nullptr);
        interleaved.cpu.push_back(one.cpu[0]);
        double start = threadCpuMicros();
        replayFrame(frame, device->quadIndices(), 640, 480);
        replay.cpu.push_back(threadCpuMicros() - start);
        glFinish();
      }
      size_t batches = 0;
      for (const RecordedFrame& frame : recorded) batches += frame.size();
      figure("frame cost", "batches per frame",
             static_cast<double>(batches) / static_cast<double>(recorded.size()), "count",
             "draw calls replayed per frame");
      distribution("frame cost", "replay floor (recorded batches straight to OpenGL)", replay.cpu, "us",
                   note);
      figure("frame cost", "render step interleaved with the replay median", median(interleaved.cpu), "us",
             note);
      figure("frame cost", "ratio render step / replay floor", median(interleaved.cpu) / median(replay.cpu),
             "x", "medians, interleaved frame by frame; goal <= 1.3");
      figure("frame cost", "ratio render step (own run) / replay floor",
             median(real.cpu) / median(replay.cpu), "x", "medians of the separate runs");
    }
  } else if (only == "sink") {
    runFrames(BenchGraphics::Mode::Sink, frames, nullptr);
  } else if (only == "alloc") {
    // nothing more: the allocations below
  } else {
    std::fprintf(stderr, "intro_bench: --only real, sink or alloc\n");
    return 2;
  }
  if (std::getenv("BENCH_HEAP_CALLERS") != nullptr) {
    // One framework-alone frame; the callers of its heap allocations, for addr2line / dladdr.
    device->mode = BenchGraphics::Mode::Sink;
    game->hostUpdate();
    bench::traceHeapCallers(true);
    game->hostRender();
    bench::traceHeapCallers(false);
    device->mode = BenchGraphics::Mode::Real;
    for (void* caller : bench::tracedHeapCallers()) {
      Dl_info info{};
      dladdr(caller, &info);
      std::fprintf(
          stderr, "heap caller %p %s %s+%#lx\n", caller, info.dli_fname ? info.dli_fname : "?",
          info.dli_sname ? info.dli_sname : "?",
          static_cast<unsigned long>(static_cast<char*>(caller) - static_cast<char*>(info.dli_saddr)));
    }
  }
  if (only.empty() || only == "alloc") {
    measureAllocations(frames, BenchGraphics::Mode::Sink);
    measureAllocations(frames, BenchGraphics::Mode::Real);
  }
  return 0;
}

// --- collector and song switches ---

int commandCollector(double seconds, double switchEvery) {
  std::string error;
  if (!startIntro(error)) {
    std::fprintf(stderr, "intro_bench: %s\n", error.c_str());
    return 1;
  }
  std::vector<bench::CollectorStep> steps;
  steps.reserve(static_cast<size_t>(seconds * kUpdatesPerSecond * 4) + 16);
  std::vector<double> switchMicros, updateMicros;
  const int passes = static_cast<int>(seconds * kUpdatesPerSecond);
  const int switchPeriod = std::max(1, static_cast<int>(switchEvery * kUpdatesPerSecond));
  double rssStart = residentMiB(), rssMinute = 0, rssFiveMinutes = 0;
  const double heapStart = static_cast<double>(mallinfo2().uordblks) / 1048576.0;
  bench::recordCollectorSteps(&steps);
  int song = 1;
  for (int pass = 1; pass <= passes; ++pass) {
    game->hostRender();
    glFinish();
    bool switching = pass % switchPeriod == 0;
    if (switching) {
      pressKey(kSongTable[song].keyCode);
      song = (song + 1) % kSongCount;
    }
    // The update's own work without the collector step after it (timed on its own).
    double start = wallMicros();
    currentDelegate->handleUpdate();
    double took = wallMicros() - start;
    game->collectStep();
    (switching ? switchMicros : updateMicros).push_back(took);
    if (pass == 60 * kUpdatesPerSecond) rssMinute = residentMiB();
    if (pass == 300 * kUpdatesPerSecond) rssFiveMinutes = residentMiB();
    // The course of resident memory, in the log: growth and the collector's saw-tooth apart.
    if (pass % (10 * kUpdatesPerSecond) == 0) {
      struct mallinfo2 heap = mallinfo2();
      std::fprintf(
          stderr,
          "rss %5d s %8.2f MiB  live %6.2f  free list %6.2f (%d objects)  external %6.2f  heap in use "
          "%7.2f  heap free %7.2f MiB\n",
          pass / kUpdatesPerSecond, residentMiB(), static_cast<double>(gcCounters.liveBytes) / 1048576.0,
          static_cast<double>(gcCounters.freeBytes) / 1048576.0, gcListLength(GcList::Free),
          static_cast<double>(externalBytes.load()) / 1048576.0,
          static_cast<double>(heap.uordblks) / 1048576.0, static_cast<double>(heap.fordblks) / 1048576.0);
    }
  }
  bench::recordCollectorSteps(nullptr);
  double rssEnd = residentMiB();

  // What is left once nothing waits for the collector: two full collections, an allocation large
  // enough to pay the whole sweep debt, and a sample load (which deletes the discarded buffers).
  fullCollection();
  fullCollection();
  { Array<int> payTheSweep(static_cast<int>(gcCounters.freeBytes / static_cast<int64_t>(sizeof(int))) + 1); }
  if (audioDriver != nullptr) audioDriver->loadSample(String("data/no-such-sample.wav"));
  struct mallinfo2 settled = mallinfo2();
  const double settledHeap = static_cast<double>(settled.uordblks) / 1048576.0;
  std::fprintf(stderr, "settled: rss %.2f MiB  live %.2f MiB  free list %d objects  heap in use %.2f MiB\n",
               residentMiB(), static_cast<double>(gcCounters.liveBytes) / 1048576.0,
               gcListLength(GcList::Free), settledHeap);

  std::vector<double> all, full, cpu;
  for (const bench::CollectorStep& step : steps) {
    all.push_back(step.microseconds);
    cpu.push_back(step.cpuMicroseconds);
    if (step.full) full.push_back(step.microseconds);
  }
  char noteText[160];
  std::snprintf(noteText, sizeof noteText, "%.0f s recorded, song key every %.1f s, %zu steps, wall clock",
                seconds, switchEvery, steps.size());
  const std::string note = noteText;
  distribution("collector", "step", all, "us", note);
  // Under load a step can be preempted; its CPU time tells that apart from work. That figure
  // includes the two wall-clock reads and about half of the CPU clock's own system calls.
  distribution("collector", "step CPU time", cpu, "us", "thread CPU time of the same steps");
  figure("collector", "full collections", static_cast<double>(full.size()), "count", note);
  if (!full.empty()) distribution("collector", "full collection", full, "us", note);
  figure("collector", "RSS at start", rssStart, "MiB", "after the create step");
  figure("collector", "RSS at end", rssEnd, "MiB", note);
  // Only a run longer than a minute has a growth after the first minute.
  if (passes > 60 * kUpdatesPerSecond) {
    figure("collector", "RSS after 1 min", rssMinute, "MiB", "recorded time");
    figure("collector", "RSS growth 1 min to end", rssEnd - rssMinute, "MiB", "goal <= 2");
  }
  // A longer run shows whether the growth stops once the collector's cycles have settled.
  if (passes > 300 * kUpdatesPerSecond) {
    figure("collector", "RSS after 5 min", rssFiveMinutes, "MiB", "recorded time");
    figure("collector", "RSS growth 5 min to end", rssEnd - rssFiveMinutes, "MiB", note);
  }
  figure("collector", "heap in use at start", heapStart, "MiB", "malloc's main arena, after the create step");
  figure("collector", "heap in use at end, garbage destroyed", settledHeap, "MiB",
         "after two full collections and the whole sweep; growth here would be a leak");
  figure("song switch", "switches", static_cast<double>(switchMicros.size()), "count", note);
  figure("song switch", "key hit to player ready median", median(switchMicros), "us",
         "the update step that loads the song (7 samples + song), wall clock");
  figure("song switch", "key hit to player ready max", maximum(switchMicros), "us", "wall clock");
  figure("song switch", "ordinary update median", median(updateMicros), "us", "for comparison");
  return 0;
}

// --- the pacing trace ---

// A sleep longer than this is late (the goal for an update interval).
constexpr double kLateMilliseconds = 21.0;

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int commandSleeper(const std::string& path, double seconds) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (!out) {
    std::fprintf(stderr, "intro_bench: cannot write %s\n", path.c_str());
    return 1;
  }
  const auto period = std::chrono::duration<double>(1.0 / kUpdatesPerSecond);
  for (const double end = steadySeconds() + seconds; steadySeconds() < end;) {
    const double start = steadySeconds();
    std::this_thread::sleep_for(period);
    const double stop = steadySeconds();
    std::fprintf(out, "s %.6f %.3f\n", stop, (stop - start) * 1000.0);
  }
  std::fclose(out);
  return 0;
}

// The sleeps of a sleeper run as (start, end) in the trace's clock, given the trace's pair of
// clock readings; the lengths in milliseconds go to `lengths`.
std::vector<std::pair<double, double>> readSleeps(const std::string& path, double steadyToTrace,
                                                  std::vector<double>& lengths) {
  std::vector<std::pair<double, double>> sleeps;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    double end = 0, milliseconds = 0;
    if (std::sscanf(line.c_str(), "s %lf %lf", &end, &milliseconds) != 2) continue;
    lengths.push_back(milliseconds);
    sleeps.emplace_back(end - milliseconds / 1000.0 + steadyToTrace, end + steadyToTrace);
  }
  return sleeps;
}

// The figures of the machine beside the program: how often a plain sleep was late, and the
// update-interval p99 without the late intervals during which a plain sleep was late too (the
// machine held every process up then, not the program itself).
void machineFigures(const std::string& sleepsPath, double steadyToTrace, const std::vector<double>& u,
                    const std::string& note) {
  std::vector<double> lengths;
  std::vector<std::pair<double, double>> sleeps = readSleeps(sleepsPath, steadyToTrace, lengths);
  if (lengths.empty()) {
    std::fprintf(stderr, "intro_bench: %s holds no sleeps\n", sleepsPath.c_str());
    return;
  }
  std::vector<std::pair<double, double>> late;
  for (const auto& sleep : sleeps) {
    if ((sleep.second - sleep.first) * 1000.0 > kLateMilliseconds) late.push_back(sleep);
  }
  std::vector<double> own;
  int heldUp = 0;
  for (size_t i = 1; i < u.size(); ++i) {
    const double milliseconds = (u[i] - u[i - 1]) * 1000.0;
    bool withTheMachine = false;
    if (milliseconds > kLateMilliseconds) {
      for (const auto& sleep : late)
        withTheMachine = withTheMachine || (sleep.first < u[i] && sleep.second > u[i - 1]);
    }
    if (withTheMachine) {
      ++heldUp;
    } else {
      own.push_back(milliseconds);
    }
  }
  const std::string beside = "a process beside the program that only sleeps 19.6 ms at a time";
  figure("pacing", "machine: plain sleeps later than 21 ms",
         100.0 * static_cast<double>(late.size()) / static_cast<double>(lengths.size()), "%",
         beside + ", " + std::to_string(lengths.size()) + " sleeps");
  figure("pacing", "machine: plain sleep p99", percentile(lengths, 99), "ms", beside);
  if (!own.empty()) {
    figure("pacing", "update interval p99 outside machine stalls", percentile(own, 99), "ms",
           note + "; goal <= 21; without the " + std::to_string(heldUp) +
               " late intervals during which a plain sleep was late too");
  }
}

int commandPacing(const std::string& path, double seconds, double skip, const std::string& sleepsPath) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "intro_bench: cannot read %s\n", path.c_str());
    return 1;
  }
  std::vector<double> updates, frames, drops;
  std::vector<int> passes;
  std::string line;
  double steadyToTrace = 0;
  bool clocksRead = false;
  while (std::getline(in, line)) {
    if (line.size() < 3) continue;
    double value = std::atof(line.c_str() + 2);
    switch (line[0]) {
      case 'c': {
        double steady = 0, platform = 0;
        if (std::sscanf(line.c_str(), "c %lf %lf", &steady, &platform) == 2) {
          steadyToTrace = platform - steady;
          clocksRead = true;
        }
        break;
      }
      case 'u':
        updates.push_back(value);
        break;
      case 'f':
        frames.push_back(value);
        break;
      case 'p':
        passes.push_back(static_cast<int>(value));
        break;
      case 'd':
        drops.push_back(value);
        break;
    }
  }
  if (updates.size() < 3) {
    std::fprintf(stderr, "intro_bench: %s holds too few updates\n", path.c_str());
    return 1;
  }
  // The window: from `skip` seconds after the first update, `seconds` long.
  const double from = updates.front() + skip, to = from + seconds;
  auto inWindow = [&](double t) { return t >= from && t <= to; };
  std::vector<double> u, f;
  for (double t : updates)
    if (inWindow(t)) u.push_back(t);
  for (double t : frames)
    if (inWindow(t)) f.push_back(t);
  // Passes are not time-stamped: those of the window are the ones whose updates fall in it, in
  // order (every pass that ran updates wrote one line after them).
  size_t firstUpdate = 0;
  while (firstUpdate < updates.size() && updates[firstUpdate] < from) ++firstUpdate;
  int multi = 0, counted = 0;
  size_t seen = 0;
  for (int n : passes) {
    if (seen >= firstUpdate && seen < firstUpdate + u.size()) {
      if (n >= 2) ++multi;
      ++counted;
    }
    seen += static_cast<size_t>(n);
  }
  int dropped = 0;
  for (double t : drops)
    if (inWindow(t)) ++dropped;

  std::vector<double> ui, fi;
  for (size_t i = 1; i < u.size(); ++i) ui.push_back((u[i] - u[i - 1]) * 1000.0);
  for (size_t i = 1; i < f.size(); ++i) fi.push_back((f[i] - f[i - 1]) * 1000.0);
  double span = u.back() - u.front();
  double ups = span > 0 ? static_cast<double>(u.size() - 1) / span : 0;
  double mean = 0, var = 0;
  for (double x : ui) mean += x;
  mean /= static_cast<double>(ui.size());
  for (double x : ui) var += (x - mean) * (x - mean);
  double sd = std::sqrt(var / static_cast<double>(ui.size()));

  char noteText[160];
  std::snprintf(noteText, sizeof noteText, "real program on Xvfb, %.0f s window after %.0f s, wall clock",
                span, skip);
  const std::string note = noteText;
  figure("pacing", "updates per second", ups, "ups", note + "; goal 51 +- 0.5%");
  figure("pacing", "deviation from 51 ups", (ups / kUpdatesPerSecond - 1) * 100.0, "%", note);
  figure("pacing", "update interval median", median(ui), "ms", note);
  figure("pacing", "update interval p99", percentile(ui, 99), "ms", note + "; goal <= 21");
  figure("pacing", "update interval p1", percentile(ui, 1), "ms", note);
  figure("pacing", "update interval max", maximum(ui), "ms", note);
  figure("pacing", "update interval std dev", sd, "ms", note);
  figure("pacing", "frame interval median", median(fi), "ms", note);
  figure("pacing", "frame interval p99", percentile(fi, 99), "ms", note);
  figure("pacing", "passes with 2-4 updates", multi, "count", "of " + std::to_string(counted) + " passes");
  figure("pacing", "backlogs dropped", dropped, "count", note + "; goal 0");
  if (!sleepsPath.empty()) {
    if (clocksRead) {
      machineFigures(sleepsPath, steadyToTrace, u, note);
    } else {
      std::fprintf(stderr, "intro_bench: %s has no clock line; the machine figures need it\n", path.c_str());
    }
  }
  return 0;
}

double numberAfter(int& i, int argc, char** argv) {
  if (i + 1 >= argc) {
    std::fprintf(stderr, "intro_bench: %s needs a value\n", argv[i]);
    std::exit(2);
  }
  return std::atof(argv[++i]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: intro_bench frames|collector|pacing|sleeper ... (see the source's head)\n");
    return 2;
  }
  std::string command = argv[1];
  double frames = 255, seconds = 20, switchEvery = 2, skip = 2;
  std::string only, trace, machine;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--frames") {
      frames = numberAfter(i, argc, argv);
    } else if (arg == "--seconds") {
      seconds = numberAfter(i, argc, argv);
    } else if (arg == "--switch-every") {
      switchEvery = numberAfter(i, argc, argv);
    } else if (arg == "--skip") {
      skip = numberAfter(i, argc, argv);
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (arg == "--machine" && i + 1 < argc) {
      machine = argv[++i];
    } else if (arg[0] != '-' && trace.empty()) {
      trace = arg;
    } else {
      std::fprintf(stderr, "intro_bench: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (command == "frames") return commandFrames(std::max(1, static_cast<int>(frames)), only);
  if (command == "collector") return commandCollector(std::max(1.0, seconds), std::max(0.1, switchEvery));
  if (command == "pacing") return commandPacing(trace, seconds, skip, machine);
  if (command == "sleeper") return commandSleeper(trace, std::max(1.0, seconds));
  std::fprintf(stderr, "intro_bench: unknown command %s\n", command.c_str());
  return 2;
}
