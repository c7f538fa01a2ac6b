// Surfaces: a texture together with the decoded, premultiplied pixels it was made from. The pixel
// copy lives as long as the surface, so the texture can be created lazily at the first bind and
// again after the host has replaced the OpenGL context (see contextGeneration in host/game.h).
#pragma once

#include "runtime/collector.h"

class gxtkSurface : public Object {
 public:
  gxtkSurface();
  // Releases the texture (when it belongs to the live context) and the pixel copy.
  ~gxtkSurface() override;

  // Virtual operations in slot order.
  virtual int discard();
  virtual int width();
  virtual int height();
  virtual int loaded();
  // Makes the texture current, creating and uploading it when this context has none yet.
  virtual int bind();

  // Stores a decoded block (malloc'd; the surface takes ownership), premultiplying depths 2 and 4,
  // and picks the GL format from the depth.
  void adoptPixels(unsigned char* data, int width, int height, int depth);

  // Fields, in their documented order.
  unsigned char* pixels = nullptr;  // width * height * depth bytes, rows top first; malloc/free
  int width_ = 0;
  int height_ = 0;
  int depth = 0;
  int format = 0;              // GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB or GL_RGBA
  int textureGeneration = -1;  // contextGeneration the texture was made in; -1 = none
  unsigned int texture = 0;
  float uScale = 0;
  float vScale = 0;

  // Test seam: allocate every texture at power-of-two sizes, as on an implementation that rejects
  // other sizes.
  static bool forcePowerOfTwo;
};

// The GL format for a depth of 1-4 bytes per pixel (GL_RGBA for anything else).
int surfaceFormatForDepth(int depth);
