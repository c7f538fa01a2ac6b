// What a capture holds: the same files on every run, the intro's first frame as the render step
// draws it, sound in step with the updates, and the effect of a scripted song key on both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "tests/capture/capture_test_support.h"

namespace capturetest {
namespace {

constexpr int kFrames = 60;
constexpr int kSwitchUpdate = 30;  // F2 goes down just before this update
// The title line: " now playing... " at y 420 in the 18 x 26 scroller font; the song's own title
// starts after those 16 characters.
constexpr int kTitleTop = 418, kTitleBottom = 448;
constexpr int kSongTitleLeft = 16 * 18;

std::string picturePath(const std::string& dir, int index) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%05d.png", index);
  return dir + name;
}

class Recording : public ::testing::Test {
 protected:
  // Three captures shared by the tests: two plain ones and one with a song switch.
  // Derived suites share them too: made only once.
  static void SetUpTestSuite() {
    if (!plain_.empty()) return;
    plain_ = capture("plain", {});
    again_ = capture("again", {});
    switched_ = capture("switched", {"--keys", std::to_string(kSwitchUpdate) + ":F2"});
  }

  static std::string capture(const std::string& name, std::vector<std::string> extra, int frames = kFrames) {
    const std::string out = scratchDir(name);
    std::vector<std::string> args = {"--frames", std::to_string(frames), "--out", out};
    args.insert(args.end(), extra.begin(), extra.end());
    const ChildRun run = runProgram(captureProgram().program, args);
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    return out;
  }

  static std::string plain_, again_, switched_;
};
std::string Recording::plain_, Recording::again_, Recording::switched_;

TEST_F(Recording, TwoCapturesOfTheSameFramesAreByteIdentical) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(plain_))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), static_cast<size_t>(kFrames) + 1) << "60 pictures and the sound";
  EXPECT_EQ(names.front(), "audio.wav");
  EXPECT_EQ(names[1], "frame_00001.png");
  EXPECT_EQ(names.back(), "frame_00060.png");
  for (const std::string& name : names) {
    const std::string first = fileBytes(plain_ + "/" + name);
    EXPECT_FALSE(first.empty()) << name;
    EXPECT_TRUE(first == fileBytes(again_ + "/" + name)) << name << " differs between two runs";
  }
}

// The floor is drawn over the backdrop with the alpha the mirror scroller leaves set (0.2), and
// the scanline overlay goes over everything; both pictures come from the capture's own data/.
class FirstFrame : public Recording {
 protected:
  void SetUp() override {
    frame_ = readPicture(picturePath(plain_, 1));
    back_ = readPicture(captureProgram().dir + "/data/back.png");
    scan_ = readPicture(captureProgram().dir + "/data/scanlines.png");
    ASSERT_FALSE(frame_.empty() || back_.empty() || scan_.empty());
    ASSERT_EQ(frame_.width, 640);
    ASSERT_EQ(frame_.height, 480);
  }

  // Channel c at (x, y) after a line of `colour` (alpha 0.2) and the overlay; colour null: no line.
  int expected(int x, int y, int c, const int* colour) const {
    double value = back_.at(x, y, c);
    if (colour != nullptr) {
      const int alpha = static_cast<int>(0.2f * 255);
      value = static_cast<int>(colour[c] * 0.2f) + value * (255 - alpha) / 255.0;
    }
    const int a = scan_.at(x, y, 3);
    return static_cast<int>(std::lround(scan_.at(x, y, c) * a / 255.0 + value * (255 - a) / 255.0));
  }

  bool matches(int x, int y, const int* colour) const {
    for (int c = 0; c < 3; ++c) {
      if (std::abs(frame_.at(x, y, c) - expected(x, y, c, colour)) > 3) return false;
    }
    return true;
  }

  static void floorColour(int k, int* colour) {
    colour[0] = 0;
    colour[1] = k / 16 + 128;
    colour[2] = 255 - k / 32;
  }

  Picture frame_, back_, scan_;
};

TEST_F(FirstFrame, FanLinesRunFromTheHorizonToTheBottomInTheirColours) {
  // Left half, clear of the ball grid (x >= 238 in this frame) and of the title line; even rows,
  // where the first frame has no horizontal line.
  int checked = 0;
  for (int y = 320; y <= 410; y += 30) {
    for (int k = 1; k <= 993; k += 32) {
      const double x0 = 320 - k / 2 + 0.5, x1 = 320 - k + 0.5;
      const int x = static_cast<int>(std::floor(x0 + (x1 - x0) * (y - 300) / 180.0));
      if (x < 8 || x > 225) continue;
      int colour[3];
      floorColour(k, colour);
      bool found = false;
      for (int dx = -2; dx <= 2 && !found; ++dx) found = matches(x + dx, y, colour);
      EXPECT_TRUE(found) << "fan line k=" << k << " near (" << x << ", " << y << "): got "
                         << frame_.at(x, y, 0) << "," << frame_.at(x, y, 1) << "," << frame_.at(x, y, 2)
                         << ", expected " << expected(x, y, 0, colour) << "," << expected(x, y, 1, colour)
                         << "," << expected(x, y, 2, colour);
      // Between two fan lines only the backdrop shows.
      EXPECT_TRUE(matches(x + 6, y, nullptr)) << "backdrop at (" << x + 6 << ", " << y << ")";
      ++checked;
    }
  }
  EXPECT_GE(checked, 12);
}

TEST_F(FirstFrame, HorizontalLinesLieSixteenRowsApartBelowTheHorizon) {
  // The first frame's floor offset is 1: line k lies at y = 301 + k / 2.
  for (int k = 33; k <= 225; k += 32) {
    const int y = 300 + k / 2 + 1;
    int colour[3];
    floorColour(k, colour);
    int on = 0, total = 0;
    for (int x = 8; x <= 225; ++x, ++total) on += matches(x, y, colour) ? 1 : 0;
    // Only the fan lines that cross the row take pixels away.
    EXPECT_GE(on, total * 9 / 10) << "row " << y << " for k=" << k;
    // The row just above is plain backdrop for the most part.
    int plain = 0;
    for (int x = 8; x <= 225; ++x) plain += matches(x, y - 1, nullptr) ? 1 : 0;
    EXPECT_GE(plain, total * 9 / 10) << "row " << y - 1;
  }
}

TEST_F(FirstFrame, TitleLineIsDrawn) {
  // Text in the scroller font's light colours at half alpha; the floor and the backdrop below it
  // have next to no red.
  int lit = 0;
  for (int y = kTitleTop; y < kTitleBottom; ++y) {
    for (int x = 0; x < 480; ++x) lit += frame_.at(x, y, 0) > 40 ? 1 : 0;
  }
  EXPECT_GT(lit, 300);
}

TEST_F(Recording, SongKeyChangesTheTitleFromTheFrameAfterItsUpdate) {
  // The frame of the update that sees the press was rendered before the press.
  for (int frame = 1; frame <= kSwitchUpdate; ++frame) {
    EXPECT_TRUE(fileBytes(picturePath(plain_, frame)) == fileBytes(picturePath(switched_, frame)))
        << "frame " << frame;
  }
  const Picture before = readPicture(picturePath(plain_, kSwitchUpdate + 1));
  const Picture after = readPicture(picturePath(switched_, kSwitchUpdate + 1));
  ASSERT_FALSE(before.empty() || after.empty());
  int outside = 0, prefix = 0, title = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      bool same = true;
      for (int c = 0; c < 4; ++c) same = same && before.at(x, y, c) == after.at(x, y, c);
      if (same) continue;
      const bool inTitleLine = y >= kTitleTop && y < kTitleBottom;
      if (!inTitleLine) {
        ++outside;
      } else if (x < kSongTitleLeft) {
        ++prefix;
      } else {
        ++title;
      }
    }
  }
  EXPECT_EQ(outside, 0) << "pixels changed outside the title line";
  EXPECT_EQ(prefix, 0) << "\" now playing... \" changed";
  EXPECT_GT(title, 200) << "the song title did not change";
}

TEST_F(Recording, SoundHasOneIntervalPerUpdateAndIsNotSilent) {
  const Wav wav = readWav(plain_ + "/audio.wav");
  ASSERT_TRUE(wav.valid);
  EXPECT_EQ(wav.rate, 44100);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.bits, 16);
  EXPECT_NEAR(static_cast<double>(wav.frames()), 44100.0 * kFrames / 51, 1.0);
  double energy = 0;
  int peak = 0;
  for (int16_t s : wav.samples) {
    energy += static_cast<double>(s) * s;
    peak = std::max(peak, std::abs(static_cast<int>(s)));
  }
  const double rms = std::sqrt(energy / std::max<size_t>(wav.samples.size(), 1));
  EXPECT_GT(peak, 1000);
  EXPECT_GT(rms, 100);
}

TEST_F(Recording, SongSwitchChangesTheSoundFromItsUpdateOn) {
  const Wav plain = readWav(plain_ + "/audio.wav");
  const Wav switched = readWav(switched_ + "/audio.wav");
  ASSERT_TRUE(plain.valid && switched.valid);
  ASSERT_EQ(plain.samples.size(), switched.samples.size());
  const size_t untouched = static_cast<size_t>(framesBeforeUpdate(kSwitchUpdate - 1)) * 2;
  size_t firstDifference = plain.samples.size(), differing = 0;
  for (size_t i = 0; i < plain.samples.size(); ++i) {
    if (plain.samples[i] == switched.samples[i]) continue;
    firstDifference = std::min(firstDifference, i);
    ++differing;
  }
  EXPECT_GE(firstDifference, untouched) << "the sound changed before the switching update";
  EXPECT_GT(differing, 1000u) << "the switch left the sound as it was";
}

TEST_F(Recording, EveryKeepsFramesOneAndOnePlusKAndAShortRunIsAPrefix) {
  const std::string out = capture("every", {"--every", "3"}, 7);
  for (int picture = 1; picture <= 3; ++picture) {
    const int frame = 1 + (picture - 1) * 3;
    EXPECT_TRUE(fileBytes(picturePath(out, picture)) == fileBytes(picturePath(plain_, frame)))
        << "picture " << picture << " is not frame " << frame;
  }
  EXPECT_FALSE(std::filesystem::exists(picturePath(out, 4)));

  const Wav shortRun = readWav(out + "/audio.wav");
  const Wav longRun = readWav(plain_ + "/audio.wav");
  ASSERT_TRUE(shortRun.valid && longRun.valid);
  ASSERT_EQ(shortRun.frames(), static_cast<size_t>(framesBeforeUpdate(7)));
  EXPECT_TRUE(std::equal(shortRun.samples.begin(), shortRun.samples.end(), longRun.samples.begin()));
}

}  // namespace
}  // namespace capturetest
