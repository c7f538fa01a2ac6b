// Descriptor fonts: what each line contributes, line endings, page file names and the directory
// they are read from, the ".txt" rule, malformed page counts, the size cap, and glyph offsets.
#include <string>

#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "host/game.h"
#include "tests/images_fonts/drawing_fixture.h"

namespace {

std::string joinLines(const std::vector<std::string>& lines, const std::string& ending) {
  std::string text;
  for (const std::string& line : lines) text += line + ending;
  return text;
}

// The page sheet beside the descriptors, and a decoy of another size where a descriptor that
// ignored its own directory would look.
void writeSheets() {
  writeDataPng("fonts/sheet.png", 32, 16, 3, std::vector<unsigned char>(32 * 16 * 3, 200));
  writeDataPng("sheet.png", 4, 4, 3, std::vector<unsigned char>(4 * 4 * 3, 10));
}

c_Font* loadDescriptor(const std::string& relative, const std::vector<std::string>& lines,
                       const std::string& ending = "\n") {
  writeDataText(relative, joinLines(lines, ending));
  return loadFontDescriptor(String(relative.c_str()));
}

struct GlyphValues {
  int id, x, y, width, height, xoffset, yoffset, xadvance, page;
  bool operator==(const GlyphValues&) const = default;
};

std::ostream& operator<<(std::ostream& out, const GlyphValues& g) {
  return out << "{id " << g.id << " x " << g.x << " y " << g.y << " w " << g.width << " h " << g.height
             << " xoff " << g.xoffset << " yoff " << g.yoffset << " adv " << g.xadvance << " page " << g.page
             << "}";
}

std::vector<GlyphValues> glyphsOf(c_Font* font) {
  std::vector<GlyphValues> out;
  for (auto* node = font->glyphs->firstNode(); node != nullptr; node = node->nextNode()) {
    c_Glyph* g = node->value;
    out.push_back({g->id, g->x, g->y, g->width, g->height, g->xoffset, g->yoffset, g->xadvance, g->page});
  }
  return out;
}

const std::vector<std::string> kSample = {
    "info face=\"Test\" size=16 id=99",
    "common lineHeight=20 base=15 scaleW=32 scaleH=16 pages=1",
    "page id=0 file=\"sheet.png\"",
    "chars count=2",
    "char id=65 x=2 y=3 width=10 height=12 xoffset=1 yoffset=-2 xadvance=11 page=0",
    "char id=66 x=14 y=3 width=6 height=12 xoffset=0 yoffset=0 xadvance=7 page=0",
    "kerning first=65 second=66 amount=-1",
};

using Descriptors = DrawingTest;

TEST_F(Descriptors, TheSampleDescriptorGivesItsValuesExactly) {
  writeSheets();
  c_Font* font = loadDescriptor("fonts/sample.txt", kSample);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->firstChar, -1);
  EXPECT_EQ(font->textHeight(), 20);
  EXPECT_EQ(font->pageCount, 1);
  ASSERT_EQ(font->pages.length(), 1);
  ASSERT_NE(font->pages[0], nullptr);
  EXPECT_EQ(font->pages[0]->width(), 32) << "the page comes from the descriptor's directory";
  EXPECT_EQ(glyphsOf(font),
            (std::vector<GlyphValues>{{65, 2, 3, 10, 12, 1, -2, 11, 0}, {66, 14, 3, 6, 12, 0, 0, 7, 0}}))
      << "no glyph from the info, chars or kerning lines";
}

TEST_F(Descriptors, CrLfAndLfLinesGiveTheSameFont) {
  writeSheets();
  c_Font* lf = loadDescriptor("fonts/lf.txt", kSample, "\n");
  c_Font* crlf = loadDescriptor("fonts/crlf.txt", kSample, "\r\n");
  ASSERT_NE(lf, nullptr);
  ASSERT_NE(crlf, nullptr);
  EXPECT_EQ(glyphsOf(crlf), glyphsOf(lf));
  EXPECT_EQ(glyphsOf(lf).size(), 2u);
  EXPECT_EQ(crlf->textHeight(), lf->textHeight());
  ASSERT_EQ(crlf->pages.length(), 1);
  ASSERT_NE(crlf->pages[0], nullptr) << "the file name must not keep a carriage return";
  EXPECT_EQ(crlf->pages[0]->width(), 32);
}

// The descriptor as a text editor may save it: with the UTF-8 mark, or in UTF-16 either way round.
std::string utf16Bytes(const std::string& ascii, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return bytes;
}

TEST_F(Descriptors, ByteOrderMarksAndUtf16GiveTheSameFontAsPlainText) {
  writeSheets();
  const std::string plainText = joinLines(kSample, "\r\n");
  c_Font* plain = loadDescriptor("fonts/plain-sample.txt", kSample, "\r\n");
  ASSERT_NE(plain, nullptr);
  ASSERT_EQ(glyphsOf(plain).size(), 2u);
  struct Case {
    const char* name;
    std::string bytes;
  };
  for (const Case& c : {Case{"fonts/utf8-mark.txt", "\xEF\xBB\xBF" + plainText},
                        Case{"fonts/utf16le.txt", utf16Bytes(plainText, false)},
                        Case{"fonts/utf16be.txt", utf16Bytes(plainText, true)}}) {
    SCOPED_TRACE(c.name);
    writeDataText(c.name, c.bytes);
    c_Font* font = loadFontDescriptor(String(c.name));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(glyphsOf(font), glyphsOf(plain));
    EXPECT_EQ(font->textHeight(), plain->textHeight());
    ASSERT_EQ(font->pages.length(), 1);
    ASSERT_NE(font->pages[0], nullptr) << "the page's file name came out wrong";
    EXPECT_EQ(font->pages[0]->width(), 32);
  }
}

TEST_F(Descriptors, TheTextComesThroughTheHostsTextLoading) {
  // A host that serves its own text files: the descriptor must be read through it.
  class ServingGame : public VxCorvaneGame {
   public:
    String loadTextFile(const String& path) override {
      asked = path.ToUtf8();
      return String("common lineHeight=9\nchar id=70 xadvance=4\n");
    }
    std::string asked;
  };
  writeDataText("fonts/served.txt", "char id=71 xadvance=5\n");  // what reading around the host gives
  ServingGame game;
  game.appDirectory = String(scratchAppDirectory().c_str());
  VxGame* previous = currentGame;
  currentGame = &game;
  c_Font* font = loadFontDescriptor(String("fonts/served"));
  currentGame = previous;
  EXPECT_EQ(game.asked, "corvane://data/fonts/served.txt");
  ASSERT_NE(font, nullptr);
  EXPECT_NE(font->glyph(70), nullptr);
  EXPECT_EQ(font->glyph(71), nullptr);
  EXPECT_EQ(font->textHeight(), 9);
}

TEST_F(Descriptors, QuotedAndBareFileNamesNameTheSamePageBesideTheDescriptor) {
  writeSheets();
  for (const char* file : {"file=\"sheet.png\"", "file=sheet.png", "file=\"\tsheet.png\""}) {
    SCOPED_TRACE(file);
    c_Font* font =
        loadDescriptor("fonts/named.txt", {"common lineHeight=8 pages=1", std::string("page id=0 ") + file});
    ASSERT_NE(font, nullptr);
    ASSERT_NE(font->pages[0], nullptr);
    EXPECT_EQ(font->pages[0]->width(), 32);
  }
  // An absolute descriptor path reads its pages from its own directory too.
  std::string absolute = writeDataText("fonts/absolute.txt", "common pages=1\npage id=0 file=sheet.png\n");
  c_Font* font = loadFontDescriptor(String(absolute.c_str()));
  ASSERT_NE(font, nullptr);
  ASSERT_NE(font->pages[0], nullptr);
  EXPECT_EQ(font->pages[0]->width(), 32);
}

TEST_F(Descriptors, TxtIsAppendedUnlessThePathHoldsItAfterItsFirstCharacter) {
  auto oneGlyph = [](int id) { return "char id=" + std::to_string(id) + " xadvance=1\n"; };
  writeDataText("fonts/plain.txt", oneGlyph(1));
  writeDataText("fonts/UPPER.TXT", oneGlyph(2));
  writeDataText("fonts/notes.TxT.bak", oneGlyph(3));
  writeDataText(".txt.txt", oneGlyph(4));
  struct Case {
    const char* path;
    int id;
  };
  for (const Case& c : {Case{"fonts/plain", 1}, Case{"fonts/plain.txt", 1}, Case{"fonts/UPPER.TXT", 2},
                        Case{"fonts/notes.TxT.bak", 3}, Case{".txt", 4}}) {
    SCOPED_TRACE(c.path);
    c_Font* font = loadFontDescriptor(String(c.path));
    ASSERT_NE(font, nullptr);
    EXPECT_NE(font->glyph(c.id), nullptr);
  }
}

TEST_F(Descriptors, LinesAreTrimmedAndTokensMatchTheirKeysAsPrefixes) {
  c_Font* font = loadDescriptor("fonts/tokens.txt", {
                                                        "  \t",
                                                        "padding=1,1,1,1 id=90",
                                                        "\t char id=70  x=12abc y=abc   width=+7 colour=3 ",
                                                        "char id=71=5 height=-0 xadvance=\t9",
                                                        "chars id=72",
                                                        "charm id=73",
                                                        "char id=70 x=40 page=2",
                                                        "glyph id=74",
                                                    });
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(glyphsOf(font),
            (std::vector<GlyphValues>{
                {70, 40, 0, 0, 0, 0, 0, 0, 2}, {71, 0, 0, 0, 0, 0, 0, 9, 0}, {73, 0, 0, 0, 0, 0, 0, 0, 0}}))
      << "a later char line replaces the earlier glyph; \"charm\" is a char line, \"chars\" is not";

  c_Font* first = loadDescriptor("fonts/tokens2.txt", {"char id=70 x=12abc y=abc width=+7"});
  EXPECT_EQ(glyphsOf(first), (std::vector<GlyphValues>{{70, 12, 0, 7, 0, 0, 0, 0, 0}}));
}

TEST_F(Descriptors, PagesBeyondTheDeclaredCountAreDroppedAndTheirGlyphsNotDrawn) {
  writeSheets();
  writeDataPng("fonts/other.png", 8, 8, 3, std::vector<unsigned char>(8 * 8 * 3, 50));
  const std::vector<std::string> glyphs = {"char id=65 width=4 height=4 xadvance=5 page=0",
                                           "char id=66 width=4 height=4 xadvance=5 page=1",
                                           "char id=67 width=4 height=4 xadvance=5 page=-1"};
  std::vector<std::string> lines = {"common lineHeight=10 pages=1", "page id=0 file=sheet.png",
                                    "page id=1 file=other.png"};
  lines.insert(lines.end(), glyphs.begin(), glyphs.end());
  c_Font* overfull = loadDescriptor("fonts/overfull.txt", lines);
  ASSERT_NE(overfull, nullptr);
  EXPECT_EQ(overfull->pageCount, 1);
  ASSERT_EQ(overfull->pages.length(), 1);
  EXPECT_EQ(overfull->pages[0]->width(), 32) << "the first page keeps its slot";
  setFont(overfull);
  drawText(String("ABCA"), 10, 10);
  ASSERT_EQ(device->draws.size(), 2u) << "only the page-0 glyphs draw";
  EXPECT_EQ(device->draws[1].x, 25) << "glyphs without a page still advance";

  std::vector<std::string> noCommon = {"page id=0 file=sheet.png"};
  noCommon.insert(noCommon.end(), glyphs.begin(), glyphs.end());
  c_Font* uncounted = loadDescriptor("fonts/uncounted.txt", noCommon);
  ASSERT_NE(uncounted, nullptr);
  EXPECT_EQ(uncounted->pageCount, 0);
  EXPECT_EQ(uncounted->pages.length(), 0);
  EXPECT_EQ(glyphsOf(uncounted).size(), 3u);
  setFont(uncounted);
  device->draws.clear();
  drawText(String("ABC"), 10, 10);
  EXPECT_TRUE(device->draws.empty());

  c_Font* negative = loadDescriptor("fonts/negative.txt", {"common pages=-3", "page id=0 file=sheet.png"});
  EXPECT_EQ(negative->pages.length(), 0);
  c_Font* huge = loadDescriptor("fonts/huge.txt", {"common pages=2000000000", "page id=0 file=sheet.png"});
  EXPECT_EQ(huge->pages.length(), kMaxFontPages) << "a declared count cannot demand any allocation it likes";
  EXPECT_EQ(huge->pageCount, kMaxFontPages);
  EXPECT_NE(huge->pages[0], nullptr);

  // A page picture that cannot be loaded leaves its slot empty; its glyphs draw nothing.
  ::testing::internal::CaptureStderr();
  c_Font* broken =
      loadDescriptor("fonts/broken.txt", {"common pages=1", "page id=0 file=gone.png", glyphs[0]});
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Error - Unable to load image: fonts/gone.png\n");
  ASSERT_NE(broken, nullptr);
  EXPECT_EQ(broken->pages[0], nullptr);
  setFont(broken);
  device->draws.clear();
  drawText(String("A"), 0, 0);
  EXPECT_TRUE(device->draws.empty());
}

TEST_F(Descriptors, MissingOrEmptyDescriptorsGiveAnEmptyFont) {
  writeDataText("fonts/empty.txt", "");
  for (const char* path : {"fonts/empty.txt", "fonts/does-not-exist.txt"}) {
    SCOPED_TRACE(path);
    c_Font* font = loadFontDescriptor(String(path));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->pages.length(), 0);
    EXPECT_EQ(font->pageCount, 0);
    EXPECT_EQ(font->textHeight(), 0);
    EXPECT_EQ(font->firstChar, -1);
    EXPECT_TRUE(glyphsOf(font).empty());
  }
}

TEST_F(Descriptors, DescriptorsOverTheSizeCapAreRefused) {
  std::string atCap = "char id=65 xadvance=3\n";
  atCap.resize(kMaxFontDescriptorBytes, ' ');
  writeDataText("fonts/at-cap.txt", atCap);
  c_Font* fits = loadFontDescriptor(String("fonts/at-cap.txt"));
  ASSERT_NE(fits, nullptr);
  EXPECT_NE(fits->glyph(65), nullptr);

  writeDataText("fonts/over-cap.txt", atCap + " ");
  ::testing::internal::CaptureStderr();
  c_Font* refused = loadFontDescriptor(String("fonts/over-cap.txt"));
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(err, "Error - Font descriptor too large: fonts/over-cap.txt\n");
}

TEST_F(Descriptors, OffsetsPlaceTheGlyphAroundThePen) {
  writeSheets();
  setFont(loadDescriptor("fonts/sample.txt", kSample));
  drawText(String("ABA"), 20, 30);
  ASSERT_EQ(device->draws.size(), 3u);
  EXPECT_EQ(device->draws[0].x, 21);
  EXPECT_EQ(device->draws[0].y, 28);
  EXPECT_EQ(device->draws[0].srcX, 2);
  EXPECT_EQ(device->draws[0].srcY, 3);
  EXPECT_EQ(device->draws[0].srcWidth, 10);
  EXPECT_EQ(device->draws[0].srcHeight, 12);
  EXPECT_EQ(device->draws[1].x, 31) << "pen 20 + 11";
  EXPECT_EQ(device->draws[2].x, 39) << "pen 31 + 7, plus the offset 1";
}

}  // namespace
