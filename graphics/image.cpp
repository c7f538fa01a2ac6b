// Images and frames: loading through the registered device, strip and grid cutting, flags, and the
// drawing functions that pick a whole-surface or a region draw on the render device.
#include "graphics/image.h"

#include <algorithm>
#include <cstdint>

#include "graphics/graphics_context.h"
#include "graphics/render_device.h"
#include "graphics/surface.h"
#include "host/files.h"
#include "host/runtime_error.h"

namespace {

// createImage refuses larger surfaces (64 MiB of pixels) rather than fail inside the driver.
constexpr int64_t kMaxCreatedImagePixels = 16 * 1024 * 1024;

// The device's surface for a picture, or null after the error line (callers see only the null).
gxtkSurface* loadImageSurface(const String& path) {
  gxtkGraphics* device = registeredDevice;
  gxtkSurface* surface = device != nullptr ? device->loadSurface(completeDataPath(path)) : nullptr;
  if (surface == nullptr) writeErrorLine(String("Error - Unable to load image: ") + path);
  return surface;
}

// The frame to draw, or null when the image has no such frame (an empty image has none).
c_Frame* frameToDraw(c_Image* image, int frame) {
  if (image == nullptr) return nullptr;
  const Array<c_Frame*>& frames = image->frames;
  if (!frames.inRange(frame)) return nullptr;
  return frames.get(frame);
}

bool drawsWholeSurface(const c_Image* image) {
  return (image->flags & c_Image::kFullFrame) != 0;
}

// A source coordinate relative to the frame, made absolute; saturates rather than overflowing.
int frameOffset(int frameCoordinate, int offset) {
  int64_t sum = static_cast<int64_t>(frameCoordinate) + offset;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int>(sum);
}

// Rotation and scale act about the handle, which therefore goes last (it acts on coordinates first).
void pushImageMatrix(const c_Image* image, float x, float y, float rotation, float scaleX, float scaleY) {
  pushMatrix();
  translate(x, y);
  rotate(rotation);
  scale(scaleX, scaleY);
  translate(-image->handleX, -image->handleY);
}

}  // namespace

void c_Image::mark() {
  surface.mark();
  frames.mark();
  source.mark();
}

c_Image* c_Image::initStrip(gxtkSurface* surface, int frameCount, int flags) {
  if (this->surface != nullptr) raiseRuntimeError(String("Image already initialized"));
  // Nothing to divide the width by: the image stays empty and the caller sees null.
  if (frameCount <= 0 || surface == nullptr) return nullptr;
  this->surface = surface;
  width_ = surface->width() / frameCount;
  height_ = surface->height();
  Array<c_Frame*> strip(frameCount);
  for (int i = 0; i < frameCount; ++i) strip[i] = new c_Frame(i * width_, 0);
  frames = strip;
  applyFlags(flags);
  return this;
}

c_Image* c_Image::initGrid(gxtkSurface* surface, int x, int y, int frameWidth, int frameHeight,
                           int frameCount, int flags, c_Image* source, int srcX, int srcY, int srcWidth,
                           int srcHeight) {
  if (this->surface != nullptr) raiseRuntimeError(String("Image already initialized"));
  // A negative frame size would walk frames off the surface's left or top edge.
  if (frameWidth < 0 || frameHeight < 0) raiseRuntimeError(String("Image frame outside surface"));
  this->surface = surface;
  this->source = source;
  width_ = frameWidth;
  height_ = frameHeight;
  Array<c_Frame*> grid(frameCount);
  // 64-bit cursor: the fit tests must not overflow on large sizes.
  int64_t cx = x, cy = y;
  for (int i = 0; i < grid.length(); ++i) {
    if (cx + width_ > srcWidth) {
      if (width_ > srcWidth) raiseRuntimeError(String("Image frame outside surface"));
      // Rows after the first start at column 0, not at the starting x (kept as the loaders expect).
      cx = 0;
      cy += height_;
    }
    if (cy + height_ > srcHeight) raiseRuntimeError(String("Image frame outside surface"));
    grid[i] = new c_Frame(static_cast<int>(srcX + cx), static_cast<int>(srcY + cy));
    cx += width_;
  }
  frames = grid;
  applyFlags(flags);
  return this;
}

int c_Image::applyFlags(int flags) {
  this->flags = flags;
  const Array<c_Frame*>& all = frames;
  if (flags & kXPadding) {
    for (int i = 0; i < all.length(); ++i) all.get(i)->x += 1;
    width_ -= 2;
  }
  if (flags & kYPadding) {
    for (int i = 0; i < all.length(); ++i) all.get(i)->y += 1;
    height_ -= 2;
  }
  if (flags & kMidHandle) {
    this->flags = flags & ~kMidHandle;
    handleX = static_cast<float>(width_) * 0.5f;
    handleY = static_cast<float>(height_) * 0.5f;
  }
  gxtkSurface* s = surface;
  if (all.length() == 1 && s != nullptr) {
    c_Frame* only = all.get(0);
    if (only->x == 0 && only->y == 0 && width_ == s->width() && height_ == s->height()) {
      this->flags |= kFullFrame;
    }
  }
  return 0;
}

int c_Image::setHandle(float x, float y) {
  handleX = x;
  handleY = y;
  flags &= ~kMidHandle;
  return 0;
}

// --- loading ---

c_Image* loadImage(const String& path, int flags) {
  gxtkSurface* surface = loadImageSurface(path);
  if (surface == nullptr) return nullptr;
  c_Image* image = new c_Image();
  image->surface = surface;
  image->width_ = surface->width();
  image->height_ = surface->height();
  Array<c_Frame*> one(1);
  one[0] = new c_Frame(0, 0);
  image->frames = one;
  image->applyFlags(flags);
  return image;
}

c_Image* loadImage(const String& path, int frameCount, int flags) {
  if (frameCount <= 0) return nullptr;
  gxtkSurface* surface = loadImageSurface(path);
  if (surface == nullptr) return nullptr;
  return (new c_Image())->initStrip(surface, frameCount, flags);
}

c_Image* loadImage(const String& path, int frameWidth, int frameHeight, int frameCount, int flags) {
  gxtkSurface* surface = loadImageSurface(path);
  if (surface == nullptr) return nullptr;
  return (new c_Image())
      ->initGrid(surface, 0, 0, frameWidth, frameHeight, frameCount, flags, nullptr, 0, 0, surface->width(),
                 surface->height());
}

// --- images made by the program ---

c_Image* createImage(int width, int height, int frameCount, int flags) {
  gxtkGraphics* device = registeredDevice;
  if (device == nullptr || width <= 0 || height <= 0 || frameCount <= 0) return nullptr;
  if (static_cast<int64_t>(width) * frameCount * height > kMaxCreatedImagePixels) return nullptr;
  // The frames sit side by side in one texture, which the driver would refuse (and draw nothing).
  int64_t surfaceWidth = static_cast<int64_t>(width) * frameCount;
  if (int limit = device->maxSurfaceSize(); limit > 0 && (surfaceWidth > limit || height > limit)) {
    writeErrorLine(
        String("Error - Unable to create image: ") + width + String(" x ") + height + String(", ") +
        frameCount + String(" frames side by side are ") + surfaceWidth + String(" x ") + height +
        String(" pixels, more than the graphics driver's largest texture (") + limit + String(")"));
    return nullptr;
  }
  gxtkSurface* surface = device->createSurface(width * frameCount, height);
  // A new texture's contents are undefined. A write makes the zeroed pixel copy and uploads the
  // rectangle; with no pixels given, nothing is copied in and the whole surface goes up transparent.
  device->writeSurfacePixels(surface, Array<int>(), 0, 0, width * frameCount, height, 0, width * frameCount);
  return (new c_Image())->initStrip(surface, frameCount, flags);
}

int writePixels(c_Image* image, Array<int> pixels, int x, int y, int width, int height, int offset, int pitch,
                int frame) {
  c_Frame* f = frameToDraw(image, frame);
  gxtkGraphics* device = registeredDevice;
  if (f == nullptr || device == nullptr) return 0;
  if (pitch == 0) pitch = width;
  // Clipped to the frame, so that a write never reaches a neighbouring frame.
  int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
  int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + width, image->width_);
  int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + height, image->height_);
  if (x0 >= x1 || y0 >= y1) return 0;
  int64_t start = static_cast<int64_t>(offset) + (y0 - y) * pitch + (x0 - x);
  if (start < INT32_MIN || start > INT32_MAX) return 0;
  device->writeSurfacePixels(image->surface, pixels, static_cast<int>(f->x + x0), static_cast<int>(f->y + y0),
                             static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), static_cast<int>(start),
                             pitch);
  return 0;
}

int readPixels(Array<int> pixels, int x, int y, int width, int height, int offset, int pitch) {
  gxtkGraphics* device = renderDevice;
  if (device == nullptr) return 0;
  device->readPixels(pixels, x, y, width, height, offset, pitch == 0 ? width : pitch);
  return 0;
}

// --- drawing ---

int drawImage(c_Image* image, float x, float y) {
  return drawImage(image, x, y, 0);
}

int drawImage(c_Image* image, float x, float y, int frame) {
  c_Frame* f = frameToDraw(image, frame);
  if (f == nullptr) return 0;
  validateMatrix();
  gxtkGraphics* device = renderDevice;
  if (device == nullptr) return 0;
  float left = x - image->handleX, top = y - image->handleY;
  if (drawsWholeSurface(image)) {
    device->drawSurface(image->surface, left, top);
  } else {
    device->drawSurfaceRegion(image->surface, left, top, f->x, f->y, image->width_, image->height_);
  }
  return 0;
}

int drawImage(c_Image* image, float x, float y, float rotation, float scaleX, float scaleY, int frame) {
  c_Frame* f = frameToDraw(image, frame);
  if (f == nullptr) return 0;
  pushImageMatrix(image, x, y, rotation, scaleX, scaleY);
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) {
    if (drawsWholeSurface(image)) {
      device->drawSurface(image->surface, 0, 0);
    } else {
      device->drawSurfaceRegion(image->surface, 0, 0, f->x, f->y, image->width_, image->height_);
    }
  }
  popMatrix();
  return 0;
}

int drawImageRect(c_Image* image, float x, float y, int srcX, int srcY, int srcWidth, int srcHeight) {
  return drawImageRect(image, x, y, srcX, srcY, srcWidth, srcHeight, 0);
}

int drawImageRect(c_Image* image, float x, float y, int srcX, int srcY, int srcWidth, int srcHeight,
                  int frame) {
  c_Frame* f = frameToDraw(image, frame);
  if (f == nullptr) return 0;
  validateMatrix();
  gxtkGraphics* device = renderDevice;
  if (device == nullptr) return 0;
  device->drawSurfaceRegion(image->surface, x - image->handleX, y - image->handleY, frameOffset(f->x, srcX),
                            frameOffset(f->y, srcY), srcWidth, srcHeight);
  return 0;
}

int drawImageRect(c_Image* image, float x, float y, int srcX, int srcY, int srcWidth, int srcHeight,
                  float rotation, float scaleX, float scaleY, int frame) {
  c_Frame* f = frameToDraw(image, frame);
  if (f == nullptr) return 0;
  pushImageMatrix(image, x, y, rotation, scaleX, scaleY);
  validateMatrix();
  if (gxtkGraphics* device = renderDevice; device != nullptr) {
    device->drawSurfaceRegion(image->surface, 0, 0, frameOffset(f->x, srcX), frameOffset(f->y, srcY),
                              srcWidth, srcHeight);
  }
  popMatrix();
  return 0;
}
