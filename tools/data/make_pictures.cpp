// make-pictures OUTDIR: writes the intro's pictures (backdrop, star strips, ball and its
// reflection, scanline overlay, cube texture) as PNG files into OUTDIR.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "canvas.h"
#include "star_field.h"

using namespace assets;

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr float kPi = 3.14159265358979f;

// The floor's fan of lines starts here, so the backdrop puts its horizon glow on this row.
constexpr float kHorizonY = 300.0f;

// Piecewise-linear colour ramp over y; keys must be sorted by position.
struct ColorKey {
  float y;
  Rgb color;
};

template <size_t N>
Rgb ramp(const ColorKey (&keys)[N], float y) {
  if (y <= keys[0].y) return keys[0].color;
  for (size_t i = 1; i < N; ++i) {
    if (y <= keys[i].y)
      return mix(keys[i - 1].color, keys[i].color, (y - keys[i - 1].y) / (keys[i].y - keys[i - 1].y));
  }
  return keys[N - 1].color;
}

// A copper bar: a full-width band whose brightness follows a cosine across its height.
Rgb copperBar(float y, float centre, float halfHeight, Rgb color) {
  float d = std::fabs(y - centre) / halfHeight;
  if (d >= 1.0f) return {0, 0, 0};
  float k = 0.5f + 0.5f * std::cos(d * kPi);
  return scale(color, k * k);
}

// Dark night sky over a dark ground, a warm glow on the horizon and thin copper bars framing the
// key help at the top. Every part stays dark enough that white text on it reads clearly.
Canvas makeBackdrop() {
  static const ColorKey kSky[] = {
      {0.0f, {0.010f, 0.008f, 0.040f}},
      {120.0f, {0.020f, 0.018f, 0.085f}},
      {230.0f, {0.060f, 0.025f, 0.140f}},
      {kHorizonY, {0.160f, 0.040f, 0.200f}},
  };
  static const ColorKey kGround[] = {
      {kHorizonY, {0.050f, 0.015f, 0.090f}},
      {360.0f, {0.018f, 0.010f, 0.060f}},
      {480.0f, {0.030f, 0.020f, 0.085f}},
  };
  Canvas c(kScreenWidth, kScreenHeight);
  for (int y = 0; y < kScreenHeight; ++y) {
    float fy = y + 0.5f;
    Rgb base = fy < kHorizonY ? ramp(kSky, fy) : ramp(kGround, fy);
    float dh = fy - kHorizonY;
    // The glow is sharper below the horizon than above it, like light behind distant hills.
    float glowNear = std::exp(-std::fabs(dh) / (dh < 0 ? 5.0f : 2.5f));
    float glowWide = std::exp(-std::fabs(dh) / (dh < 0 ? 45.0f : 14.0f));
    Rgb glow = {0.50f * glowNear + 0.16f * glowWide, 0.14f * glowNear + 0.03f * glowWide,
                0.32f * glowNear + 0.12f * glowWide};
    Rgb bars = copperBar(fy, 6.0f, 4.5f, {0.10f, 0.30f, 0.55f});
    Rgb bars2 = copperBar(fy, 72.0f, 4.5f, {0.10f, 0.30f, 0.55f});
    Rgb bars3 = copperBar(fy, 454.0f, 3.5f, {0.35f, 0.10f, 0.40f});
    for (int x = 0; x < kScreenWidth; ++x) {
      float fx = (x + 0.5f) / kScreenWidth;
      // The horizon glow is strongest in the middle of the screen and fades towards the sides.
      float centre = 0.55f + 0.45f * std::cos((fx - 0.5f) * kPi);
      // Copper bars shimmer in hue along their length.
      float hue = 0.5f + 0.5f * std::sin(fx * 2.0f * kPi * 1.5f);
      Rgb barColor = {bars.r + bars2.r + bars3.r * hue, bars.g + bars2.g + (bars.g + bars2.g) * hue * 0.5f,
                      bars.b + bars2.b + bars3.b};
      Rgb p = {base.r + glow.r * centre + barColor.r, base.g + glow.g * centre + barColor.g,
               base.b + glow.b * centre + barColor.b};
      c.set(x, y, p, 1.0f);
    }
  }
  return c;
}

// Drawn at 640 x 160 from y = 136; the strips are laid side by side while they scroll.
constexpr int kStripWidth = 640;
constexpr int kStripHeight = 160;

Canvas makeNearStars() {
  StarFieldStyle style{130, 0.35f, 1.10f, 0.45f, 1.15f, 0.5f, 14.0f};
  return makeStarField(kStripWidth, kStripHeight, style, 0x5741525331ull).toCanvas();
}

// The slower layer: fewer, smaller and fainter stars, so it reads as further away.
Canvas makeFarStars() {
  StarFieldStyle style{80, 0.18f, 0.50f, 0.40f, 0.70f, 0.0f, 10.0f};
  return makeStarField(kStripWidth, kStripHeight, style, 0x5741525332ull).toCanvas();
}

// The ball sprite: a glossy orange sphere lit from the upper left, with a cyan rim from the floor
// below it and a soft edge. The grid places balls 64 px apart, so the ball is 60 px across inside
// a 64 x 64 picture.
constexpr int kBallSize = 64;
constexpr float kBallRadius = 30.0f;

Canvas makeBall() {
  const float cx = kBallSize / 2.0f, cy = kBallSize / 2.0f;
  const float lightLen = std::sqrt(0.45f * 0.45f + 0.65f * 0.65f + 0.62f * 0.62f);
  const float lx = -0.45f / lightLen, ly = -0.65f / lightLen, lz = 0.62f / lightLen;
  // Blinn half vector between the light and a viewer straight in front.
  const float hLen = std::sqrt(lx * lx + ly * ly + (lz + 1.0f) * (lz + 1.0f));
  const float hx = lx / hLen, hy = ly / hLen, hz = (lz + 1.0f) / hLen;
  // Bright and saturated on purpose: the grid draws the balls at 40 % opacity.
  const Rgb base = {1.0f, 0.62f, 0.16f};
  const Rgb shade = {0.60f, 0.10f, 0.22f};
  const Rgb rimColor = {0.25f, 0.75f, 1.0f};
  const int kSub = 4;  // supersamples per axis, for a clean outline

  Canvas ball(kBallSize, kBallSize);
  for (int y = 0; y < kBallSize; ++y) {
    for (int x = 0; x < kBallSize; ++x) {
      Rgb sum = {0, 0, 0};
      float coverage = 0.0f;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          float px = x + (sx + 0.5f) / kSub - cx;
          float py = y + (sy + 0.5f) / kSub - cy;
          float d = std::sqrt(px * px + py * py);
          // The last 1.5 px fade out instead of ending hard.
          float edge = smoothstep(kBallRadius, kBallRadius - 1.5f, d);
          if (edge <= 0.0f) continue;
          float nx = px / kBallRadius, ny = py / kBallRadius;
          float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
          float diffuse = std::max(0.0f, nx * lx + ny * ly + nz * lz);
          float nh = std::max(0.0f, nx * hx + ny * hy + nz * hz);
          float spec = std::pow(nh, 60.0f) * 1.2f + std::pow(nh, 8.0f) * 0.25f;
          float rim = std::pow(1.0f - nz, 2.2f) * smoothstep(-0.2f, 0.9f, ny) * 0.75f;
          Rgb col = mix(shade, base, clamp01(0.12f + diffuse));
          col = scale(col, 0.55f + 0.70f * diffuse);
          col = {col.r + spec + rimColor.r * rim, col.g + spec + rimColor.g * rim,
                 col.b + spec + rimColor.b * rim};
          sum = {sum.r + clamp01(col.r) * edge, sum.g + clamp01(col.g) * edge, sum.b + clamp01(col.b) * edge};
          coverage += edge;
        }
      }
      if (coverage > 0.0f) ball.set(x, y, scale(sum, 1.0f / coverage), coverage / (kSub * kSub));
    }
  }
  return ball;
}

// The reflection on the floor: the ball upside down, darker and bluer, fading out downwards.
Canvas makeBallReflection(const Canvas& ball) {
  Canvas r = ball.flippedVertically();
  const Rgb floorTint = {0.08f, 0.22f, 0.45f};
  for (int y = 0; y < r.height(); ++y) {
    float t = (y + 0.5f) / r.height();
    float fade = std::pow(1.0f - t, 1.5f);
    for (int x = 0; x < r.width(); ++x) {
      float* p = r.at(x, y);
      Rgb c = mix(scale({p[0], p[1], p[2]}, 0.75f), floorTint, 0.25f);
      r.set(x, y, c, p[3] * fade);
    }
  }
  return r;
}

// Every other row darkened like a television's raster, plus a faint vignette in the corners.
Canvas makeScanlines() {
  Canvas c(kScreenWidth, kScreenHeight);
  for (int y = 0; y < kScreenHeight; ++y) {
    float line = (y % 2 == 1) ? 0.30f : 0.0f;
    for (int x = 0; x < kScreenWidth; ++x) {
      float dx = (x + 0.5f - kScreenWidth / 2.0f) / (kScreenWidth / 2.0f);
      float dy = (y + 0.5f - kScreenHeight / 2.0f) / (kScreenHeight / 2.0f);
      float vignette = 0.40f * smoothstep(0.75f, 1.45f, std::sqrt(dx * dx + dy * dy));
      float alpha = 1.0f - (1.0f - line) * (1.0f - vignette);
      c.set(x, y, {0, 0, 0}, alpha);
    }
  }
  return c;
}

// A cube face: a plasma in a bevelled frame with a fine grid.
Canvas makeCubeTexture() {
  const int n = 128;
  Canvas c(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float u = (x + 0.5f) / n, v = (y + 0.5f) / n;
      float du = u - 0.5f, dv = v - 0.5f;
      float w = std::sin(2 * kPi * 2 * u) + std::sin(2 * kPi * (3 * v + 0.25f)) +
                std::sin(2 * kPi * (u + v) * 2) + std::sin(2 * kPi * 4 * std::sqrt(du * du + dv * dv));
      float t = w / 8.0f + 0.5f;
      // Cosine palette running from deep blue through magenta to gold.
      Rgb col = {0.5f + 0.5f * std::cos(2 * kPi * (t + 0.00f)),
                 0.35f + 0.35f * std::cos(2 * kPi * (t + 0.33f)),
                 0.5f + 0.5f * std::cos(2 * kPi * (t + 0.60f))};
      if (x % 16 == 0 || y % 16 == 0) col = scale(col, 0.6f);
      // Bevel: bright on the top and left, dark on the bottom and right.
      const int kBevel = 6;
      int edge = std::min(std::min(x, y), std::min(n - 1 - x, n - 1 - y));
      if (edge < kBevel) {
        bool lit = (x < kBevel && x <= y && x <= n - 1 - y) || (y < kBevel && y <= x && y <= n - 1 - x);
        Rgb metal = lit ? Rgb{0.85f, 0.85f, 0.95f} : Rgb{0.18f, 0.18f, 0.28f};
        col = mix(metal, scale(metal, 0.7f), edge / static_cast<float>(kBevel));
      }
      c.set(x, y, col, 1.0f);
    }
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\nwrites the intro's pictures into OUTDIR\n", argv[0]);
    return 2;
  }
  std::string out = argv[1];
  if (!ensureDirectory(out)) return 1;
  Canvas ball = makeBall();
  bool ok = writePng(out + "/back.png", makeBackdrop(), 3, true) &&
            writePng(out + "/stars.png", makeNearStars(), 4, false) &&
            writePng(out + "/stars2.png", makeFarStars(), 4, false) &&
            writePng(out + "/ball.png", ball, 4, false) &&
            writePng(out + "/ball_shadow.png", makeBallReflection(ball), 4, false) &&
            writePng(out + "/scanlines.png", makeScanlines(), 4, false) &&
            writePng(out + "/cubetex.png", makeCubeTexture(), 3, true);
  return ok ? 0 : 1;
}
