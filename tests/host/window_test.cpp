// The GLFW host on the test X server: window flags, centring, fullscreen monitor choice, the title,
// the window callbacks fed with real X events, key releases before a window is replaced, and the
// game delegate's start creating the devices over a real window.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ensureCollector();
    ASSERT_TRUE(glfwInit()) << "needs the test X server (scripts/with-xvfb)";
  }
  static void TearDownTestSuite() { glfwTerminate(); }

  void SetUp() override {
    game = new VxCorvaneGame();
    currentGame = game;
    game->desktopVideoMode[0] = 1280;
    game->desktopVideoMode[1] = 1024;
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

  void sendKey(KeySym symbol, bool press) {
    XKeyEvent event = {};
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

}  // namespace
