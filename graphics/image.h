// Images: a surface cut into equally sized frames, with a handle point that is subtracted from the
// drawing position and is the centre of rotation and scaling. Loaded through the data-path rule
// and the registered device's loadSurface; drawn through the graphics context's render device.
#pragma once

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/string.h"

class gxtkSurface;

// The top-left pixel of one frame inside its image's surface.
class c_Frame : public Object {
 public:
  c_Frame(int x, int y) : x(x), y(y) {}
  int x = 0;
  int y = 0;
};

class c_Image : public Object {
 public:
  // Flag bits.
  static constexpr int kMidHandle = 1;        // handle at the frame centre; not kept once applied
  static constexpr int kXPadding = 2;         // one-pixel border left and right of every frame
  static constexpr int kYPadding = 4;         // one-pixel border above and below every frame
  static constexpr int kFullFrame = 1 << 16;  // one frame covering the surface: drawn whole

  // Fill an empty image. Both raise "Image already initialized" on an image that has a surface;
  // initGrid raises "Image frame outside surface" when a frame does not fit the source rectangle.
  // initStrip returns null (leaving the image empty) for a frame count of 0 or less.
  c_Image* initStrip(gxtkSurface* surface, int frameCount, int flags);
  c_Image* initGrid(gxtkSurface* surface, int x, int y, int frameWidth, int frameHeight, int frameCount,
                    int flags, c_Image* source, int srcX, int srcY, int srcWidth, int srcHeight);
  int applyFlags(int flags);
  // Also clears the mid-handle bit: the handle is now the caller's.
  int setHandle(float x, float y);
  int width() const { return width_; }
  int height() const { return height_; }
  int frameCount() const { return frames.length(); }

  void mark() override;

  // Fields, in their documented order.
  GcField<gxtkSurface*> surface;
  int width_ = 0;  // one frame
  int height_ = 0;
  GcField<Array<c_Frame*>> frames;
  int flags = 0;
  float handleX = 0;
  float handleY = 0;
  GcField<c_Image*> source;
};

// Loaders: null (after an error line on standard error) when the picture cannot be loaded.
// One frame covering the whole picture.
c_Image* loadImage(const String& path, int flags);
// A horizontal strip of frameCount frames; null for a frame count of 0 or less.
c_Image* loadImage(const String& path, int frameCount, int flags);
// frameCount frames of frameWidth x frameHeight read row by row from the picture.
c_Image* loadImage(const String& path, int frameWidth, int frameHeight, int frameCount, int flags);

// A blank image to draw into: frameCount frames of width x height side by side on one new surface,
// every pixel transparent black. Null before the game has started (there is no device yet) or for
// a size or frame count of 0 or less.
c_Image* createImage(int width, int height, int frameCount = 1, int flags = 0);
// Replaces a rectangle of one frame's pixels. Pixels are 0xAARRGGBB ints, not premultiplied; the
// rectangle (x, y, width, height) is relative to the frame and clipped to it, and pixel (x + i,
// y + j) comes from pixels[offset + j * pitch + i] (pitch 0: width). Only images made by
// createImage can be written (pictures loaded without an alpha channel cannot).
int writePixels(c_Image* image, Array<int> pixels, int x, int y, int width, int height, int offset = 0,
                int pitch = 0, int frame = 0);
// Reads a rectangle of what has been drawn so far in this frame (inside the render hook) into
// pixels, in the same layout; parts outside the window are left alone.
int readPixels(Array<int> pixels, int x, int y, int width, int height, int offset = 0, int pitch = 0);

// Drawing on the graphics context. A null image, or a frame the image does not have, draws
// nothing. The source rectangle of drawImageRect is relative to the frame.
int drawImage(c_Image* image, float x, float y);
int drawImage(c_Image* image, float x, float y, int frame);
int drawImage(c_Image* image, float x, float y, float rotation, float scaleX, float scaleY, int frame);
int drawImageRect(c_Image* image, float x, float y, int srcX, int srcY, int srcWidth, int srcHeight);
int drawImageRect(c_Image* image, float x, float y, int srcX, int srcY, int srcWidth, int srcHeight,
                  int frame);
int drawImageRect(c_Image* image, float x, float y, int srcX, int srcY, int srcWidth, int srcHeight,
                  float rotation, float scaleX, float scaleY, int frame);
