// Showing the program's screen in a window of another size: the program keeps drawing at its own
// size into an offscreen buffer, and each presented frame copies that buffer into the window at
// the largest size of the same shape, centred on black. Used only while the window's size differs
// from the screen's (full screen, a scaled window); otherwise the program draws into the window as
// it always did and nothing here runs.
#pragma once

#include <cstdint>
#include <vector>

#include "host/x11_image.h"

struct GLFWwindow;

// Where the screen goes in a window: the picture's rectangle (top-left origin) and whether it is
// a whole multiple of the screen (then copied pixel for pixel, crisp; otherwise filtered, smooth).
struct ScreenPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool wholeMultiple = false;
};

// The largest rectangle with the screen's shape inside the area, centred. Empty when either size
// is not positive.
ScreenPlacement placeScreen(int screenWidth, int screenHeight, int areaWidth, int areaHeight);

// The largest whole scale of the screen whose window fits the desktop: at least 1.
int largestWindowScale(int screenWidth, int screenHeight, int desktopWidth, int desktopHeight);

// Clears the bound framebuffer to black, keeping the clear colour and scissor the program set.
void clearToBlack();

// The offscreen buffer of one OpenGL context and the copy into the window. Every call needs that
// context current.
class ScreenScaler {
 public:
  ScreenScaler() = default;
  ScreenScaler(const ScreenScaler&) = delete;
  ScreenScaler& operator=(const ScreenScaler&) = delete;

  // Starts drawing into the buffer, sized to the screen (made or remade as needed). False when
  // the context cannot give one (no framebuffer objects): the program then draws into the window.
  bool drawOffscreen(int screenWidth, int screenHeight);
  // Draws into the window again (the buffer is kept for a later drawOffscreen).
  void drawToWindow();
  bool active() const { return active_; }
  // Copies the buffer into the window's framebuffer (of the given size), black around it. The
  // buffer is bound for drawing again afterwards, and the clear colour and scissor are as before.
  // True when the picture went to the window by another way than OpenGL (a whole multiple drawn
  // by a software driver, see host/x11_image.h): the window's buffers must then not be swapped,
  // which would put the unused back buffer over it.
  bool present(GLFWwindow* window, int framebufferWidth, int framebufferHeight);
  // Forgets the buffer without deleting it: its context is gone (a replaced window).
  void contextLost();

 private:
  bool loadFunctions();
  // Scales the buffer by whole multiples in memory into the window's shared picture.
  void presentInMemory(const ScreenPlacement& to);

  // Whether whole multiples are scaled in memory: OpenGL draws on the CPU here, and
  // CORVANE_SCALED_COPY=opengl does not ask for the OpenGL copy. Decided once a context.
  enum class MemoryCopy { undecided, yes, no };
  MemoryCopy memoryCopy_ = MemoryCopy::undecided;
  X11Image image_;
  std::vector<uint32_t> frame_;

  bool active_ = false;
  unsigned framebuffer_ = 0;
  unsigned colour_ = 0;
  int width_ = 0;
  int height_ = 0;
};
