// The intro's create and update steps through the real application and its game delegate, over a
// recording audio driver: what plays after each key, the restart, held keys, the scroller's cycle
// and songs that are missing or damaged. Which song plays is told by comparing the recorded
// channel calls with a trace of the same song file on a fresh player.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/delegate.h"
#include "intro/intro_globals.h"
#include "tests/intro/intro_harness.h"
#include "vumo/song_runner.h"

namespace {

using introtest::IntroHarness;
using introtest::traceAfter;

constexpr int kTraceTicks = 150;
constexpr int kKeyF2 = 113, kKeyF3 = 114, kKeyF4 = 115, kKeyF5 = 116;

const char* const kTitles[kSongCount] = {"Brackenfold", "Night Drive", "Copper Sky", "Pixel Rain",
                                         "Glass Wing",  "Turbo Tape",  "Low Tide",   "Starfold",
                                         "Iron Bloom",  "Last Call",   "Moonbase",   "End Scroll"};

std::string songFile(const std::string& appDirectory, int entry) {
  return appDirectory + "/data/" + kSongTable[entry].path;
}

int countOps(const RecordingAudio& audio, RecordingAudio::Op op, int fromTick) {
  int count = 0;
  for (const RecordingAudio::Call& call : audio.calls()) count += call.op == op && call.tick >= fromTick;
  return count;
}

// The lines of one tick of a trace, renumbered as tick 1.
std::string traceOfTick(const std::string& trace, int tick) {
  std::string text, prefix = std::to_string(tick) + " ";
  size_t start = 0;
  while (start < trace.size()) {
    size_t end = trace.find('\n', start);
    std::string line = trace.substr(start, end - start);
    if (line.rfind(prefix, 0) == 0) text += "1 " + line.substr(prefix.size()) + "\n";
    start = end + 1;
  }
  return text;
}

std::vector<std::string> playLines(const std::string& trace) {
  std::vector<std::string> plays;
  size_t start = 0;
  while (start < trace.size()) {
    size_t end = trace.find('\n', start);
    std::string line = trace.substr(start, end - start);
    if (line.find(" play ") != std::string::npos) plays.push_back(line);
    start = end + 1;
  }
  return plays;
}

class IntroUpdate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    appDirectory = introtest::scratchDir("update");
    introtest::installTestSongs(appDirectory);
    for (int i = 0; i < kSongCount; ++i) {
      references[i] =
          vumo::traceSong(songFile(appDirectory, i), kTraceTicks, RecordingAudio::SampleFiles::Assume);
    }
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(appDirectory); }

  void SetUp() override {
    intro = std::make_unique<IntroHarness>(appDirectory, nullptr);
    intro->start();
  }

  // Presses the keys, runs one update and lets them go again; the update's number.
  int hitInOneUpdate(std::initializer_list<int> keys) {
    for (int key : keys) intro->press(key);
    intro->update();
    for (int key : keys) intro->release(key);
    return intro->updateCount();
  }
  // The calls of the kTraceTicks updates after `update`, renumbered from 1.
  std::string playFor(int update) {
    intro->updates(kTraceTicks);
    return traceAfter(*intro->audio, update, update + kTraceTicks);
  }

  static std::string appDirectory;
  static std::string references[kSongCount];
  std::unique_ptr<IntroHarness> intro;
};

std::string IntroUpdate::appDirectory;
std::string IntroUpdate::references[kSongCount];

TEST_F(IntroUpdate, TheCreateStepSetsUpTheTextsAndPlaysEntryOne) {
  EXPECT_EQ(updateRate, 51);
  EXPECT_EQ(scrollText.length(), 227);
  EXPECT_EQ(
      toStdString(scrollText),
      "hi folks... this is a brackenfold intro for presenting a few demosongs for vumo-tracker ! YEAH... "
      "That is the REAL Replay ! i'm still here and doing my stuff, however. Greetings to the "
      "ZUVEVIRUZURARI and the rest of the WORLD !");
  EXPECT_EQ(toStdString(ballPattern),
            "111110110011111110110011110011111110110011110110111100111100110110110011111111110000111110110000"
            "110000110000");
  EXPECT_EQ(toStdString(songTitle), "Brackenfold");
  EXPECT_EQ(scrollX, 640);
  EXPECT_EQ(playFor(0), references[0]);
}

TEST_F(IntroUpdate, EveryFunctionKeyPlaysItsOwnSongAndShowsItsTitle) {
  for (int i = 0; i < kSongCount; ++i) {
    ASSERT_FALSE(playLines(references[i]).empty()) << "test song " << i << " plays nothing";
    for (int j = 0; j < i; ++j) ASSERT_NE(references[i], references[j]) << "test songs " << i << " and " << j;
  }
  for (int i = kSongCount - 1; i >= 0; --i) {
    int update = hitInOneUpdate({kKeyF1 + i});
    EXPECT_EQ(toStdString(songTitle), kTitles[i]);
    EXPECT_EQ(playFor(update), references[i]) << "F" << i + 1;
  }
}

TEST_F(IntroUpdate, OfTwoKeysHitInOneUpdateTheLaterOneInKeyOrderPlays) {
  int update = hitInOneUpdate({kKeyF5, kKeyF3});
  EXPECT_EQ(toStdString(songTitle), "Glass Wing");
  EXPECT_EQ(playFor(update), references[4]);
}

TEST_F(IntroUpdate, EnterWithASwitchStopsTheOldNotesInTheSameUpdate) {
  intro->updates(20);
  int update = hitInOneUpdate({kKeyEnter, kKeyF2});
  EXPECT_EQ(toStdString(songTitle), "Night Drive");
  // The old player's tick as it would have been, then the eight stops.
  std::string stops;
  for (int channel = 1; channel <= 8; ++channel) stops += "1 stop " + std::to_string(channel) + "\n";
  EXPECT_EQ(traceAfter(*intro->audio, update - 1, update), traceOfTick(references[0], update) + stops);
  EXPECT_EQ(playFor(update), references[1]);
}

TEST_F(IntroUpdate, ASwitchWithoutEnterLeavesTheOldChannelsToTheNewPlayersFirstTick) {
  intro->updates(20);
  int update = hitInOneUpdate({kKeyF2});
  EXPECT_EQ(toStdString(songTitle), "Night Drive");
  EXPECT_EQ(traceAfter(*intro->audio, update - 1, update), traceOfTick(references[0], update));
  EXPECT_EQ(playFor(update), references[1]);
}

TEST_F(IntroUpdate, EnterRestartsTheCurrentSongFromItsFirstRow) {
  intro->updates(40);
  ASSERT_NE(player->position + player->rowInPattern, 0);
  int update = hitInOneUpdate({kKeyEnter});
  EXPECT_EQ(toStdString(songTitle), "Brackenfold");
  EXPECT_EQ(player->tickCounter, 0);
  EXPECT_EQ(player->position, 0);
  EXPECT_EQ(player->rowBase, 0);
  EXPECT_EQ(player->rowInPattern, 0);
  EXPECT_EQ(countOps(*intro->audio, RecordingAudio::Op::Stop, update), 8);
  // The voices keep their levels and tunings, but the notes start over as in a fresh start.
  EXPECT_EQ(playLines(playFor(update)), playLines(references[0]));
}

TEST_F(IntroUpdate, AHeldKeyLoadsItsSongOnce) {
  intro->press(kKeyF4);
  intro->update();
  EXPECT_EQ(toStdString(songTitle), "Pixel Rain");
  GcRoot<c_vumoPlay*> loaded;  // kept alive, so that no later player can take its address
  loaded = player.get();
  for (int i = 0; i < 10; ++i) {
    intro->press(kKeyF4);  // the host's auto-repeat: more key-down events without a release
    intro->update();
    EXPECT_EQ(player.get(), loaded.get()) << "reloaded in update " << intro->updateCount();
  }
  intro->release(kKeyF4);
  intro->press(kKeyF4);
  intro->update();
  EXPECT_NE(player.get(), loaded.get());
}

TEST_F(IntroUpdate, TheScrollerMovesFourPixelsAnUpdateAndWrapsAfter1182Updates) {
  intro->update();
  EXPECT_EQ(scrollX, 636);
  int updates = 1, before = scrollX;
  while (scrollX != 640 && updates < 2000) {
    before = scrollX;
    intro->update();
    ++updates;
  }
  EXPECT_EQ(updates, 1182);
  EXPECT_EQ(before, -4084);  // the last position on the way: -4088 is below -18 x 227
}

TEST_F(IntroUpdate, MissingEmptyOrDamagedSongsAreSilentAndStillShowTheirTitles) {
  const std::string dir = introtest::scratchDir("broken-songs");
  introtest::installTestSongs(dir);
  std::filesystem::remove(songFile(dir, 6));   // F7: missing
  introtest::writeFile(songFile(dir, 7), "");  // F8: empty
  std::mt19937 random(20240610);
  std::string garbage(5000, '\0');
  for (char& byte : garbage) byte = static_cast<char>(random());
  introtest::writeFile(songFile(dir, 8), garbage);      // F9: noise
  std::filesystem::resize_file(songFile(dir, 0), 600);  // F1: cut off in the middle of its columns
  intro.reset();
  intro = std::make_unique<IntroHarness>(dir, nullptr);
  intro->start();

  for (int entry : {6, 7}) {
    int update = hitInOneUpdate({kKeyF1 + entry});
    EXPECT_EQ(toStdString(songTitle), kTitles[entry]);
    intro->updates(200);
    EXPECT_EQ(countOps(*intro->audio, RecordingAudio::Op::Play, update + 1), 0) << kTitles[entry];
    for (const RecordingAudio::Call& call : intro->audio->calls()) {
      if (call.tick > update && call.op == RecordingAudio::Op::Volume) {
        ASSERT_EQ(call.value, 0.0f) << kTitles[entry] << ": " << RecordingAudio::formatCall(call);
      }
    }
  }
  // Damaged songs play whatever their bytes say; they must only not break the program.
  for (int entry : {8, 0}) {
    hitInOneUpdate({kKeyF1 + entry});
    EXPECT_EQ(toStdString(songTitle), kTitles[entry]);
    intro->updates(300);
  }
  std::filesystem::remove_all(dir);
}

TEST_F(IntroUpdate, WithoutItsSamplesASongPlaysNothing) {
  for (const char* name : {"ramp_64.wav", "ramp_b_64.wav", "ramp_c_64.wav", "saw_64.wav", "fx2b.wav",
                           "tri_64.wav", "hnoise.wav"}) {
    intro->audio->failSample(name);
  }
  int update = hitInOneUpdate({kKeyF1});
  intro->updates(kTraceTicks);
  EXPECT_EQ(countOps(*intro->audio, RecordingAudio::Op::Play, update + 1), 0);
  EXPECT_EQ(toStdString(songTitle), "Brackenfold");
}

}  // namespace
