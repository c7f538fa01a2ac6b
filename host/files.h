// Data paths and file loading: the framework's rule that completes bare asset names, the text
// loader built on the host's file operations, and the text-file decoding (byte-order marks, UTF-8,
// 8-bit fallback). The host's own path mapping and file opening are VxGame virtuals (host/game.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include "runtime/string.h"

// A bare relative name gets "corvane://data/"; a scheme or drive ("x:/..."), "./x" and "/x" stay.
String completeDataPath(const String& path);
// completeDataPath, then the host's loadTextFile; the empty String when the file cannot be read.
String loadText(const String& path);
// True when the file at path (completed by the data-path rule) holds more than maxBytes. The bytes
// are counted by reading, at most one past the cap, so that a device or an endless pipe cannot
// pass for a small file; a file that cannot be opened is not too large.
bool fileLargerThan(const String& path, int64_t maxBytes);
// The whole rest of an open file as text. The caller closes the file.
String decodeTextFile(FILE* file);
// "Invalid UTF-8" when the last decodeTextFile fell back to 8-bit characters, otherwise null.
const char* lastTextDecodingError();
