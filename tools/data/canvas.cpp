// Canvas, light buffer, random source and PNG output of the asset generators.
#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

// The writer is compiled into this file (not taken from the shared library) so that the generators'
// output does not depend on how a distribution built it; its unused parts are not our warnings.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace assets {

Rgb mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(Rgb c, float k) {
  return {c.r * k, c.g * k, c.b * k};
}

float clamp01(float v) {
  return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

float smoothstep(float edge0, float edge1, float v) {
  float t = clamp01((v - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(4 * static_cast<size_t>(width) * height, 0.0f) {}

void Canvas::set(int x, int y, Rgb c, float alpha) {
  float* p = at(x, y);
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
  p[3] = alpha;
}

void Canvas::blendOver(int x, int y, Rgb c, float alpha) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0.0f) return;
  float* p = at(x, y);
  float outA = alpha + p[3] * (1.0f - alpha);
  if (outA <= 0.0f) return;
  float keep = p[3] * (1.0f - alpha);
  p[0] = (c.r * alpha + p[0] * keep) / outA;
  p[1] = (c.g * alpha + p[1] * keep) / outA;
  p[2] = (c.b * alpha + p[2] * keep) / outA;
  p[3] = outA;
}

void Canvas::fill(Rgb c, float alpha) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) set(x, y, c, alpha);
}

void Canvas::paste(const Canvas& src, int x, int y) {
  for (int sy = 0; sy < src.height(); ++sy) {
    int ty = y + sy;
    if (ty < 0 || ty >= height_) continue;
    for (int sx = 0; sx < src.width(); ++sx) {
      int tx = x + sx;
      if (tx < 0 || tx >= width_) continue;
      std::copy_n(src.at(sx, sy), 4, at(tx, ty));
    }
  }
}

Canvas Canvas::flippedVertically() const {
  Canvas out(width_, height_);
  for (int y = 0; y < height_; ++y) std::copy_n(at(0, y), 4 * width_, out.at(0, height_ - 1 - y));
  return out;
}

std::vector<uint8_t> Canvas::toBytes(int channels, bool dither) const {
  // Bayer 4x4 thresholds centred on zero, in units of one 8-bit step.
  static const float kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  std::vector<uint8_t> out(static_cast<size_t>(width_) * height_ * channels);
  size_t i = 0;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const float* p = at(x, y);
      float offset = dither ? (kBayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f : 0.0f;
      for (int c = 0; c < channels; ++c) {
        float v = std::floor(clamp01(p[c]) * 255.0f + 0.5f + (c < 3 ? offset : 0.0f));
        out[i++] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
      }
    }
  }
  return out;
}

LightBuffer::LightBuffer(int width, int height)
    : width_(width), height_(height), light_(static_cast<size_t>(width) * height, Rgb{0, 0, 0}) {}

void LightBuffer::add(int x, int y, Rgb light) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Rgb& p = light_[static_cast<size_t>(y) * width_ + x];
  p.r += light.r;
  p.g += light.g;
  p.b += light.b;
}

Rgb LightBuffer::get(int x, int y) const {
  return light_[static_cast<size_t>(y) * width_ + x];
}

Canvas LightBuffer::toCanvas() const {
  Canvas out(width_, height_);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      Rgb l = get(x, y);
      l = {clamp01(l.r), clamp01(l.g), clamp01(l.b)};
      float a = std::max({l.r, l.g, l.b});
      if (a <= 0.0f)
        out.set(x, y, {0, 0, 0}, 0.0f);
      else
        out.set(x, y, scale(l, 1.0f / a), a);
    }
  }
  return out;
}

uint64_t Rng::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

float Rng::uniform() {
  return static_cast<float>(next() >> 40) / 16777216.0f;
}

bool writePng(const std::string& path, const Canvas& canvas, int channels, bool dither) {
  std::vector<uint8_t> bytes = canvas.toBytes(channels, dither);
  if (!stbi_write_png(path.c_str(), canvas.width(), canvas.height(), channels, bytes.data(),
                      canvas.width() * channels)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

bool ensureDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error || !std::filesystem::is_directory(path)) {
    std::fprintf(stderr, "cannot create directory %s: %s\n", path.c_str(), error.message().c_str());
    return false;
  }
  return true;
}

}  // namespace assets
