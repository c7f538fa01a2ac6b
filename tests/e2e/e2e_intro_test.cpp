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

int channelOf(uint32_t pixel, int shift) {
  return static_cast<int>(pixel >> shift & 255);
}

bool near(uint32_t pixel, const int expected[3], int tolerance) {
  for (int c = 0; c < 3; ++c) {
    if (std::abs(channelOf(pixel, 16 - 8 * c) - expected[c]) > tolerance) return false;
  }
  return true;
}

// What a floor line of colour (0, g, b) leaves at (x, y) where nothing else is drawn over it: the
// line at the alpha of 0.2 that the scroller's mirror pass leaves behind, over the background
// picture, then darkened by the scanline overlay.
void floorPixel(const Picture& back, const Picture& scanlines, int g, int b, int x, int y, bool withLine,
                int out[3]) {
  const unsigned char* under = back.at(x, y);
  const float coverage = 1.0f - scanlines.at(x, y)[3] / 255.0f;
  const int line[3] = {0, g, b};
  for (int c = 0; c < 3; ++c) {
    float value = withLine ? line[c] * 0.2f + under[c] * 0.8f : under[c];
    out[c] = static_cast<int>(value * coverage);
  }
}

// Whether the fan line of index k (k = 1, 33, ...) on one side shows its colour in row y of the
// grab, within a pixel or two of where the line runs.
bool fanLineShows(const Grab& grab, const Picture& back, const Picture& scanlines, int k, int side, int y) {
  const int g = k / 16 + 128, b = 255 - k / 32;
  const double t = (y - 300) / 180.0;
  const double top = 320 + side * (k / 2), bottom = 320 + side * k;
  const int x = static_cast<int>(std::lround(top + t * (bottom - top)));
  for (int dx = -2; dx <= 2; ++dx) {
    if (x + dx < 0 || x + dx >= grab.width) continue;
    int expected[3], without[3];
    floorPixel(back, scanlines, g, b, x + dx, y, true, expected);
    floorPixel(back, scanlines, g, b, x + dx, y, false, without);
    if (near(grab.at(x + dx, y), expected, 2) && !near(grab.at(x + dx, y), without, 8)) return true;
  }
  return false;
}

// Reads `cells` characters of a line of the 18 x 26 scroller font drawn at (18 * firstCell, top):
// each cell becomes the glyph whose bright and empty pixels it matches best. The top three rows
// are left out, since the mirror scroller can reach into them.
std::string readText(const Grab& grab, const Picture& font, int top, int firstCell, int cells) {
  std::string text;
  for (int cell = firstCell; cell < firstCell + cells; ++cell) {
    int bestMismatches = 1 << 30;
    char best = '?';
    for (int c = 32; c < 32 + 91; ++c) {
      int mismatches = 0;
      for (int y = 3; y < 26; ++y) {
        for (int x = 0; x < 18; ++x) {
          const unsigned char* p = font.at(18 * (c - 32) + x, y);
          const int brightness = p[0] + p[1] + p[2];
          // Only the glyphs' bright cores and their clear surroundings count: the soft edges come
          // out anywhere between the two once drawn at half alpha under the scanlines.
          const bool ink = p[3] >= 200 && brightness > 500;
          const bool empty = p[3] < 32 || brightness < 150;
          if (!ink && !empty) continue;
          uint32_t shown = grab.at(18 * cell + x, top + y);
          const bool shownInk = channelOf(shown, 16) + channelOf(shown, 8) + channelOf(shown, 0) > 160;
          mismatches += shownInk != ink;
        }
      }
      if (mismatches < bestMismatches) bestMismatches = mismatches, best = static_cast<char>(c);
    }
    text += best;
  }
  return text;
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
