#include "tests/images_fonts/drawing_fixture.h"

#include <stb/stb_image_write.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "graphics/graphics_context.h"
#include "host/game.h"

int RecordingDevice::drawSurface(gxtkSurface* surface, float x, float y) {
  draws.push_back({true, surface, x, y, 0, 0, 0, 0});
  return gxtkGraphics::drawSurface(surface, x, y);
}

int RecordingDevice::drawSurfaceRegion(gxtkSurface* surface, float x, float y, int srcX, int srcY,
                                       int srcWidth, int srcHeight) {
  draws.push_back({false, surface, x, y, srcX, srcY, srcWidth, srcHeight});
  return gxtkGraphics::drawSurfaceRegion(surface, x, y, srcX, srcY, srcWidth, srcHeight);
}

std::string scratchAppDirectory() {
  const char* base = std::getenv("CORVANE_BINARY_DIR");
  std::filesystem::path dir =
      std::filesystem::path(base != nullptr ? base : ".") / "tests" / "images-fonts-scratch";
  std::filesystem::create_directories(dir / "data");
  return dir.string();
}

namespace {

std::filesystem::path dataFile(const std::string& relative) {
  std::filesystem::path path = std::filesystem::path(scratchAppDirectory()) / "data" / relative;
  std::filesystem::create_directories(path.parent_path());
  return path;
}

}  // namespace

std::string writeDataPng(const std::string& relative, int width, int height, int channels,
                         const std::vector<unsigned char>& pixels) {
  std::string path = dataFile(relative).string();
  if (stbi_write_png(path.c_str(), width, height, channels, pixels.data(), width * channels) == 0) {
    ADD_FAILURE() << "could not write " << path;
  }
  return path;
}

std::string writeDataText(const std::string& relative, const std::string& text) {
  std::string path = dataFile(relative).string();
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) ADD_FAILURE() << "could not write " << path;
  return path;
}

void removeDataFile(const std::string& relative) {
  std::filesystem::remove(dataFile(relative));
}

std::vector<unsigned char> rgbaPixels(int width, int height, const std::function<uint32_t(int, int)>& pixel) {
  std::vector<unsigned char> out;
  out.reserve(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixel(x, y);
      out.push_back(static_cast<unsigned char>(p >> 16));
      out.push_back(static_cast<unsigned char>(p >> 8));
      out.push_back(static_cast<unsigned char>(p));
      out.push_back(static_cast<unsigned char>(p >> 24));
    }
  }
  return out;
}

void DrawingTest::SetUp() {
  ASSERT_TRUE(ensureGlContext());
  static_cast<VxGlfwGame*>(currentGame)->appDirectory = String(scratchAppDirectory().c_str());
  gxtkSurface::forcePowerOfTwo = false;
  initGraphicsContext();
  device = new RecordingDevice();
  registerGraphicsDevice(device);
  device->beginFrame();
  device->setColor(255, 255, 255);
  device->setAlpha(1);
  device->setBlendMode(0);
  device->setScissor(0, 0, kWindowWidth, kWindowHeight);
  device->clear(0, 0, 0);
  renderDevice = device;
}

void DrawingTest::TearDown() {
  renderDevice = nullptr;
}

void runExpectingRuntimeError(const std::function<void()>& body) {
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::_Exit(3);
  std::fflush(stdout);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  body();
  // Reaching this line means no error was raised.
  std::_Exit(4);
}
