#include "tests/graphics/gl_fixture.h"

#include <GLFW/glfw3.h>
#include <stb/stb_image_write.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "host/game.h"
#include "runtime/collector.h"

namespace {

GLFWwindow* window = nullptr;
bool triedContext = false;

std::filesystem::path scratchDir(const char* leaf) {
  const char* base = std::getenv("CORVANE_BINARY_DIR");
  std::filesystem::path dir = std::filesystem::path(base != nullptr ? base : ".") / "tests" / leaf;
  std::filesystem::create_directories(dir);
  return dir;
}

GLFWwindow* openWindow() {
  glfwDefaultWindowHints();
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 1);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
  GLFWwindow* w = glfwCreateWindow(kWindowWidth, kWindowHeight, "graphics test", nullptr, nullptr);
  if (w == nullptr) return nullptr;
  glfwMakeContextCurrent(w);
  // What the host's openWindow does after a successful creation.
  contextGeneration += 1;
  auto* game = static_cast<VxGlfwGame*>(currentGame);
  game->window_ = w;
  game->windowWidth_ = kWindowWidth;
  game->windowHeight_ = kWindowHeight;
  return w;
}

std::vector<unsigned char> toRgba(const std::vector<uint32_t>& pixels) {
  std::vector<unsigned char> out;
  out.reserve(pixels.size() * 4);
  for (uint32_t p : pixels) {
    out.push_back(static_cast<unsigned char>(p >> 16));
    out.push_back(static_cast<unsigned char>(p >> 8));
    out.push_back(static_cast<unsigned char>(p));
    out.push_back(static_cast<unsigned char>(p >> 24));
  }
  return out;
}

}  // namespace

bool ensureGlContext() {
  if (!triedContext) {
    triedContext = true;
    initCollector();
    if (glfwInit() == GLFW_TRUE) {
      currentGame = new VxCorvaneGame();
      window = openWindow();
    }
  }
  if (window == nullptr) {
    ADD_FAILURE() << "no OpenGL context: is DISPLAY set (scripts/with-xvfb)?";
    return false;
  }
  glfwMakeContextCurrent(window);
  return true;
}

GLFWwindow* testWindow() {
  return window;
}

void replaceTestWindow() {
  GLFWwindow* old = window;
  window = openWindow();
  ASSERT_NE(window, nullptr);
  glfwDestroyWindow(old);
  glfwMakeContextCurrent(window);
}

std::vector<uint32_t> readBack(gxtkGraphics* device, int x, int y, int width, int height) {
  Array<int> pixels(width * height);
  device->readPixels(pixels, x, y, width, height, 0, width);
  std::vector<uint32_t> out(static_cast<size_t>(width) * height);
  for (int i = 0; i < width * height; ++i) out[i] = static_cast<uint32_t>(pixels[i]);
  return out;
}

std::string hexColour(uint32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", c);
  return text;
}

std::vector<uint32_t> makePicture(int width, int height, const std::function<uint32_t(int, int)>& pixel) {
  std::vector<uint32_t> out(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out[static_cast<size_t>(y) * width + x] = pixel(x, y);
  }
  return out;
}

::testing::AssertionResult picturesMatch(const std::string& name, const std::vector<uint32_t>& expected,
                                         const std::vector<uint32_t>& actual, int width, int height,
                                         int tolerance) {
  int mismatches = 0;
  int firstX = 0, firstY = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t e = expected[static_cast<size_t>(y) * width + x];
      uint32_t a = actual[static_cast<size_t>(y) * width + x];
      for (int shift = 0; shift < 32; shift += 8) {
        int d = static_cast<int>((e >> shift) & 255) - static_cast<int>((a >> shift) & 255);
        if (d > tolerance || d < -tolerance) {
          if (mismatches == 0) firstX = x, firstY = y;
          ++mismatches;
          break;
        }
      }
    }
  }
  if (mismatches == 0) return ::testing::AssertionSuccess();

  std::filesystem::path dir = scratchDir("graphics-failures");
  std::string expectedPath = (dir / (name + "-expected.png")).string();
  std::string actualPath = (dir / (name + "-actual.png")).string();
  stbi_write_png(expectedPath.c_str(), width, height, 4, toRgba(expected).data(), width * 4);
  stbi_write_png(actualPath.c_str(), width, height, 4, toRgba(actual).data(), width * 4);
  size_t first = static_cast<size_t>(firstY) * width + firstX;
  return ::testing::AssertionFailure()
         << name << ": " << mismatches << " pixel(s) differ; first at (" << firstX << ", " << firstY
         << "): expected " << hexColour(expected[first]) << " got " << hexColour(actual[first])
         << " (pictures: " << expectedPath << ", " << actualPath << ")";
}

std::string writeTestPng(const std::string& name, int width, int height, int channels,
                         const std::vector<unsigned char>& pixels) {
  std::string path = (scratchDir("graphics-scratch") / name).string();
  stbi_write_png(path.c_str(), width, height, channels, pixels.data(), width * channels);
  return path;
}

std::string writeTestFile(const std::string& name, const std::vector<unsigned char>& bytes) {
  std::string path = (scratchDir("graphics-scratch") / name).string();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

void GlTest::SetUp() {
  ASSERT_TRUE(ensureGlContext());
  gxtkSurface::forcePowerOfTwo = false;
  device = new gxtkGraphics();
  device->beginFrame();
  device->setColor(255, 255, 255);
  device->setAlpha(1);
  device->setBlendMode(0);
  device->setScissor(0, 0, kWindowWidth, kWindowHeight);
  device->clear(0, 0, 0);
}
