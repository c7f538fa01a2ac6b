// Data paths, the host's path mapping, file opening and reading, and the text-file decoding.
#include "host/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "host/game.h"
#include "runtime/collector.h"
#include "temp_dir.h"

namespace {

String utf16(const std::u16string& units) {
  return String(units.data(), static_cast<int>(units.size()));
}

std::u16string unitsOf(const String& s) {
  return std::u16string(s.data(), s.data() + s.length());
}

// Where the build put this test program: its own directory, as the build system knows it.
std::string testBinaryDirectory() {
  return std::filesystem::canonical(HOST_IO_BINARY_DIR).string();
}

TEST(DataPathRule, CompletesOnlyBareNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"songs/a.dat", "corvane://data/songs/a.dat"},
      {"ball.png", "corvane://data/ball.png"},
      {"", "corvane://data/"},
      {"a/b:/c", "corvane://data/a/b:/c"},  // the first slash is not the one after the colon
      {"a:b", "corvane://data/a:b"},
      {"corvane://data/x", "corvane://data/x"},
      {"corvane://internal/x", "corvane://internal/x"},
      {"dir:/x", "dir:/x"},
      {"C:/x", "C:/x"},
      {"./x", "./x"},
      {"/x", "/x"},
      {".x", "corvane://data/.x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(toStdString(completeDataPath(String(in))), out) << in;
}

TEST(ResolvePath, MapsAreasBesideTheProgram) {
  std::string app = testBinaryDirectory();
  TempDir cwd(true);  // the working directory must play no part
  VxGlfwGame game;
  const std::pair<const char*, std::string> cases[] = {
      {"corvane://data/songs/a.dat", app + "/data/songs/a.dat"},
      {"corvane://data/", app + "/data/"},
      {"corvane://internal/save.txt", app + "/internal/save.txt"},
      {"corvane://external/x", app + "/external/x"},
      {"corvane://other/x", ""},
      {"corvane:", ""},
      {"corvane://data", ""},  // no slash after the area: not the data prefix
      {"corvane://Data/x", ""},
      {"Corvane://data/x", "Corvane://data/x"},  // not the scheme at all: unchanged
      {"./x", "./x"},
      {"/x", "/x"},
      {"C:/x", "C:/x"},
      {"songs/a.dat", "songs/a.dat"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(toStdString(game.resolvePath(String(in))), out) << in;
  EXPECT_EQ(toStdString(game.appDirectory), app);
  EXPECT_EQ(toStdString(game.internalDirectory), app + "/internal");
}

TEST(ResolvePath, BaseHostLeavesPathsAlone) {
  VxGame game;
  EXPECT_EQ(toStdString(game.resolvePath(String("corvane://data/x"))), "corvane://data/x");
}

TEST(OpenHostFile, OpensNonAsciiNamesAndRefusesUnknownAreas) {
  TempDir dir;
  // e-acute, a snowman and an emoji (a surrogate pair in 16 bits).
  std::string name = "\xC3\xA9\xE2\x98\x83\xF0\x9F\x98\x80.txt";
  dir.write(name, "hello");
  VxGlfwGame game;
  String path = utf16(std::u16string(dir.path().begin(), dir.path().end()) + u"/\u00E9\u2603\U0001F600.txt");
  FILE* file = game.openHostFile(path, String("rb"));
  ASSERT_NE(file, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, file), 5u);
  std::fclose(file);

  EXPECT_EQ(game.openHostFile(String("corvane://nowhere/x"), String("rb")), nullptr);
  EXPECT_EQ(game.openHostFile(String(dir.file("missing").c_str()), String("rb")), nullptr);
  EXPECT_EQ(game.openHostFile(String(dir.path().c_str()), String("rb")), nullptr);  // a directory
  // The mode is passed on: "wb" creates the file.
  FILE* created = game.openHostFile(String(dir.file("new").c_str()), String("wb"));
  ASSERT_NE(created, nullptr);
  std::fclose(created);
  EXPECT_TRUE(std::filesystem::exists(dir.file("new")));
}

TEST(ReadFileBytes, AssemblesBlocksAndCountsExternalBytes) {
  TempDir dir;
  VxGame game;
  for (size_t size :
       {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(4097), size_t(3 * 4096 + 17)}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
    std::string path = dir.write("f" + std::to_string(size), bytes);
    int64_t before = externalBytes.load();
    int got = -1;
    unsigned char* block = game.readFileBytes(String(path.c_str()), got);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_EQ(got, static_cast<int>(size));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), size), bytes) << size;
    EXPECT_EQ(externalBytes.load() - before, static_cast<int64_t>(size));
    std::free(block);
  }
  int untouched = 99;
  EXPECT_EQ(game.readFileBytes(String(dir.file("missing").c_str()), untouched), nullptr);
  EXPECT_EQ(untouched, 99);
}

TEST(LoadText, CompletesPathAndReadsThroughCurrentGame) {
  TempDir dir(true);
  dir.write("note.txt",
            "\xEF\xBB\xBF"
            "caf\xC3\xA9");
  VxGlfwGame game;
  VxGame* previous = currentGame;
  currentGame = &game;
  EXPECT_EQ(unitsOf(loadText(String("./note.txt"))), u"caf\u00E9");
  EXPECT_EQ(unitsOf(loadText(String(dir.file("note.txt").c_str()))), u"caf\u00E9");
  EXPECT_TRUE(loadText(String("./missing.txt")).empty());
  // A bare name is looked for in the data directory, not in the working directory.
  EXPECT_TRUE(loadText(String("note.txt")).empty());
  currentGame = previous;
  EXPECT_TRUE(game.loadTextFile(String("corvane://bad/x")).empty());
}

struct Decoded {
  std::u16string units;
  const char* error;
};

Decoded decodeBytes(const std::vector<unsigned char>& bytes) {
  FILE* file = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  String text = decodeTextFile(file);
  std::fclose(file);
  return {unitsOf(text), lastTextDecodingError()};
}

TEST(DecodeTextFile, ByteOrderMarks) {
  EXPECT_EQ(decodeBytes({0xFE, 0xFF}).units, u"");
  EXPECT_EQ(decodeBytes({0xFF, 0xFE}).units, u"");
  EXPECT_EQ(decodeBytes({0xEF, 0xBB, 0xBF}).units, u"");
  EXPECT_EQ(decodeBytes({0xFE, 0xFF, 0x00, 0x41, 0x26, 0x03, 0xD8}).units, u"A\u2603");  // odd byte dropped
  EXPECT_EQ(decodeBytes({0xFF, 0xFE, 0x41, 0x00, 0x03, 0x26, 0x00}).units, u"A\u2603");
  // UTF-16 units are taken as they come, unpaired surrogates too.
  Decoded lone = decodeBytes({0xFE, 0xFF, 0xDC, 0x00});
  EXPECT_EQ(lone.units, std::u16string(1, char16_t(0xDC00)));
  EXPECT_EQ(lone.error, nullptr);
}

TEST(DecodeTextFile, Utf8Forms) {
  Decoded one = decodeBytes({0x41});
  EXPECT_EQ(one.units, u"A");
  EXPECT_EQ(one.error, nullptr);
  EXPECT_EQ(decodeBytes({'a', 0xC3, 0xA9, 0xE2, 0x98, 0x83}).units, u"a\u00E9\u2603");
  EXPECT_EQ(decodeBytes({0xEF, 0xBB, 0xBF, 'h', 'i'}).units, u"hi");
  // Overlong forms and encoded surrogates are accepted as they come.
  EXPECT_EQ(decodeBytes({0xC0, 0x80, 0xED, 0xA0, 0x80}).units, (std::u16string{0, 0xD800}));
  EXPECT_EQ(decodeBytes({0xEF, 0xBF, 0xBF}).units, std::u16string(1, char16_t(0xFFFF)));
}

TEST(DecodeTextFile, InvalidUtf8FallsBackToBytes) {
  const std::pair<std::vector<unsigned char>, std::u16string> cases[] = {
      {{239, 187}, {239, 187}},                              // too short to be the mark
      {{0xF0, 0x9F, 0x98, 0x80}, {0xF0, 0x9F, 0x98, 0x80}},  // 4-byte sequence
      {{'a', 0xE2, 0x98}, {'a', 0xE2, 0x98}},                // cut off by the end
      {{0x80}, {0x80}},                                      // stray continuation
      {{0xC3, 'A'}, {0xC3, 'A'}},                            // wrong continuation
      {{0xEF, 0xBB, 0xBF, 0xFF, 'A'}, {0xFF, 'A'}},          // mark, then invalid: the mark is skipped
  };
  for (const auto& [bytes, units] : cases) {
    Decoded d = decodeBytes(bytes);
    EXPECT_EQ(d.units, units) << "first byte " << int(bytes[0]);
    ASSERT_NE(d.error, nullptr);
    EXPECT_STREQ(d.error, "Invalid UTF-8");
  }
  // The next decode clears the slot, an empty file included.
  EXPECT_EQ(decodeBytes({'o', 'k'}).error, nullptr);
  decodeBytes({0xFF});
  Decoded empty = decodeBytes({});
  EXPECT_EQ(empty.units, u"");
  EXPECT_EQ(empty.error, nullptr);
}

TEST(DecodeTextFile, LongFileAcrossReadBlocks) {
  std::vector<unsigned char> bytes;
  std::u16string expected;
  // Three-byte characters straddle the 4096-byte block boundaries.
  for (int i = 0; i < 3000; ++i) {
    bytes.insert(bytes.end(), {0xE2, 0x98, 0x83});
    expected += u'\u2603';
  }
  Decoded d = decodeBytes(bytes);
  EXPECT_EQ(d.units, expected);
  EXPECT_EQ(d.error, nullptr);
}

}  // namespace
