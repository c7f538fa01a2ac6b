/* The picture decoder compiled into the fuzz targets from the same header as the system's libstb,
 * so that it carries the fuzzer's coverage and the sanitizers: the picture reader is a thin layer
 * over it. The linker takes these definitions before the shared library's. (The Vorbis decoder
 * is part of the framework already: audio/vorbis_decoder.cpp.) */
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
