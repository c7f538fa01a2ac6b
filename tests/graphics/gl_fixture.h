// Shared pieces of the graphics tests: one host game and one GLFW window with a current OpenGL
// context for the whole executable (Mesa under the test Xvfb), read-back helpers, picture
// comparison that saves both pictures on a mismatch, and PNG writers for loader inputs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graphics/render_device.h"
#include "graphics/surface.h"

struct GLFWwindow;

constexpr int kWindowWidth = 128;
constexpr int kWindowHeight = 96;

// Creates the collector, GLFW, the host game (currentGame) and the window once; makes the window's
// context current. Fails the test (and returns false) when no context can be made.
bool ensureGlContext();
GLFWwindow* testWindow();
// Replaces the window by a new one with a context of its own (as the host does when it reopens its
// window): the generation goes up, and textures of the old context are gone.
void replaceTestWindow();

// Pixels as readPixels gives them: 0xAARRGGBB.
std::vector<uint32_t> readBack(gxtkGraphics* device, int x, int y, int width, int height);
inline uint32_t argb(int a, int r, int g, int b) {
  return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
         static_cast<uint32_t>(b);
}
std::string hexColour(uint32_t c);

// Compares a read-back rectangle with the expected pixels, channel by channel within tolerance.
// On a mismatch writes <name>-expected.png and <name>-actual.png under the build's
// tests/graphics-failures/ and reports the first differing pixel.
::testing::AssertionResult picturesMatch(const std::string& name, const std::vector<uint32_t>& expected,
                                         const std::vector<uint32_t>& actual, int width, int height,
                                         int tolerance = 1);
// Expected pixels from a function of (x, y).
std::vector<uint32_t> makePicture(int width, int height, const std::function<uint32_t(int, int)>& pixel);

// Writes a PNG of the given channel count (rows top first) into the build's scratch directory and
// returns its path.
std::string writeTestPng(const std::string& name, int width, int height, int channels,
                         const std::vector<unsigned char>& pixels);
// Writes arbitrary bytes to a scratch file and returns its path.
std::string writeTestFile(const std::string& name, const std::vector<unsigned char>& bytes);

// A fresh device on the test window, its frame begun.
class GlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  gxtkGraphics* device = nullptr;
};
