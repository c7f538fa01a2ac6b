// Grid fonts: the three cell rules, pictures too narrow or missing, measuring, where the pen
// starts for aligned text and blocks of lines, skipped characters, the default font, and the
// pixels a strip font puts on the screen.
#include <string>

#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "runtime/collector.h"
#include "tests/images_fonts/drawing_fixture.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kBorder = 0xFFFF00FFu;

// The inside of glyph cell `index`, pixel (gx, gy): different for every glyph and every pixel.
uint32_t glyphPixel(int index, int gx, int gy) {
  return argb(255, (index * 2) & 255, gx * 20, 10 + gy * 12);
}

// A strip of `cells` cells of cellWidth x height; with padded, a one-pixel border in kBorder.
std::vector<unsigned char> stripPixels(int cells, int cellWidth, int height, bool padded) {
  int pad = padded ? 1 : 0;
  return rgbaPixels(cells * cellWidth, height, [=](int x, int y) {
    int cell = x / cellWidth, gx = x % cellWidth - pad, gy = y - pad;
    bool border = gx < 0 || gx >= cellWidth - 2 * pad || gy < 0 || gy >= height - 2 * pad;
    return border ? kBorder : glyphPixel(cell, gx, gy);
  });
}

// The 96-character padded strip of the default font's layout: 960 x 18, cells of 10.
String writePaddedStrip(const std::string& name) {
  return String(writeDataPng(name, 960, 18, 4, stripPixels(96, 10, 18, true)).c_str());
}

String writePlainPicture(const std::string& name, int width, int height) {
  return String(
      writeDataPng(name, width, height, 3, std::vector<unsigned char>(width * height * 3, 90)).c_str());
}

void expectGlyph(c_Font* font, int id, int x, int y, int width, int height) {
  SCOPED_TRACE("glyph " + std::to_string(id));
  c_Glyph* glyph = font->glyph(id);
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(glyph->id, id);
  EXPECT_EQ(glyph->x, x);
  EXPECT_EQ(glyph->y, y);
  EXPECT_EQ(glyph->width, width);
  EXPECT_EQ(glyph->height, height);
  EXPECT_EQ(glyph->xadvance, width);
  EXPECT_EQ(glyph->xoffset, 0);
  EXPECT_EQ(glyph->yoffset, 0);
  EXPECT_EQ(glyph->page, 0);
}

using Fonts = DrawingTest;

TEST_F(Fonts, StripCellsAreCutInsideTheirPadding) {
  String path = writePaddedStrip("fonts/strip960.png");
  c_Font* padded = fontFromStrip(path, 32, 96, true);
  ASSERT_NE(padded, nullptr);
  EXPECT_EQ(padded->textHeight(), 16);
  EXPECT_EQ(padded->firstChar, 32);
  EXPECT_EQ(padded->pageCount, 1);
  ASSERT_EQ(padded->pages.length(), 1);
  EXPECT_EQ(padded->pages[0]->width(), 960);
  expectGlyph(padded, 32, 1, 1, 8, 16);
  expectGlyph(padded, 33, 11, 1, 8, 16);
  expectGlyph(padded, 65, 331, 1, 8, 16);
  expectGlyph(padded, 127, 951, 1, 8, 16);
  EXPECT_EQ(padded->glyph(31), nullptr);
  EXPECT_EQ(padded->glyph(128), nullptr);

  c_Font* plain = fontFromStrip(path, 32, 96, false);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->textHeight(), 18);
  expectGlyph(plain, 65, 330, 0, 10, 18);
}

TEST_F(Fonts, GridAndImageStripRules) {
  c_Font* grid = fontFromGrid(writePlainPicture("fonts/grid64x40.png", 64, 40), 16, 20, 1, 2, 14, 18, 65, 8);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->textHeight(), 18);
  EXPECT_EQ(grid->firstChar, 65);
  expectGlyph(grid, 65, 1, 2, 14, 18);
  expectGlyph(grid, 66, 17, 2, 14, 18);
  expectGlyph(grid, 69, 1, 22, 14, 18);  // four columns: the fifth glyph opens the second row
  expectGlyph(grid, 72, 49, 22, 14, 18);
  EXPECT_EQ(grid->glyph(73), nullptr);

  c_Font* image = fontFromImage(writePlainPicture("fonts/image546.png", 546, 10));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->firstChar, 32);
  EXPECT_EQ(image->textHeight(), 10);
  expectGlyph(image, 65, 198, 0, 6, 10);
  expectGlyph(image, 122, 540, 0, 6, 10);
  EXPECT_EQ(image->glyph(123), nullptr);

  // The intro's big font: the same rule with 90 cells.
  c_Image* big = loadImage(writePlainPicture("fonts/big540.png", 540, 12), 0);
  c_Font* ninety = fontFromImageStrip(big, 32, 90);
  ASSERT_NE(ninety, nullptr);
  EXPECT_EQ(ninety->textHeight(), 12);
  EXPECT_EQ(ninety->pages[0], big);
  expectGlyph(ninety, 121, 534, 0, 6, 12);
  EXPECT_EQ(ninety->glyph(122), nullptr);
}

TEST_F(Fonts, PicturesTooNarrowForTheirCellsOrMissingGiveNull) {
  String narrow = writePlainPicture("fonts/narrow50.png", 50, 10);
  EXPECT_EQ(fontFromStrip(narrow, 32, 96, true), nullptr);
  EXPECT_EQ(fontFromStrip(narrow, 32, 0, true), nullptr);
  EXPECT_EQ(fontFromStrip(narrow, 32, -4, false), nullptr);
  EXPECT_EQ(fontFromGrid(narrow, 0, 10, 0, 0, 8, 8, 32, 4), nullptr);
  EXPECT_EQ(fontFromGrid(narrow, -5, 10, 0, 0, 8, 8, 32, 4), nullptr);
  EXPECT_EQ(fontFromGrid(narrow, 64, 10, 0, 0, 8, 8, 32, 4), nullptr) << "no column fits";
  EXPECT_EQ(fontFromImage(writePlainPicture("fonts/narrow90.png", 90, 10)), nullptr);
  EXPECT_EQ(fontFromImageStrip(nullptr, 32, 90), nullptr);
  EXPECT_EQ(fontFromImageStrip(loadImage(narrow, 0), 32, 0), nullptr);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(fontFromStrip(String("fonts/absent.png"), 32, 96, true), nullptr);
  EXPECT_EQ(fontFromGrid(String("fonts/absent.png"), 8, 8, 0, 0, 8, 8, 32, 4), nullptr);
  EXPECT_EQ(fontFromImage(String("fonts/absent.png")), nullptr);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Error - Unable to load image: fonts/absent.png"), std::string::npos) << err;
}

class FontText : public DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    font = fontFromStrip(writePaddedStrip("fonts/strip960.png"), 32, 96, true);
    ASSERT_NE(font, nullptr);
    setFont(font);
  }
  // The x and y of every glyph drawn so far.
  std::vector<std::pair<float, float>> pens() const {
    std::vector<std::pair<float, float>> out;
    for (const SurfaceDraw& d : device->draws) out.emplace_back(d.x, d.y);
    return out;
  }
  using Pens = std::vector<std::pair<float, float>>;
  c_Font* font = nullptr;
};

TEST_F(FontText, AlignmentMovesThePenByTheTruncatedFraction) {
  drawText(String("AB"), 100, 50, 0.5f, 0);
  EXPECT_EQ(pens(), (Pens{{92, 50}, {100, 50}}));
  device->draws.clear();
  drawText(String("AB"), 100, 50, 0, 1);
  EXPECT_EQ(pens(), (Pens{{100, 34}, {108, 34}}));
  device->draws.clear();
  // 0 - 16 * 0.3 = -4.8 truncates toward zero.
  drawText(String("AB"), 0, 10, 0.3f, 0);
  EXPECT_EQ(pens(), (Pens{{-4, 10}, {4, 10}}));
  device->draws.clear();
  drawText(String("A"), 7, 9);
  EXPECT_EQ(pens(), (Pens{{7, 9}}));
  ASSERT_EQ(device->draws.size(), 1u);
  EXPECT_EQ(device->draws[0].srcX, 331);
  EXPECT_EQ(device->draws[0].srcY, 1);
  EXPECT_EQ(device->draws[0].srcWidth, 8);
  EXPECT_EQ(device->draws[0].srcHeight, 16);
}

TEST_F(FontText, BlocksAlignAsAWholeVerticallyAndPerLineHorizontally) {
  Array<String> lines(2);
  lines[0] = String("AB");
  lines[1] = String("A");
  // Top = 50 - 0.5 * 16 * 2 = 34; the second line is one font height lower.
  drawText(lines, 100, 50, 0.5f, 0.5f);
  EXPECT_EQ(pens(), (Pens{{92, 34}, {100, 34}, {96, 50}}));
}

TEST_F(FontText, AMissingCharacterNeitherDrawsNorAdvancesNorCounts) {
  drawText(String(u"A\u00e9B"), 10, 10);
  EXPECT_EQ(pens(), (Pens{{10, 10}, {18, 10}}));
  EXPECT_EQ(font->textWidth(String(u"A\u00e9B\u0001")), 16);
  EXPECT_EQ(font->textWidth(String()), 0);
}

TEST_F(FontText, StripTextShowsTheGlyphPixelsWithoutTheirBorders) {
  drawText(String("AB"), 10, 20);
  constexpr int ax = 6, ay = 16, aw = 26, ah = 24;
  auto expected = makePicture(aw, ah, [](int px, int py) {
    int x = ax + px, y = ay + py;
    if (y < 20 || y >= 36 || x < 10 || x >= 26) return kBlack;
    int index = x < 18 ? 33 : 34;
    return glyphPixel(index, (x - 10) % 8, y - 20);
  });
  EXPECT_TRUE(picturesMatch("strip-text-AB", expected, readBack(device, ax, ay, aw, ah), aw, ah));
}

TEST_F(FontText, NoCurrentFontDrawsNothing) {
  graphicsContext->font = nullptr;
  Array<String> lines(1);
  lines[0] = String("AB");
  drawText(String("AB"), 10, 10);
  drawText(String("AB"), 10, 10, 0.5f, 0.5f);
  drawText(lines, 10, 10, 0, 0);
  EXPECT_TRUE(device->draws.empty());
}

TEST_F(FontText, MarksKeepPagesAndGlyphsAlive) {
  // The context (a root) holds the current font.
  for (int i = 0; i < 3; ++i) fullCollection();
  std::vector<const gc_object*> reachable = {font, font->pages.get().rep(), font->pages[0],
                                             font->pages[0]->surface.get(), font->glyphs.get()};
  int nodes = 0;
  for (auto* node = font->glyphs->firstNode(); node != nullptr; node = node->nextNode(), ++nodes) {
    reachable.push_back(node);
    reachable.push_back(node->value.get());
  }
  EXPECT_EQ(nodes, 96);
  for (size_t i = 0; i < reachable.size(); ++i) {
    EXPECT_NE(gcListOf(reachable[i]), GcList::Free) << "object " << i << " was collected while reachable";
  }
}

TEST_F(Fonts, TheDefaultFontIsMadeOnceFromVuloFont) {
  removeDataFile("vulo_font.png");
  ::testing::internal::CaptureStderr();
  setFont(nullptr);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Error - Unable to load image: vulo_font.png\n");
  EXPECT_EQ(graphicsContext->font.get(), nullptr);
  EXPECT_EQ(graphicsContext->defaultFont.get(), nullptr);
  drawText(String("AB"), 10, 10);
  EXPECT_TRUE(device->draws.empty());

  writePaddedStrip("vulo_font.png");
  ::testing::internal::CaptureStderr();
  setFont(nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "a failed default font is not tried again";
  EXPECT_EQ(graphicsContext->defaultFont.get(), nullptr);

  graphicsContext->defaultFontFailed = false;
  setFont(nullptr);
  c_Font* made = graphicsContext->defaultFont;
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(graphicsContext->font.get(), made);
  EXPECT_EQ(made->firstChar, 32);
  EXPECT_EQ(made->textHeight(), 16);
  expectGlyph(made, 65, 331, 1, 8, 16);

  removeDataFile("vulo_font.png");
  c_Font* other = fontFromImage(writePlainPicture("fonts/image546.png", 546, 10));
  setFont(other);
  EXPECT_EQ(graphicsContext->font.get(), other);
  setFont(nullptr);
  EXPECT_EQ(graphicsContext->defaultFont.get(), made) << "made once, not reloaded";
  EXPECT_EQ(graphicsContext->font.get(), made);
}

}  // namespace
