// RIFF/WAVE reader for uncompressed PCM: the "fmt " chunk first, then any chunks up to "data".
#pragma once

#include <cstdio>

// A malloc'd block of `length` frames as stored in the file (8-bit unsigned, 16-bit signed,
// little-endian), or null. The file stays open.
unsigned char* readWav(FILE* file, int& length, int& channels, int& bytesPerSample, int& rate);
