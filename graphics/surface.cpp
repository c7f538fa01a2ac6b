// Surfaces: lazily created textures over a premultiplied pixel copy that outlives the context.
#include "graphics/surface.h"

#include <GL/gl.h>

#include <cstdlib>

#include "graphics/draw_recorder.h"
#include "host/game.h"

bool gxtkSurface::forcePowerOfTwo = false;

namespace {

int nextPowerOfTwo(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

// Errors left by earlier calls would read as a rejected texture size.
void drainGlErrors() {
  for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

}  // namespace

int surfaceFormatForDepth(int depth) {
  switch (depth) {
    case 1:
      return GL_LUMINANCE;
    case 2:
      return GL_LUMINANCE_ALPHA;
    case 3:
      return GL_RGB;
    default:
      return GL_RGBA;
  }
}

gxtkSurface::gxtkSurface() {}

gxtkSurface::~gxtkSurface() {
  discard();
}

int gxtkSurface::discard() {
  // A texture of an earlier generation went away with its context; deleting its name now would
  // delete whatever the new context gave that name to.
  if (textureGeneration == contextGeneration && contextGeneration != 0) {
    DrawRecorder::replayPending();  // recorded draws may still read it
    glDeleteTextures(1, &texture);
  }
  textureGeneration = -1;
  texture = 0;
  std::free(pixels);
  pixels = nullptr;
  return 0;
}

int gxtkSurface::width() {
  return width_;
}
int gxtkSurface::height() {
  return height_;
}
int gxtkSurface::loaded() {
  return 1;
}

int gxtkSurface::bind() {
  if (contextGeneration == 0) return 0;
  if (textureGeneration == contextGeneration) {
    glBindTexture(GL_TEXTURE_2D, texture);
    return 0;
  }
  textureGeneration = contextGeneration;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

  int texWidth = width_, texHeight = height_;
  bool powerOfTwo = forcePowerOfTwo;
  if (!powerOfTwo) {
    drainGlErrors();
    glTexImage2D(GL_TEXTURE_2D, 0, format, texWidth, texHeight, 0, format, GL_UNSIGNED_BYTE, nullptr);
    powerOfTwo = glGetError() != GL_NO_ERROR;
  }
  if (powerOfTwo) {
    texWidth = nextPowerOfTwo(width_);
    texHeight = nextPowerOfTwo(height_);
    glTexImage2D(GL_TEXTURE_2D, 0, format, texWidth, texHeight, 0, format, GL_UNSIGNED_BYTE, nullptr);
  }
  uScale = texWidth > 0 ? 1.0f / static_cast<float>(texWidth) : 0.0f;
  vScale = texHeight > 0 ? 1.0f / static_cast<float>(texHeight) : 0.0f;

  if (pixels != nullptr) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width_, height_, format, GL_UNSIGNED_BYTE, pixels);
  }
  return 0;
}

void gxtkSurface::adoptPixels(unsigned char* data, int width, int height, int depth) {
  // A surface refilled in place must not keep showing its old texture.
  if (textureGeneration == contextGeneration && contextGeneration != 0) {
    DrawRecorder::replayPending();  // recorded draws may still read it
    glDeleteTextures(1, &texture);
  }
  textureGeneration = -1;
  texture = 0;
  if (pixels != data) std::free(pixels);

  pixels = data;
  width_ = width;
  height_ = height;
  this->depth = depth;
  format = surfaceFormatForDepth(depth);

  size_t count = static_cast<size_t>(width) * height;
  if (depth == 2) {
    for (size_t i = 0; i < count; ++i) {
      unsigned char* p = data + i * 2;
      p[0] = static_cast<unsigned char>(p[0] * p[1] / 255);
    }
  } else if (depth == 4) {
    for (size_t i = 0; i < count; ++i) {
      unsigned char* p = data + i * 4;
      unsigned a = p[3];
      p[0] = static_cast<unsigned char>(p[0] * a / 255);
      p[1] = static_cast<unsigned char>(p[1] * a / 255);
      p[2] = static_cast<unsigned char>(p[2] * a / 255);
    }
  }
}
