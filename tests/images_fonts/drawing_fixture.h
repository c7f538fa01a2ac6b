// Pieces the image and font tests share: a device that records every surface draw before drawing
// it, a fixture that makes it the render device of a fresh graphics context, scratch files under a
// directory that the host takes for the program's own (so "corvane://data/x" is <scratch>/data/x),
// and a way to run a statement that must end the process through the runtime-error path.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "graphics/render_device.h"
#include "graphics/surface.h"
#include "tests/graphics/gl_fixture.h"

struct SurfaceDraw {
  bool whole;  // drawSurface rather than drawSurfaceRegion
  gxtkSurface* surface;
  float x, y;
  int srcX, srcY, srcWidth, srcHeight;
};

class RecordingDevice : public gxtkGraphics {
 public:
  int drawSurface(gxtkSurface* surface, float x, float y) override;
  int drawSurfaceRegion(gxtkSurface* surface, float x, float y, int srcX, int srcY, int srcWidth,
                        int srcHeight) override;
  std::vector<SurfaceDraw> draws;
};

// The directory the host resolves data paths against in these tests, and files below its data/.
std::string scratchAppDirectory();
// Writes <scratch>/data/<relative> (directories made as needed) and returns the absolute path.
std::string writeDataPng(const std::string& relative, int width, int height, int channels,
                         const std::vector<unsigned char>& pixels);
std::string writeDataText(const std::string& relative, const std::string& text);
void removeDataFile(const std::string& relative);
// An RGBA picture from a function of (x, y) giving 0xAARRGGBB.
std::vector<unsigned char> rgbaPixels(int width, int height, const std::function<uint32_t(int, int)>& pixel);

// A fresh context whose registered and render device is a RecordingDevice with its frame begun:
// white, alpha 1, alpha blending, no scissor, cleared to black.
class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  RecordingDevice* device = nullptr;
};

// Runs body in a death-test child with standard input at its end and standard output joined to
// standard error, so that EXPECT_EXIT sees the runtime-error banner.
void runExpectingRuntimeError(const std::function<void()>& body);
