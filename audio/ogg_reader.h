// Ogg Vorbis reader: the whole stream decoded to interleaved signed 16-bit samples.
#pragma once

#include <cstdio>

// A malloc'd block of `length` frames of 16-bit samples (bytesPerSample is 2), or null when the
// stream cannot be opened or decodes to more than kMaxDecodedPcmBytes. The file stays open.
unsigned char* readOgg(FILE* file, int& length, int& channels, int& bytesPerSample, int& rate);
