// loadSong and tick on song files made byte by byte: the file layout, the loader's defaults for
// short and odd files, the lookups of note and digit characters, and the player's collector marks.
#include "vumo/player.h"

#include <gtest/gtest.h>

#include <string>

#include "audio/recording_audio.h"
#include "runtime/collector.h"
#include "vumo_test_support.h"

namespace {

using namespace vumotest;

GcRoot<c_vumoPlay*> player;

// A well-formed song file of `patterns` patterns: empty rows, zero order list and instrument table,
// names of spaces; the setters place values at their documented positions.
class SongBytes {
 public:
  explicit SongBytes(int patterns) : n_(patterns), text_(1163 + 512 * patterns, ' ') {
    text_.replace(0, 4, "VUMO");
    set(4, 1);
    set(5, 1);
    set(6, patterns);
    for (int c = 0; c < 16; ++c) {
      for (int r = 0; r < 32 * n_; ++r) set(column(c, 0, r), c < 4 ? '.' : '0');
    }
    for (int k = 0; k < 256 + 249; ++k) set(order(k), 0);
  }
  int column(int c, int p, int r) const { return 7 + 32 * n_ * c + 32 * p + r; }
  int order(int k) const { return 7 + 512 * n_ + k; }
  int param(int k) const { return order(256) + k; }
  int name(int l) const { return 512 + 512 * n_ + 21 * (l - 1); }
  void set(int index, int value) { text_[index] = static_cast<char>(value); }
  // One voice (0-3) of one row: note character, volume, instrument and octave characters.
  void cell(int p, int r, int v, char note, char volume, char instrument, char octave) {
    set(column(v, p, r), note);
    set(column(4 + v, p, r), volume);
    set(column(8 + v, p, r), instrument);
    set(column(12 + v, p, r), octave);
  }
  void instrument(int k, int type, int decay) {
    set(param(8 * k), type);
    set(param(8 * k + 4), decay);
  }
  std::string& text() { return text_; }

 private:
  int n_;
  std::string text_;
};

// UTF-8 of 16-bit units (all below 0x800 here), so a test can store a value above 255 in one
// character, as a UTF-8 song file does.
std::string utf8Of(const std::u16string& units) {
  std::string out;
  for (char16_t u : units) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::string saveSong(const std::string& name, const std::string& bytes) {
  std::string path = scratchDir() + "/" + name;
  writeFile(path, bytes);
  return path;
}

RecordingAudio* freshPlayer() {
  vumo::ensureHostGame();
  auto* audio = new RecordingAudio();
  player = new c_vumoPlay();
  return audio;
}

String load(const std::string& path) {
  return player->loadSong(String(path.c_str()));
}

void runTicks(RecordingAudio* audio, int from, int to) {
  for (int t = from; t <= to; ++t) {
    audio->setTick(t);
    player->tick();
  }
}

std::string text(const String& s) {
  return toStdString(s);
}

TEST(LoadSong, ReadsHeaderColumnsOrderListInstrumentTableAndNames) {
  freshPlayer();
  SongBytes song(3);
  song.set(4, 5);
  song.set(5, 7);
  song.cell(2, 31, 3, 'p', 'F', 'a', '9');
  song.set(song.order(0), 2);
  song.set(song.order(255), 1);
  song.set(song.param(0), 3);
  song.set(song.param(248), 200);
  song.text().replace(song.name(1), 5, "bassy");
  song.text().replace(song.name(31), 21, "the twenty-first char");
  EXPECT_EQ(text(load(saveSong("layout.dat", song.text()))), "File Loaded...");
  EXPECT_EQ(player->rowCount, 5 * 32);
  EXPECT_EQ(player->speed, 7);
  EXPECT_EQ(player->columns[3][95], u'p');
  EXPECT_EQ(player->columns[7][95], u'F');
  EXPECT_EQ(player->columns[11][95], u'a');
  EXPECT_EQ(player->columns[15][95], u'9');
  for (const String& column : player->columns) EXPECT_EQ(column.length(), 8192);
  const Array<int>& order = player->orderList;
  EXPECT_EQ(order.get(0), 2);
  EXPECT_EQ(order.get(255), 1);
  const Array<int>& params = player->instrumentParams;
  EXPECT_EQ(params.length(), 255);
  EXPECT_EQ(params.get(0), 3);
  EXPECT_EQ(params.get(248), 200) << "the 8-bit fallback keeps byte values";
  for (int k = 249; k < 255; ++k) EXPECT_EQ(params.get(k), 0);
  const Array<String>& names = player->instrumentNames;
  EXPECT_EQ(text(names.get(0)), "");
  EXPECT_EQ(text(names.get(1)), "bassy                ");
  EXPECT_EQ(text(names.get(31)), "the twenty-first char");
  // Playback state is not touched by loading.
  EXPECT_EQ(player->position, 0);
  EXPECT_EQ(player->rowBase, 0);
  EXPECT_EQ(player->tickCounter, 0);
}

TEST(LoadSong, ASongOfThreePatternsUsesExactlyItsCharactersAndIgnoresTheRest) {
  SongBytes song(3);
  song.text().replace(song.name(31), 21, "abcdefghijklmnopqrstu");
  ASSERT_EQ(song.text().size(), 1163u + 1536u);
  freshPlayer();
  load(saveSong("three.dat", song.text() + "trailing text \xff\xfe"));
  EXPECT_EQ(text(Array<String>(player->instrumentNames.get()).get(31)), "abcdefghijklmnopqrstu");
  EXPECT_EQ(player->columns[0].length(), 8192);
  freshPlayer();
  load(saveSong("three_short.dat", song.text().substr(0, 1163 + 1536 - 1)));
  EXPECT_EQ(text(Array<String>(player->instrumentNames.get()).get(31)), "abcdefghijklmnopqrst")
      << "one character less cuts the last name";
}

TEST(LoadSong, PatternCountZeroGivesColumnsOfPaddingOnly) {
  SongBytes song(0);
  song.set(song.order(0), 4);
  freshPlayer();
  load(saveSong("zero.dat", song.text()));
  for (int c = 0; c < 16; ++c) {
    ASSERT_EQ(player->columns[c].length(), 8192) << c;
    std::u16string expected(8192, c < 4 ? u'.' : u'0');
    EXPECT_TRUE(player->columns[c] == String(expected.data(), 8192)) << c;
  }
  EXPECT_EQ(player->orderList.get().get(0), 4) << "the order list follows the header directly";
}

TEST(LoadSong, PatternsBeyondTheFileAreEmptyRows) {
  SongBytes song(2);
  song.cell(1, 31, 0, 'y', '8', '1', '2');
  freshPlayer();
  load(saveSong("two.dat", song.text()));
  EXPECT_EQ(player->columns[0][63], u'y');
  EXPECT_EQ(player->columns[0][64], u'.');
  EXPECT_EQ(player->columns[0][8191], u'.');
  EXPECT_EQ(player->columns[4][64], u'0');
  EXPECT_EQ(player->columns[15][8191], u'0');
}

TEST(LoadSong, AMissingFileFailsAndThePlayerStaysSilent) {
  RecordingAudio* audio = freshPlayer();
  EXPECT_EQ(text(load(scratchDir() + "/no_such_song.dat")), "Loading Failed!");
  for (const GcField<c_Sound*>& sample : player->instrumentSamples) EXPECT_NE(sample.get(), nullptr);
  EXPECT_EQ(player->rowCount, 32);
  EXPECT_EQ(player->speed, 4);
  for (const String& column : player->columns) EXPECT_TRUE(column.empty());
  runTicks(audio, 1, 70);
  for (const RecordingAudio::Call& call : audio->calls()) {
    ASSERT_NE(call.op, RecordingAudio::Op::Play) << RecordingAudio::formatCall(call);
    if (call.op == RecordingAudio::Op::Volume) {
      ASSERT_EQ(call.value, 0.0f) << RecordingAudio::formatCall(call);
    }
  }
  EXPECT_EQ(player->position, 0);
}

TEST(LoadSong, AnEmptyFileFailsToo) {
  freshPlayer();
  EXPECT_EQ(text(load(saveSong("empty.dat", ""))), "Loading Failed!");
}

TEST(LoadSong, ReloadsTheSevenSamplesEveryTime) {
  freshPlayer();
  std::string path = saveSong("reload.dat", SongBytes(1).text());
  load(path);
  c_Sound* first[7];
  for (int i = 0; i < 7; ++i) first[i] = player->instrumentSamples[i];
  load(path);
  for (int i = 0; i < 7; ++i) EXPECT_NE(player->instrumentSamples[i].get(), first[i]) << i;
}

TEST(LoadSong, ASampleThatFailsToLoadStartsNothingOnItsChannel) {
  RecordingAudio* audio = freshPlayer();
  audio->failSample("saw_64.wav");
  SongBytes song(1);
  song.instrument(1, 3, 100);  // ramp + saw
  song.cell(0, 0, 0, 'y', '8', '1', '2');
  load(saveSong("nosaw.dat", song.text()));
  EXPECT_EQ(player->instrumentSamples[3].get(), nullptr);
  runTicks(audio, 1, 2);
  std::string trace = audio->traceText();
  EXPECT_NE(trace.find("2 play 1 ramp_64.wav 1\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("2 stop 5\n"), std::string::npos);
  EXPECT_EQ(trace.find("play 5"), std::string::npos) << "a null sound prints nothing";
}

TEST(ShortFiles, MissingHeaderOrderAndInstrumentCharactersReadAsZero) {
  freshPlayer();
  load(saveSong("five.dat", std::string("VUMO\x02", 5)));
  EXPECT_EQ(player->rowCount, 64);
  EXPECT_EQ(player->speed, 5) << "a missing speed reads 0, which means 5";
  EXPECT_EQ(player->columns[0].length(), 8192) << "N reads 0: padding only";
  for (int k = 0; k < 256; ++k) ASSERT_EQ(player->orderList.get().get(k), 0);
  for (int k = 0; k < 255; ++k) ASSERT_EQ(player->instrumentParams.get().get(k), 0);

  // A file that stops inside the order list: what is there is read, the rest is 0.
  SongBytes song(1);
  song.set(song.order(0), 9);
  song.set(song.order(1), 8);
  freshPlayer();
  load(saveSong("cut_order.dat", song.text().substr(0, song.order(2))));
  EXPECT_EQ(player->orderList.get().get(0), 9);
  EXPECT_EQ(player->orderList.get().get(1), 8);
  EXPECT_EQ(player->orderList.get().get(2), 0);
  EXPECT_EQ(player->columns[0].length(), 8192);
}

// One row per position (a break in voice 3), speed 1, a note in every row: one position per tick.
SongBytes onePositionPerTick() {
  SongBytes song(1);
  song.instrument(1, 3, 100);
  song.cell(0, 0, 0, 'y', '8', '1', '2');
  song.cell(0, 0, 2, '-', '0', '0', '0');
  return song;
}

TEST(SongLength, ZeroPlaysOnePosition) {
  SongBytes song = onePositionPerTick();
  song.set(4, 0);
  song.set(song.order(1), 5);  // never reached
  RecordingAudio* audio = freshPlayer();
  load(saveSong("length0.dat", song.text()));
  EXPECT_EQ(player->rowCount, 0);
  for (int t = 1; t <= 20; ++t) {
    runTicks(audio, t, t);
    ASSERT_EQ(player->position, 0) << "tick " << t;
    ASSERT_EQ(player->rowBase, 0);
  }
  std::vector<TraceLine> lines = parseTrace(audio->traceText());
  EXPECT_EQ(ticksOf(lines, "play", 1).size(), 19u) << "pattern 0 again on every row";
}

TEST(SongLength, AboveTheOrderListPlaysItsTwoHundredFiftySixPositions) {
  SongBytes song = onePositionPerTick();
  std::u16string units(song.text().begin(), song.text().end());
  units[4] = 300;  // only a UTF-8 file can hold it
  RecordingAudio* audio = freshPlayer();
  load(saveSong("length300.dat", utf8Of(units)));
  EXPECT_EQ(player->rowCount, 300 * 32);
  EXPECT_EQ(player->playedPositions(), 256);
  // Row ticks 2, 3, ...: after the row of tick t the position is t - 1 (mod 256).
  runTicks(audio, 1, 256);
  EXPECT_EQ(player->position, 255);
  runTicks(audio, 257, 257);
  EXPECT_EQ(player->position, 0);
}

TEST(SongLength, OrderEntriesBeyondTheColumnsPlayEmptyCells) {
  SongBytes song = onePositionPerTick();
  song.set(4, 2);
  std::u16string units(song.text().begin(), song.text().end());
  units[song.order(1)] = 0x7FF;
  RecordingAudio* audio = freshPlayer();
  load(saveSong("far_pattern.dat", utf8Of(units)));
  EXPECT_EQ(player->orderList.get().get(1), 0x7FF);
  runTicks(audio, 1, 2);
  EXPECT_EQ(player->rowBase, 0x7FF * 32);
  audio->clearCalls();
  runTicks(audio, 3, 5);
  // Past the columns every cell reads empty: note value 0 with digits 0, so nothing starts and the
  // voice retunes to note 0.
  for (const RecordingAudio::Call& call : audio->calls()) ASSERT_NE(call.op, RecordingAudio::Op::Play);
  EXPECT_EQ(player->voiceNotes[0].note, 0.0f);
}

TEST(Cells, NoteCharactersAreCaseSensitive) {
  const std::string keys = "ysxdcvgbhnjmq2w3er5t6z7ui9o0p";
  for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
    EXPECT_EQ(noteValue(String::fromChar(keys[i])), i) << keys[i];
  }
  EXPECT_EQ(noteValue(String("+")), 127);
  EXPECT_EQ(noteValue(String("<")), 128);
  EXPECT_EQ(noteValue(String("#")), 129);
  EXPECT_EQ(noteValue(String("-")), 130);
  EXPECT_EQ(noteValue(String(".")), 255);
  for (const char* other : {"Y", "Q", "P", "a", "1", "", "yy", " "})
    EXPECT_EQ(noteValue(String(other)), 0) << other;
  EXPECT_EQ(noteValue(String::fromChar(0x179)), 0) << "no narrowing of note characters";
}

TEST(Cells, DigitsReadHexLettersInBothCasesAndDecimalOtherwise) {
  EXPECT_EQ(hexDigitValue(String("a")), 10);
  EXPECT_EQ(hexDigitValue(String("A")), 10);
  EXPECT_EQ(hexDigitValue(String("f")), 15);
  EXPECT_EQ(hexDigitValue(String("F")), 15);
  EXPECT_EQ(hexDigitValue(String("g")), 0);
  EXPECT_EQ(hexDigitValue(String("G")), 0);
  EXPECT_EQ(hexDigitValue(String("0")), 0);
  EXPECT_EQ(hexDigitValue(String("9")), 9);
  EXPECT_EQ(hexDigitValue(String(".")), 0);
  EXPECT_EQ(hexDigitValue(String("")), 0);
  EXPECT_EQ(hexDigitValue(String("12x")), 12) << "leading decimal digits";
}

TEST(Collector, ThePlayerKeepsItsSamplesArraysAndNamesThroughCollections) {
  RecordingAudio* audio = freshPlayer();
  SongBytes song(1);
  song.instrument(1, 3, 100);
  song.cell(0, 0, 0, 'y', '0', '1', '2');  // selects ramp + saw into the voice, starts nothing
  song.cell(0, 4, 0, 'y', '8', '0', '2');  // starts what the voice holds
  song.text().replace(song.name(2), 4, "keep");
  const std::string path = saveSong("collect.dat", song.text());
  load(path);
  runTicks(audio, 1, 2);
  // Reloading replaces the seven samples: the voice's pair is now held by the voice fields alone.
  load(path);
  for (int i = 0; i < 3; ++i) fullCollection();
  // A missing mark would have put these on the free list, to be destroyed by later allocations.
  c_vumoPlay::VoiceSamples& pair = player->voiceSamples(0);
  for (gc_object* kept : std::initializer_list<gc_object*>{
           pair.primarySample, pair.secondarySample, pair.primarySample->sample, player->instrumentSamples[6],
           player->orderList.get().rep(), player->instrumentParams.get().rep(),
           player->instrumentNames.get().rep()}) {
    EXPECT_NE(gcListOf(kept), GcList::Free);
  }
  runTicks(audio, 3, 6);
  std::string trace = audio->traceText();
  EXPECT_NE(trace.find("6 play 1 ramp_64.wav 1\n6 play 5 saw_64.wav 1\n"), std::string::npos) << trace;
  EXPECT_EQ(text(player->instrumentNames.get().get(2)).substr(0, 4), "keep");
  EXPECT_EQ(player->instrumentParams.get().get(8), 3);
  EXPECT_EQ(player->columns[0][4], u'y');
}

}  // namespace
