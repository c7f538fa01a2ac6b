// The test songs (tests/vumo/songs) traced tick by tick over the recording driver: every call is
// compared with the checked-in text (tests/vumo/golden; VUMO_REGENERATE=1 rewrites it), and the
// behaviour each song is aimed at is checked on single calls.
#include <gtest/gtest.h>

#include <cstdlib>

#include "vumo_test_support.h"

namespace {

using namespace vumotest;

struct GoldenSong {
  const char* name;
  int ticks;
};

const GoldenSong kGoldenSongs[] = {
    {"speed5", 18},      {"speed0", 18}, {"speed1", 6},         {"legato", 10}, {"note_off", 10},
    {"breaks", 10},      {"loop", 10},   {"empty_pattern", 38}, {"slide", 17},  {"keep_instrument", 8},
    {"high_octave", 10}, {"types", 7},   {"arpeggio", 20},      {"silent", 8},
};

std::string traceOf(const std::string& name, int ticks) {
  vumo::ensureHostGame();
  return vumo::traceSong(compileTestSong(name), ticks, RecordingAudio::SampleFiles::Assume);
}

std::vector<TraceLine> linesOf(const std::string& name, int ticks) {
  return parseTrace(traceOf(name, ticks));
}

class GoldenTrace : public testing::TestWithParam<GoldenSong> {};

TEST_P(GoldenTrace, MatchesCheckedInText) {
  const GoldenSong& song = GetParam();
  const std::string actual = traceOf(song.name, song.ticks);
  const std::string goldenPath = sourceDir() + "/golden/" + song.name + ".txt";
  const char* regenerate = std::getenv("VUMO_REGENERATE");
  if (regenerate != nullptr && std::string(regenerate) == "1") {
    writeFile(goldenPath, actual);
    GTEST_SKIP() << "rewrote " << goldenPath << ": read the diff before committing it";
  }
  const std::string expected = readFile(goldenPath);
  ASSERT_FALSE(expected.empty()) << goldenPath << " is missing (VUMO_REGENERATE=1 writes it)";
  if (actual != expected) {
    const std::string actualPath = scratchDir() + "/" + song.name + ".actual.txt";
    writeFile(actualPath, actual);
    std::istringstream as(actual), es(expected);
    std::string al, el;
    int line = 0;
    while (true) {
      ++line;
      bool ha = static_cast<bool>(std::getline(as, al)), he = static_cast<bool>(std::getline(es, el));
      if (!ha && !he) break;
      if (al != el || ha != he) {
        ADD_FAILURE() << song.name << " line " << line << ": expected \"" << (he ? el : "<end>")
                      << "\" got \"" << (ha ? al : "<end>") << "\" (whole trace: " << actualPath << ")";
        break;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Songs, GoldenTrace, testing::ValuesIn(kGoldenSongs),
                         [](const testing::TestParamInfo<GoldenSong>& info) {
                           return std::string(info.param.name);
                         });

// --- the behaviour each song shows ---

TEST(RowTiming, SpeedFivePlaysTheFirstRowOnTheSixthTickThenEveryFifth) {
  std::vector<TraceLine> lines = linesOf("speed5", 18);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{6, 11, 16}));
  EXPECT_NEAR(lastValue(lines, "rate", 1, 5), 0.25, 1e-6) << "before the first row: note 0, octave 0";
  EXPECT_NEAR(lastValue(lines, "rate", 1, 6), 1.0, 1e-6);
  EXPECT_NEAR(lastValue(lines, "rate", 1, 11), 1.122462, 1e-5);
  EXPECT_NEAR(lastValue(lines, "rate", 1, 16), 1.259921, 1e-5);
}

TEST(RowTiming, StoredSpeedZeroPlaysLikeSpeedFive) {
  EXPECT_EQ(traceOf("speed0", 18), traceOf("speed5", 18));
}

TEST(RowTiming, SpeedOnePlaysARowOnEveryTickFromTheSecond) {
  std::vector<TraceLine> lines = linesOf("speed1", 6);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{2, 3, 4, 5})) << "row 4 is empty";
}

TEST(TickCalls, EveryTickWritesEightVolumesThenEightRatesInVoiceOrder) {
  std::vector<TraceLine> tick = callsAt(linesOf("speed5", 2), 2);
  ASSERT_EQ(tick.size(), 16u);
  const int order[8] = {1, 5, 2, 6, 3, 7, 4, 8};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(tick[i].op, "volume");
    EXPECT_EQ(tick[i].channel, order[i]);
    EXPECT_EQ(tick[8 + i].op, "rate");
    EXPECT_EQ(tick[8 + i].channel, order[i]);
  }
}

TEST(Notes, ANoteWithoutVolumeRetunesWithoutRestartingButRestartsTheEnvelope) {
  std::vector<TraceLine> lines = linesOf("legato", 10);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{3}));
  EXPECT_EQ(ticksOf(lines, "stop", 5), (std::vector<int>{3}));
  // Envelope: 1.0 less 0.1/50 per tick from tick 3; the G-2 row at tick 7 starts it again.
  EXPECT_NEAR(lastValue(lines, "volume", 1, 6), 0.992, 1e-6);
  EXPECT_NEAR(lastValue(lines, "volume", 1, 7), 0.998, 1e-6);
  EXPECT_NEAR(lastValue(lines, "rate", 1, 7), 1.498307, 1e-5);
  EXPECT_NEAR(lastValue(lines, "rate", 5, 7), 1.498307 + 0.01, 1e-5)
      << "detune 8/800 on the secondary channel";
}

TEST(Notes, OffStopsBothChannelsWhateverTheOctaveUntilTheNextNoteWithAVolume) {
  std::vector<TraceLine> lines = linesOf("note_off", 10);
  EXPECT_EQ(ticksOf(lines, "stop", 1), (std::vector<int>{5})) << "off/7 in voice 1";
  EXPECT_EQ(ticksOf(lines, "stop", 2), (std::vector<int>{5})) << "off (octave 0) in voice 2";
  EXPECT_EQ(ticksOf(lines, "stop", 6), (std::vector<int>{3, 5}));
  EXPECT_EQ(ticksOf(lines, "stop", 5), (std::vector<int>{3, 5, 9}));
  EXPECT_EQ(playsAt(lines, 9), (std::vector<std::string>{"1 ramp_64.wav 1", "5 saw_64.wav 1"}));
  EXPECT_GT(lastValue(lines, "volume", 1, 6), 0.9) << "the envelope goes on for the stopped channels";
}

TEST(Patterns, ABreakInVoiceOneOrThreeOrFourStartsTheNextPosition) {
  std::vector<TraceLine> lines = linesOf("breaks", 10);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{2, 4, 6, 8, 10}));
  const double expected[5] = {1.0, 1.259921, 1.498307, 1.0, 1.259921};  // C, E, G, then C, E again
  const int ticks[5] = {2, 4, 6, 8, 10};
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(lastValue(lines, "rate", 1, ticks[i]), expected[i], 1e-5) << ticks[i];
}

TEST(Patterns, TheSongStartsWithPatternZeroAndLoopsToTheFirstOrderEntry) {
  std::vector<TraceLine> lines = linesOf("loop", 10);
  // Patterns 0 (C), 2 (G), then 1 (E), 2, 1: order list "1 2".
  const double expected[5] = {1.0, 1.498307, 1.259921, 1.498307, 1.259921};
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{2, 4, 6, 8, 10}));
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(lastValue(lines, "rate", 1, 2 + 2 * i), expected[i], 1e-5);
}

TEST(Patterns, AnOrderEntryBeyondTheSongsPatternsPlaysEmptyRows) {
  std::vector<TraceLine> lines = linesOf("empty_pattern", 38);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{2, 36})) << "pattern 9 is 32 empty rows, ticks 4-35";
  for (int tick = 3; tick <= 35; ++tick) {
    EXPECT_LT(lastValue(lines, "volume", 1, tick), lastValue(lines, "volume", 1, tick - 1)) << tick;
    EXPECT_NEAR(lastValue(lines, "rate", 1, tick), 1.0, 1e-6) << tick;
  }
}

TEST(Slides, SlideDownWithVolumeFourLowersBothRatesByTwoHundredthsPerTick) {
  std::vector<TraceLine> lines = linesOf("slide", 17);
  // Rows at ticks 4 (C-2), 7 (sl- 4), 10 (...), 13 (sl+), 16 (C-2).
  const double expected[] = {1.0, 1.0, 1.0, 0.98, 0.96, 0.94, 0.94, 0.94, 0.94, 0.96, 0.98, 1.0, 1.0, 1.0};
  for (int i = 0; i < 14; ++i) {
    EXPECT_NEAR(lastValue(lines, "rate", 1, 4 + i), expected[i], 1e-5) << "tick " << 4 + i;
    EXPECT_NEAR(lastValue(lines, "rate", 5, 4 + i), expected[i], 1e-5) << "tick " << 4 + i;
  }
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{4})) << "slide rows start nothing";
}

TEST(Instruments, DigitZeroKeepsInstrumentOctaveAndDetuneButTakesInstrumentZerosSamples) {
  std::vector<TraceLine> lines = linesOf("keep_instrument", 8);
  std::vector<TraceLine> rates = callsOf(callsAt(lines, 7), "rate", 1);
  ASSERT_EQ(rates.size(), 2u);
  EXPECT_NEAR(rates[0].value(), 10.07937, 1e-4) << "the trigger uses the row's octave digit 5";
  EXPECT_NEAR(rates[1].value(), 1.259921, 1e-5) << "the tick uses the kept octave 2";
  EXPECT_NEAR(lastValue(lines, "rate", 5, 7), 1.259921 + 0.05, 1e-5) << "detune 40 kept";
  EXPECT_EQ(playsAt(lines, 7), (std::vector<std::string>{"1 tri_64.wav 1"}));
  EXPECT_NEAR(lastValue(lines, "volume", 1, 7), 0.999, 1e-6) << "decay of instrument 1, not 0";
}

TEST(Instruments, OctaveSixAndAboveNeverTriggerButRatesAreWritten) {
  std::vector<TraceLine> lines = linesOf("high_octave", 10);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{3, 7})) << "C-2 and G-5 (67) trigger";
  EXPECT_EQ(callsOf(callsAt(lines, 5), "rate", 1).size(), 1u) << "C-6: only the per-tick rate";
  EXPECT_NEAR(lastValue(lines, "rate", 1, 5), 16.0, 1e-4);
  EXPECT_NEAR(lastValue(lines, "rate", 1, 7), 11.98646, 1e-4) << "8 x 2^(7/12)";
  EXPECT_NEAR(lastValue(lines, "rate", 1, 9), 12.69921, 1e-4) << "G#5 (68) retunes through the tick only";
  EXPECT_EQ(callsOf(callsAt(lines, 9), "rate", 1).size(), 1u);
}

TEST(Instruments, TypesSelectTheSamplesOfBothChannels) {
  std::vector<TraceLine> lines = linesOf("types", 7);
  EXPECT_EQ(playsAt(lines, 4), (std::vector<std::string>{"1 tri_64.wav 1", "2 ramp_b_64.wav 1",
                                                         "3 fx2b.wav 1", "4 hnoise.wav 1"}));
  for (int channel = 5; channel <= 8; ++channel) {
    EXPECT_EQ(ticksOf(lines, "stop", channel), (std::vector<int>{4, 7})) << channel;
  }
  EXPECT_EQ(playsAt(lines, 7), (std::vector<std::string>{
                                   "1 ramp_b_64.wav 1", "5 saw_64.wav 1", "2 ramp_c_64.wav 1",
                                   "6 saw_64.wav 1", "3 ramp_64.wav 1", "7 saw_64.wav 1", "4 hnoise.wav 1"}))
      << "type 9 keeps voice 4's samples";
  EXPECT_NEAR(lastValue(lines, "volume", 1, 4), 1.875 - 0.1 / 255, 1e-6) << "volume f: 1.875, not clamped";
}

TEST(Instruments, ArpeggioCyclesZeroFirstSecondInStepsOfTwoTicks) {
  std::vector<TraceLine> lines = linesOf("arpeggio", 20);
  // From the note at tick 2: offsets 0, 0, 7, 7, 14, 14, then again.
  const double rates[6] = {1.0, 1.0, 1.498307, 1.498307, 2.244924, 2.244924};
  for (int i = 0; i < 18; ++i) EXPECT_NEAR(lastValue(lines, "rate", 1, 2 + i), rates[i % 6], 1e-5) << 2 + i;
}

TEST(Instruments, LfoOfFourSwingsTheDetuneSignEveryFourTicks) {
  std::vector<TraceLine> lines = linesOf("arpeggio", 20);
  // Voice 2, detune 80/800 = 0.1: + while the counter runs 1-4, - for 5-8.
  for (int i = 0; i < 16; ++i) {
    double expected = (i / 4) % 2 == 0 ? 1.1 : 0.9;
    EXPECT_NEAR(lastValue(lines, "rate", 6, 2 + i), expected, 1e-5) << 2 + i;
    EXPECT_NEAR(lastValue(lines, "rate", 2, 2 + i), 1.0, 1e-6) << "arpeggio interval 3 but no step set";
  }
}

TEST(Instruments, DecayZeroSilencesTheVoice) {
  std::vector<TraceLine> lines = linesOf("silent", 8);
  EXPECT_EQ(ticksOf(lines, "play", 1), (std::vector<int>{4, 7}));
  for (int tick = 4; tick <= 6; ++tick) EXPECT_EQ(lastValue(lines, "volume", 1, tick), 0.0) << tick;
  EXPECT_NEAR(lastValue(lines, "volume", 1, 7), 0.999, 1e-6);
}

}  // namespace
