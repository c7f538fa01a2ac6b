// Star splatting wraps around the strip's width, so that strips laid side by side show no seam.
#include "star_field.h"

#include <gtest/gtest.h>

using assets::LightBuffer;
using assets::Star;

namespace {

float columnLight(const LightBuffer& sky, int x) {
  float sum = 0;
  for (int y = 0; y < sky.height(); ++y) sum += sky.get(x, y).r;
  return sum;
}

float totalLight(const LightBuffer& sky) {
  float sum = 0;
  for (int x = 0; x < sky.width(); ++x) sum += columnLight(sky, x);
  return sum;
}

}  // namespace

TEST(StarField, StarOnTheRightEdgeContinuesOnTheLeft) {
  LightBuffer wrapped(64, 32), centred(64, 32);
  Star s{63.8f, 16.0f, 1.0f, 1.0f, 5.0f, {1, 1, 1}};
  assets::addStar(wrapped, s);
  s.x = 31.8f;  // same sub-pixel phase, away from both edges
  assets::addStar(centred, s);
  EXPECT_GT(columnLight(wrapped, 63), 0.5f);
  EXPECT_GT(columnLight(wrapped, 0), 0.5f);
  EXPECT_GT(columnLight(wrapped, 2), 0.05f);
  // No light is lost or doubled at the seam.
  EXPECT_NEAR(totalLight(wrapped), totalLight(centred), 1e-3f * totalLight(centred));
}

TEST(StarField, StarLeftOfZeroWrapsToTheRightEdge) {
  LightBuffer sky(64, 32);
  assets::addStar(sky, {-0.5f, 16.0f, 1.0f, 1.0f, 0.0f, {1, 1, 1}});
  EXPECT_GT(columnLight(sky, 63), 0.5f);
  EXPECT_GT(columnLight(sky, 0), 0.5f);
  EXPECT_FLOAT_EQ(columnLight(sky, 32), 0.0f);
}

TEST(StarField, FieldKeepsItsStarsOffTheUnwrappedTopAndBottom) {
  assets::StarFieldStyle style{200, 0.3f, 1.1f, 0.45f, 1.15f, 0.5f, 14.0f};
  LightBuffer sky = assets::makeStarField(640, 160, style, 42);
  for (int x = 0; x < 640; ++x) {
    EXPECT_LT(sky.get(x, 0).g, 0.03f) << x;
    EXPECT_LT(sky.get(x, 159).g, 0.03f) << x;
  }
  EXPECT_GT(totalLight(sky), 100.0f);
}
