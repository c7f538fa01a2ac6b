// A window-sized picture in memory shared with the X server, put into the window in one request.
// For OpenGL that draws on the CPU (Mesa's software drivers): there every pixel a draw call or blit
// writes costs a shader run on the CPU, so a picture scaled in plain memory and handed to the
// server as the driver's own buffer swap does costs a small part of a scaled copy through OpenGL.
// Needs an X11 window from GLFW and the server's shared-memory extension on this machine; where
// either is missing, open() says so and the caller draws through OpenGL.
#pragma once

#include <cstdint>
#include <memory>

struct GLFWwindow;

class X11Image {
 public:
  X11Image();
  ~X11Image();
  X11Image(const X11Image&) = delete;
  X11Image& operator=(const X11Image&) = delete;

  // Makes the picture for the window at the given size (again when the size changed), all
  // black. False when it cannot be had: no X11 window, no shared memory with the server (a
  // remote display), or pixels that are not 32-bit 8-8-8 true colour. A failure is final for
  // this window.
  bool open(GLFWwindow* window, int width, int height);
  // The picture's pixels, 0xAARRGGBB, rows top first, width() pixels a row; valid after open().
  // Waits until the server has read the last picture put, so it may be written at once.
  uint32_t* pixels();
  int width() const;
  int height() const;
  // Hands the picture to the server for the window.
  void put();
  // Lets go of the picture and the server's hold on it.
  void close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
