// Pixel buffers shared by the asset generators: a straight-alpha RGBA canvas, a light buffer that
// stars and glows are added into, a seeded random source and PNG output. Everything here is
// deterministic so that a second run writes the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

struct Rgb {
  float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t);
Rgb scale(Rgb c, float k);
float clamp01(float v);
float smoothstep(float edge0, float edge1, float v);

// Straight (not premultiplied) colour plus alpha, all in 0..1; the program premultiplies at load time.
class Canvas {
 public:
  Canvas(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  float* at(int x, int y) { return &pixels_[4 * (static_cast<size_t>(y) * width_ + x)]; }
  const float* at(int x, int y) const { return &pixels_[4 * (static_cast<size_t>(y) * width_ + x)]; }

  void set(int x, int y, Rgb c, float alpha);
  // Porter-Duff "over" in straight alpha; ignores coordinates outside the canvas.
  void blendOver(int x, int y, Rgb c, float alpha);
  void fill(Rgb c, float alpha);
  // Copies another canvas in with its top-left corner at (x, y), clipping at the edges.
  void paste(const Canvas& src, int x, int y);
  Canvas flippedVertically() const;

  // 8-bit channels, rounded; with dither a 4x4 ordered pattern hides banding in slow gradients.
  std::vector<uint8_t> toBytes(int channels, bool dither) const;

 private:
  int width_;
  int height_;
  std::vector<float> pixels_;
};

// Additive light: stars and glows sum here and become colour plus alpha only at the end, so that
// overlapping glows brighten instead of hiding each other.
class LightBuffer {
 public:
  LightBuffer(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  void add(int x, int y, Rgb light);
  Rgb get(int x, int y) const;
  // Alpha is the brightest channel, colour the light divided by it: drawn over black with
  // premultiplied blending this gives back exactly the summed light.
  Canvas toCanvas() const;

 private:
  int width_;
  int height_;
  std::vector<Rgb> light_;
};

// SplitMix64: tiny, fast, and the same sequence on every platform.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next();
  // Uniform in [0, 1).
  float uniform();
  float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }

 private:
  uint64_t state_;
};

// Writes a PNG with 3 (RGB) or 4 (RGBA) channels; returns false and prints the reason on failure.
bool writePng(const std::string& path, const Canvas& canvas, int channels, bool dither);

// Creates the directory and its parents if missing; prints the reason and returns false on failure.
bool ensureDirectory(const std::string& path);

}  // namespace assets
