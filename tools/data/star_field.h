// Star fields for the parallax strips: soft round stars, some with cross-shaped glints, added into
// a light buffer that wraps left to right so that strips laid side by side show no seam.
#pragma once

#include "canvas.h"

namespace assets {

struct Star {
  float x, y;        // centre in pixels; x may lie anywhere, it is wrapped to the strip width
  float brightness;  // peak light of the core, 0..1 and a little above for the brightest
  float radius;      // gaussian sigma of the core in pixels
  float glint;       // length of the cross-shaped rays in pixels, 0 for none
  Rgb tint;
};

// Adds one star; everything it lights beyond the right edge reappears at the left and vice versa.
void addStar(LightBuffer& sky, const Star& star);

struct StarFieldStyle {
  int count;
  float brightnessMin, brightnessMax;
  float radiusMin, radiusMax;
  float glintChance;  // share of stars that get rays
  float marginY;      // stars keep this far from the top and bottom edges, which are not wrapped
};

// A field of style.count stars scattered by a generator seeded with seed.
LightBuffer makeStarField(int width, int height, const StarFieldStyle& style, uint64_t seed);

}  // namespace assets
