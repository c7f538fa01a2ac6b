// Strings: slicing, splitting, trimming, case folding, replacing, number texts, sharing of
// blocks and the allocation accounting that paces the collector.
#include "runtime/string.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/array.h"
#include "runtime/collector.h"

namespace {

std::string text(const String& s) {
  return toStdString(s);
}

int64_t blockBytes(int length) {
  return static_cast<int64_t>(sizeof(StringRep) + sizeof(Char) * length);
}

const StringRep* emptyBlock() {
  return String().rep();
}

TEST(StringSlice, ClampsNegativeAndOversizedBounds) {
  String s("abcdef");
  EXPECT_EQ(text(s.Slice(-3, 6)), "def");
  EXPECT_EQ(text(s.Slice(2, 100)), "cdef");
  EXPECT_EQ(text(s.Slice(-100, 2)), "ab");
  EXPECT_EQ(text(s.Slice(1, -1)), "bcde");
  EXPECT_EQ(text(s.Slice(4)), "ef");
  EXPECT_EQ(s.Slice(4, 2).rep(), emptyBlock());
  EXPECT_EQ(s.Slice(3, 3).rep(), emptyBlock());
  EXPECT_EQ(s.Slice(0, 6).rep(), s.rep()) << "a full slice shares the block";
  EXPECT_EQ(s.Slice(-6, 99).rep(), s.rep());
  EXPECT_NE(s.Slice(0, 5).rep(), s.rep());
}

TEST(StringSplit, KeepsEmptyPiecesAndSharesWithoutMatch) {
  Array<String> pieces = String("a,,b,").Split(String(","));
  ASSERT_EQ(pieces.length(), 4);
  EXPECT_EQ(text(pieces[0]), "a");
  EXPECT_EQ(pieces[1].rep(), emptyBlock());
  EXPECT_EQ(text(pieces[2]), "b");
  EXPECT_EQ(pieces[3].rep(), emptyBlock());

  Array<String> overlapping = String("aaa").Split(String("aa"));
  ASSERT_EQ(overlapping.length(), 2) << "occurrences do not overlap";
  EXPECT_EQ(text(overlapping[0]), "");
  EXPECT_EQ(text(overlapping[1]), "a");

  Array<String> wide = String("x::y").Split(String("::"));
  ASSERT_EQ(wide.length(), 2);
  EXPECT_EQ(text(wide[1]), "y");

  String whole("no separator");
  Array<String> single = whole.Split(String(","));
  ASSERT_EQ(single.length(), 1);
  EXPECT_EQ(single[0].rep(), whole.rep());
}

TEST(StringSplit, EmptySeparatorGivesOneStringPerUnit) {
  Array<String> units = String("abc").Split(String());
  ASSERT_EQ(units.length(), 3);
  EXPECT_EQ(text(units[0]), "a");
  EXPECT_EQ(text(units[2]), "c");
  EXPECT_TRUE(String().Split(String()).isSharedEmpty());
}

TEST(StringTrim, RemovesControlAndSpaceAndSharesWhenUnchanged) {
  EXPECT_EQ(text(String("  x \t").Trim()), "x");
  String clean("x y");
  EXPECT_EQ(clean.Trim().rep(), clean.rep());
  EXPECT_EQ(String(" \n\r\t ").Trim().rep(), emptyBlock());
  String high(u"\u00a0x");  // 0xA0 is above 32: kept
  EXPECT_EQ(high.Trim().rep(), high.rep());
}

TEST(StringToLower, SharesWhenUnchangedAndAllocatesOneBlockOtherwise) {
  String lower("already lower 123");
  int64_t before = gcCounters.allocBytes;
  String same = lower.ToLower();
  EXPECT_EQ(same.rep(), lower.rep());
  EXPECT_EQ(gcCounters.allocBytes, before);

  String mixed("abcD");
  before = gcCounters.allocBytes;
  String folded = mixed.ToLower();
  EXPECT_EQ(text(folded), "abcd");
  EXPECT_EQ(gcCounters.allocBytes - before, blockBytes(4));
  EXPECT_EQ(text(String("MiXeD").ToUpper()), "MIXED");
}

TEST(StringReplace, ReplacesEveryOccurrenceAndSharesWithoutOne) {
  EXPECT_EQ(text(String("a-b--c").Replace(String("-"), String("+="))), "a+=b+=+=c");
  EXPECT_EQ(text(String("aaaa").Replace(String("aa"), String("b"))), "bb");
  EXPECT_EQ(String("--").Replace(String("-"), String()).rep(), emptyBlock());
  String s("abc");
  EXPECT_EQ(s.Replace(String("x"), String("y")).rep(), s.rep());
  EXPECT_EQ(s.Replace(String(), String("y")).rep(), s.rep()) << "an empty find replaces nothing";
}

TEST(StringToInt, ParsesLikeAtoiOnTheFirst63Units) {
  EXPECT_EQ(String("12ab").ToInt(), 12);
  EXPECT_EQ(String().ToInt(), 0);
  EXPECT_EQ(String("-7").ToInt(), -7);
  EXPECT_EQ(String("  +42").ToInt(), 42);
  EXPECT_EQ(String("x1").ToInt(), 0);
  // 62 spaces then "12": only the first 63 units are parsed, so the 2 is cut off.
  String longText = String(std::string(62, ' ').c_str()) + String("12");
  EXPECT_EQ(longText.ToInt(), 1);
  // Units are cut to 8 bits: 0x0131 becomes '1'.
  EXPECT_EQ(String(u"\u0131\u0032").ToInt(), 12);
}

TEST(StringConstruction, WidensBytesWithSignExtension) {
  String s("\xE9");
  ASSERT_EQ(s.length(), 1);
  EXPECT_EQ(static_cast<int>(s[0]), 0xFFE9);
  EXPECT_EQ(String("").rep(), emptyBlock());
  EXPECT_EQ(String(u"").rep(), emptyBlock());
  const Char units[] = {0x41, 0x263A};
  String wide(units, 2);
  EXPECT_EQ(static_cast<int>(wide[1]), 0x263A);
  EXPECT_EQ(String(units, 0).rep(), emptyBlock());
}

TEST(StringNumbers, FormatsLikeThePrintfConversions) {
  EXPECT_EQ(text(String::fromFloat(3.0f)), "3.0");
  EXPECT_EQ(text(String::fromFloat(0.1f)), "0.10000000149011612");
  EXPECT_EQ(text(String::fromFloat(-2.5f)), "-2.5");
  EXPECT_EQ(text(String::fromFloat(1e20f)), "1.0000000200408773e+20");
  EXPECT_EQ(text(String::fromFloat(0.0f)), "0.0");
  EXPECT_EQ(text(String::fromInt(-2147483647 - 1)), "-2147483648");
  EXPECT_EQ(text(String::fromBool(true)), "True");
  EXPECT_EQ(text(String::fromBool(false)), "False");
  EXPECT_EQ(text(String::fromChar(0x41)), "A");
}

TEST(StringNumbers, JoinTextWithTheFrameworksOwnNumberText) {
  int score = 120;
  EXPECT_EQ(text(String("SCORE ") + score), "SCORE 120");
  EXPECT_EQ(text(-3 + String(" lives")), "-3 lives");
  EXPECT_EQ(text(String("t=") + 0.1f), text(String("t=") + String::fromFloat(0.1f)));
  EXPECT_EQ(text(String("") + 3.0), "3.0");
  EXPECT_EQ(text(String("") + 0.5), "0.5");
  EXPECT_EQ(text(String("") + 2147483648LL), "2147483648") << "wider than int: not cut";
  EXPECT_EQ(text(String("") + 4000000000u), "4000000000");
  String line("n=");
  line += 7;
  EXPECT_EQ(text(line), "n=7");
}

TEST(StringConstruction, FromUtf8DecodesPairsAndReplacesBadBytes) {
  EXPECT_EQ(text(String(std::to_string(42))), "42");
  String mixed(std::string_view("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x99\x82"));  // a, e acute, euro, an emoji
  ASSERT_EQ(mixed.length(), 5);
  EXPECT_EQ(mixed[1], 0xE9);
  EXPECT_EQ(mixed[2], 0x20AC);
  EXPECT_EQ(mixed[3], 0xD83D);
  EXPECT_EQ(mixed[4], 0xDE42);
  String bad(std::string("x\xFFy\xC3"));  // a byte no sequence starts with, a cut sequence
  ASSERT_EQ(bad.length(), 4);
  EXPECT_EQ(bad[1], 0xFFFD);
  EXPECT_EQ(bad[3], 0xFFFD);
  EXPECT_EQ(String(std::string_view("\xC0\x80")).length(), 2) << "an overlong form is not a character";
  EXPECT_EQ(String(std::string_view()).rep(), emptyBlock());
  EXPECT_EQ(String(std::string_view(mixed.ToUtf8())), mixed) << "surrogates written one by one read back";
}

TEST(StringConcatenation, WithEmptyOperandSharesAndDoesNotAllocate) {
  String a("abc");
  String empty;
  int64_t before = gcCounters.allocBytes;
  EXPECT_EQ((a + empty).rep(), a.rep());
  EXPECT_EQ((empty + a).rep(), a.rep());
  EXPECT_EQ((empty + empty).rep(), emptyBlock());
  EXPECT_EQ(gcCounters.allocBytes, before);
  String joined = "x=" + a;
  EXPECT_EQ(text(joined), "x=abc");
  EXPECT_EQ(gcCounters.allocBytes - before, blockBytes(5));
}

TEST(StringAccounting, AllocBytesReturnsToStartWhenAllHandlesAreGone) {
  int64_t start = gcCounters.allocBytes;
  {
    String a("hello");
    String b = a + String(" world");
    String c = b.Slice(2, 8);
    String d = c;
    String e = b.Replace(String("o"), String("0")).ToLower();
    d = e + d;
    EXPECT_EQ(d.rep()->refs, 1);
    EXPECT_EQ(a.rep()->refs, 1);
    String shared = a;
    EXPECT_EQ(a.rep()->refs, 2);
    EXPECT_GT(gcCounters.allocBytes, start);
  }
  EXPECT_EQ(gcCounters.allocBytes, start);
}

TEST(StringComparison, EqualityAndAffixes) {
  EXPECT_TRUE(String("abc") == String(u"abc"));
  EXPECT_FALSE(String("abc") == String("abd"));
  EXPECT_FALSE(String("ab") == String("abc"));
  EXPECT_TRUE(String("abcdef").StartsWith(String("abc")));
  EXPECT_FALSE(String("ab").StartsWith(String("abc")));
  EXPECT_TRUE(String("abcdef").EndsWith(String("def")));
  EXPECT_FALSE(String("ef").EndsWith(String("def")));
  EXPECT_EQ(String("abcabc").Find(String("ca")), 2);
  EXPECT_EQ(String("abcabc").Find(String("x")), -1);
  EXPECT_TRUE(String("abcabc").Contains(String("bca")));
}

TEST(StringConversion, EightBitCopyAndUtf8) {
  String s(u"A\u0142\u00e9");
  String::CString copy = s.ToCString();
  EXPECT_STREQ(copy.c_str(), "AB\xE9") << "units are cut to their low 8 bits";
  String::CString second = copy;
  EXPECT_EQ(second.c_str(), copy.c_str()) << "a copy shares the counted block";
  EXPECT_EQ(String(u"\u00e9\uffe9").ToUtf8(), "\xC3\xA9\xEF\xBF\xA9");
}

}  // namespace
