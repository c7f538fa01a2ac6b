// Where the host puts a program's screen in a larger window or monitor, and which window scales a
// desktop holds.
#include <gtest/gtest.h>

#include "host/screen_scaler.h"

namespace {

std::string describe(const ScreenPlacement& p) {
  return std::to_string(p.x) + "," + std::to_string(p.y) + " " + std::to_string(p.width) + "x" +
         std::to_string(p.height) + (p.wholeMultiple ? " crisp" : " smooth");
}

TEST(ScreenPlacement, TheLargestSameShapeCentredAndCrispOnlyForWholeMultiples) {
  EXPECT_EQ(describe(placeScreen(640, 480, 640, 480)), "0,0 640x480 crisp");
  EXPECT_EQ(describe(placeScreen(640, 480, 1280, 1024)), "0,32 1280x960 crisp");
  EXPECT_EQ(describe(placeScreen(640, 480, 1920, 1080)), "240,0 1440x1080 smooth");
  EXPECT_EQ(describe(placeScreen(640, 480, 2560, 1440)), "320,0 1920x1440 crisp");
  EXPECT_EQ(describe(placeScreen(640, 480, 800, 600)), "0,0 800x600 smooth");
  EXPECT_EQ(describe(placeScreen(640, 480, 1366, 768)), "171,0 1024x768 smooth");
  // Smaller than the screen: shrunk, never cut.
  EXPECT_EQ(describe(placeScreen(640, 480, 320, 400)), "0,80 320x240 smooth");
  // A window shrunk to nothing (iconified) has no picture.
  EXPECT_EQ(placeScreen(640, 480, 0, 0).width, 0);
  EXPECT_EQ(placeScreen(0, 480, 1280, 1024).width, 0);
}

TEST(ScreenPlacement, TheLargestWindowScaleFitsBothWaysAndIsAtLeastOne) {
  EXPECT_EQ(largestWindowScale(640, 480, 1280, 1024), 2);
  EXPECT_EQ(largestWindowScale(640, 480, 1920, 1080), 2);
  EXPECT_EQ(largestWindowScale(640, 480, 3840, 2160), 4);
  EXPECT_EQ(largestWindowScale(640, 480, 2560, 959), 1);
  EXPECT_EQ(largestWindowScale(640, 480, 320, 200), 1);
}

}  // namespace
