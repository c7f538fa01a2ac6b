// The shared-memory window picture (host/x11_image.h). Xlib, its shared-memory extension and
// GLFW's X11 handles are looked up when first needed rather than linked: a program on the
// framework then links as before, and runs with a GLFW or a machine that has no X11 (it only
// loses this way of showing a scaled picture).
#include "host/x11_image.h"

#ifdef __EMSCRIPTEN__

// The browser has no X server: a scaled picture is always copied through OpenGL there.

struct X11Image::State {};
X11Image::X11Image() = default;
X11Image::~X11Image() = default;
bool X11Image::open(GLFWwindow*, int, int) {
  return false;
}
uint32_t* X11Image::pixels() {
  return nullptr;
}
int X11Image::width() const {
  return 0;
}
int X11Image::height() const {
  return 0;
}
void X11Image::put() {}
void X11Image::close() {}

#else

#include <dlfcn.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>

// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
// clang-format on

namespace {

// The calls used, from the libraries the program already has loaded (GLFW's libX11) or loads here.
struct XCalls {
  decltype(&::XGetWindowAttributes) getWindowAttributes = nullptr;
  decltype(&::XCreateGC) createGC = nullptr;
  decltype(&::XFreeGC) freeGC = nullptr;
  decltype(&::XSync) sync = nullptr;
  decltype(&::XFlush) flush = nullptr;
  decltype(&::XSetErrorHandler) setErrorHandler = nullptr;
  decltype(&::XShmQueryExtension) shmQueryExtension = nullptr;
  decltype(&::XShmCreateImage) shmCreateImage = nullptr;
  decltype(&::XShmAttach) shmAttach = nullptr;
  decltype(&::XShmDetach) shmDetach = nullptr;
  decltype(&::XShmPutImage) shmPutImage = nullptr;
  Display* (*glfwDisplay)() = nullptr;
  Window (*glfwWindow)(GLFWwindow*) = nullptr;
  bool loaded = false;
};

// `library` null: the program's own symbols and those of the libraries it was linked with.
template <class Function>
bool find(void* library, Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(library ? library : RTLD_DEFAULT, name));
  return function != nullptr;
}

const XCalls* xCalls() {
  static XCalls calls = [] {
    XCalls c;
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    void* xext = dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x11 || !xext) return c;
    bool all = find(x11, c.getWindowAttributes, "XGetWindowAttributes");
    all = find(x11, c.createGC, "XCreateGC") && all;
    all = find(x11, c.freeGC, "XFreeGC") && all;
    all = find(x11, c.sync, "XSync") && all;
    all = find(x11, c.flush, "XFlush") && all;
    all = find(x11, c.setErrorHandler, "XSetErrorHandler") && all;
    all = find(xext, c.shmQueryExtension, "XShmQueryExtension") && all;
    all = find(xext, c.shmCreateImage, "XShmCreateImage") && all;
    all = find(xext, c.shmAttach, "XShmAttach") && all;
    all = find(xext, c.shmDetach, "XShmDetach") && all;
    all = find(xext, c.shmPutImage, "XShmPutImage") && all;
    // GLFW's own handles exist only in its X11 build.
    all = find(nullptr, c.glfwDisplay, "glfwGetX11Display") && all;
    all = find(nullptr, c.glfwWindow, "glfwGetX11Window") && all;
    c.loaded = all;
    return c;
  }();
  return calls.loaded ? &calls : nullptr;
}

// Set by the error handler while the server is asked to attach the memory: a server on another
// machine refuses it.
bool attachFailed = false;

int noteAttachError(Display*, XErrorEvent*) {
  attachFailed = true;
  return 0;
}

}  // namespace

struct X11Image::State {
  const XCalls* x = nullptr;
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo segment{};
  bool attached = false;
  bool putPending = false;
  bool failed = false;

  // The image's memory and struct, which are the client's own (the server's hold is released by
  // detach, or goes with the connection).
  void freeImage() {
    if (image) {
      image->data = nullptr;  // shared memory, not the allocator's
      image->obdata = nullptr;
      image->f.destroy_image(image);
      image = nullptr;
    }
    if (segment.shmaddr) shmdt(segment.shmaddr);
    segment = XShmSegmentInfo{};
  }

  void release() {
    // Only while GLFW still has the connection the picture was made on.
    if (display && x->glfwDisplay() == display) {
      if (attached) {
        x->shmDetach(display, &segment);
        x->sync(display, False);
      }
      if (gc) x->freeGC(display, gc);
    }
    freeImage();
    gc = nullptr;
    attached = putPending = false;
  }

  bool make(GLFWwindow* glfwWindow, int width, int height) {
    x = xCalls();
    if (!x) return false;
    display = x->glfwDisplay();
    window = display ? x->glfwWindow(glfwWindow) : 0;
    if (!display || !window || !x->shmQueryExtension(display)) return false;
    XWindowAttributes attributes{};
    if (!x->getWindowAttributes(display, window, &attributes) || !attributes.visual) return false;
    const Visual* visual = attributes.visual;
    if ((attributes.depth != 24 && attributes.depth != 32) || visual->red_mask != 0xff0000 ||
        visual->green_mask != 0xff00 || visual->blue_mask != 0xff)
      return false;
    image = x->shmCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap,
                              nullptr, &segment, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image || image->bits_per_pixel != 32 || image->bytes_per_line != width * 4 ||
        image->byte_order != (std::endian::native == std::endian::little ? LSBFirst : MSBFirst))
      return false;
    const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) return false;
    void* memory = shmat(segment.shmid, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
      shmctl(segment.shmid, IPC_RMID, nullptr);
      segment = XShmSegmentInfo{};
      return false;
    }
    segment.shmaddr = image->data = static_cast<char*>(memory);
    segment.readOnly = True;

    attachFailed = false;
    auto previous = x->setErrorHandler(noteAttachError);
    x->shmAttach(display, &segment);
    x->sync(display, False);
    x->setErrorHandler(previous);
    // Marked for removal now: it goes when the server and this program have both let go, even
    // if the program is killed.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (attachFailed) return false;
    attached = true;
    gc = x->createGC(display, window, 0, nullptr);
    if (!gc) return false;
    auto* pixel = reinterpret_cast<uint32_t*>(image->data);
    std::fill(pixel, pixel + static_cast<size_t>(width) * static_cast<size_t>(height), 0xff000000u);
    return true;
  }
};

X11Image::X11Image() : state_(std::make_unique<State>()) {}

// Only what is the program's own: the X connection may be closed by now.
X11Image::~X11Image() {
  state_->freeImage();
}

bool X11Image::open(GLFWwindow* window, int width, int height) {
  State& s = *state_;
  if (s.failed || width <= 0 || height <= 0) return false;
  if (s.image && s.image->width == width && s.image->height == height) return true;
  s.release();
  if (!s.make(window, width, height)) {
    s.release();
    s.failed = true;
    return false;
  }
  return true;
}

uint32_t* X11Image::pixels() {
  State& s = *state_;
  if (!s.image) return nullptr;
  if (s.putPending) {
    s.x->sync(s.display, False);
    s.putPending = false;
  }
  return reinterpret_cast<uint32_t*>(s.image->data);
}

int X11Image::width() const {
  return state_->image ? state_->image->width : 0;
}

int X11Image::height() const {
  return state_->image ? state_->image->height : 0;
}

void X11Image::put() {
  State& s = *state_;
  if (!s.image) return;
  s.x->shmPutImage(s.display, s.window, s.gc, s.image, 0, 0, 0, 0, static_cast<unsigned>(s.image->width),
                   static_cast<unsigned>(s.image->height), False);
  s.x->flush(s.display);
  s.putPending = true;
}

void X11Image::close() {
  state_->release();
  state_->failed = false;
}

#endif
