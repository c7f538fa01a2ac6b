// The committed assets are exactly what the generators write, and the generators refuse bad
// command lines instead of writing something half-made.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kTools[] = {MAKE_PICTURES_TOOL, MAKE_FONTS_TOOL, MAKE_SAMPLES_TOOL};

// Runs a command through the shell and returns its exit status, or -1 if it did not exit normally.
int run(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& s) {
  return "'" + s + "'";
}

std::vector<char> readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every regular file below root, as paths relative to it; songs are made by another tool.
std::set<std::string> assetFiles(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), root).generic_string();
    if (rel.rfind("songs/", 0) == 0) continue;
    files.insert(rel);
  }
  return files;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "assets-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

TEST(Regenerate, ToolsReproduceEveryCommittedAssetByteForByte) {
  TempDir out;
  ASSERT_FALSE(out.path().empty());
  for (const char* tool : kTools) ASSERT_EQ(run(quoted(tool) + " " + quoted(out.path())), 0) << tool;

  std::set<std::string> made = assetFiles(out.path());
  std::set<std::string> committed = assetFiles(ASSET_DATA_DIR);
  EXPECT_EQ(made.size(), 18u) << "11 pictures and fonts, 7 samples";
  EXPECT_EQ(made, committed) << "a committed asset is missing or no longer generated";
  for (const std::string& rel : made) {
    if (!committed.count(rel)) continue;
    EXPECT_TRUE(readAll(out.path() / rel) == readAll(fs::path(ASSET_DATA_DIR) / rel))
        << rel << " differs from the committed file: run scripts/make-assets";
  }
}

TEST(Regenerate, ToolsRejectBadCommandLinesAndMissingFonts) {
  for (const char* tool : kTools) {
    EXPECT_EQ(run(quoted(tool)), 2) << tool << " without an output directory";
    EXPECT_EQ(run(quoted(tool) + " a b c"), 2) << tool << " with extra arguments";
  }
  TempDir out;
  EXPECT_EQ(run(quoted(MAKE_FONTS_TOOL) + " " + quoted(out.path()) + " /nonexistent/ttf"), 1);
  EXPECT_TRUE(assetFiles(out.path()).empty()) << "no font strip may be written without its face";
  // An output path below a regular file cannot be created.
  std::ofstream(out.path() / "file") << "x";
  EXPECT_EQ(run(quoted(MAKE_SAMPLES_TOOL) + " " + quoted(out.path() / "file" / "sub")), 1);
}
