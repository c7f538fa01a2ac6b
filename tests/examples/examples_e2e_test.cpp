// The four example programs as a user runs them: what they draw, what they print and play, how
// they answer keys and the mouse, and that closing the window ends them with status 0.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/e2e/e2e_intro_support.h"

namespace {

using e2eintro::binaryDir;
using e2eintro::Grab;
using e2eintro::Program;
using e2eintro::ProgramOptions;
using e2eintro::Screen;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

void pause(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Runs xdotool with the arguments (XTEST input), after focusing the window.
void xdotool(unsigned long window, const std::string& arguments) {
  std::string id = std::to_string(window);
  std::string command = "xdotool windowfocus " + id + " " + arguments + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "xdotool failed: " << command;
  pause(0.3);
}

// Waits until the program's output holds the text; false after the time-out.
bool waitForOutput(Program& program, const std::string& text, double seconds = 10) {
  for (double waited = 0; waited < seconds; waited += 0.05) {
    if (program.output().find(text) != std::string::npos) return true;
    pause(0.05);
  }
  return false;
}

// The columns [first, last] of the rows [top, bottom) that hold a pixel other than background;
// first > last when there is none.
struct Extent {
  int first = kWidth;
  int last = -1;
  int pixels = 0;
};
Extent inkIn(const Grab& grab, int top, int bottom, uint32_t background) {
  Extent e;
  for (int y = top; y < bottom && y < grab.height; ++y) {
    for (int x = 0; x < grab.width; ++x) {
      if (grab.at(x, y) == background) continue;
      e.first = std::min(e.first, x);
      e.last = std::max(e.last, x);
      e.pixels += 1;
    }
  }
  return e;
}

// A started example with its window; closing it is each test's last step.
struct Running {
  Screen screen;
  Program program;
  unsigned long window = 0;
  Running(const std::string& name, const ProgramOptions& options)
      : program(binaryDir() + "/example-" + name, options) {
    if (screen.connected() && program.pid() > 0) window = screen.findWindow(program.pid(), 30);
  }
  explicit Running(const std::string& name) : Running(name, ProgramOptions()) {}
  int close() {
    screen.closeWindow(window);
    return program.waitForExit(30);
  }
};

// An OpenAL Soft configuration that writes what the program plays to `wave`.
std::string captureTo(const std::string& name, const std::string& wave) {
  std::string conf = (std::filesystem::temp_directory_path() / (name + "-alsoft.conf")).string();
  std::ofstream(conf) << "[general]\ndrivers=wave\nfrequency=44100\nchannels=stereo\nsample-type=int16\n"
                      << "[wave]\nfile=" << wave << "\n";
  return conf;
}

TEST(Examples, HelloCentresBothLines) {
  Running hello("hello");
  ASSERT_NE(hello.window, 0u) << hello.program.output();
  pause(1.0);
  Grab grab = hello.screen.grab(hello.window);
  ASSERT_EQ(grab.width, kWidth);
  const uint32_t background = 0x203060;
  EXPECT_EQ(grab.at(2, 2), background) << e2eintro::saveGrab(grab, "hello");
  // The default font's line around y = 180 and the bitmap font's around y = 280, each centred on
  // x = 320 (to the width of a glyph's side bearing).
  Extent small = inkIn(grab, 150, 215, background);
  Extent big = inkIn(grab, 215, 345, background);
  for (const Extent& line : {small, big}) {
    ASSERT_GT(line.pixels, 50) << "no text drawn: " << e2eintro::saveGrab(grab, "hello");
    EXPECT_NEAR((line.first + line.last) / 2.0, 320.0, 6.0) << line.first << ".." << line.last;
  }
  EXPECT_GT(big.last - big.first, small.last - small.first) << "the bitmap font's line is the wider";
  EXPECT_EQ(hello.close(), 0) << hello.program.output();
}

TEST(Examples, BounceMovesTheBallsAddsOneOnSpaceAndSoundsTheBounces) {
  std::string wave = (std::filesystem::temp_directory_path() / "examples-bounce.wav").string();
  std::filesystem::remove(wave);
  ProgramOptions options;
  options.alsoftConf = captureTo("examples-bounce", wave);
  Running bounce("bounce", options);
  ASSERT_NE(bounce.window, 0u) << bounce.program.output();
  ASSERT_TRUE(waitForOutput(bounce.program, "balls: 2\n"));

  pause(0.5);
  Grab before = bounce.screen.grab(bounce.window);
  pause(0.5);
  Grab after = bounce.screen.grab(bounce.window);
  const uint32_t background = 0x000020;
  Extent balls = inkIn(after, 40, kHeight, background);
  EXPECT_GT(balls.pixels, 2000) << e2eintro::saveGrab(after, "bounce");
  EXPECT_NE(before.pixels, after.pixels) << "the balls did not move";

  xdotool(bounce.window, "key space");
  EXPECT_TRUE(waitForOutput(bounce.program, "balls: 3\n")) << bounce.program.output();

  pause(3.0);  // long enough for the fastest ball to reach an edge
  EXPECT_EQ(bounce.close(), 0) << bounce.program.output();
  e2eintro::Sound sound;
  ASSERT_TRUE(sound.load(wave)) << wave;
  EXPECT_GT(e2eintro::rms(sound.samples, 0, sound.samples.size()), 0.001) << "no bounce was heard";
  std::filesystem::remove(wave);
  std::filesystem::remove(options.alsoftConf);
}

TEST(Examples, TypingEditsTheLineAndFollowsTheMouse) {
  Running typing("typing");
  ASSERT_NE(typing.window, 0u) << typing.program.output();
  pause(0.5);
  const uint32_t background = 0x101010;
  int emptyLine = inkIn(typing.screen.grab(typing.window), 52, 80, background).pixels;
  xdotool(typing.window, "type --delay 60 hellox");
  Grab typed = typing.screen.grab(typing.window);
  EXPECT_GT(inkIn(typed, 52, 80, background).pixels, emptyLine + 100)
      << "the typed text is not shown: " << e2eintro::saveGrab(typed, "typing-line");
  // DELETE gives the character 127, which is no text: the BACKSPACE after it takes the x.
  xdotool(typing.window, "key Delete BackSpace Return");
  EXPECT_TRUE(waitForOutput(typing.program, "hello\n")) << typing.program.output();
  EXPECT_EQ(typing.program.output().find("hellox"), std::string::npos)
      << "DELETE typed or BACKSPACE did not delete";

  xdotool(typing.window, "mousemove --window " + std::to_string(typing.window) + " 400 300 click 1");
  xdotool(typing.window, "mousemove --window " + std::to_string(typing.window) + " 200 350");
  pause(0.3);
  Grab grab = typing.screen.grab(typing.window);
  EXPECT_EQ(grab.at(400, 300), 0xFF0000u) << "the click mark: " << e2eintro::saveGrab(grab, "typing");
  EXPECT_EQ(grab.at(200, 350), 0xFFFF00u) << "the pointer: " << e2eintro::saveGrab(grab, "typing");
  EXPECT_EQ(grab.at(300, 320), background) << "between them";
  EXPECT_EQ(typing.close(), 0) << typing.program.output();
}

TEST(Examples, BreakoutPlaysAGameToItsEndSavesTheBestScoreAndStartsAgain) {
  // In a directory of its own: the state file is the working directory's ./.corvanestate.
  auto dir = std::filesystem::temp_directory_path() / "examples-breakout";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  std::string wave = (dir / "breakout.wav").string();
  ProgramOptions options;
  options.alsoftConf = captureTo("examples-breakout", wave);
  options.env.push_back("CORVANE_GC_CHECK=1");  // the collector's check mode finds nothing to stop at
  Running breakout("breakout", options);
  std::filesystem::current_path(previous);
  ASSERT_NE(breakout.window, 0u) << breakout.program.output();
  ASSERT_TRUE(waitForOutput(breakout.program, "new game, best 0\n")) << breakout.program.output();

  pause(0.5);
  Grab start = breakout.screen.grab(breakout.window);
  const uint32_t background = 0x080818;
  EXPECT_GT(inkIn(start, 60, 180, background).pixels, 40 * 50 * 16)
      << "fifty bricks" << e2eintro::saveGrab(start, "breakout");
  EXPECT_GT(inkIn(start, 440, 452, background).pixels, 80 * 12 - 10) << "the paddle";

  // Serve every ball while the paddle waits at the left edge: most balls fall past it.
  xdotool(breakout.window, "keydown Left");
  for (int i = 0; i < 120 && breakout.program.output().find("game over") == std::string::npos; ++i) {
    xdotool(breakout.window, "key space");
    pause(0.2);
  }
  xdotool(breakout.window, "keyup Left");
  ASSERT_TRUE(waitForOutput(breakout.program, "game over, score ")) << breakout.program.output();
  std::string out = breakout.program.output();
  int score = std::atoi(out.c_str() + out.find("game over, score ") + 17);
  EXPECT_GT(score, 0) << "every serve goes up into the bricks first";
  EXPECT_NE(out.find("balls left 2"), std::string::npos) << out;
  std::ifstream state(dir / ".corvanestate");
  std::string saved((std::istreambuf_iterator<char>(state)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, std::to_string(score)) << "the best score is saved";

  xdotool(breakout.window, "key space");
  EXPECT_TRUE(waitForOutput(breakout.program, "new game, best " + std::to_string(score) + "\n")) << out;
  EXPECT_EQ(breakout.close(), 0) << breakout.program.output();
  EXPECT_EQ(breakout.program.output().find("Corvane Runtime Error"), std::string::npos)
      << breakout.program.output();
  e2eintro::Sound sound;
  ASSERT_TRUE(sound.load(wave)) << wave;
  EXPECT_GT(e2eintro::rms(sound.samples, 0, sound.samples.size()), 0.001) << "no hit was heard";
  std::filesystem::remove_all(dir);
  std::filesystem::remove(options.alsoftConf);
}

TEST(Examples, TrackerPlaysTheSongAndShowsTheVoices) {
  std::string wave = (std::filesystem::temp_directory_path() / "examples-tracker.wav").string();
  std::filesystem::remove(wave);
  ProgramOptions options;
  options.alsoftConf = captureTo("examples-tracker", wave);
  Running tracker("tracker", options);
  ASSERT_NE(tracker.window, 0u) << tracker.program.output();
  EXPECT_TRUE(waitForOutput(tracker.program, "Playing songs/brackenfold.dat: File Loaded...\n"))
      << tracker.program.output();

  // Some voice is sounding at most moments of the song: look at a few frames.
  int barPixels = 0;
  for (int i = 0; i < 10 && barPixels == 0; ++i) {
    pause(0.2);
    Grab grab = tracker.screen.grab(tracker.window);
    for (int y = 120; y < 420; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint32_t p = grab.at(x, y);
        if (p != 0x000000 && p != 0x282828) barPixels += 1;
      }
    }
  }
  EXPECT_GT(barPixels, 100) << "no voice level shown";

  xdotool(tracker.window, "key 2");
  EXPECT_TRUE(waitForOutput(tracker.program, "Playing songs/nightdrive.dat: File Loaded...\n"))
      << tracker.program.output();
  EXPECT_EQ(tracker.close(), 0) << tracker.program.output();

  e2eintro::Sound sound;
  ASSERT_TRUE(sound.load(wave)) << wave;
  EXPECT_GT(e2eintro::rms(sound.samples, 0, sound.samples.size()), 0.01) << "the song was not heard";
  std::filesystem::remove(wave);
  std::filesystem::remove(options.alsoftConf);
}

}  // namespace
