// Star splatting with horizontal wrap-around.
#include "star_field.h"

#include <algorithm>
#include <cmath>

namespace assets {

namespace {

// Light of a star at offset (dx, dy) from its centre: a gaussian core, a faint halo three times as
// wide, and optional thin rays along the axes that fade out over the glint length.
float starProfile(const Star& s, float dx, float dy) {
  float d2 = dx * dx + dy * dy;
  float core = std::exp(-d2 / (2.0f * s.radius * s.radius));
  float halo = 0.12f * std::exp(-d2 / (2.0f * 9.0f * s.radius * s.radius));
  float rays = 0.0f;
  if (s.glint > 0.0f) {
    const float kRayWidth = 0.45f;
    rays += std::exp(-std::fabs(dx) * 2.2f / s.glint) * std::exp(-dy * dy / (2.0f * kRayWidth * kRayWidth));
    rays += std::exp(-std::fabs(dy) * 2.2f / s.glint) * std::exp(-dx * dx / (2.0f * kRayWidth * kRayWidth));
    rays *= 0.55f;
  }
  return s.brightness * (core + halo + rays);
}

}  // namespace

void addStar(LightBuffer& sky, const Star& star) {
  const int w = sky.width();
  float reach = std::max(12.0f * star.radius, 3.0f * star.glint) + 1.0f;
  int y0 = static_cast<int>(std::floor(star.y - reach));
  int y1 = static_cast<int>(std::ceil(star.y + reach));
  int x0 = static_cast<int>(std::floor(star.x - reach));
  int x1 = static_cast<int>(std::ceil(star.x + reach));
  for (int y = y0; y <= y1; ++y) {
    if (y < 0 || y >= sky.height()) continue;
    for (int x = x0; x <= x1; ++x) {
      // Pixel centres are at +0.5; the wrapped column is where this light lands in the strip.
      float v = starProfile(star, x + 0.5f - star.x, y + 0.5f - star.y);
      if (v < 1.0f / 1024.0f) continue;
      int column = ((x % w) + w) % w;
      sky.add(column, y, scale(star.tint, v));
    }
  }
}

LightBuffer makeStarField(int width, int height, const StarFieldStyle& style, uint64_t seed) {
  LightBuffer sky(width, height);
  Rng rng(seed);
  const Rgb kTints[] = {{1.0f, 1.0f, 1.0f}, {0.75f, 0.85f, 1.0f}, {1.0f, 0.92f, 0.75f}, {0.85f, 0.95f, 1.0f}};
  for (int i = 0; i < style.count; ++i) {
    Star s;
    s.x = rng.range(0.0f, static_cast<float>(width));
    s.y = rng.range(style.marginY, height - style.marginY);
    // Squaring the random value makes faint stars common and bright ones rare, as in a real sky.
    float t = rng.uniform();
    t *= t;
    s.brightness = style.brightnessMin + (style.brightnessMax - style.brightnessMin) * t;
    s.radius = style.radiusMin + (style.radiusMax - style.radiusMin) * t;
    s.glint = (rng.uniform() < style.glintChance && t > 0.35f) ? 4.0f + 6.0f * t : 0.0f;
    s.tint = kTints[rng.next() % 4];
    addStar(sky, s);
  }
  return sky;
}

}  // namespace assets
