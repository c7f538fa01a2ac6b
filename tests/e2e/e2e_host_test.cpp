// The real programs under the test X server: the intro's window as the X server sees it (title,
// size, fixed size hints, centred position), closing it with the window manager's delete message,
// start-up without a display, the update rate a program gets when it asks for 51 per second, and
// a program whose application throws or is never constructed.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdio>
#include <string>

#include "tests/e2e/e2e_intro_support.h"

// Xlib last: its macros (None, Bool) clash with names in the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

using e2eintro::binaryDir;
using e2eintro::Program;
using e2eintro::ProgramOptions;
using e2eintro::Screen;

const char* kTitle = "Brackenfold Intro 01 by Vendle/bkf";

// Standard output only: the exact lines the programs print, without OpenAL Soft's own messages.
ProgramOptions plainOutput(bool withDisplay = true, const std::string& mode = "") {
  ProgramOptions options;
  options.withDisplay = withDisplay;
  options.errorsToOutput = false;
  if (!mode.empty()) options.env.push_back("E2E_HOST_MODE=" + mode);
  return options;
}

TEST(E2eHost, TheIntroOpensItsFixedCentredWindowAndTheCloseButtonEndsItWithStatus0) {
  Screen screen;
  ASSERT_TRUE(screen.connected()) << "needs the test X server (scripts/with-xvfb)";
  Display* display = static_cast<Display*>(screen.display());
  Program intro(binaryDir() + "/brackenfold-intro", plainOutput());
  ASSERT_GT(intro.pid(), 0);
  Window window = screen.findWindow(intro.pid(), 30);
  ASSERT_NE(window, 0u) << "no window appeared; output:\n" << intro.output();

  char* name = nullptr;
  ASSERT_TRUE(XFetchName(display, window, &name));
  EXPECT_STREQ(name, kTitle);
  XFree(name);

  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
  EXPECT_EQ(attributes.width, 640);
  EXPECT_EQ(attributes.height, 480);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  // Centred on whatever screen the test X server has.
  int screenWidth = DisplayWidth(display, DefaultScreen(display));
  int screenHeight = DisplayHeight(display, DefaultScreen(display));
  EXPECT_EQ(x, (screenWidth - 640) / 2) << "screen " << screenWidth << "x" << screenHeight;
  EXPECT_EQ(y, (screenHeight - 480) / 2) << "screen " << screenWidth << "x" << screenHeight;

  XSizeHints hints = {};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(display, window, &hints, &supplied));
  ASSERT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize)) << "the window is not fixed-size";
  EXPECT_EQ(hints.min_width, 640);
  EXPECT_EQ(hints.max_width, 640);
  EXPECT_EQ(hints.min_height, 480);
  EXPECT_EQ(hints.max_height, 480);

  screen.closeWindow(window);
  EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
  EXPECT_EQ(intro.output().find("Corvane Runtime Error"), std::string::npos) << intro.output();
}

// A normal quit is silent: no message from the sound library about a device left open, whether
// the sound goes nowhere (the null back-end) or into a wave file, which is then complete.
TEST(E2eHost, TheIntroClosedNormallyPrintsNothingOnStandardError) {
  Screen screen;
  ASSERT_TRUE(screen.connected()) << "needs the test X server (scripts/with-xvfb)";
  e2eintro::Installation install("quiet-exit");
  const std::string wave = install.dir + "/capture.wav";
  for (bool toWave : {false, true}) {
    SCOPED_TRACE(toWave ? "wave back-end" : "null back-end");
    ProgramOptions options = plainOutput();
    options.errorsFile = install.dir + "/stderr.txt";
    if (toWave) options.alsoftConf = install.captureSoundTo(wave);
    Program intro(install.program, options);
    ASSERT_GT(intro.pid(), 0);
    Window window = screen.findWindow(intro.pid(), 30);
    ASSERT_NE(window, 0u) << "no window appeared; output:\n" << intro.output();
    screen.closeWindow(window);
    EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
    EXPECT_EQ(e2eintro::readWhole(options.errorsFile), "") << "standard output:\n" << intro.output();
  }
  // The wave writer fills in its sizes when the device is closed.
  const std::string bytes = e2eintro::readWhole(wave);
  ASSERT_GT(bytes.size(), 44u);
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                 static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
  };
  EXPECT_EQ(u32(4), bytes.size() - 8) << "the wave file was never finished: the device stayed open";
}

TEST(E2eHost, WithoutADisplayTheIntroReportsTheFailedStartAndExitsWith255) {
  Program intro(binaryDir() + "/brackenfold-intro", plainOutput(false));
  ASSERT_GT(intro.pid(), 0);
  EXPECT_EQ(intro.waitForExit(30), 255);
  std::string output = intro.output();
  EXPECT_NE(output.find("\nglfwInit failed\n"), std::string::npos) << output;
  EXPECT_EQ(output.rfind("GLFW Error: err=", 0), 0u) << "the error callback reports first:\n" << output;
}

TEST(E2eHost, AProgramThatAsksFor51UpdatesASecondGetsThem) {
  Program app(binaryDir() + "/e2e_host_app", plainOutput(true, "rate"));
  ASSERT_GT(app.pid(), 0);
  ASSERT_EQ(app.waitForExit(60), 0) << app.output();
  int updates = 0, from = 0, to = 0;
  std::string output = app.output();
  ASSERT_EQ(std::sscanf(output.c_str(), "updates %d from %d ms to %d ms", &updates, &from, &to), 3) << output;
  ASSERT_GE(to - from, 4000);
  double rate = (updates - 1) * 1000.0 / (to - from);
  EXPECT_NEAR(rate, 51.0, 2.0) << output;
}

TEST(E2eHost, AnExceptionWhileTheApplicationIsConstructedIsReportedWithStatus255) {
  Program app(binaryDir() + "/e2e_host_app", plainOutput(true, "throw"));
  ASSERT_GT(app.pid(), 0);
  EXPECT_EQ(app.waitForExit(30), 255);
  EXPECT_EQ(app.output(), "Corvane Runtime Error : Uncaught Corvane Exception\n");
}

TEST(E2eHost, WithoutAnApplicationTheProgramEndsWithStatus0AndNoWindow) {
  Screen screen;
  ASSERT_TRUE(screen.connected());
  Program app(binaryDir() + "/e2e_host_app", plainOutput(true, "none"));
  ASSERT_GT(app.pid(), 0);
  pid_t pid = app.pid();
  EXPECT_EQ(app.waitForExit(30), 0);
  EXPECT_EQ(app.output(), "");
  EXPECT_EQ(screen.findWindow(pid, 0.2), 0u);
}

}  // namespace
