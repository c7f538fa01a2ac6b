// Bitmap fonts: glyphs cut from one or more page images, built from a picture laid out as a grid of
// character cells or from a text descriptor listing pages and glyphs. Text is drawn with the
// graphics context's current font; setFont(null) makes the default font from "vulo_font.png".
#pragma once

#include "graphics/image.h"
#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/map.h"
#include "runtime/string.h"

class c_Glyph : public Object {
 public:
  int page = 0;
  int id = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int xadvance = 0;
  int xoffset = 0;
  int yoffset = 0;
};

class c_Font : public Object {
 public:
  c_Font(Array<c_Image*> pages, int pageCount, int firstChar, float height, c_IntMap<c_Glyph>* glyphs);

  // The sum of the advances of the characters that have a glyph.
  float textWidth(const String& text);
  float textHeight() const { return height; }
  // The glyph for a character code, or null.
  c_Glyph* glyph(int code) { return glyphs->get(code); }

  void mark() override;

  // Fields, in their documented order.
  GcField<Array<c_Image*>> pages;
  int pageCount = 0;
  int firstChar = 0;  // -1 for a descriptor font
  float height = 0;
  GcField<c_IntMap<c_Glyph>*> glyphs;
};

// Grid fonts: one page, glyphs from firstChar on. Null when the picture cannot be loaded or is
// too narrow for its cells (a cell width or a column count of 0).
c_Font* fontFromStrip(const String& path, int firstChar, int charCount, bool padded);
c_Font* fontFromGrid(const String& path, int cellWidth, int cellHeight, int gridX, int gridY, int glyphWidth,
                     int glyphHeight, int firstChar, int charCount);
// 91 equal cells from character 32.
c_Font* fontFromImage(const String& path);
// The rule of fontFromImage over a loaded picture with any cell count (the intro's big font has
// 90): charCount equal cells from firstChar, each as high as the picture. Null for a null image or
// a cell width of 0.
c_Font* fontFromImageStrip(c_Image* image, int firstChar, int charCount);

// Descriptors larger than this are refused (null, after an error line on standard error). A font of
// all 65536 characters takes about 7 MB of "char" lines, twice that saved as UTF-16.
constexpr int kMaxFontDescriptorBytes = 16 << 20;
// More pages than this are never made, whatever "pages=" says.
constexpr int kMaxFontPages = 1024;
// A descriptor font; its text is the path as given when it holds ".txt" after its first character,
// otherwise the path plus ".txt". A missing or empty descriptor gives a font without pages or glyphs.
c_Font* loadFontDescriptor(const String& path);

// The current font (null: the default font, made on first use). Stores into the graphics context.
int setFont(c_Font* font);
// Text with the current font; nothing without one. The pen starts at
// trunc(x - textWidth * xAlign), trunc(y - yAlign * height).
int drawText(const String& text, int x, int y);
int drawText(const String& text, int x, int y, float xAlign, float yAlign);
// One line under the other, the block aligned as a whole vertically and each line horizontally.
int drawText(Array<String> lines, int x, int y, float xAlign, float yAlign);
