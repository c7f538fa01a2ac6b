// Seeded random numbers, and the saved state text on a file system that fills up.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/headless.h"
#include "host/program_services.h"
#include "runtime/random.h"

namespace {

TEST(Rnd, TheSameSeedGivesTheSameSequenceWithinTheRange) {
  seedRnd(42);
  std::vector<float> first;
  for (int i = 0; i < 1000; ++i) first.push_back(rnd());
  seedRnd(42);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(rnd(), first[static_cast<size_t>(i)]) << "at " << i;
  seedRnd(43);
  EXPECT_NE(rnd(), first[0]) << "a neighbouring seed starts elsewhere";

  int low = 0;
  for (float u : first) {
    ASSERT_GE(u, 0.0f);
    ASSERT_LT(u, 1.0f);
    low += u < 0.5f ? 1 : 0;
  }
  EXPECT_GT(low, 400) << "half of them below one half, roughly";
  EXPECT_LT(low, 600);
  for (int i = 0; i < 1000; ++i) {
    float r = rnd(-3, 5);
    ASSERT_GE(r, -3.0f);
    ASSERT_LT(r, 5.0f);
    float m = rnd(10);
    ASSERT_GE(m, 0.0f);
    ASSERT_LT(m, 10.0f);
  }
  EXPECT_EQ(rnd(7, 7), 7.0f);
}

// A working directory on a 64 KiB tmpfs of its own, to fill up (the state file is relative to
// the working directory).
class StateOnASmallDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    startWithoutWindow();
    char made[] = "/tmp/corvane-state-XXXXXX";
    if (mkdtemp(made) == nullptr) GTEST_SKIP() << "no temporary directory";
    dir = made;
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) {
      std::string why = std::strerror(errno);
      rmdir(dir.c_str());
      dir.clear();
      GTEST_SKIP() << "cannot mount a small tmpfs to fill (needs root or CAP_SYS_ADMIN): " << why;
    }
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
  }
  void TearDown() override {
    if (dir.empty()) return;
    std::filesystem::current_path(previous);
    umount(dir.c_str());
    rmdir(dir.c_str());
  }
  // Writes a file until the disk refuses more; true when it did refuse (ENOSPC).
  static bool fillTheDisk() {
    FILE* filler = std::fopen("filler", "wb");
    if (filler == nullptr) return false;
    std::vector<char> block(4096, 'x');
    bool full = false;
    for (int i = 0; i < 1000 && !full; ++i) {
      full = std::fwrite(block.data(), 1, block.size(), filler) != block.size() || std::fflush(filler) != 0;
    }
    int error = errno;
    std::fclose(filler);
    return full && error == ENOSPC;
  }
  std::string dir;
  std::filesystem::path previous;
};

TEST_F(StateOnASmallDisk, AFailedSaveKeepsThePreviousState) {
  ASSERT_EQ(saveState(String("level 3, score 1200")), 0);
  ASSERT_TRUE(fillTheDisk()) << "the file system did not fill up";
  std::string big(20000, 'z');
  EXPECT_EQ(saveState(String(std::string_view(big))), -2) << "a short write is reported";
  EXPECT_EQ(saveState(String("level 4")), -2) << "not even a page is left";
  EXPECT_EQ(toStdString(loadState()), "level 3, score 1200") << "the previous state is intact";
  EXPECT_FALSE(std::filesystem::exists(".corvanestate.new")) << "the unfinished file is removed";

  std::filesystem::remove("filler");
  EXPECT_EQ(saveState(String("level 4")), 0);
  EXPECT_EQ(toStdString(loadState()), "level 4");
  EXPECT_FALSE(std::filesystem::exists(".corvanestate.new"));
}

TEST_F(StateOnASmallDisk, SavingTheEmptyTextGivesTheEmptyState) {
  ASSERT_EQ(saveState(String("x")), 0);
  ASSERT_EQ(saveState(String()), 0);
  EXPECT_TRUE(loadState().empty());
  EXPECT_EQ(std::filesystem::file_size(".corvanestate"), 0u);
}

}  // namespace
