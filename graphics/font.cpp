// Bitmap fonts: the grid-font constructors, the descriptor reader, measuring, and the text drawing
// functions over the graphics context's current font.
#include "graphics/font.h"

#include <cstdint>

#include "graphics/graphics_context.h"
#include "host/files.h"
#include "host/game.h"
#include "host/runtime_error.h"

namespace {

constexpr int kDefaultFirstChar = 32;
constexpr int kDefaultCharCount = 96;
constexpr int kImageFontCharCount = 91;

// Truncation toward zero that saturates instead of overflowing (NaN gives 0).
int truncToInt(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<int>(value);
}

int addSaturated(int a, int b) {
  int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int>(sum);
}

c_Glyph* newGlyph(int id, int x, int y, int width, int height) {
  c_Glyph* glyph = new c_Glyph();
  glyph->id = id;
  glyph->x = x;
  glyph->y = y;
  glyph->width = width;
  glyph->height = height;
  glyph->xadvance = width;
  return glyph;
}

// The one-page font every grid constructor ends with.
c_Font* singlePageFont(c_Image* page, int firstChar, float height, c_IntMap<c_Glyph>* glyphs) {
  Array<c_Image*> pages(1);
  pages[0] = page;
  return new c_Font(pages, 1, firstChar, height, glyphs);
}

// --- descriptor reading ---

// The descriptor's text through the host's text loading (byte-order marks and UTF-16 included), or
// false when the file is larger than the cap. A file that cannot be opened reads as the empty text.
bool readDescriptorText(const String& path, String& text) {
  text = String();
  if (fileLargerThan(path, kMaxFontDescriptorBytes)) return false;
  text = loadText(path);
  return true;
}

int tokenValue(const String& token) {
  Array<String> pieces = token.Split(String("="));
  return pieces.length() < 2 ? 0 : pieces.get(1).Trim().ToInt();
}

String fileValue(const String& token) {
  int equals = token.Find(String("="));
  String value = token.Slice(equals + 1).Trim();
  if (value.length() > 0 && value[0] == '"') value = value.Slice(1, value.length() - 1);
  return value.Trim();
}

struct DescriptorState {
  String directory;
  int lineHeight = 0;
  int pageCount = 0;
  Array<c_Image*> pages;
  int nextPage = 0;
  c_IntMap<c_Glyph>* glyphs = nullptr;
};

void readCommonLine(const String& line, DescriptorState& state) {
  Array<String> tokens = line.Split(String(" "));
  for (int i = 0; i < tokens.length(); ++i) {
    String token = tokens.get(i);
    if (token.StartsWith(String("lineHeight="))) {
      state.lineHeight = tokenValue(token);
    } else if (token.StartsWith(String("pages="))) {
      int count = tokenValue(token);
      // The count sizes an allocation, so a hostile value must not decide how much.
      if (count < 0) count = 0;
      if (count > kMaxFontPages) count = kMaxFontPages;
      state.pageCount = count;
      state.pages = Array<c_Image*>(count);
    }
  }
}

void readPageLine(const String& line, DescriptorState& state) {
  Array<String> tokens = line.Split(String(" "));
  for (int i = 0; i < tokens.length(); ++i) {
    String token = tokens.get(i);
    if (!token.StartsWith(String("file="))) continue;
    int slot = state.nextPage++;
    // Pages beyond the declared count (or without one) have no slot and are not loaded.
    if (!state.pages.inRange(slot)) continue;
    state.pages[slot] = loadImage(state.directory + fileValue(token), defaultImageFlags);
  }
}

void readCharLine(const String& line, DescriptorState& state) {
  c_Glyph* glyph = new c_Glyph();
  Array<String> tokens = line.Split(String(" "));
  for (int i = 0; i < tokens.length(); ++i) {
    String token = tokens.get(i);
    if (token.StartsWith(String("id="))) {
      glyph->id = tokenValue(token);
    } else if (token.StartsWith(String("x="))) {
      glyph->x = tokenValue(token);
    } else if (token.StartsWith(String("y="))) {
      glyph->y = tokenValue(token);
    } else if (token.StartsWith(String("width="))) {
      glyph->width = tokenValue(token);
    } else if (token.StartsWith(String("height="))) {
      glyph->height = tokenValue(token);
    } else if (token.StartsWith(String("xoffset="))) {
      glyph->xoffset = tokenValue(token);
    } else if (token.StartsWith(String("yoffset="))) {
      glyph->yoffset = tokenValue(token);
    } else if (token.StartsWith(String("xadvance="))) {
      glyph->xadvance = tokenValue(token);
    } else if (token.StartsWith(String("page="))) {
      glyph->page = tokenValue(token);
    }
  }
  state.glyphs->set(glyph->id, glyph);
}

// --- drawing ---

void drawGlyphs(c_Font* font, const String& text, int penX, int penY) {
  const Array<c_Image*>& pages = font->pages;
  for (int i = 0; i < text.length(); ++i) {
    c_Glyph* glyph = font->glyph(text[i]);
    if (glyph == nullptr) continue;
    // A glyph on a page the font does not have, or whose picture failed to load, is not drawn
    // but still advances, as it would with a blank picture.
    if (pages.inRange(glyph->page)) {
      drawImageRect(pages.get(glyph->page), static_cast<float>(penX) + static_cast<float>(glyph->xoffset),
                    static_cast<float>(penY) + static_cast<float>(glyph->yoffset), glyph->x, glyph->y,
                    glyph->width, glyph->height);
    }
    penX = addSaturated(penX, glyph->xadvance);
  }
}

}  // namespace

c_Font::c_Font(Array<c_Image*> pages, int pageCount, int firstChar, float height, c_IntMap<c_Glyph>* glyphs)
    : pageCount(pageCount), firstChar(firstChar), height(height) {
  this->pages = pages;
  this->glyphs = glyphs;
}

void c_Font::mark() {
  pages.mark();
  glyphs.mark();
}

float c_Font::textWidth(const String& text) {
  float width = 0;
  for (int i = 0; i < text.length(); ++i) {
    if (c_Glyph* g = glyph(text[i]); g != nullptr) width += static_cast<float>(g->xadvance);
  }
  return width;
}

// --- construction ---

c_Font* fontFromStrip(const String& path, int firstChar, int charCount, bool padded) {
  if (charCount <= 0) return nullptr;
  c_Image* image = loadImage(path, defaultImageFlags);
  if (image == nullptr) return nullptr;
  int cellWidth = image->width() / charCount;
  if (cellWidth <= 0) return nullptr;
  int columns = image->width() / cellWidth;
  int pad = padded ? 1 : 0;
  c_IntMap<c_Glyph>* glyphs = new c_IntMap<c_Glyph>();
  for (int i = 0; i < charCount; ++i) {
    glyphs->set(firstChar + i, newGlyph(firstChar + i, pad + cellWidth * (i % columns),
                                        pad + image->height() * (i / columns), cellWidth - 2 * pad,
                                        image->height() - 2 * pad));
  }
  return singlePageFont(image, firstChar, static_cast<float>(image->height() - 2 * pad), glyphs);
}

c_Font* fontFromGrid(const String& path, int cellWidth, int cellHeight, int gridX, int gridY, int glyphWidth,
                     int glyphHeight, int firstChar, int charCount) {
  if (cellWidth <= 0) return nullptr;
  c_Image* image = loadImage(path, defaultImageFlags);
  if (image == nullptr) return nullptr;
  int columns = image->width() / cellWidth;
  if (columns <= 0) return nullptr;
  c_IntMap<c_Glyph>* glyphs = new c_IntMap<c_Glyph>();
  for (int i = 0; i < charCount; ++i) {
    glyphs->set(firstChar + i, newGlyph(firstChar + i, gridX + cellWidth * (i % columns),
                                        gridY + cellHeight * (i / columns), glyphWidth, glyphHeight));
  }
  return singlePageFont(image, firstChar, static_cast<float>(glyphHeight), glyphs);
}

c_Font* fontFromImageStrip(c_Image* image, int firstChar, int charCount) {
  if (image == nullptr || charCount <= 0) return nullptr;
  int cellWidth = image->width() / charCount;
  if (cellWidth <= 0) return nullptr;
  int columns = image->width() / cellWidth;
  c_IntMap<c_Glyph>* glyphs = new c_IntMap<c_Glyph>();
  for (int i = 0; i < charCount; ++i) {
    glyphs->set(firstChar + i, newGlyph(firstChar + i, cellWidth * (i % columns),
                                        image->height() * (i / columns), cellWidth, image->height()));
  }
  return singlePageFont(image, firstChar, static_cast<float>(image->height()), glyphs);
}

c_Font* fontFromImage(const String& path) {
  c_Image* image = loadImage(path, defaultImageFlags);
  if (image == nullptr) return nullptr;
  return fontFromImageStrip(image, kDefaultFirstChar, kImageFontCharCount);
}

c_Font* loadFontDescriptor(const String& path) {
  DescriptorState state;
  int slash = path.FindLast(String("/"));
  if (slash != -1) state.directory = path.Slice(0, slash + 1);
  String textPath = path.ToLower().Find(String(".txt"), 1) != -1 ? path : path + String(".txt");

  String text;
  if (!readDescriptorText(textPath, text)) {
    writeErrorLine(String("Error - Font descriptor too large: ") + textPath);
    return nullptr;
  }

  Array<String> lines = text.Split(String("\r\n"));
  if (lines.length() < 2) lines = text.Split(String("\n"));
  state.glyphs = new c_IntMap<c_Glyph>();
  for (int i = 0; i < lines.length(); ++i) {
    String line = lines.get(i).Trim();
    if (line.StartsWith(String("info")) || line.empty() || line.StartsWith(String("padding"))) continue;
    if (line.StartsWith(String("common"))) readCommonLine(line, state);
    if (line.StartsWith(String("page"))) readPageLine(line, state);
    if (line.StartsWith(String("char")) && !line.StartsWith(String("chars"))) readCharLine(line, state);
  }
  return new c_Font(state.pages, state.pageCount, -1, static_cast<float>(state.lineHeight), state.glyphs);
}

// --- the context's font and text drawing ---

int setFont(c_Font* font) {
  c_GraphicsContext* context = graphicsContext;
  if (context == nullptr) return 0;
  if (font == nullptr) {
    // Made once. A default font that could not be made is not tried again: the intro falls back
    // to it for every scroller character, which would reload the missing picture hundreds of
    // times a frame.
    if (context->defaultFont == nullptr && !context->defaultFontFailed) {
      context->defaultFont =
          fontFromStrip(String("vulo_font.png"), kDefaultFirstChar, kDefaultCharCount, true);
      context->defaultFontFailed = context->defaultFont == nullptr;
    }
    font = context->defaultFont;
  }
  context->font = font;
  return 0;
}

int drawText(const String& text, int x, int y) {
  return drawText(text, x, y, 0, 0);
}

int drawText(const String& text, int x, int y, float xAlign, float yAlign) {
  c_GraphicsContext* context = graphicsContext;
  c_Font* font = context != nullptr ? context->font.get() : nullptr;
  if (font == nullptr) return 0;
  // Measuring is a second pass over the text, so it is only done when the alignment needs it.
  float width = xAlign != 0 ? font->textWidth(text) : 0;
  int penX = truncToInt(static_cast<float>(x) - width * xAlign);
  int penY = truncToInt(static_cast<float>(y) - yAlign * font->height);
  drawGlyphs(font, text, penX, penY);
  return 0;
}

int drawText(Array<String> lines, int x, int y, float xAlign, float yAlign) {
  c_GraphicsContext* context = graphicsContext;
  c_Font* font = context != nullptr ? context->font.get() : nullptr;
  if (font == nullptr) return 0;
  int penY = truncToInt(static_cast<float>(y) - yAlign * font->height * static_cast<float>(lines.length()));
  for (int i = 0; i < lines.length(); ++i) {
    String line = lines.get(i);
    float width = xAlign != 0 ? font->textWidth(line) : 0;
    int penX = truncToInt(static_cast<float>(x) - xAlign * width);
    drawGlyphs(font, line, penX, penY);
    penY = truncToInt(static_cast<float>(penY) + font->height);
  }
  return 0;
}
