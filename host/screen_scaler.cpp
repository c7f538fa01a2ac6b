// The offscreen screen buffer and its copy into the window (host/screen_scaler.h), over OpenGL
// framebuffer objects. Their functions come from GLFW's loader: OpenGL 1.1, which the rest of the
// drawing needs, does not have them.
#include "host/screen_scaler.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;

template <class Function>
bool load(Function& function, const char* name) {
  if (function == nullptr) function = reinterpret_cast<Function>(glfwGetProcAddress(name));
  return function != nullptr;
}

// Mesa's software drivers name themselves so; a driver on a graphics card scales for next to
// nothing, and reading its picture back would stall it.
bool openGlDrawsOnTheCpu() {
  const char* copy = std::getenv("CORVANE_SCALED_COPY");
  if (copy != nullptr && std::strcmp(copy, "opengl") == 0) return false;
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (renderer == nullptr) return false;
  const std::string name = renderer;
  return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos ||
         name.find("Software Rasterizer") != std::string::npos;
}

}  // namespace

void clearToBlack() {
  GLfloat clearColour[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
  GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
  if (scissor) glEnable(GL_SCISSOR_TEST);
}

ScreenPlacement placeScreen(int screenWidth, int screenHeight, int areaWidth, int areaHeight) {
  ScreenPlacement placement;
  if (screenWidth <= 0 || screenHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return placement;
  // Compared as products, so that the exact fits (2 x 640 in 1280) come out exact.
  const long long wide = static_cast<long long>(areaWidth) * screenHeight;
  const long long tall = static_cast<long long>(areaHeight) * screenWidth;
  if (wide <= tall) {
    placement.width = areaWidth;
    placement.height = static_cast<int>(wide / screenWidth);
  } else {
    placement.height = areaHeight;
    placement.width = static_cast<int>(tall / screenHeight);
  }
  placement.x = (areaWidth - placement.width) / 2;
  placement.y = (areaHeight - placement.height) / 2;
  placement.wholeMultiple = placement.width % screenWidth == 0 && placement.height % screenHeight == 0 &&
                            placement.width / screenWidth == placement.height / screenHeight;
  return placement;
}

int largestWindowScale(int screenWidth, int screenHeight, int desktopWidth, int desktopHeight) {
  if (screenWidth <= 0 || screenHeight <= 0) return 1;
  return std::max(1, std::min(desktopWidth / screenWidth, desktopHeight / screenHeight));
}

bool ScreenScaler::loadFunctions() {
  bool all = load(genFramebuffers, "glGenFramebuffers");
  all = load(deleteFramebuffers, "glDeleteFramebuffers") && all;
  all = load(bindFramebuffer, "glBindFramebuffer") && all;
  all = load(framebufferRenderbuffer, "glFramebufferRenderbuffer") && all;
  all = load(checkFramebufferStatus, "glCheckFramebufferStatus") && all;
  all = load(genRenderbuffers, "glGenRenderbuffers") && all;
  all = load(deleteRenderbuffers, "glDeleteRenderbuffers") && all;
  all = load(bindRenderbuffer, "glBindRenderbuffer") && all;
  all = load(renderbufferStorage, "glRenderbufferStorage") && all;
  return load(blitFramebuffer, "glBlitFramebuffer") && all;
}

bool ScreenScaler::drawOffscreen(int screenWidth, int screenHeight) {
  if (!loadFunctions()) return false;
  if (framebuffer_ == 0 || width_ != screenWidth || height_ != screenHeight) {
    if (framebuffer_ != 0) {
      bindFramebuffer(GL_FRAMEBUFFER, 0);
      deleteFramebuffers(1, &framebuffer_);
      deleteRenderbuffers(1, &colour_);
      framebuffer_ = colour_ = 0;
    }
    genRenderbuffers(1, &colour_);
    bindRenderbuffer(GL_RENDERBUFFER, colour_);
    renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, screenWidth, screenHeight);
    bindRenderbuffer(GL_RENDERBUFFER, 0);
    genFramebuffers(1, &framebuffer_);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    if (checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      bindFramebuffer(GL_FRAMEBUFFER, 0);
      deleteFramebuffers(1, &framebuffer_);
      deleteRenderbuffers(1, &colour_);
      framebuffer_ = colour_ = 0;
      active_ = false;
      return false;
    }
    width_ = screenWidth;
    height_ = screenHeight;
    clearToBlack();  // a new buffer starts black, as a new window does
  }
  bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  active_ = true;
  return true;
}

void ScreenScaler::drawToWindow() {
  if (active_) bindFramebuffer(GL_FRAMEBUFFER, 0);
  active_ = false;
}

void ScreenScaler::presentInMemory(const ScreenPlacement& to) {
  frame_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
  // The rows packed tightly, whatever the program set for its own reads.
  const GLenum packing[] = {GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_ROWS};
  const GLint tight[] = {4, 0, 0, 0};
  GLint programs[4];
  for (int i = 0; i < 4; ++i) {
    glGetIntegerv(packing[i], &programs[i]);
    glPixelStorei(packing[i], tight[i]);
  }
  bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
  // BGRA bytes are the picture's 0xAARRGGBB words.
  glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, frame_.data());
  for (int i = 0; i < 4; ++i) glPixelStorei(packing[i], programs[i]);

  uint32_t* picture = image_.pixels();
  const size_t stride = static_cast<size_t>(image_.width());
  const int scale = to.width / width_;
  const size_t rowBytes = static_cast<size_t>(to.width) * sizeof(uint32_t);
  for (int row = 0; row < height_; ++row) {
    // OpenGL's rows count from the bottom, the window's from the top.
    const uint32_t* from =
        frame_.data() + static_cast<size_t>(height_ - 1 - row) * static_cast<size_t>(width_);
    uint32_t* line = picture + static_cast<size_t>(to.y + row * scale) * stride + static_cast<size_t>(to.x);
    uint32_t* out = line;
    for (int x = 0; x < width_; ++x) {
      const uint32_t pixel = from[x] | 0xff000000u;  // opaque, whatever alpha the program left
      for (int k = 0; k < scale; ++k) *out++ = pixel;
    }
    for (int k = 1; k < scale; ++k) std::memcpy(line + static_cast<size_t>(k) * stride, line, rowBytes);
  }
  image_.put();
}

bool ScreenScaler::present(GLFWwindow* window, int framebufferWidth, int framebufferHeight) {
  if (!active_) return false;
  ScreenPlacement to = placeScreen(width_, height_, framebufferWidth, framebufferHeight);
  if (memoryCopy_ == MemoryCopy::undecided)
    memoryCopy_ = openGlDrawsOnTheCpu() ? MemoryCopy::yes : MemoryCopy::no;
  if (to.width > 0 && to.wholeMultiple && memoryCopy_ == MemoryCopy::yes &&
      image_.open(window, framebufferWidth, framebufferHeight)) {
    presentInMemory(to);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    return true;
  }
  GLfloat clearColour[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
  GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  glDisable(GL_SCISSOR_TEST);

  bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  if (to.width > 0) {
    // OpenGL's rows count from the bottom: the picture's bottom edge is at height - (y + h).
    const int bottom = framebufferHeight - (to.y + to.height);
    blitFramebuffer(0, 0, width_, height_, to.x, bottom, to.x + to.width, bottom + to.height,
                    GL_COLOR_BUFFER_BIT, to.wholeMultiple ? GL_NEAREST : GL_LINEAR);
  }
  bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);

  glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
  if (scissor) glEnable(GL_SCISSOR_TEST);
  return false;
}

void ScreenScaler::contextLost() {
  image_.close();
  memoryCopy_ = MemoryCopy::undecided;
  framebuffer_ = colour_ = 0;
  width_ = height_ = 0;
  active_ = false;
}
