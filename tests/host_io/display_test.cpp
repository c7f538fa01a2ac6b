// The GLFW host's display modes and pointer visibility, on the test display.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "host/game.h"
#include "host/services.h"

namespace {

class GlfwHost : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!glfwInit()) GTEST_SKIP() << "no display for GLFW";
  }
  void TearDown() override { glfwTerminate(); }
};

TEST_F(GlfwHost, DisplayModesAreThePrimaryMonitorsSixtyOrUnknownHertzModes) {
  VxGlfwGame game;
  Array<VxDisplayMode*> modes = game.enumerateDisplayModes();
  GLFWmonitor* monitor = glfwGetPrimaryMonitor();
  ASSERT_NE(monitor, nullptr);
  int count = 0;
  const GLFWvidmode* all = glfwGetVideoModes(monitor, &count);
  int k = 0;
  for (int i = 0; i < count; ++i) {
    if (all[i].refreshRate != 60 && all[i].refreshRate != 0) continue;
    ASSERT_LT(k, modes.length());
    EXPECT_EQ(modes[k]->width, all[i].width) << k;
    EXPECT_EQ(modes[k]->height, all[i].height) << k;
    EXPECT_EQ(modes[k]->depth + modes[k]->hertz + modes[k]->flags, 0);
    ++k;
  }
  EXPECT_EQ(k, modes.length());
}

TEST_F(GlfwHost, DesktopModeIsTheRecordedSize) {
  VxGlfwGame game;
  game.desktopVideoMode[0] = 1280;
  game.desktopVideoMode[1] = 1024;
  VxDisplayMode* mode = game.currentDesktopMode();
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->width, 1280);
  EXPECT_EQ(mode->height, 1024);
}

TEST_F(GlfwHost, ShowPointerSetsCursorModeAndNeedsAWindow) {
  VxGlfwGame game;
  game.showPointer(false);  // no window yet: nothing happens
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  GLFWwindow* window = glfwCreateWindow(64, 64, "pointer", nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  game.window_ = window;
  game.showPointer(false);
  EXPECT_EQ(glfwGetInputMode(window, GLFW_CURSOR), GLFW_CURSOR_HIDDEN);
  game.showPointer(true);
  EXPECT_EQ(glfwGetInputMode(window, GLFW_CURSOR), GLFW_CURSOR_NORMAL);
  game.window_ = nullptr;
  glfwDestroyWindow(window);
}

}  // namespace
