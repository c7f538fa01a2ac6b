// The decompiler's round trip (compile(decompile(x)) == x byte for byte for everything the compiler
// writes: the twelve songs, the test songs, seeded random songs) and its answers to files the
// compiler could not have written; then the compiler's warnings and their silencing comments.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "vumo/song_decompiler.h"
#include "vumo_test_support.h"

namespace {

using namespace vumotest;
namespace fs = std::filesystem;

using Bytes = std::vector<unsigned char>;

std::string writeBytes(const std::string& name, const Bytes& bytes) {
  std::string path = scratchDir() + "/" + name;
  writeFile(path, std::string(bytes.begin(), bytes.end()));
  return path;
}

Bytes compileOrFail(const std::string& source, const std::string& what) {
  vumo::Song song;
  vumo::SourceError error;
  EXPECT_TRUE(vumo::compileSource(source, song, error)) << what << ":" << error.line << ": " << error.reason;
  return vumo::encodeSong(song);
}

// Decompiles the bytes and compiles the source again.
struct RoundTrip {
  vumo::Decompiled decompiled;
  Bytes again;
};
RoundTrip roundTrip(const Bytes& bytes, const std::string& name) {
  RoundTrip out;
  std::string error;
  EXPECT_TRUE(vumo::decompileFile(writeBytes(name, bytes), out.decompiled, error)) << name << ": " << error;
  out.again = compileOrFail(out.decompiled.source, name + " decompiled");
  return out;
}

TEST(Decompiler, TheTwelveSongsComeBackByteForByte) {
  const fs::path root = fs::path(sourceDir()).parent_path().parent_path();
  int count = 0;
  for (const auto& entry : fs::directory_iterator(root / "data-src" / "songs")) {
    const std::string name = entry.path().stem().string();
    const Bytes compiled = compileOrFail(readFile(entry.path().string()), name);
    const std::string shipped = readFile((root / "data" / "songs" / (name + ".dat")).string());
    ASSERT_EQ(std::string(compiled.begin(), compiled.end()), shipped) << name << ".dat is not its source's";
    RoundTrip trip = roundTrip(compiled, name + ".dat");
    EXPECT_TRUE(trip.decompiled.notKept.empty()) << name << ": " << trip.decompiled.notKept.front();
    EXPECT_TRUE(trip.again == compiled) << name;
    ++count;
  }
  EXPECT_EQ(count, 12);
}

TEST(Decompiler, TheTestSongsComeBackByteForByte) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(sourceDir() + "/songs")) {
    const std::string name = entry.path().stem().string();
    const Bytes compiled = compileOrFail(readFile(entry.path().string()), name);
    RoundTrip trip = roundTrip(compiled, name + ".dat");
    EXPECT_TRUE(trip.decompiled.notKept.empty()) << name;
    EXPECT_TRUE(trip.again == compiled) << name;
    ++count;
  }
  EXPECT_GE(count, 15);
}

// A song the compiler could have produced: every field drawn within what a source can say.
vumo::Song randomSong(std::mt19937& random) {
  auto draw = [&](int lowest, int highest) {
    return std::uniform_int_distribution<int>(lowest, highest)(random);
  };
  const char* noteKeys = "ysxdcvgbhnjmq2w3er5t6z7ui9o0p";
  const char* specials = ".<+#-";
  const char* nameCharacters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+";
  vumo::Song song;
  song.speed = draw(0, 255);
  const int patterns = draw(0, 9) == 0 ? draw(0, 255) : draw(0, 6);
  const int positions = draw(0, 9) == 0 ? draw(1, 255) : draw(1, 12);
  for (int i = 0; i < positions; ++i)
    song.order.push_back(draw(0, 3) == 0 ? draw(0, 255) : draw(0, patterns));
  song.patterns.resize(patterns);
  for (auto& pattern : song.patterns) {
    for (auto& row : pattern) {
      for (vumo::Cell& cell : row) {
        if (draw(0, 2) == 0) continue;  // the empty cell
        int octave = draw(0, 9);
        if (draw(0, 3) == 0) {
          cell.note = specials[draw(0, 4)];
        } else {
          int value = draw(0, 28);
          while (octave + value / 12 > 9) value = draw(0, 28);
          cell.note = noteKeys[value];
        }
        cell.octave = static_cast<char>('0' + octave);
        cell.volume = "0123456789abcdef"[draw(0, 15)];
        cell.instrument = "0123456789abcdef"[draw(0, 15)];
      }
    }
  }
  std::set<std::string> names;
  for (int k = 0; k < vumo::kSelectableInstruments; ++k) {
    if (draw(0, 2) == 0) continue;
    for (int j = 0; j < 8; ++j) song.params[8 * k + j] = draw(0, 4) == 0 ? 0 : draw(0, 255);
    if (k == 0) continue;
    std::string name;
    do {
      name = std::string(1, nameCharacters[draw(0, 51)]);
      for (int n = draw(1, 20); n > 0; --n) name += nameCharacters[draw(0, 64)];
    } while (!names.insert(name).second);
    song.names[k] = name;
  }
  return song;
}

TEST(Decompiler, SeededRandomSongsComeBackByteForByte) {
  std::mt19937 random(20);
  int tried = 0, identical = 0, refusedByCompiler = 0;
  for (int i = 0; i < 300; ++i) {
    const vumo::Song song = randomSong(random);
    const Bytes bytes = vumo::encodeSong(song);
    ++tried;
    // vumo-compile writes only what the text loader reads back as written.
    if (!vumo::checkDecodesAsWritten(bytes, vumo::encodedLength(song)).empty()) {
      ++refusedByCompiler;
      continue;
    }
    RoundTrip trip = roundTrip(bytes, "random.dat");
    EXPECT_TRUE(trip.decompiled.notKept.empty()) << "song " << i << ": " << trip.decompiled.notKept.front();
    if (trip.again == bytes) {
      ++identical;
    } else {
      ADD_FAILURE() << "random song " << i << " differs after the round trip";
    }
  }
  std::printf("round trip: %d random songs, %d identical, %d the compiler would refuse\n", tried, identical,
              refusedByCompiler);
  EXPECT_EQ(identical + refusedByCompiler, tried);
  EXPECT_GE(identical, 250);
}

// Damaged and hand-made files: the closest source, compiling, with a comment line per lost value.
TEST(Decompiler, FilesTheCompilerCouldNotWriteGiveTheClosestSourceAndSayWhatWasLost) {
  const Bytes good = compileOrFail(readFile(sourceDir() + "/songs/tune.vumo"), "tune");
  const int n = good[6];
  const size_t notes = 7, volumes = 7 + 32 * n * 4, instruments = 7 + 32 * n * 8;
  const size_t order = 7 + 512 * n, params = order + 256, names = 512 + 512 * n;
  struct Damage {
    const char* what;
    std::function<void(Bytes&)> apply;
    const char* expected;  // part of the one not-kept line
  };
  const std::vector<Damage> damages = {
      {"magic", [](Bytes& b) { b[0] = 'X'; }, "header characters 0-3"},
      {"unknown note", [&](Bytes& b) { b[notes] = 'Z'; }, "note character 'Z' plays as C"},
      {"upper-case volume", [&](Bytes& b) { b[volumes] = 'B'; }, "volume character 'B' reads as 11"},
      {"instrument letter", [&](Bytes& b) { b[instruments] = 'x'; }, "instrument character 'x' reads as 0"},
      {"octave letter", [&](Bytes& b) { b[instruments + 32 * n * 4] = 'k'; },
       "octave character 'k' reads as 0"},
      {"length 0", [](Bytes& b) { b[4] = 0; }, "song length 0"},
      {"order past the end", [&](Bytes& b) { b[order + 200] = 3; }, "order entry 200"},
      {"instrument 20", [&](Bytes& b) { b[params + 8 * 20 + 4] = 9; }, "instrument 20 parameter 4"},
      {"name 20", [&](Bytes& b) { b[names + 21 * 19] = 'q'; }, "instrument name 20"},
      {"name with a space inside", [&](Bytes& b) { b[names + 1] = ' '; }, "stored name is not one"},
      {"truncated", [&](Bytes& b) { b.resize(order + 10); }, "the file ends after"},
      {"trailing bytes",
       [](Bytes& b) {
         b.insert(b.end(), {'x', 'y'});
       },
       "2 characters after"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    Bytes bytes = good;
    damage.apply(bytes);
    vumo::Decompiled out;
    std::string error;
    ASSERT_TRUE(vumo::decompileFile(writeBytes("damaged.dat", bytes), out, error)) << error;
    ASSERT_FALSE(out.notKept.empty());
    EXPECT_NE(out.notKept[0].find(damage.expected), std::string::npos) << out.notKept[0];
    for (const std::string& line : out.notKept) {
      EXPECT_NE(out.source.find("# not kept: " + line + "\n"), std::string::npos) << line;
    }
    compileOrFail(out.source, damage.what);
  }

  // A file that decodes as UTF-8: a wide character where a pattern count is.
  Bytes wide = good;
  wide[6] = 0xC4;
  wide.insert(wide.begin() + 7, 0x80);  // U+0100: 256 patterns
  vumo::Decompiled out;
  std::string error;
  ASSERT_TRUE(vumo::decompileFile(writeBytes("wide.dat", wide), out, error)) << error;
  EXPECT_FALSE(out.notKept.empty());
  compileOrFail(out.source, "wide");

  EXPECT_FALSE(vumo::decompileFile(writeBytes("empty.dat", {}), out, error));
  EXPECT_NE(error.find("empty.dat"), std::string::npos) << error;
}

// Random damage, seeded: every file the player loads decompiles to a source that compiles.
TEST(Decompiler, RandomlyDamagedSongsAlwaysGiveASourceThatCompiles) {
  const Bytes good = compileOrFail(readFile(sourceDir() + "/songs/tune.vumo"), "tune");
  std::mt19937 random(2020);
  for (int i = 0; i < 200; ++i) {
    Bytes bytes = good;
    const int changes = std::uniform_int_distribution<int>(1, 8)(random);
    for (int c = 0; c < changes; ++c) {
      size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random);
      bytes[at] = static_cast<unsigned char>(std::uniform_int_distribution<int>(0, 255)(random));
    }
    if (i % 10 == 0) bytes.resize(std::uniform_int_distribution<size_t>(1, bytes.size())(random));
    vumo::Decompiled out;
    std::string error;
    ASSERT_TRUE(vumo::decompileFile(writeBytes("mutated.dat", bytes), out, error)) << i << ": " << error;
    compileOrFail(out.source, "mutation " + std::to_string(i));
  }
}

// --- warnings ---

std::vector<vumo::SourceWarning> warningsOf(const std::string& source) {
  vumo::Song song;
  vumo::SourceError error;
  std::vector<vumo::SourceWarning> warnings;
  EXPECT_TRUE(vumo::compileSource(source, song, error, &warnings)) << error.line << ": " << error.reason;
  return warnings;
}

std::string describe(const std::vector<vumo::SourceWarning>& warnings) {
  std::string text;
  for (const auto& w : warnings) text += std::to_string(w.line) + " " + w.kind + ": " + w.reason + "\n";
  return text;
}

TEST(CompilerWarnings, EachKindIsReportedOnItsLine) {
  const std::string source =
      "speed 4\n"                                         // 1
      "instrument 1 lead type=tri decay=8\n"              // 2
      "instrument 2 mute type=tri decay=0\n"              // 3
      "instrument 3 keeper type=keep decay=4\n"           // 4
      "order main 7 blank\n"                              // 5
      "pattern main\n"                                    // 6
      "  C-2 8 lead | ... | ... | ...\n"                  // 7: voice 1 now in octave 2
      "  E-3 8      | ... | ... | ...\n"                  // 8: octave
      "  E-3/2 8    | C-6 8 lead | C-2 8 keeper | ...\n"  // 9: high-note, type
      "end\n"                                             // 10
      "pattern unused\n"                                  // 11
      "  C-2 8 lead | ... | ... | ...\n"                  // 12
      "end\n"                                             // 13
      "pattern blank\n"                                   // 14
      "end\n";                                            // 15
  const auto warnings = warningsOf(source);
  std::vector<std::pair<int, std::string>> got;
  for (const auto& w : warnings) got.push_back({w.line, w.kind});
  const std::vector<std::pair<int, std::string>> expected = {
      {3, "decay"},     {5, "empty-pattern"}, {5, "empty-pattern"}, {8, "octave"},
      {9, "high-note"}, {9, "type"},          {11, "unplayed"}};
  EXPECT_EQ(got, expected) << describe(warnings);
}

TEST(CompilerWarnings, TheOctaveFollowsThePlayOrder) {
  // Pattern 1 sets voice 1 to octave 3; pattern 0's note written in octave 3 is right only after
  // it, and pattern 0 plays first (octave 0), so the first pass finds the mismatch.
  const std::string source =
      "speed 4\ninstrument 1 lead type=tri decay=8\norder 1 0 # allow first-pattern: shown here\n"
      "pattern 0\n  E-3 8 | ... | ... | ...\nend\n"
      "pattern 1\n  C-3 8 lead | ... | ... | ...\nend\n";
  auto warnings = warningsOf(source);
  ASSERT_EQ(warnings.size(), 1u) << describe(warnings);
  EXPECT_EQ(warnings[0].line, 5);
  EXPECT_EQ(warnings[0].kind, "octave");
  EXPECT_NE(warnings[0].reason.find("sounds as E-0"), std::string::npos) << warnings[0].reason;
  // Named, the first entry's pattern is numbered 0 and plays first: octave 3 is right.
  EXPECT_TRUE(warningsOf("speed 4\ninstrument 1 lead type=tri decay=8\norder b a\n"
                         "pattern a\n  E-3 8 | ... | ... | ...\nend\n"
                         "pattern b\n  C-3 8 lead | ... | ... | ...\nend\n")
                  .empty());

  // Set in the same pattern before the note: no warning; a pattern break stops the walk.
  EXPECT_TRUE(warningsOf("speed 4\ninstrument 1 lead type=tri decay=8\norder a\npattern a\n"
                         "  C-3 8 lead | ... | ... | ...\n  E-3 8 | ... | ... | ...\nend\n")
                  .empty());
  EXPECT_TRUE(warningsOf("speed 4\ninstrument 1 lead type=tri decay=8\norder a\npattern a\n"
                         "  C-3 8 lead | ... | ... | brk\n  E-4 8 | ... | ... | ...\nend\n")
                  .empty());
}

TEST(CompilerWarnings, AnAllowCommentWithAReasonSilencesOnlyItsKind) {
  const std::string base = "speed 4\ninstrument 1 lead type=tri decay=8\norder a\npattern a\n";
  EXPECT_TRUE(
      warningsOf(base + "  C-7 8 lead | ... | ... | ...  # allow high-note: a retune for the slide\nend\n")
          .empty());
  EXPECT_TRUE(
      warningsOf(base + "# allow high-note: a retune for the slide\n  C-7 8 lead | ... | ... | ...\nend\n")
          .empty());
  // Without a reason the warning stays, and the comment is a warning of its own; for another kind
  // the warning stays.
  const auto noReason = warningsOf(base + "  C-7 8 lead | ... | ... | ...  # allow high-note:\nend\n");
  ASSERT_EQ(noReason.size(), 2u) << describe(noReason);
  EXPECT_EQ(noReason[0].kind, "allow");
  EXPECT_NE(noReason[0].reason.find("without its reason"), std::string::npos) << noReason[0].reason;
  EXPECT_EQ(warningsOf(base + "  C-7 8 lead | ... | ... | ...  # allow type: wrong kind\nend\n").size(), 1u);
  // A misspelt kind silences nothing and says so.
  const auto misspelt = warningsOf(base + "  C-7 8 lead | ... | ... | ...  # allow highnote: why\nend\n");
  ASSERT_EQ(misspelt.size(), 2u) << describe(misspelt);
  EXPECT_NE(misspelt[0].reason.find("\"# allow highnote\" names no warning kind (kinds: octave"),
            std::string::npos)
      << misspelt[0].reason;
  // Two lines above is too far, and one at the end of a row does not reach the next row.
  EXPECT_EQ(warningsOf(base + "# allow high-note: far\n\n  C-7 8 lead | ... | ... | ...\nend\n").size(), 1u);
  EXPECT_EQ(warningsOf(base + "  C-3 8 lead | ... | ... | ...  # allow high-note: this row\n"
                              "  C-7 8 lead | ... | ... | ...\nend\n")
                .size(),
            1u);
}

// The hint names the written note and a form that plays it; written into the row, it compiles
// without the warning: NOTE/DIGIT where the voice's octave digit holds the note, else the cell with
// its instrument.
TEST(CompilerWarnings, FollowingTheOctaveHintCompilesWithoutTheWarning) {
  const std::string head =
      "speed 4\ninstrument 1 bass type=tri decay=8\norder a\npattern a\n"
      "  C-3 8 bass | ... | ... | ...\n";
  for (const std::string written : {"G#1 8", "C-4 8", "E-3 8"}) {
    SCOPED_TRACE(written);
    const auto warned = warningsOf(head + "  " + written + " | ... | ... | ...\nend\n");
    if (written == "E-3 8") {
      EXPECT_TRUE(warned.empty()) << "written in the voice's octave";
      continue;
    }
    ASSERT_EQ(warned.size(), 1u) << describe(warned);
    const std::string& reason = warned[0].reason;
    EXPECT_EQ(reason.rfind("voice 1: " + written.substr(0, 3) + " has a volume but no instrument", 0), 0u)
        << reason;
    // The form follows "write " (a note) or "instrument: " (a cell).
    size_t at = reason.rfind("write ");
    std::string row;
    if (at != std::string::npos) {
      row = reason.substr(at + 6) + written.substr(3);
    } else {
      at = reason.rfind("instrument: ");
      ASSERT_NE(at, std::string::npos) << reason;
      row = reason.substr(at + 12);
    }
    EXPECT_EQ(row, written == "G#1 8" ? "G#1 8 bass" : "C-4/3 8");
    vumo::Song song;
    vumo::SourceError error;
    std::vector<vumo::SourceWarning> after;
    ASSERT_TRUE(vumo::compileSource(head + "  " + row + " | ... | ... | ...\nend\n", song, error, &after))
        << error.reason;
    EXPECT_TRUE(after.empty()) << describe(after);
  }
}

// The player starts with pattern 0: named patterns are numbered so that the first order entry is
// pattern 0; numbers written in the source are kept, with a warning.
TEST(CompilerNumbering, TheFirstOrderEntryIsPatternZero) {
  vumo::Song song;
  vumo::SourceError error;
  std::vector<vumo::SourceWarning> warnings;
  ASSERT_TRUE(
      vumo::compileSource("speed 4\ninstrument 1 tt type=tri decay=8\norder intro verse intro\n"
                          "pattern verse\n  C-2 8 tt | ... | ... | ...\nend\n"
                          "pattern intro\n  E-2 8 tt | ... | ... | ...\nend\n"
                          "pattern spare\n  G-2 8 tt | ... | ... | ...\nend\n",
                          song, error, &warnings));
  EXPECT_EQ(song.order, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(song.patternNames, (std::vector<std::string>{"intro", "verse", "spare"}));
  EXPECT_EQ(song.patterns[0][0][0].note, 'c') << "intro's E";
  ASSERT_EQ(warnings.size(), 1u) << describe(warnings);
  EXPECT_EQ(warnings[0].kind, "unplayed");
  EXPECT_EQ(warnings[0].line, 10) << "spare's own line";

  const auto kept = warningsOf(
      "speed 4\ninstrument 1 tt type=tri decay=8\norder 1 0\n"
      "pattern 0\n  C-2 8 tt | ... | ... | ...\nend\npattern 1\nend\n");
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept[0].kind, "first-pattern");
  EXPECT_EQ(kept[0].line, 3);
}

// The .dat keeps no pattern names: the decompiler names them by first use, and the source still
// compiles to the same bytes.
TEST(Decompiler, NamesPatternsByTheirFirstUse) {
  const std::string song = compileTestSong("tune");
  vumo::Decompiled out;
  std::string error;
  ASSERT_TRUE(vumo::decompileFile(song, out, error)) << error;
  EXPECT_NE(out.source.find("\norder part1 part2 part2\n"), std::string::npos) << out.source;
  EXPECT_NE(out.source.find("\npattern part1\n"), std::string::npos);
}

TEST(CompilerWarnings, TheTwelveSongsHaveNone) {
  const fs::path root = fs::path(sourceDir()).parent_path().parent_path();
  for (const auto& entry : fs::directory_iterator(root / "data-src" / "songs")) {
    const auto warnings = warningsOf(readFile(entry.path().string()));
    EXPECT_TRUE(warnings.empty()) << entry.path().filename() << "\n" << describe(warnings);
  }
}

}  // namespace
