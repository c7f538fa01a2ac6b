// The generator behind rnd: splitmix64, 64 bits of state, well mixed even for neighbouring seeds.
#include "runtime/random.h"

namespace {

uint64_t state = 0;

uint64_t next64() {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

void seedRnd(int64_t seed) {
  state = static_cast<uint64_t>(seed);
}

float rnd() {
  // 24 bits: every value is a float exactly, and none rounds up to 1.
  return static_cast<float>(next64() >> 40) * (1.0f / 16777216.0f);
}

float rnd(float max) {
  return rnd() * max;
}

float rnd(float min, float max) {
  float value = min + rnd() * (max - min);
  // min + u * (max - min) can round up to max itself when the two are far apart.
  return value < max || min == max ? value : min;
}
