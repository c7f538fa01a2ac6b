// Seeded random numbers for programs: one generator for the whole program, the same sequence for
// the same seed on every machine (games replay, tests repeat). Not for anything secret.
#pragma once

#include <cstdint>

// Starts the sequence again from a seed. A program that never seeds gets the sequence of seed 0.
void seedRnd(int64_t seed);
// The next number in [0, 1).
float rnd();
// The next number in [0, max) (in (max, 0] for a negative max).
float rnd(float max);
// The next number in [min, max).
float rnd(float min, float max);
