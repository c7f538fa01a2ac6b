// vumo-play without a terminal: the real player over the recording driver, with the muting driver
// between them. The screen is checked as text (renderScreen of the session's snapshot), the keys
// through the channel calls they cause, and the watch reload through the rows played after it.
#include "tools/vumo/play_session.h"
#include "tools/vumo/play_view.h"
#include "vumo_test_support.h"

namespace {

using namespace vumotest;

// A fresh recording driver under a fresh muting one, and a session on `song`.
struct Rig {
  RecordingAudio* recorder;
  vumo::MutingAudio* audio;
  std::unique_ptr<vumo::PlaySession> session;

  explicit Rig(const std::string& song) {
    vumo::ensureHostGame();
    recorder = new RecordingAudio();
    audio = new vumo::MutingAudio(recorder);
    session = std::make_unique<vumo::PlaySession>(audio, song);
    std::string error;
    EXPECT_TRUE(session->load(error)) << error;
  }
  void ticks(int count) {
    for (int i = 0; i < count; ++i) {
      recorder->setTick(++tick);
      session->tick();
    }
  }
  // Ticks until the row shown is `row` of `position` (at most a minute of song).
  void playUntil(int position, int row) {
    for (int i = 0; i < 51 * 60; ++i) {
      vumo::PlayState state = session->snapshot();
      if (state.position == position && state.row == row) return;
      ticks(1);
    }
    ADD_FAILURE() << "never reached position " << position << " row " << row;
  }
  int tick = 0;
};

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(PlayDisplay, ShowsThePositionTheOrderListAndEachVoiceFromThePlayer) {
  Rig rig(compileTestSong("tune"));
  // tune: speed 4, order intro main main; row 0 of intro has bass on voice 1 (C-2 c) and the pad
  // on voice 4 (G-3 6, type tri).
  rig.ticks(5);  // the first row is read on tick 5
  const vumo::PlayState state = rig.session->snapshot();
  const std::vector<std::string> screen = vumo::renderScreen(state, 80, 24);
  ASSERT_EQ(screen.size(), 24u);
  for (const std::string& line : screen) EXPECT_LE(line.size(), 80u) << line;
  const std::string text = joined(screen);
  EXPECT_EQ(screen[0].rfind("vumo-play  tune.dat", 0), 0u) << text;
  EXPECT_EQ(screen[1], "position 00/03  pattern 00  row 00  speed 4") << text;
  EXPECT_EQ(screen[2], "order [00] 01 01") << text;
  // Voice 1: the bass's note, number, name, type, volume c = 1.5 and the level sent to channel 1.
  EXPECT_EQ(screen[4].substr(0, 44), "1 C-2   1 bass         ramp+saw   1.500 ####") << text;
  const float sent = static_cast<float>(lastValue(parseTrace(rig.recorder->traceText()), "volume", 1, 5));
  EXPECT_FLOAT_EQ(state.voices[0].level, sent);
  EXPECT_NE(screen[4].find("###############+"), std::string::npos)
      << "a level above 1 ends in +: " << screen[4];
  EXPECT_NE(screen[7].find("4 G-3   4 pad          tri        0.750 ######"), std::string::npos) << text;
  // The rows around the current one, the current one marked.
  EXPECT_NE(text.find(">00 C-2  c 1  | ...  . .  | C-3  8 3  | G-3  6 4"), std::string::npos) << text;
  EXPECT_NE(text.find(" 01 ...  . .  |"), std::string::npos) << text;
  // VUMO_SHOW_SCREEN=1 prints the screen, to look at the layout.
  if (std::getenv("VUMO_SHOW_SCREEN") != nullptr) std::printf("%s", text.c_str());
  EXPECT_EQ(screen[23], "space pause  left/right position  1-4 mute  r restart  q quit");

  // Smaller terminals get fewer rows and shorter lines, never more than they hold.
  for (auto [width, height] : {std::pair{40, 10}, std::pair{20, 3}, std::pair{1, 1}}) {
    const auto small = vumo::renderScreen(state, width, height);
    ASSERT_EQ(static_cast<int>(small.size()), height);
    for (const std::string& line : small) EXPECT_LE(static_cast<int>(line.size()), width);
  }
  EXPECT_EQ(vumo::rowLine(state).rfind("position 00 pattern 00 row 00 | C-2  c 1 | ", 0), 0u)
      << vumo::rowLine(state);
}

TEST(PlayDisplay, MarksPauseMutesAndTheMessage) {
  Rig rig(compileTestSong("tune"));
  rig.ticks(5);
  rig.session->togglePause();
  rig.session->toggleMute(2);
  rig.session->setMessage("no sound device: playing silently, rows timed by the clock");
  const auto screen = vumo::renderScreen(rig.session->snapshot(), 80, 24);
  EXPECT_NE(screen[0].find("[paused]"), std::string::npos);
  EXPECT_NE(screen[6].find("MUTED"), std::string::npos) << screen[6];
  EXPECT_EQ(screen[5].find("MUTED"), std::string::npos);
  EXPECT_EQ(screen[22], "no sound device: playing silently, rows timed by the clock");
}

TEST(PlayKeys, MuteSilencesExactlyThatVoicesTwoChannels) {
  const std::string song = compileTestSong("tune");
  std::vector<TraceLine> plain, muted;
  {
    Rig rig(song);
    rig.ticks(200);
    plain = parseTrace(rig.recorder->traceText());
  }
  {
    Rig rig(song);
    rig.session->toggleMute(1);  // voice 2: channels 2 and 6
    rig.recorder->clearCalls();
    rig.ticks(200);
    muted = parseTrace(rig.recorder->traceText());
  }
  ASSERT_EQ(plain.size(), muted.size());
  int silenced = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    const TraceLine& a = plain[i];
    const TraceLine& b = muted[i];
    ASSERT_EQ(a.op + std::to_string(a.channel), b.op + std::to_string(b.channel)) << i;
    if (a.op == "volume" && (a.channel == 2 || a.channel == 6)) {
      EXPECT_EQ(b.value(), 0.0) << "tick " << b.tick;
      silenced += a.value() != 0;
    } else {
      EXPECT_EQ(a.arg, b.arg) << a.op << " " << a.channel << " tick " << a.tick;
    }
  }
  EXPECT_GT(silenced, 0) << "voice 2 sounds in tune";

  // Unmuting gives the channels back the level the player sent last, at once.
  Rig rig(song);
  rig.session->toggleMute(0);
  rig.ticks(12);
  rig.recorder->clearCalls();
  rig.session->toggleMute(0);
  auto calls = parseTrace(rig.recorder->traceText());
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_FLOAT_EQ(static_cast<float>(calls[0].value()), rig.audio->sentLevel(1));
  EXPECT_GT(calls[0].value(), 0.0);
}

TEST(PlayKeys, RestartJumpAndPause) {
  Rig rig(compileTestSong("tune"));
  rig.playUntil(1, 3);
  // Restart: the voices stop, and position 0's first row comes after speed + 1 ticks, as in the intro.
  rig.recorder->clearCalls();
  rig.session->restart();
  EXPECT_EQ(rig.session->snapshot().row, -1);
  auto calls = parseTrace(rig.recorder->traceText());
  ASSERT_EQ(calls.size(), 8u);
  for (int c = 0; c < 8; ++c)
    EXPECT_EQ(calls[c].op + std::to_string(calls[c].channel), "stop" + std::to_string(c + 1));
  rig.ticks(4);
  EXPECT_EQ(rig.session->snapshot().row, -1);
  rig.ticks(1);
  EXPECT_EQ(rig.session->snapshot().position, 0);
  EXPECT_EQ(rig.session->snapshot().row, 0);
  EXPECT_EQ(rig.session->snapshot().pattern, 0);

  // Right: the next position's first row on the next tick; left from 0 wraps to the last.
  rig.ticks(6);
  rig.session->jump(+1);
  rig.ticks(1);
  vumo::PlayState state = rig.session->snapshot();
  EXPECT_EQ(state.position, 1);
  EXPECT_EQ(state.row, 0);
  EXPECT_EQ(state.pattern, 1);
  rig.session->jump(-1);
  rig.session->jump(-1);
  rig.ticks(1);
  state = rig.session->snapshot();
  EXPECT_EQ(state.position, 2);
  EXPECT_EQ(state.row, 0);

  // Pause: no tick reaches the player, so no channel call at all; resume goes on from there.
  rig.session->togglePause();
  rig.recorder->clearCalls();
  rig.ticks(50);
  for (const TraceLine& line : parseTrace(rig.recorder->traceText())) EXPECT_NE(line.op, "volume");
  EXPECT_EQ(rig.session->snapshot().row, 0);
  rig.session->togglePause();
  rig.ticks(4);
  EXPECT_EQ(rig.session->snapshot().row, 1);
}

TEST(PlayWatch, ASavedSourceGoesOnAtTheSamePositionAndRowAndABadOneKeepsTheOldSong) {
  const std::string path = scratchDir() + "/watched.vumo";
  const std::string head =
      "speed 2\ninstrument 1 lead type=tri decay=8\norder a b\npattern a\n  C-2 8 lead | ... | ... | "
      "...\nend\n";
  writeFile(path, head + "pattern b\n  rest 6\n  E-2 8 lead | ... | ... | ...\nend\n");
  Rig rig(path);
  rig.session->setWatching(true);
  rig.playUntil(1, 4);

  writeFile(path, head + "pattern b\n  rest 6\n  G-2 8 lead | ... | ... | ...\nend\n");
  ASSERT_TRUE(rig.session->reload()) << rig.session->reloadError();
  vumo::PlayState state = rig.session->snapshot();
  EXPECT_EQ(state.position, 1);
  EXPECT_EQ(state.row, 4);
  EXPECT_EQ(vumo::cellText(state.rows[6][0]), "G-2  8 1 ") << "the new song's rows";
  rig.playUntil(1, 6);
  EXPECT_EQ(rig.session->snapshot().voices[0].note, 7) << "G played, not E";
  EXPECT_EQ(rig.tick, 3 + 2 * (32 + 6)) << "no row skipped or repeated by the reload";

  // A compile error: shown as FILE:LINE: reason, and the old song plays on.
  writeFile(path, head + "pattern b\n  X-2 8 lead | ... | ... | ...\nend\n");
  EXPECT_FALSE(rig.session->reload());
  const auto screen = vumo::renderScreen(rig.session->snapshot(), 80, 24);
  const std::string expected =
      path + ":8: voice 1: 'X-2' is not a note (C-3, C#3 ... B-9, ..., off, sl-, sl+, brk)";
  EXPECT_EQ(rig.session->snapshot().message, expected);
  // Wrapped to the width at a space, not cut.
  EXPECT_EQ(screen[21] + " " + screen[22], expected);
  EXPECT_LE(screen[21].size(), 80u);
  rig.ticks(2);
  EXPECT_EQ(rig.session->snapshot().row, 7);
  EXPECT_EQ(rig.session->snapshot().position, 1);

  // Fixed again: the message goes.
  writeFile(path, head + "pattern b\nend\n");
  EXPECT_TRUE(rig.session->reload());
  EXPECT_EQ(rig.session->snapshot().message, "");
}

}  // namespace

namespace {

TEST(PlayKeys, AJumpStopsWhatTheOldPositionLeftAndShowsTheNewPositionEvenWhilePaused) {
  Rig rig(compileTestSong("tune"));
  rig.playUntil(0, 2);
  rig.recorder->clearCalls();
  rig.session->jump(+1);
  auto calls = parseTrace(rig.recorder->traceText());
  ASSERT_EQ(calls.size(), 8u);
  for (int c = 0; c < 8; ++c)
    EXPECT_EQ(calls[c].op + std::to_string(calls[c].channel), "stop" + std::to_string(c + 1));
  EXPECT_EQ(vumo::renderScreen(rig.session->snapshot(), 80, 24)[1],
            "position 01/03  pattern 01  row --  speed 4");
  // The levels the old position set are gone: before a new note, the voices send 0.
  for (int v = 0; v < 4; ++v) EXPECT_EQ(rig.session->player()->voiceLevels[v].volume, 0.0f) << v;

  rig.session->togglePause();
  rig.session->jump(+1);
  rig.ticks(3);
  EXPECT_EQ(vumo::renderScreen(rig.session->snapshot(), 80, 24)[1],
            "position 02/03  pattern 01  row --  speed 4");
}

TEST(PlayDisplay, ASourceShowsItsOwnPatternNamesItsWarningsAndTheReload) {
  const std::string path = scratchDir() + "/named.vumo";
  const std::string head = "speed 2\ninstrument 1 lead type=tri decay=0\norder intro verse\n";
  writeFile(path, head +
                      "pattern verse\n  C-2 8 lead | ... | ... | ...\nend\npattern intro\n  E-2 8 lead | ... "
                      "| ... | ...\nend\n");
  Rig rig(path);
  rig.ticks(3);
  vumo::PlayState state = rig.session->snapshot();
  const auto screen = vumo::renderScreen(state, 60, 24);
  EXPECT_EQ(screen[1], "position 00/02  pattern intro  row 00  speed 2")
      << "the first order entry plays first";
  EXPECT_EQ(screen[2], "order [intro] verse");
  ASSERT_EQ(state.warnings.size(), 1u);
  EXPECT_EQ(state.warnings[0].rfind(path + ":2: warning: instrument 'lead' has decay=0", 0), 0u)
      << state.warnings[0];
  // Wrapped to the width below the rows, above the key help.
  const std::string shown = screen[20] + " " + screen[21] + " " + screen[22];
  EXPECT_NE(shown.find("(silence with \"# allow decay: why\")"), std::string::npos) << shown;
  EXPECT_EQ(state.reloaded, "");

  writeFile(path, head +
                      "pattern verse\n  C-2 8 lead | ... | ... | ...\nend\npattern intro\n  G-2 8 lead | ... "
                      "| ... | ... # allow decay: x\nend\n");
  ASSERT_TRUE(rig.session->reload()) << rig.session->reloadError();
  state = rig.session->snapshot();
  EXPECT_EQ(state.reloaded.rfind("reloaded ", 0), 0u);
  EXPECT_EQ(state.reloaded.size(), std::string("reloaded 12:34:56").size()) << state.reloaded;
  EXPECT_NE(vumo::renderScreen(state, 80, 24)[0].find(state.reloaded), std::string::npos);
}

}  // namespace
