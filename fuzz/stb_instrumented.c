/* The picture and Vorbis decoders compiled into the fuzz targets from the same headers as the
 * system's libstb, so that they carry the fuzzer's coverage and the sanitizers: the readers' own
 * code is a thin layer over them. The linker takes these definitions before the shared library's. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <stb/stb_vorbis.h>
