// The GLFW host on the test X server: window flags, centring, fullscreen monitor choice, the title,
// the window callbacks fed with real X events, key releases before a window is replaced, and the
// game delegate's start creating the devices over a real window.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/graphics_context.h"
#include "host/delegate.h"
#include "host/game.h"
#include "host/services.h"
#include "input/input_device.h"
#include "recording_delegate.h"

// Xlib last: its macros (None, Bool) clash with names in the headers above.
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

GcRoot<RecordingDelegate*> windowDelegate;
// The title a program gave its window, which every window the host opens for it carries.
const char* const kTitle = "Brackenfold Intro 01 by Vendle/bkf";

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ensureCollector();
    ASSERT_TRUE(glfwInit()) << "needs the test X server (scripts/with-xvfb)";
  }
  // GLFW stays initialised until the process ends: terminating it unloads Mesa's software driver,
  // whose own allocations (drawing into an offscreen buffer leaves two that it never frees) the
  // leak checker then cannot attribute to it, and the driver suppressions (tests/lsan.supp) would
  // no longer apply.
  static void TearDownTestSuite() {}

  void SetUp() override {
    game = new VxCorvaneGame();
    currentGame = game;
    game->desktopVideoMode[0] = 1280;
    game->desktopVideoMode[1] = 1024;
    game->windowTitle = String(kTitle);
    // Assets are beside the programs (build/data); the test binaries live one level down.
    if (const char* dir = std::getenv("CORVANE_BINARY_DIR")) game->appDirectory = String(dir);
    delegate = new RecordingDelegate(&log);
    windowDelegate = delegate;
    game->attachDelegate(delegate);
  }
  void TearDown() override {
    if (game->window_) glfwDestroyWindow(game->window_);
    currentGame = nullptr;
    delete game;
    windowDelegate = nullptr;
  }

  Display* display() { return glfwGetX11Display(); }
  Window xwindow() { return glfwGetX11Window(game->window()); }

  // Lets GLFW read what the X server has queued for it, callbacks included.
  void pumpEvents() {
    XSync(display(), False);
    for (int i = 0; i < 5; ++i) glfwWaitEventsTimeout(0.02);
  }

  void sendKey(KeySym symbol, bool press, unsigned modifiers = 0) {
    XKeyEvent event = {};
    event.state = modifiers;
    event.type = press ? KeyPress : KeyRelease;
    event.display = display();
    event.window = xwindow();
    event.root = DefaultRootWindow(display());
    event.time = CurrentTime;
    event.same_screen = True;
    event.keycode = XKeysymToKeycode(display(), symbol);
    XSendEvent(display(), xwindow(), True, press ? KeyPressMask : KeyReleaseMask,
               reinterpret_cast<XEvent*>(&event));
  }

  void sendButton(unsigned button, bool press) {
    XButtonEvent event = {};
    event.type = press ? ButtonPress : ButtonRelease;
    event.display = display();
    event.window = xwindow();
    event.root = DefaultRootWindow(display());
    event.same_screen = True;
    event.button = button;
    XSendEvent(display(), xwindow(), True, press ? ButtonPressMask : ButtonReleaseMask,
               reinterpret_cast<XEvent*>(&event));
  }

  void sendMotion(int x, int y) {
    XMotionEvent event = {};
    event.type = MotionNotify;
    event.display = display();
    event.window = xwindow();
    event.root = DefaultRootWindow(display());
    event.same_screen = True;
    event.x = x;
    event.y = y;
    XSendEvent(display(), xwindow(), True, PointerMotionMask, reinterpret_cast<XEvent*>(&event));
  }

  // What the window manager sends when the close button is pressed.
  void sendDeleteWindow() {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = xwindow();
    event.xclient.message_type = XInternAtom(display(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display(), xwindow(), False, NoEventMask, &event);
  }

  // The window as the X server shows it, 0xRRGGBB.
  std::vector<uint32_t> grabWindow(int& width, int& height) {
    XWindowAttributes attributes;
    XGetWindowAttributes(display(), xwindow(), &attributes);
    width = attributes.width;
    height = attributes.height;
    std::vector<uint32_t> pixels;
    XImage* image = XGetImage(display(), xwindow(), 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x)
        pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xffffff);
    }
    XDestroyImage(image);
    return pixels;
  }

  // Draws the pattern as the program's frame, shows it, and checks that the window shows it
  // doubled at (0, top) and black around it; `fromMemory`: which way the host is expected to
  // have put it into the window.
  bool showsScaledPattern(int top, std::string& where, bool fromMemory);

  std::string title() {
    char* name = nullptr;
    std::string text;
    if (XFetchName(display(), xwindow(), &name) && name) text = name;
    if (name) XFree(name);
    return text;
  }

  std::string log;
  VxCorvaneGame* game = nullptr;
  RecordingDelegate* delegate = nullptr;
};

// depth: 1 wanted, 0 not wanted, -1 up to the X server (it may only offer stencil with depth).
struct FlagCase {
  int flags;
  bool resizable, decorated, doubleBuffered;
  int depth;
  bool stencil;
};

TEST_F(WindowTest, EachFlagBitReachesTheWindowAndItsFramebuffer) {
  const FlagCase cases[] = {
      {4, false, true, true, 0, false},  // the program's window
      {2, true, false, true, 0, false},  // resizable, undecorated
      {4 | 16, false, true, true, 1, false},  {4 | 128, false, true, true, -1, true},
      {4 | 32, false, true, false, 0, false},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE("flags " + std::to_string(c.flags));
    game->openWindow(320, 240, c.flags);
    GLFWwindow* window = game->window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(glfwGetWindowAttrib(window, GLFW_RESIZABLE), c.resizable);
    EXPECT_EQ(glfwGetWindowAttrib(window, GLFW_DECORATED), c.decorated);
    EXPECT_EQ(glfwGetWindowMonitor(window), nullptr);
    GLint depthBits = -1, stencilBits = -1;
    GLboolean doubleBuffered = GL_FALSE;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_EQ(doubleBuffered == GL_TRUE, c.doubleBuffered);
    if (c.depth >= 0) {
      EXPECT_EQ(depthBits > 0, c.depth == 1) << "depth bits " << depthBits;
    }
    EXPECT_EQ(stencilBits > 0, c.stencil) << "stencil bits " << stencilBits;
    XSync(display(), False);
    EXPECT_TRUE(glfwGetWindowAttrib(window, GLFW_VISIBLE)) << "a windowed window is shown after the move";
  }
}

TEST_F(WindowTest, AWindowedWindowIsCentredOnTheDesktopModeReadAtStart) {
  game->desktopVideoMode[0] = 1001;
  game->desktopVideoMode[1] = 800;
  game->openWindow(640, 480, 4);
  int x = 0, y = 0;
  glfwGetWindowPos(game->window(), &x, &y);
  EXPECT_EQ(x, 180);  // 361 / 2, truncated
  EXPECT_EQ(y, 160);
  EXPECT_EQ(title(), "Brackenfold Intro 01 by Vendle/bkf");
  EXPECT_EQ(game->windowWidth(), 640);
  EXPECT_EQ(game->windowHeight(), 480);

  game->desktopVideoMode[0] = 400;  // smaller than the window: a negative position
  game->desktopVideoMode[1] = 300;
  game->openWindow(640, 480, 4);
  glfwGetWindowPos(game->window(), &x, &y);
  EXPECT_EQ(x, -120);
  EXPECT_EQ(y, -90);
}

TEST_F(WindowTest, FullscreenOnTheSecondMonitorWithOnlyOneUsesThatOne) {
  int count = 0;
  glfwGetMonitors(&count);
  ASSERT_EQ(count, 1) << "the test X server has one monitor";
  game->openWindow(1280, 1024, 1 | 64);
  ASSERT_NE(game->window(), nullptr);
  EXPECT_EQ(glfwGetWindowMonitor(game->window()), glfwGetPrimaryMonitor());
  EXPECT_EQ(title(), "Brackenfold Intro 01 by Vendle/bkf");
}

TEST_F(WindowTest, EveryWindowBumpsTheContextGenerationAndClearsHadFocus) {
  int before = contextGeneration;
  game->openWindow(320, 240, 4);
  EXPECT_FALSE(game->hadFocus);
  game->openWindow(320, 240, 4);
  EXPECT_EQ(contextGeneration, before + 2);
}

TEST_F(WindowTest, KeysBecomeKeyAndCharacterEventsOnceTheGameRuns) {
  game->openWindow(640, 480, 4);
  sendKey(XK_F3, true);  // before the start: dropped
  pumpEvents();
  game->hostStart();
  log.clear();
  sendKey(XK_F3, false);
  sendKey(XK_Return, true);
  sendKey(XK_Return, false);
  sendKey(XK_Delete, true);
  sendKey(XK_Scroll_Lock, true);  // not in the key table
  sendKey(XK_a, true);
  pumpEvents();
  EXPECT_EQ(log, "key 2 114; key 1 13; key 3 13; key 2 13; key 1 46; key 3 127; key 1 65; key 3 97; ");
}

TEST_F(WindowTest, PointerButtonsWheelAndMotionBecomeMouseEvents) {
  game->openWindow(640, 480, 4);
  game->hostStart();
  glfwSetCursorPos(game->window(), 10, 20);
  pumpEvents();
  log.clear();
  sendButton(Button1, true);
  sendButton(Button3, false);
  sendButton(8, true);  // GLFW button 3: ignored
  sendButton(Button4, true);
  sendMotion(33, 44);
  pumpEvents();
  // The wheel notch comes with the pointer where it is (the position the X server reports).
  EXPECT_EQ(log, "mouse 4 0 10 20 0; mouse 5 1 10 20 0; mouse 6 -1 10 20 1; mouse 6 -1 33 44 0; ");
}

TEST_F(WindowTest, AWheelNotchLeavesThePointerWhereItIs) {
  // The real input device behind the delegate, as the framework's delegate feeds it.
  class InputDelegate : public RecordingDelegate {
   public:
    using RecordingDelegate::RecordingDelegate;
    void mouseEvent(int event, int data, float x, float y, float z) override {
      RecordingDelegate::mouseEvent(event, data, x, y, z);
      inputDevice->mouseEvent(event, data, x, y, z);
    }
  };
  inputDevice = new c_InputDevice();
  delegate = new InputDelegate(&log);
  windowDelegate = delegate;
  game->attachDelegate(delegate);
  game->openWindow(640, 480, 4);
  game->hostStart();
  // The pointer moves to (50, 60) in the X server, which tells the window with a motion event.
  // (Not glfwSetCursorPos: GLFW only warps the pointer for a focused window, and reports no
  // motion for its own warps.)
  XWarpPointer(display(), 0, xwindow(), 0, 0, 0, 0, 50, 60);
  pumpEvents();
  EXPECT_EQ(inputDevice->mouseX, 50);
  EXPECT_EQ(inputDevice->mouseY, 60);
  EXPECT_EQ(inputDevice->mouseZ, 0);
  sendButton(Button4, true);  // one notch up
  pumpEvents();
  EXPECT_EQ(inputDevice->mouseZ, 1) << log;
  EXPECT_EQ(inputDevice->mouseX, 50) << log;
  EXPECT_EQ(inputDevice->mouseY, 60) << log;
  EXPECT_EQ(inputDevice->touchX[0], 50) << "touch 0 follows the mouse";
  EXPECT_EQ(inputDevice->touchY[0], 60);
  inputDevice = nullptr;
}

TEST_F(WindowTest, TheCloseButtonSendsTheQuitCodeAndNeverSetsShouldClose) {
  game->openWindow(640, 480, 4);
  game->hostStart();
  pumpEvents();  // the pointer entering the new window
  log.clear();
  sendDeleteWindow();
  pumpEvents();
  EXPECT_EQ(log, "key 1 432; key 2 432; ");
  EXPECT_FALSE(glfwWindowShouldClose(game->window()));
}

TEST_F(WindowTest, TheSizeCallbackUpdatesTheWindowSize) {
  game->openWindow(640, 480, 2 | 4);
  glfwSetWindowSize(game->window(), 500, 400);
  pumpEvents();
  EXPECT_EQ(game->windowWidth(), 500);
  EXPECT_EQ(game->windowHeight(), 400);
  EXPECT_EQ(log, "") << "no event reaches the delegate";
}

TEST_F(WindowTest, ReplacingTheWindowReleasesTheKeysHeldInTheOldOne) {
  game->openWindow(640, 480, 4);
  game->hostStart();
  sendKey(XK_F3, true);
  sendKey(XK_Shift_L, true);
  sendKey(XK_Shift_R, true);
  sendKey(XK_F4, true);
  sendKey(XK_F4, false);
  pumpEvents();
  log.clear();
  game->openWindow(640, 480, 4);
  // In GLFW key order: F3 (292), then left and right shift (340, 344), both code 16.
  EXPECT_EQ(log, "key 2 114; key 2 16; key 2 16; ");
}

TEST_F(WindowTest, StartingTheGameCreatesTheDevicesOverTheWindow) {
  initGraphicsContext();
  currentApp = nullptr;
  std::string appCalls;
  class StartApp : public c_App {
   public:
    explicit StartApp(std::string* calls) : calls_(calls) {}
    int appStart() override { return note("start"); }
    int appUpdate() override { return note("update " + std::to_string(keyHitCount(114))); }
    int appRender() override { return note("render"); }

   private:
    int note(const std::string& what) {
      *calls_ += what + "; ";
      return 0;
    }
    std::string* calls_;
  };
  new StartApp(&appCalls);  // attaches a c_GameDelegate to the game
  ASSERT_EQ(game->attachedDelegate(), currentDelegate.get());
  game->openWindow(640, 480, 4);
  game->hostStart();
  c_GameDelegate* delegate = currentDelegate;
  EXPECT_NE(delegate->graphics.get(), nullptr);
  EXPECT_EQ(registeredDevice.get(), delegate->graphics.get());
  EXPECT_NE(graphicsContext->font.get(), nullptr) << "the default font is current from the start";
  EXPECT_NE(delegate->audio.get(), nullptr);
  EXPECT_NE(delegate->input.get(), nullptr);
  EXPECT_EQ(inputDevice.get(), delegate->input.get());
  EXPECT_EQ(deviceWidth, 640);
  EXPECT_EQ(deviceHeight, 480);
  ASSERT_NE(desktopMode.get(), nullptr);
  EXPECT_EQ(desktopMode->width, 1280);

  sendKey(XK_F3, true);
  pumpEvents();
  game->hostRender();
  game->hostUpdate();
  game->hostUpdate();
  EXPECT_EQ(appCalls, "start; render; update 1; update 0; ");

  currentApp = nullptr;
  currentDelegate = nullptr;
  inputDevice = nullptr;
}

// A frame the program draws on its 640 x 480 screen where every pixel differs from its neighbours,
// so that a pixel out of place shows.
uint32_t patternPixel(int x, int y) {
  return static_cast<uint32_t>((x * 37 + y * 11) & 255) << 16 |
         static_cast<uint32_t>((x * 5 ^ y * 29) & 255) << 8 | static_cast<uint32_t>((x + y * 3) & 255);
}

void drawPattern() {
  std::vector<uint32_t> rgba;
  // glDrawPixels takes the bottom row first.
  for (int y = 479; y >= 0; --y) {
    for (int x = 0; x < 640; ++x) {
      uint32_t p = patternPixel(x, y);
      rgba.push_back(0xff000000u | (p & 0xff) << 16 | (p & 0xff00) | (p >> 16 & 0xff));  // R, G, B, A bytes
    }
  }
  glViewport(0, 0, 640, 480);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_BLEND);
  glRasterPos2f(-1, -1);
  glDrawPixels(640, 480, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

// Whether the window shows the pattern scaled by 2 with its top-left corner at (left, top), and
// black everywhere else; the first mismatch in `where`.
bool showsPatternScaledBy2(const std::vector<uint32_t>& pixels, int width, int height, int left, int top,
                           std::string& where) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool inside = x >= left && x < left + 1280 && y >= top && y < top + 960;
      const uint32_t expected = inside ? patternPixel((x - left) / 2, (y - top) / 2) : 0;
      const uint32_t shown = pixels[static_cast<size_t>(y) * width + x];
      if (shown != expected) {
        char text[96];
        std::snprintf(text, sizeof text, "(%d, %d): expected %06x, shown %06x", x, y, expected, shown);
        where = text;
        return false;
      }
    }
  }
  return true;
}

bool WindowTest::showsScaledPattern(int top, std::string& where, bool fromMemory) {
  game->hostRender();
  if (!game->screenIsScaled()) {
    where = "the screen is not scaled";
    return false;
  }
  drawPattern();
  // The program reads back its own 640 x 480 pixels.
  std::vector<uint32_t> frame(640 * 480);
  glReadPixels(0, 0, 640, 480, GL_BGRA, GL_UNSIGNED_BYTE, frame.data());
  EXPECT_EQ(frame[479 * 640 + 3] & 0xffffff, patternPixel(3, 0));
  EXPECT_EQ(game->presentScreen(), fromMemory);
  glFinish();
  int width = 0, height = 0;
  std::vector<uint32_t> shown = grabWindow(width, height);
  return showsPatternScaledBy2(shown, width, height, 0, top, where);
}

TEST_F(WindowTest, AScaledWindowShowsTheProgramsFramePixelForPixelAndMapsThePointerBack) {
  screenOptions.scale = 2;
  game->openProgramWindow();
  screenOptions = ScreenOptions();
  game->hostStart();
  pumpEvents();
  int width = 0, height = 0;
  glfwGetWindowSize(game->window(), &width, &height);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 960);
  EXPECT_EQ(game->windowWidth(), 640) << "the program's screen keeps its size";
  EXPECT_EQ(game->windowHeight(), 480);
  EXPECT_EQ(title(), "host_window_tests") << "a program that names no title gets its file's name";

  // The software driver's picture is scaled in memory and put into the window.
  std::string where;
  EXPECT_TRUE(showsScaledPattern(0, where, true)) << where;

  log.clear();
  sendMotion(2 * 100 + 1, 2 * 50);
  sendButton(Button1, true);
  pumpEvents();
  EXPECT_EQ(log.substr(0, log.find("mouse 4")), "mouse 6 -1 100.5 50 0; ");
}

TEST_F(WindowTest, TheOpenGlCopyOfAScaledScreenShowsTheSamePixels) {
  setenv("CORVANE_SCALED_COPY", "opengl", 1);
  screenOptions.scale = 2;
  game->openProgramWindow();
  screenOptions = ScreenOptions();
  game->hostStart();
  pumpEvents();
  std::string where;
  EXPECT_TRUE(showsScaledPattern(0, where, false)) << where;
  unsetenv("CORVANE_SCALED_COPY");
}

TEST_F(WindowTest, FullScreenCoversTheMonitorWithThePictureBetweenBarsAndAltEnterSwitchesBack) {
  game->openProgramWindow();
  game->hostStart();
  pumpEvents();
  int x = 0, y = 0;
  glfwGetWindowPos(game->window(), &x, &y);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 272);
  game->hostRender();
  EXPECT_FALSE(game->screenIsScaled()) << "a window of the program's size is drawn into directly";

  log.clear();
  sendKey(XK_Return, true, Mod1Mask);
  sendKey(XK_Return, false, Mod1Mask);
  pumpEvents();
  EXPECT_TRUE(game->isFullscreen());
  EXPECT_EQ(log, "") << "the program never sees the ENTER of ALT+ENTER";
  int width = 0, height = 0;
  glfwGetWindowSize(game->window(), &width, &height);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 1024);

  std::string where;
  EXPECT_TRUE(showsScaledPattern(32, where, true)) << where;

  log.clear();
  sendMotion(2 * 320, 32 + 2 * 240 + 1);
  sendMotion(3, 10);  // on the bar above the picture
  pumpEvents();
  EXPECT_EQ(log, "mouse 6 -1 320 240.5 0; mouse 6 -1 1.5 -11 0; ");

  log.clear();
  sendKey(XK_Return, true, Mod1Mask);
  sendKey(XK_Return, false);  // ALT let go first: the release still goes with its press
  sendKey(XK_Return, true);
  pumpEvents();
  EXPECT_FALSE(game->isFullscreen());
  EXPECT_EQ(log, "key 1 13; key 3 13; ") << "a plain ENTER is the program's again";
  glfwGetWindowSize(game->window(), &width, &height);
  glfwGetWindowPos(game->window(), &x, &y);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 272);
  game->hostRender();
  EXPECT_FALSE(game->screenIsScaled());
}

}  // namespace
