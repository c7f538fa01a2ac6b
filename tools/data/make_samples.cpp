// make-samples OUTDIR: writes the seven instrument samples into OUTDIR/wav as mono 16-bit WAVs.
//
// Pitch: the player plays a sample at rate 1.0 for note + 12 * octave = 24 and moves a semitone
// per step from there. At 16744 Hz a 64-sample cycle repeats at 261.6 Hz, middle C, so every
// single-cycle sample is in tune with the note names of the songs.
//
// Level: four voices of two channels each are summed, and a channel's level is below 1.0 except
// for the loudest volume digits and the envelopes decay at once, so the mix of the songs stays far
// below the sum of eight peaks. The samples peak at 1/4 of full scale, which puts the twelve
// songs' mixes at about -16 dBFS RMS with their peaks below -1 dBFS (the songs' tests render and
// measure them). The triangle, the pulse ramp and the sync sweep are softer-sounding for the same
// peak, and the songs that lean on them would sound quieter than the rest: they peak higher.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "canvas.h"
#include "wav_writer.h"

namespace {

constexpr uint32_t kSampleRate = 16744;
constexpr int kCycle = 64;
constexpr double kFullScale = 32768.0;
constexpr double kPeak = kFullScale / 4;
constexpr double kTwoPi = 6.283185307179586;

using Shape = double (*)(double phase);  // one cycle, phase in [0, 1)

// Removes any DC offset (which would click when a channel starts or stops) and scales the
// largest excursion to the peak level.
std::vector<int16_t> toPcm(const std::vector<double>& wave, double peak) {
  double mean = 0.0;
  for (double v : wave) mean += v;
  mean /= static_cast<double>(wave.size());
  double largest = 0.0;
  for (double v : wave) largest = std::max(largest, std::fabs(v - mean));
  std::vector<int16_t> pcm;
  pcm.reserve(wave.size());
  for (double v : wave) {
    double s = largest > 0.0 ? (v - mean) / largest * peak : 0.0;
    pcm.push_back(static_cast<int16_t>(std::lround(s)));
  }
  return pcm;
}

std::vector<double> singleCycle(Shape shape) {
  std::vector<double> wave(kCycle);
  // Sampling at the middle of each step keeps rising and falling shapes mirror images.
  for (int i = 0; i < kCycle; ++i) wave[i] = shape((i + 0.5) / kCycle);
  return wave;
}

// A straight rising ramp: every harmonic, the brightest of the set.
double ramp(double p) {
  return 2.0 * p - 1.0;
}

// A ramp that bends upwards: slow start, fast rise, then the drop; rounder and more nasal.
double bentRamp(double p) {
  return 2.0 * (std::exp(3.0 * p) - 1.0) / (std::exp(3.0) - 1.0) - 1.0;
}

// A ramp with a quarter-cycle pulse on top: a hollow, reedy tone.
double pulseRamp(double p) {
  return 0.65 * (2.0 * p - 1.0) + 0.35 * (p < 0.25 ? 1.0 : -1.0 / 3.0);
}

// A falling saw, half a cycle out of phase with the ramp. Instruments play it against a ramp on
// the voice's second channel: in phase the pair would cancel, offset it sums to a square wave,
// and the detune turns that into a slowly sweeping pulse width.
double fallingSaw(double p) {
  double q = p + 0.5;
  q -= std::floor(q);
  return 1.0 - 2.0 * q;
}

// A triangle starting at zero: soft, almost flute-like.
double triangle(double p) {
  if (p < 0.25) return 4.0 * p;
  if (p < 0.75) return 2.0 - 4.0 * p;
  return 4.0 * p - 4.0;
}

// Effect loop: sixteen middle-C cycles of a hard-synced saw whose inner frequency sweeps from
// 1.5 to 4 times the pitch and back, so the tone stays in tune while its formant wails. The
// sweep is a full cosine period, so the end of the loop meets its start.
std::vector<double> syncSweep() {
  const int kCycles = 16;
  std::vector<double> wave(kCycle * kCycles);
  for (size_t i = 0; i < wave.size(); ++i) {
    double master = (i % kCycle + 0.5) / kCycle;
    double sweep = static_cast<double>(i) / wave.size();
    double ratio = 1.5 + 2.5 * (0.5 - 0.5 * std::cos(kTwoPi * sweep));
    double inner = master * ratio;
    inner -= std::floor(inner);
    // Fading each inner cycle with the master cycle softens the sync edge a little.
    wave[i] = (1.0 - 2.0 * inner) * (1.0 - 0.5 * master);
  }
  return wave;
}

// Noise for drums and hi-hats: 32768 values (two seconds at the base rate, half a second even at
// four times the rate) from a seeded generator, so the loop never sounds periodic. A light
// first-difference filter, taken around the loop so the seam stays invisible, tilts it towards
// hiss.
std::vector<double> hissNoise() {
  const size_t kLength = 32768;
  assets::Rng rng(0x686e6f697365ull);
  std::vector<double> white(kLength);
  for (double& v : white) v = 2.0 * rng.uniform() - 1.0;
  std::vector<double> wave(kLength);
  for (size_t i = 0; i < kLength; ++i) wave[i] = white[i] - 0.5 * white[(i + kLength - 1) % kLength];
  return wave;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\nwrites the instrument samples into OUTDIR/wav\n", argv[0]);
    return 2;
  }
  std::string dir = std::string(argv[1]) + "/wav";
  if (!assets::ensureDirectory(dir)) return 1;
  struct Output {
    const char* name;
    std::vector<double> wave;
    double peak;
  };
  const Output outputs[] = {
      {"ramp_64.wav", singleCycle(ramp), kPeak},
      {"ramp_b_64.wav", singleCycle(bentRamp), kPeak},
      {"ramp_c_64.wav", singleCycle(pulseRamp), kPeak * 1.25},
      {"saw_64.wav", singleCycle(fallingSaw), kPeak},
      {"tri_64.wav", singleCycle(triangle), kPeak * 1.5},
      {"fx2b.wav", syncSweep(), kPeak * 2},
      {"hnoise.wav", hissNoise(), kPeak},
  };
  for (const Output& o : outputs)
    if (!assets::writeWavMono16(dir + "/" + o.name, kSampleRate, toPcm(o.wave, o.peak))) return 1;
  return 0;
}
