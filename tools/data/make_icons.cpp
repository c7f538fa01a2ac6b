// make-icons DATADIR OUTDIR: makes the desktop icons (48, 128 and 256 pixels square) from the
// intro's own pictures in DATADIR: one of its glossy balls with the big font's "B" on it.
// Writes OUTDIR/brackenfold-intro-SIZE.png. Resampling is done in float with a fixed pattern of
// sub-samples, so the same pictures give the same icons on every machine.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "canvas.h"

// Compiled in here with our own flags (see canvas.cpp for the same reasoning about the writer).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STBI_ONLY_PNG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

using namespace assets;

namespace {

constexpr int kIconSizes[] = {48, 128, 256};

// The big font strip: equal cells, the first holding character 32 (make-fonts' bigFont()).
constexpr int kBigFontCellWidth = 32;
constexpr int kBigFontFirstChar = 32;
constexpr char kLetter = 'B';

// Sub-samples per axis for each icon pixel: enough to average 64 source pixels into one of 48.
constexpr int kSub = 4;

// The ball fills the icon except a thin margin; the letter stands on it, a little above the middle
// where the ball's highlight is dimmest behind it.
constexpr float kBallShare = 0.98f;
constexpr float kLetterHeightShare = 0.62f;
constexpr float kLetterCentreY = 0.50f;
constexpr float kShadowOffsetShare = 0.035f;
constexpr float kShadowBrightness = 0.08f;
constexpr float kShadowOpacity = 0.85f;

// A picture from a PNG file, straight alpha, or a 0x0 canvas when it cannot be read.
Canvas readPng(const std::string& path) {
  int w = 0, h = 0, channels = 0;
  unsigned char* bytes = stbi_load(path.c_str(), &w, &h, &channels, 4);
  if (bytes == nullptr) {
    std::fprintf(stderr, "cannot read picture %s: %s\n", path.c_str(), stbi_failure_reason());
    return Canvas(0, 0);
  }
  Canvas c(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = bytes + 4 * (static_cast<size_t>(y) * w + x);
      c.set(x, y, {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f}, p[3] / 255.0f);
    }
  }
  stbi_image_free(bytes);
  return c;
}

// Premultiplied colour and alpha of a source region, sampled bilinearly at (u, v) in region pixels;
// outside the region it is transparent.
struct Premultiplied {
  float r = 0, g = 0, b = 0, a = 0;
};

struct Region {
  int x, y, width, height;
};

Premultiplied texel(const Canvas& src, const Region& r, int x, int y) {
  if (x < 0 || y < 0 || x >= r.width || y >= r.height) return {};
  const float* p = src.at(r.x + x, r.y + y);
  return {p[0] * p[3], p[1] * p[3], p[2] * p[3], p[3]};
}

Premultiplied bilinear(const Canvas& src, const Region& r, float u, float v) {
  const float fx = u - 0.5f, fy = v - 0.5f;
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  const float tx = fx - x0, ty = fy - y0;
  Premultiplied out;
  const Premultiplied corners[4] = {texel(src, r, x0, y0), texel(src, r, x0 + 1, y0), texel(src, r, x0, y0 + 1),
                                    texel(src, r, x0 + 1, y0 + 1)};
  const float weights[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
  for (int i = 0; i < 4; ++i) {
    out.r += corners[i].r * weights[i];
    out.g += corners[i].g * weights[i];
    out.b += corners[i].b * weights[i];
    out.a += corners[i].a * weights[i];
  }
  return out;
}

// Draws the region scaled into the box (left, top, width, height) of `dst`, in icon pixels, over
// what is there, its colour scaled by `brightness` and its alpha by `opacity`. Each icon pixel averages kSub x kSub bilinear samples, which both enlarges
// smoothly and shrinks without aliasing.
void drawScaled(Canvas& dst, const Canvas& src, const Region& r, float left, float top, float width,
                float height, float brightness = 1.0f, float opacity = 1.0f) {
  const float scaleX = r.width / width, scaleY = r.height / height;
  const int x0 = std::max(0, static_cast<int>(std::floor(left)));
  const int y0 = std::max(0, static_cast<int>(std::floor(top)));
  const int x1 = std::min(dst.width(), static_cast<int>(std::ceil(left + width)));
  const int y1 = std::min(dst.height(), static_cast<int>(std::ceil(top + height)));
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      Premultiplied sum;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          const float u = (x + (sx + 0.5f) / kSub - left) * scaleX;
          const float v = (y + (sy + 0.5f) / kSub - top) * scaleY;
          Premultiplied s = bilinear(src, r, u, v);
          sum.r += s.r;
          sum.g += s.g;
          sum.b += s.b;
          sum.a += s.a;
        }
      }
      const float n = kSub * kSub;
      const float alpha = sum.a / n;
      if (alpha <= 0.0f) continue;
      const float k = brightness / n / alpha;
      dst.blendOver(x, y, {sum.r * k, sum.g * k, sum.b * k}, alpha * opacity);
    }
  }
}

// The columns of a font cell that hold any of its glyph, so the letter is centred by its ink.
Region inkColumns(const Canvas& strip, const Region& cell) {
  int first = cell.width, last = -1;
  for (int x = 0; x < cell.width; ++x) {
    for (int y = 0; y < cell.height; ++y) {
      if (strip.at(cell.x + x, cell.y + y)[3] > 0.0f) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
    }
  }
  if (last < first) return cell;
  return {cell.x + first, cell.y, last - first + 1, cell.height};
}

Canvas makeIcon(int size, const Canvas& ball, const Canvas& font) {
  Canvas icon(size, size);
  const float ballSide = size * kBallShare;
  const float margin = (size - ballSide) / 2.0f;
  drawScaled(icon, ball, {0, 0, ball.width(), ball.height()}, margin, margin, ballSide, ballSide);

  const Region cell{(kLetter - kBigFontFirstChar) * kBigFontCellWidth, 0, kBigFontCellWidth, font.height()};
  const Region glyph = inkColumns(font, cell);
  const float height = size * kLetterHeightShare;
  const float width = height * glyph.width / glyph.height;
  const float left = (size - width) / 2.0f, top = size * kLetterCentreY - height / 2.0f;
  // A dark shadow down and to the right keeps the gold letter apart from the orange ball.
  const float offset = size * kShadowOffsetShare;
  drawScaled(icon, font, glyph, left + offset, top + offset, width, height, kShadowBrightness, kShadowOpacity);
  drawScaled(icon, font, glyph, left, top, width, height);
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: %s DATADIR OUTDIR\nwrites brackenfold-intro-48.png, -128.png and -256.png into OUTDIR, "
                 "made from ball.png and fonti_big.png in DATADIR\n",
                 argv[0]);
    return 2;
  }
  const std::string data = argv[1], out = argv[2];
  const Canvas ball = readPng(data + "/ball.png");
  const Canvas font = readPng(data + "/fonti_big.png");
  if (ball.width() == 0 || font.width() == 0) return 1;
  if (font.width() < (kLetter - kBigFontFirstChar + 1) * kBigFontCellWidth) {
    std::fprintf(stderr, "%s/fonti_big.png is too narrow to hold '%c'\n", data.c_str(), kLetter);
    return 1;
  }
  if (!ensureDirectory(out)) return 1;
  for (int size : kIconSizes) {
    if (!writePng(out + "/brackenfold-intro-" + std::to_string(size) + ".png", makeIcon(size, ball, font), 4,
                  false))
      return 1;
  }
  return 0;
}
