#include "audio/audio_stats.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

struct AudioStats {
  const char* path = std::getenv("CORVANE_AUDIO_STATS");
  long buffers = 0;
  long sources = 0;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  long lastSecond = -1;
};

AudioStats& stats() {
  static AudioStats s;
  return s;
}

}  // namespace

void noteAudioBuffers(int delta) {
  if (stats().path != nullptr) stats().buffers += delta;
}

void noteAudioSources(int delta) {
  if (stats().path != nullptr) stats().sources += delta;
}

void reportAudioStats() {
  AudioStats& s = stats();
  if (s.path == nullptr) return;
  long second = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - s.start).count());
  if (second == s.lastSecond) return;
  s.lastSecond = second;
  if (FILE* file = std::fopen(s.path, "a")) {
    std::fprintf(file, "%ld buffers %ld sources %ld\n", second, s.buffers, s.sources);
    std::fclose(file);
  }
}
