/* The picture decoder's implementation for the browser build, from Debian's stb headers (the
   Linux build links Debian's libstb instead, which emscripten cannot use). */
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
