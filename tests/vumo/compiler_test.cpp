// The song compiler: where each cell and parameter lands in the .dat, the 8-bit safety of byte
// values above 127, and the refusal of malformed sources with their line numbers.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "vumo/song_compiler.h"
#include "vumo/song_runner.h"
#include "vumo_test_support.h"

namespace {

using namespace vumotest;

const char* const kHead =
    "speed 4\n"
    "instrument 1 lead type=tri decay=20\n";

vumo::Song compiled(const std::string& source) {
  vumo::Song song;
  vumo::SourceError error;
  EXPECT_TRUE(vumo::compileSource(source, song, error)) << error.line << ": " << error.reason;
  return song;
}

TEST(Compiler, PlacesCellsParametersAndNamesWhereThePlayerReadsThem) {
  vumo::Song song = compiled(std::string(kHead) +
                             "instrument 12 kick type=hnoise decay=3 drop=9 detune=6 lfo=4 interval=3 step=2 "
                             "first=15 second=30 # a drum\n"
                             "order second 0 77\n"
                             "pattern first\n"
                             "  C#3 8 lead | ... | ... | ...\n"
                             "end\n"
                             "pattern second\n"
                             "  rest 2\n"
                             "  02: ... | ... | E-3 a kick | off/5 f 1\n"
                             "end\n");
  std::vector<unsigned char> b = vumo::encodeSong(song);
  const int n = 2;
  ASSERT_EQ(static_cast<int>(b.size()), 1163 + 512 * n) << "all values below 128: no marker byte";
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "VUMO");
  EXPECT_EQ(b[4], 3);
  EXPECT_EQ(b[5], 4);
  EXPECT_EQ(b[6], n);
  auto at = [&](int c, int p, int r) { return b[7 + 32 * n * c + 32 * p + r]; };
  EXPECT_EQ(at(0, 0, 0), 's');  // C#
  EXPECT_EQ(at(4, 0, 0), '8');
  EXPECT_EQ(at(8, 0, 0), '1');
  EXPECT_EQ(at(12, 0, 0), '3');
  EXPECT_EQ(at(2, 1, 2), 'c');  // E
  EXPECT_EQ(at(6, 1, 2), 'a');
  EXPECT_EQ(at(10, 1, 2), 'c');  // instrument 12 by name
  EXPECT_EQ(at(14, 1, 2), '3');
  EXPECT_EQ(at(3, 1, 2), '<');
  EXPECT_EQ(at(7, 1, 2), 'f');
  EXPECT_EQ(at(15, 1, 2), '5');
  EXPECT_EQ(at(0, 1, 0), '.') << "rest rows are empty";
  EXPECT_EQ(at(4, 1, 31), '0') << "rows not written are empty";
  const int order = 7 + 512 * n;
  EXPECT_EQ(b[order], 1);
  EXPECT_EQ(b[order + 1], 0);
  EXPECT_EQ(b[order + 2], 77);
  EXPECT_EQ(b[order + 3], 0);
  const int kick = order + 256 + 8 * 12;
  EXPECT_EQ(std::vector<int>(b.begin() + kick, b.begin() + kick + 8),
            (std::vector<int>{7, 6, 9, 67, 3, 2, 15, 30}));
  const int names = 512 + 512 * n;
  EXPECT_EQ(std::string(b.begin() + names, b.begin() + names + 21), "lead                 ");
  EXPECT_EQ(std::string(b.begin() + names + 21 * 11, b.begin() + names + 21 * 12), "kick                 ");
  EXPECT_EQ(vumo::checkDecodesAsWritten(b, vumo::encodedLength(song)), "");
}

TEST(Compiler, WritesNotesAboveTheOctaveDigitWithTheUpperKeys) {
  vumo::Song song = compiled(std::string(kHead) +
                             "order 0\npattern 0\n"
                             "C-4/3 | E-5/3 | C-2/0 | sl+/4\n"
                             "end\n");
  const vumo::Cell* row = song.patterns[0][0].data();
  EXPECT_EQ(std::string() + row[0].note + row[0].octave, "q3");
  EXPECT_EQ(std::string() + row[1].note + row[1].octave, "p3");
  EXPECT_EQ(std::string() + row[2].note + row[2].octave, "i0");
  EXPECT_EQ(std::string() + row[3].note + row[3].octave, "#4");
}

TEST(Compiler, ValuesAbove127MakeTheWholeFileEightBit) {
  vumo::ensureHostGame();
  const std::string path = scratchDir() + "/high.dat";
  // The order entries 195, 169 alone are the UTF-8 of one character: without the marker the loader
  // would decode them as one and shift every later position. The check sees that.
  vumo::Song song =
      compiled(std::string(kHead) + "order 0 195 169\npattern 0\n  C-2 8 lead | ... | ... | ...\nend\n");
  std::vector<unsigned char> b = vumo::encodeSong(song);
  const int length = vumo::encodedLength(song);
  ASSERT_EQ(static_cast<int>(b.size()), length + 1);
  EXPECT_EQ(b.back(), 0xFF);
  EXPECT_EQ(vumo::checkDecodesAsWritten(b, length), "");
  writeFile(path, std::string(b.begin(), b.end()));
  EXPECT_EQ(vumo::checkPlayerReads(path, song), "");

  std::vector<unsigned char> unmarked(b.begin(), b.end() - 1);
  EXPECT_NE(vumo::checkDecodesAsWritten(unmarked, length), "");
  writeFile(path, std::string(unmarked.begin(), unmarked.end()));
  EXPECT_NE(vumo::checkPlayerReads(path, song), "");

  // High values everywhere a number is stored.
  song = compiled(
      "speed 200\ninstrument 15 loud type=200 decay=255 detune=128 drop=129 first=250 second=251\n"
      "order 0 254 128\npattern 0\n  C-2 8 loud | ... | ... | ...\nend\n");
  b = vumo::encodeSong(song);
  EXPECT_EQ(vumo::checkDecodesAsWritten(b, vumo::encodedLength(song)), "");
  writeFile(path, std::string(b.begin(), b.end()));
  EXPECT_EQ(vumo::checkPlayerReads(path, song), "");
}

TEST(Compiler, CommentsStartAtAHashThatBeginsAWord) {
  vumo::Song song = compiled(
      "# a song\nspeed 3 # three\n  # indented\norder 0\npattern 0\nC#3 8 | ... | ... | ... # x\nend\n");
  EXPECT_EQ(song.speed, 3);
  EXPECT_EQ(song.patterns[0][0][0].note, 's');
}

struct Malformed {
  const char* what;
  std::string source;
  int line;
  const char* reason;  // a part of the message
};

class MalformedSource : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedSource, IsRefusedWithItsLineAndReason) {
  const Malformed& m = GetParam();
  vumo::Song song;
  vumo::SourceError error;
  ASSERT_FALSE(vumo::compileSource(m.source, song, error)) << m.what;
  EXPECT_EQ(error.line, m.line) << m.what << ": " << error.reason;
  EXPECT_NE(error.reason.find(m.reason), std::string::npos) << m.what << ": " << error.reason;
}

std::string withPattern(const std::string& rows) {
  return std::string(kHead) + "order 0\npattern 0\n" + rows + "end\n";
}

std::string rows(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "... | ... | ... | ...\n";
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MalformedSource,
    testing::Values(
        Malformed{"unknown statement", "speed 4\ntempo 5\n", 2, "unknown statement 'tempo'"},
        Malformed{"bad note", withPattern("C-3 | H-3 | ... | ...\n"), 5, "voice 2: 'H-3' is not a note"},
        Malformed{"no E sharp", withPattern("E#3 | ... | ... | ...\n"), 5, "'E#3' is not a note"},
        Malformed{"bad volume", withPattern("... | ... | C-3 g | ...\n"), 5, "voice 3: volume 'g'"},
        Malformed{"unknown instrument", withPattern("... | ... | ... | C-3 8 bass\n"), 5,
                  "unknown instrument 'bass'"},
        Malformed{"three cells", withPattern("... | ... | ...\n"), 5, "four cells"},
        Malformed{"too many rows", withPattern(rows(32) + "C-3 | ... | ... | ...\n"), 37,
                  "more than 32 rows"},
        Malformed{"rest past the end", withPattern(rows(30) + "rest 3\n"), 35, "more than 32 rows"},
        Malformed{"wrong row label", withPattern(rows(1) + "05: ... | ... | ... | ...\n"), 6,
                  "row label 05 but this is row 1"},
        Malformed{"missing end", std::string(kHead) + "order 0\npattern 0\n" + rows(2), 4, "has no end"},
        Malformed{"instrument inside a pattern", std::string(kHead) + "pattern 0\ninstrument 2 x2 decay=1\n",
                  4, "has no end before this instrument"},
        Malformed{"undefined pattern", std::string(kHead) + "order 0\norder verse\npattern 0\nend\n", 4,
                  "pattern 'verse', which is not defined"},
        Malformed{"no decay", "speed 4\ninstrument 1 lead type=tri\n", 2, "has no decay"},
        Malformed{"speed out of range", "speed 256\n", 1, "speed must be 0-255"},
        Malformed{"speed with twenty digits", "speed 99999999999999999999\n", 1,
                  "speed must be 0-255, not 99999999999999999999"},
        Malformed{"speed not a number", "speed fast\n", 1, "speed must be a number 0-255, not 'fast'"},
        Malformed{
            "unknown type", "speed 4\ninstrument 1 lead type=sine decay=3\n", 2,
            "type 'sine' is not a type: keep, ramp_b+saw, ramp_c+saw, ramp+saw, tri, ramp_b, fx2b, hnoise, "
            "or a number 0-255"},
        Malformed{"instrument 16", "speed 4\ninstrument 16 lead decay=3\n", 2, "must be 0-15"},
        Malformed{"lfo above 15", "speed 4\ninstrument 1 lead decay=3 lfo=16\n", 2, "lfo must be 0-15"},
        Malformed{"note out of reach", withPattern("F-5/3 | ... | ... | ...\n"), 5,
                  "cannot be written with octave digit 3"},
        Malformed{"row outside a pattern", "speed 4\n... | ... | ... | ...\n", 2, "outside a pattern"},
        Malformed{"not ASCII", "speed 4\norder 0 \xc3\xa9\n", 2, "printable ASCII"},
        Malformed{"no speed", "order 0\npattern 0\nend\n", 0, "no speed"},
        Malformed{"no order", "speed 4\npattern 0\nend\n", 0, "no order"}),
    [](const testing::TestParamInfo<Malformed>& info) {
      std::string name;
      for (char c : std::string(info.param.what))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
