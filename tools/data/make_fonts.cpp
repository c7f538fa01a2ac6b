// make-fonts OUTDIR [TTFDIR]: renders the intro's strip fonts (scroller font, its upside-down
// reflection, the big font) and the framework's default font from DejaVu faces into OUTDIR.
// Each strip is one row of equal cells, the first cell holding character 32.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "canvas.h"

// Compiled in here with our own flags (see canvas.cpp for the same reasoning about the writer).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
#pragma GCC diagnostic pop

using namespace assets;

namespace {

constexpr int kFirstChar = 32;
const char* kDefaultTtfDir = "/usr/share/fonts/truetype/dejavu";

// A colour ramp down the glyph: position 0 is the top of a capital letter, 1 the baseline.
struct GradientStop {
  float t;
  Rgb color;
};

struct FontStyle {
  const char* face;  // file name inside the TTF directory
  int charCount;     // cells in the strip
  int cellWidth, cellHeight;
  int pad;        // empty border kept around the glyph area of each cell
  float outline;  // radius of the dark outline in pixels, 0 for none
  Rgb outlineColor;
  float outlineAlpha;
  float coverageGamma;  // below 1 thickens faint anti-aliased edges of small glyphs
  std::vector<GradientStop> gradient;
};

class TrueTypeFace {
 public:
  bool load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto* bytes = reinterpret_cast<const unsigned char*>(data_.data());
    int offset = stbtt_GetFontOffsetForIndex(bytes, 0);
    return offset >= 0 && stbtt_InitFont(&info_, bytes, offset) != 0;
  }
  const stbtt_fontinfo* info() const { return &info_; }

 private:
  std::vector<char> data_;
  stbtt_fontinfo info_{};
};

Rgb gradientAt(const std::vector<GradientStop>& stops, float t) {
  if (t <= stops.front().t) return stops.front().color;
  for (size_t i = 1; i < stops.size(); ++i)
    if (t <= stops[i].t)
      return mix(stops[i - 1].color, stops[i].color, (t - stops[i - 1].t) / (stops[i].t - stops[i - 1].t));
  return stops.back().color;
}

// Scales and baseline that make every glyph of the strip fit the glyph area with room for the
// outline. The horizontal scale may exceed the vertical one: the scroller's 18-pixel pitch wants
// wide letters.
struct Layout {
  float scaleX, scaleY;
  int baseline;                                  // in pixels from the top of the cell
  float capTop;                                  // top of a capital, from the top of the cell
  int areaLeft, areaTop, areaRight, areaBottom;  // where ink may go, right and bottom exclusive
};

// Left edge of a glyph's bitmap: the glyph's outline box is centred in the cell, on a whole pixel
// so that the stems of neighbouring glyphs are equally sharp.
int glyphLeft(const TrueTypeFace& face, const FontStyle& style, const Layout& l, int codepoint) {
  int x0, y0, x1, y1;
  stbtt_GetCodepointBox(face.info(), codepoint, &x0, &y0, &x1, &y1);
  int bx0, by0, bx1, by1;
  stbtt_GetCodepointBitmapBoxSubpixel(face.info(), codepoint, l.scaleX, l.scaleY, 0, 0, &bx0, &by0, &bx1,
                                      &by1);
  float originX = std::round((style.cellWidth - (x1 - x0) * l.scaleX) / 2.0f - x0 * l.scaleX);
  return static_cast<int>(originX) + bx0;
}

// Rasterised boxes are rounded outwards to whole pixels, so the fit is checked on the real boxes
// and the scales shrink a little until every glyph is inside.
bool fitLayout(const TrueTypeFace& face, const FontStyle& style, Layout& l) {
  int top = 0, bottom = 0, widest = 1;
  for (int i = 1; i < style.charCount; ++i) {
    int x0, y0, x1, y1;
    if (!stbtt_GetCodepointBox(face.info(), kFirstChar + i, &x0, &y0, &x1, &y1)) continue;
    top = std::max(top, y1);
    bottom = std::min(bottom, y0);
    widest = std::max(widest, x1 - x0);
  }
  // The outline may touch the next cell's outline, but no glyph body comes closer than that.
  int border = static_cast<int>(std::ceil(style.outline));
  l.areaLeft = style.pad + border;
  l.areaTop = style.pad + border;
  l.areaRight = style.cellWidth - style.pad - border;
  l.areaBottom = style.cellHeight - style.pad - border;
  l.scaleY = (l.areaBottom - l.areaTop) / static_cast<float>(top - bottom);
  l.scaleX = std::min((l.areaRight - l.areaLeft) / static_cast<float>(widest), l.scaleY * 1.5f);
  for (int attempt = 0; attempt < 50; ++attempt) {
    int highest = 0, lowest = 0;
    for (int i = 1; i < style.charCount; ++i) {
      int bx0, by0, bx1, by1;
      stbtt_GetCodepointBitmapBoxSubpixel(face.info(), kFirstChar + i, l.scaleX, l.scaleY, 0, 0, &bx0, &by0,
                                          &bx1, &by1);
      if (bx1 <= bx0) continue;
      highest = std::min(highest, by0);
      lowest = std::max(lowest, by1);
    }
    l.baseline = l.areaTop - highest;
    bool fits = l.baseline + lowest <= l.areaBottom;
    for (int i = 1; fits && i < style.charCount; ++i) {
      int bx0, by0, bx1, by1;
      stbtt_GetCodepointBitmapBoxSubpixel(face.info(), kFirstChar + i, l.scaleX, l.scaleY, 0, 0, &bx0, &by0,
                                          &bx1, &by1);
      if (bx1 <= bx0) continue;
      int left = glyphLeft(face, style, l, kFirstChar + i);
      fits = left >= l.areaLeft && left + (bx1 - bx0) <= l.areaRight;
    }
    if (fits) {
      int cx0, cy0, cx1, cy1;
      stbtt_GetCodepointBox(face.info(), 'H', &cx0, &cy0, &cx1, &cy1);
      l.capTop = l.baseline - cy1 * l.scaleY;
      return true;
    }
    l.scaleX *= 0.98f;
    l.scaleY *= 0.98f;
  }
  std::fprintf(stderr, "cannot fit %s into cells of %d x %d\n", style.face, style.cellWidth,
               style.cellHeight);
  return false;
}

// Coverage of one glyph in its cell, as floats in 0..1.
std::vector<float> rasterizeGlyph(const TrueTypeFace& face, const FontStyle& style, const Layout& l,
                                  int codepoint) {
  std::vector<float> cov(static_cast<size_t>(style.cellWidth) * style.cellHeight, 0.0f);
  int bx0, by0, bx1, by1;
  stbtt_GetCodepointBitmapBoxSubpixel(face.info(), codepoint, l.scaleX, l.scaleY, 0, 0, &bx0, &by0, &bx1,
                                      &by1);
  int w = bx1 - bx0, h = by1 - by0;
  if (w <= 0 || h <= 0) return cov;
  std::vector<unsigned char> bitmap(static_cast<size_t>(w) * h);
  stbtt_MakeCodepointBitmapSubpixel(face.info(), bitmap.data(), w, h, w, l.scaleX, l.scaleY, 0, 0, codepoint);
  int left = glyphLeft(face, style, l, codepoint);
  int topY = l.baseline + by0;
  // fitLayout placed every box inside the glyph area, so nothing is cut here.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      cov[(topY + y) * style.cellWidth + left + x] =
          std::pow(bitmap[y * w + x] / 255.0f, style.coverageGamma);
  return cov;
}

// The outline is the glyph grown by the radius, with an anti-aliased rim.
std::vector<float> grow(const std::vector<float>& cov, int width, int height, float radius) {
  std::vector<float> out(cov.size(), 0.0f);
  int r = static_cast<int>(std::ceil(radius));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      float best = 0.0f;
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
          int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
          float reach = clamp01(radius + 0.5f - std::sqrt(static_cast<float>(dx * dx + dy * dy)));
          best = std::max(best, cov[sy * width + sx] * reach);
        }
      out[y * width + x] = best;
    }
  return out;
}

Canvas renderCell(const TrueTypeFace& face, const FontStyle& style, const Layout& l, int codepoint) {
  Canvas cell(style.cellWidth, style.cellHeight);
  std::vector<float> cov = rasterizeGlyph(face, style, l, codepoint);
  if (style.outline > 0.0f) {
    std::vector<float> rim = grow(cov, style.cellWidth, style.cellHeight, style.outline);
    for (int y = 0; y < style.cellHeight; ++y)
      for (int x = 0; x < style.cellWidth; ++x)
        cell.blendOver(x, y, style.outlineColor, rim[y * style.cellWidth + x] * style.outlineAlpha);
  }
  for (int y = 0; y < style.cellHeight; ++y) {
    float t = (y + 0.5f - l.capTop) / (l.baseline - l.capTop);
    Rgb color = gradientAt(style.gradient, t);
    for (int x = 0; x < style.cellWidth; ++x) cell.blendOver(x, y, color, cov[y * style.cellWidth + x]);
  }
  return cell;
}

// Character 127 has no printable form; the default font shows it as a hollow box, as terminals do.
Canvas renderDeleteBox(const FontStyle& style) {
  Canvas cell(style.cellWidth, style.cellHeight);
  int x0 = style.pad + 1, x1 = style.cellWidth - style.pad - 2;
  int y0 = style.pad + 3, y1 = style.cellHeight - style.pad - 4;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (x == x0 || x == x1 || y == y0 || y == y1) cell.set(x, y, {1, 1, 1}, 1.0f);
  return cell;
}

bool renderStrip(const std::string& ttfDir, const FontStyle& style, Canvas& strip) {
  TrueTypeFace face;
  std::string path = ttfDir + "/" + style.face;
  if (!face.load(path)) {
    std::fprintf(stderr, "cannot read font %s (Debian package fonts-dejavu-core)\n", path.c_str());
    return false;
  }
  Layout l;
  if (!fitLayout(face, style, l)) return false;
  strip = Canvas(style.cellWidth * style.charCount, style.cellHeight);
  for (int i = 0; i < style.charCount; ++i) {
    int codepoint = kFirstChar + i;
    Canvas cell = codepoint == 127 ? renderDeleteBox(style) : renderCell(face, style, l, codepoint);
    strip.paste(cell, i * style.cellWidth, 0);
  }
  return true;
}

// The scroller and key-help font: 91 cells of 18 px (the scroller's character pitch), bold, wide,
// white fading to ice blue, with a dark outline that keeps it readable over stars and balls.
FontStyle scrollerFont() {
  return {"DejaVuSansMono-Bold.ttf",
          91,
          18,
          26,
          0,
          1.0f,
          {0.02f, 0.02f, 0.12f},
          0.9f,
          1.0f,
          {{0.0f, {1.0f, 1.0f, 1.0f}},
           {0.46f, {0.86f, 0.95f, 1.0f}},
           {0.54f, {0.45f, 0.68f, 1.0f}},
           {1.0f, {0.78f, 0.90f, 1.0f}},
           {1.4f, {0.50f, 0.70f, 1.0f}}}};
}

// The big font: 90 cells of a larger proportional face in a chrome-gold ramp.
FontStyle bigFont() {
  return {"DejaVuSans-Bold.ttf",
          90,
          32,
          40,
          0,
          1.5f,
          {0.12f, 0.04f, 0.0f},
          0.9f,
          1.0f,
          {{0.0f, {1.0f, 1.0f, 0.85f}},
           {0.48f, {1.0f, 0.82f, 0.30f}},
           {0.52f, {0.80f, 0.40f, 0.05f}},
           {1.0f, {1.0f, 0.75f, 0.25f}},
           {1.4f, {0.85f, 0.45f, 0.10f}}}};
}

// The framework's default font: 96 cells of 10 x 18 holding 8 x 16 glyphs inside a one-pixel
// transparent border, plain white so that the drawing colour tints it.
FontStyle defaultFont() {
  return {"DejaVuSansMono-Bold.ttf",   96, 10, 18, 1, 0.0f, {0, 0, 0}, 0.0f, 0.8f,
          {{0.0f, {1.0f, 1.0f, 1.0f}}}};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr,
                 "usage: %s OUTDIR [TTFDIR]\nwrites the intro's font strips into OUTDIR, rendered from the "
                 "DejaVu faces in TTFDIR (default %s)\n",
                 argv[0], kDefaultTtfDir);
    return 2;
  }
  std::string out = argv[1];
  std::string ttfDir = argc == 3 ? argv[2] : kDefaultTtfDir;
  if (!ensureDirectory(out)) return 1;
  Canvas scroller(1, 1), big(1, 1), fallback(1, 1);
  if (!renderStrip(ttfDir, scrollerFont(), scroller) || !renderStrip(ttfDir, bigFont(), big) ||
      !renderStrip(ttfDir, defaultFont(), fallback))
    return 1;
  bool ok = writePng(out + "/fonti.png", scroller, 4, false) &&
            writePng(out + "/fonti_mir.png", scroller.flippedVertically(), 4, false) &&
            writePng(out + "/fonti_big.png", big, 4, false) &&
            writePng(out + "/vulo_font.png", fallback, 4, false);
  return ok ? 0 : 1;
}
