// The real intro on the test X server: what its first seconds show (the floor's line colours, the
// title line read back glyph by glyph), that an XTEST F2 press changes the title and the pitch of
// what OpenAL Soft's wave back-end captures, that the window's close button ends it with status 0,
// and that damaged data only leaves pieces out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "tests/e2e/e2e_intro_support.h"

namespace {

using namespace e2eintro;

void sleepSeconds(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

int64_t fileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

// The real songs are not ours to pin down (and may not be there yet): the installation plays test
// songs under the table's names instead. F1 and F2 hold one steady tone each, two octaves apart.
void installTestSongs(Installation& install) {
  install.compileSong("tests/intro/songs/low_hum.vumo", "songs/brackenfold.dat");
  install.compileSong("tests/intro/songs/high_hum.vumo", "songs/nightdrive.dat");
  const char* const others[] = {"coppersky", "pixelrain", "glasswing", "turbotape", "lowtide",
                                "starfold",  "ironbloom", "lastcall",  "moonbase",  "endscroll"};
  for (const char* name : others)
    install.compileSong("tests/vumo/songs/tune.vumo", std::string("songs/") + name + ".dat");
}

class E2eIntro : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(screen.connected()) << "needs the test X server (scripts/with-xvfb)";
    ASSERT_TRUE(back.load(binaryDir() + "/data/back.png"));
    ASSERT_TRUE(scanlines.load(binaryDir() + "/data/scanlines.png"));
    ASSERT_TRUE(font.load(binaryDir() + "/data/fonti.png"));
    ASSERT_EQ(back.channels, 3);
    ASSERT_EQ(scanlines.channels, 4);
    ASSERT_EQ(font.channels, 4);
  }
  Screen screen;
  Picture back, scanlines, font;
};

TEST_F(E2eIntro, ItDrawsTheFloorAndTitleAndF2ChangesTitleAndSound) {
  Installation install("play");
  installTestSongs(install);
  const std::string wave = install.dir + "/capture.wav";
  Program intro(install.program, install.captureSoundTo(wave));
  ASSERT_GT(intro.pid(), 0);
  unsigned long window = screen.findWindow(intro.pid(), 30);
  ASSERT_NE(window, 0u) << "no window appeared; output:\n" << intro.output();
  sleepSeconds(1.5);

  // The floor: every visible fan line shows its own colour at the bottom rows, in at least one of
  // a few grabs (the balls' reflections and the moving lines cover each point now and then).
  std::vector<Grab> grabs;
  for (int i = 0; i < 10; ++i) {
    grabs.push_back(screen.grab(window));
    ASSERT_EQ(grabs.back().width, 640);
    ASSERT_EQ(grabs.back().height, 480);
    sleepSeconds(0.15);
  }
  for (int k : {1, 97, 193, 289}) {
    for (int side : {-1, 1}) {
      for (int y : {450, 460, 470}) {
        bool shown = false;
        for (const Grab& grab : grabs) shown = shown || fanLineShows(grab, back, scanlines, k, side, y);
        EXPECT_TRUE(shown) << "fan line k=" << k << " side " << side << " row " << y;
      }
    }
  }
  // The title: " now playing... " and the song's name, at half alpha (the far left is too dark
  // under the scanlines' vignette to read back reliably).
  EXPECT_EQ(readText(grabs.front(), font, 420, 5, 22), "playing... Brackenfold")
      << saveGrab(grabs.front(), "title-at-start");

  const int64_t bytesAtPress = fileSize(wave);
  screen.pressKey(window, "F2");
  // The title changes in the update that sees the key; on a busy machine that can take a while.
  Grab afterPress;
  std::string title;
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       title != "playing... Night Drive" && std::chrono::steady_clock::now() < deadline;) {
    sleepSeconds(0.1);
    afterPress = screen.grab(window);
    title = readText(afterPress, font, 420, 5, 22);
  }
  EXPECT_EQ(title, "playing... Night Drive") << saveGrab(afterPress, "title-after-f2");
  // The new song's notes start within a row of the switch; let it sound for a while.
  sleepSeconds(1.5);

  screen.closeWindow(window);
  EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
  EXPECT_EQ(intro.output().find("Corvane Runtime Error"), std::string::npos) << intro.output();

  Sound sound;
  ASSERT_TRUE(sound.load(wave)) << "no wave capture at " << wave;
  ASSERT_EQ(sound.rate, 44100);
  const int64_t press = (bytesAtPress - sound.dataOffset) / sound.bytesPerFrame;
  const int64_t second = sound.rate;
  ASSERT_GT(press, second * 3 / 2) << "the capture started late";
  ASSERT_GT(static_cast<int64_t>(sound.samples.size()), press + second) << "the capture ended early";
  // Before the press the first song; at the end, whenever the switch reached the sound, the second.
  const size_t beforeFrom = static_cast<size_t>(press - second * 6 / 5),
               beforeTo = static_cast<size_t>(press - second / 5);
  const size_t afterTo = sound.samples.size() - static_cast<size_t>(second / 5),
               afterFrom = afterTo - static_cast<size_t>(second / 2);
  const double levelBefore = rms(sound.samples, beforeFrom, beforeTo);
  const double levelAfter = rms(sound.samples, afterFrom, afterTo);
  EXPECT_GT(levelBefore, 0.02) << "the first song is silent";
  EXPECT_GT(levelAfter, 0.02) << "the second song is silent";
  const double pitchBefore = crossingsPerSecond(sound.samples, beforeFrom, beforeTo, sound.rate);
  const double pitchAfter = crossingsPerSecond(sound.samples, afterFrom, afterTo, sound.rate);
  ASSERT_GT(pitchBefore, 100);
  // Two octaves up: four times the crossings.
  EXPECT_NEAR(pitchAfter / pitchBefore, 4.0, 0.5) << pitchBefore << " and " << pitchAfter << " crossings/s";
  // And the change came after the press.
  const size_t step = static_cast<size_t>(second / 10);
  for (size_t from = static_cast<size_t>(second / 2); from + step <= static_cast<size_t>(press);
       from += step) {
    EXPECT_LT(crossingsPerSecond(sound.samples, from, from + step, sound.rate), 2 * pitchBefore)
        << "high tone " << static_cast<double>(from) / second << " s into the capture, before the press";
  }
}

TEST_F(E2eIntro, DamagedDataLeavesPiecesOutButTheIntroRunsAndClosesNormally) {
  namespace fs = std::filesystem;
  Installation install("bad-data");
  installTestSongs(install);
  std::mt19937 random(7);
  auto garbage = [&](const std::string& path, size_t size) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  };
  const std::string& data = install.data;
  fs::remove(data + "/back.png");
  fs::remove(data + "/stars2.png");
  fs::resize_file(data + "/ball.png", 100);  // a PNG cut off in its first chunk
  fs::resize_file(data + "/stars.png", fs::file_size(data + "/stars.png") / 2);
  garbage(data + "/scanlines.png", 4000);
  fs::remove(data + "/fonti.png");
  fs::remove(data + "/fonti_big.png");
  garbage(data + "/wav/hnoise.wav", 3000);
  fs::resize_file(data + "/wav/saw_64.wav", 30);
  std::ofstream(data + "/songs/brackenfold.dat", std::ios::trunc);  // empty: the start is silent
  garbage(data + "/songs/nightdrive.dat", 6000);
  fs::remove(data + "/songs/coppersky.dat");
  fs::resize_file(data + "/songs/pixelrain.dat", 700);

  Program intro(install.program, "");
  ASSERT_GT(intro.pid(), 0);
  unsigned long window = screen.findWindow(intro.pid(), 30);
  ASSERT_NE(window, 0u) << "no window appeared; output:\n" << intro.output();
  sleepSeconds(0.5);
  for (const char* key : {"F2", "F3", "F4", "Return", "F5"}) {
    screen.pressKey(window, key);
    sleepSeconds(0.3);
  }
  sleepSeconds(1.0);
  EXPECT_TRUE(intro.running()) << intro.output();
  EXPECT_EQ(screen.grab(window).width, 640);

  screen.closeWindow(window);
  EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
  EXPECT_EQ(intro.output().find("Corvane Runtime Error"), std::string::npos) << intro.output();
}

}  // namespace
