// Replays tests/fuzz: every seed must still load (the readers' hardening must not refuse good
// files), and every kept finding must go through its loader without a fault; under the sanitizer
// build a fault is a failure. A finding named "refused-*" must also be refused.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/feeders.h"
#include "runtime/collector.h"
#include "runtime/string.h"
#include "vumo/player.h"

namespace fs = std::filesystem;

namespace {

fs::path fuzzDir() {
  const char* root = std::getenv("CORVANE_SOURCE_DIR");
  return fs::path(root != nullptr ? root : ".") / "tests" / "fuzz";
}

std::vector<fs::path> filesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Font descriptors name their pages beside themselves: each one is copied next to the page
// picture the fuzz target has, into a scratch directory.
std::string besidePage(const fs::path& descriptor) {
  static std::string dir = [] {
    std::string pattern = (fs::temp_directory_path() / "fuzz-regressions-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    return std::string(made != nullptr ? made : "/tmp");
  }();
  EXPECT_TRUE(fuzzfeed::writePage(dir));
  fs::path copy = fs::path(dir) / "font.txt";
  fs::copy_file(descriptor, copy, fs::copy_options::overwrite_existing);
  return copy.string();
}

// A feeder's verdict: true when the loader produced something.
using Feeder = std::function<bool(const fs::path&)>;

struct Target {
  const char* name;
  Feeder feed;
};

void PrintTo(const Target& target, std::ostream* out) {
  *out << target.name;
}

const std::vector<Target>& targets() {
  static const std::vector<Target> all = {
      {"text", [](const fs::path& p) { return fuzzfeed::feedText(p.string()) > 0; }},
      {"song", [](const fs::path& p) { return fuzzfeed::feedSong(p.string()); }},
      {"decompile", [](const fs::path& p) { return fuzzfeed::feedDecompile(p.string()); }},
      {"wav", [](const fs::path& p) { return fuzzfeed::feedWav(p.string()); }},
      {"ogg", [](const fs::path& p) { return fuzzfeed::feedOgg(p.string()); }},
      {"image", [](const fs::path& p) { return fuzzfeed::feedImage(p.string()); }},
      {"font", [](const fs::path& p) { return fuzzfeed::feedFont(besidePage(p)) > 0; }},
  };
  return all;
}

class FuzzInputs : public testing::TestWithParam<Target> {};

TEST_P(FuzzInputs, EverySeedLoads) {
  std::vector<fs::path> seeds = filesIn(fuzzDir() / "corpus" / GetParam().name);
  ASSERT_FALSE(seeds.empty()) << "no seeds for " << GetParam().name;
  for (const fs::path& seed : seeds) EXPECT_TRUE(GetParam().feed(seed)) << seed;
}

TEST_P(FuzzInputs, EveryKeptFindingIsHandled) {
  for (const fs::path& finding : filesIn(fuzzDir() / "regressions" / GetParam().name)) {
    SCOPED_TRACE(finding.string());
    bool loaded = GetParam().feed(finding);
    if (finding.filename().string().rfind("refused-", 0) == 0) {
      EXPECT_FALSE(loaded);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Loaders, FuzzInputs, testing::ValuesIn(targets()),
                         [](const testing::TestParamInfo<Target>& info) {
                           return std::string(info.param.name);
                         });

// The font seeds hold both a page that exists and one that does not: the missing one leaves an
// empty slot, the font still has every glyph.
TEST(FuzzFont, MissingPageLeavesTheOtherGlyphs) {
  EXPECT_EQ(fuzzfeed::feedFont(besidePage(fuzzDir() / "corpus" / "font" / "missing_page.txt")), 2);
  EXPECT_EQ(fuzzfeed::feedFont(besidePage(fuzzDir() / "corpus" / "font" / "one_page.txt")), 2);
}

// A song file is refused past its cap however much of it is a good song, and still loads at the
// cap: the check counts the file's bytes, not the text's units.
TEST(FuzzSong, FilesPastTheSizeCapAreRefused) {
  std::string song;
  {
    std::ifstream in(fuzzDir() / "corpus" / "song" / "arpeggio.dat", std::ios::binary);
    song.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_FALSE(song.empty());
  fs::path dir = fs::path(besidePage(fuzzDir() / "corpus" / "font" / "no_pages.txt")).parent_path();
  auto songOfSize = [&](size_t size) {
    std::string bytes = song;
    bytes.resize(size, '\0');
    fs::path path = dir / ("song-" + std::to_string(size) + ".dat");
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  const size_t cap = c_vumoPlay::kMaxSongFileBytes;
  EXPECT_TRUE(fuzzfeed::feedSong(songOfSize(cap).string()));
  EXPECT_FALSE(fuzzfeed::feedSong(songOfSize(cap + 1).string()));
  EXPECT_FALSE(fuzzfeed::feedSong(songOfSize(cap * 3).string()));
}

// Found by the soak: every song switch drops column strings made before the last full
// collection. Their release must not take the allocation count below zero, or the next
// collection waits for that much more allocation and the heap grows from switch to switch.
TEST(SoakFindings, StringsFreedAfterACollectionDoNotPutOffTheNext) {
  std::u16string units(100000, u'.');
  String held(units.data(), static_cast<int>(units.size()));
  fullCollection();
  ASSERT_EQ(gcCounters.allocBytes, 0);
  held = String();
  EXPECT_EQ(gcCounters.allocBytes, 0);
  String fresh(units.data(), 10);
  EXPECT_GT(gcCounters.allocBytes, 0);
}

}  // namespace
