// The real intro shown larger: its command line (--scale, --fullscreen, --help, --version, a bad
// option), a window twice the size whose picture is the 640 x 480 frame with every pixel doubled,
// full screen on the test X server's 1280 x 1024 with the picture between black bars, and
// ALT+ENTER switching between the two.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/e2e/e2e_intro_support.h"

// Xlib last: its macros (None, Bool) clash with names in the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

using e2eintro::binaryDir;
using e2eintro::Grab;
using e2eintro::Picture;
using e2eintro::Program;
using e2eintro::ProgramOptions;
using e2eintro::saveGrab;
using E2eScreenServer = e2eintro::Screen;

ProgramOptions withArgs(std::vector<std::string> args) {
  ProgramOptions options;
  options.args = std::move(args);
  return options;
}

void sleepSeconds(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool sizeBecomes(E2eScreenServer& screen, unsigned long window, int width, int height) {
  auto* display = static_cast<Display*>(screen.display());
  XWindowAttributes attributes{};
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       std::chrono::steady_clock::now() < deadline; sleepSeconds(0.1)) {
    if (XGetWindowAttributes(display, window, &attributes) && attributes.width == width &&
        attributes.height == height)
      return true;
  }
  return false;
}

class E2eScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(screen.connected()) << "needs the test X server (scripts/with-xvfb)";
    auto* display = static_cast<Display*>(screen.display());
    ASSERT_EQ(DisplayWidth(display, DefaultScreen(display)), 1280) << "the test X server is 1280 x 1024";
    ASSERT_EQ(DisplayHeight(display, DefaultScreen(display)), 1024);
    ASSERT_TRUE(back.load(binaryDir() + "/data/back.png"));
    ASSERT_TRUE(scanlines.load(binaryDir() + "/data/scanlines.png"));
    ASSERT_TRUE(font.load(binaryDir() + "/data/fonti.png"));
  }

  // The picture of a grab (the 1280 x 960 rectangle at `top`) is the intro's frame with every
  // pixel doubled: each 2 x 2 block is one colour, and halved it shows the floor's line colours
  // and reads back the title line, as the 640 x 480 window does.
  void expectDoubledFrame(const std::vector<Grab>& grabs, int top, const std::string& name) {
    std::vector<Grab> frames;
    for (const Grab& grab : grabs) {
      int uneven = 0;
      frames.push_back(e2eintro::halve(e2eintro::cut(grab, 0, top, 1280, 960), uneven));
      EXPECT_EQ(uneven, 0) << "2 x 2 blocks of more than one colour; " << saveGrab(grab, name);
    }
    for (int k : {1, 97, 193, 289}) {
      for (int side : {-1, 1}) {
        bool shown = false;
        for (const Grab& frame : frames) {
          for (int y : {450, 460, 470})
            shown = shown || e2eintro::fanLineShows(frame, back, scanlines, k, side, y);
        }
        EXPECT_TRUE(shown) << "fan line k=" << k << " side " << side << "; " << saveGrab(grabs[0], name);
      }
    }
    EXPECT_EQ(e2eintro::readText(frames.front(), font, 420, 5, 22), "playing... Brackenfold")
        << saveGrab(grabs[0], name);
  }

  std::vector<Grab> grabSome(unsigned long window) {
    std::vector<Grab> grabs;
    for (int i = 0; i < 10; ++i) {
      grabs.push_back(screen.grab(window));
      sleepSeconds(0.15);
    }
    return grabs;
  }

  E2eScreenServer screen;
  Picture back, scanlines, font;
};

TEST_F(E2eScreen, TheCommandLineIsCheckedBeforeAnyWindowOpens) {
  const std::string intro = binaryDir() + "/brackenfold-intro";
  {
    Program help(intro, withArgs({"--help"}));
    EXPECT_EQ(help.waitForExit(30), 0);
    EXPECT_NE(help.output().find("usage: brackenfold-intro [--fullscreen] [--scale N]"), std::string::npos)
        << help.output();
  }
  {
    Program version(intro, withArgs({"--version"}));
    EXPECT_EQ(version.waitForExit(30), 0);
    EXPECT_EQ(version.output(), "brackenfold-intro 1.0\n");
  }
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--window"}, {"--scale"}, {"--scale", "0"}, {"--scale", "two"}, {"--scale=-1"}, {"song.dat"}}) {
    Program intro2(intro, withArgs(bad));
    EXPECT_EQ(intro2.waitForExit(30), 2) << bad[0] << ": " << intro2.output();
    EXPECT_NE(intro2.output().find("usage: brackenfold-intro"), std::string::npos) << intro2.output();
  }
  Program tooLarge(intro, withArgs({"--scale", "3"}));
  EXPECT_EQ(tooLarge.waitForExit(30), 2);
  EXPECT_NE(
      tooLarge.output().find("a window 3 times 640 x 480 does not fit the 1280 x 1024 desktop: the scale "
                             "goes from 1 to 2"),
      std::string::npos)
      << tooLarge.output();
  EXPECT_EQ(screen.findWindow(tooLarge.pid(), 0.1), 0u);
}

TEST_F(E2eScreen, ScaleTwoShowsTheFrameWithEveryPixelDoubled) {
  Program intro(binaryDir() + "/brackenfold-intro", withArgs({"--scale", "2"}));
  unsigned long window = screen.findWindow(intro.pid(), 30);
  ASSERT_NE(window, 0u) << intro.output();
  ASSERT_TRUE(sizeBecomes(screen, window, 1280, 960));
  sleepSeconds(1.5);
  expectDoubledFrame(grabSome(window), 0, "scale-2");
  screen.closeWindow(window);
  EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
}

TEST_F(E2eScreen, FullScreenFillsTheMonitorWithThePictureBetweenBarsAndAltEnterSwitches) {
  Program intro(binaryDir() + "/brackenfold-intro", withArgs({"--fullscreen"}));
  unsigned long window = screen.findWindow(intro.pid(), 30);
  ASSERT_NE(window, 0u) << intro.output();
  ASSERT_TRUE(sizeBecomes(screen, window, 1280, 1024));
  sleepSeconds(1.5);
  std::vector<Grab> grabs = grabSome(window);
  int lit = 0;
  for (int y : {0, 31, 992, 1023}) {
    for (int x = 0; x < 1280; ++x) lit += grabs[0].at(x, y) != 0;
  }
  EXPECT_EQ(lit, 0) << "the bars above and below the picture are black; " << saveGrab(grabs[0], "fullscreen");
  expectDoubledFrame(grabs, 32, "fullscreen");

  screen.pressKey(window, "alt+Return");
  EXPECT_TRUE(sizeBecomes(screen, window, 640, 480)) << "ALT+ENTER goes back to the window";
  sleepSeconds(0.5);
  Grab windowed = screen.grab(window);
  EXPECT_EQ(e2eintro::readText(windowed, font, 420, 5, 22), "playing... Brackenfold")
      << saveGrab(windowed, "alt-enter");
  screen.pressKey(window, "alt+Return");
  EXPECT_TRUE(sizeBecomes(screen, window, 1280, 1024)) << "and to full screen again";

  screen.closeWindow(window);
  EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
}

}  // namespace
