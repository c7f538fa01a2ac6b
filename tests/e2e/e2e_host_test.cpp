// The real programs under the test X server: the intro's window as the X server sees it (title,
// size, fixed size hints, centred position), closing it with the window manager's delete message,
// start-up without a display, the update rate a program gets when it asks for 51 per second, and
// a program whose application throws or is never constructed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// Xlib last: its macros (None, Bool) clash with names in the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
// clang-format on

extern char** environ;

namespace {

const char* kTitle = "Brackenfold Intro 01 by Vendle/bkf";

std::string binaryDir() {
  const char* dir = std::getenv("CORVANE_BINARY_DIR");
  return dir ? dir : ".";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A program started with its standard output in a file; killed if the test leaves it running.
class Program {
 public:
  Program(const std::string& path, bool withDisplay, const std::string& extraEnv = "") {
    char pattern[] = "/tmp/e2e_host_outXXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    outputPath_ = pattern;

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      if (!withDisplay && std::strncmp(*e, "DISPLAY=", 8) == 0) continue;
      env.push_back(*e);
    }
    if (!extraEnv.empty()) env.push_back(extraEnv);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath_.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(outputPath_.c_str());
  }

  pid_t pid() const { return pid_; }
  std::string output() const { return readFile(outputPath_); }

  // The exit status, or -1 if the program is still running after the time-out (it is then killed).
  int waitForExit(double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  std::string outputPath_;
};

// Other tests may have windows with the same title on this server: match the process id.
bool windowPid(Display* display, Window window, long& pid) {
  Atom atom = XInternAtom(display, "_NET_WM_PID", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = XGetWindowProperty(display, window, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                                  &after, &data) == Success &&
               data && count == 1 && format == 32;
  if (found) pid = *reinterpret_cast<long*>(data);
  if (data) XFree(data);
  return found;
}

// The program's mapped top-level window, or 0 after the time-out.
Window findMappedWindow(Display* display, pid_t pid, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && !found; ++i) {
        long owner = 0;
        XWindowAttributes attributes;
        if (windowPid(display, children[i], owner) && owner == pid &&
            XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable) {
          found = children[i];
        }
      }
      if (children) XFree(children);
    }
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

void sendDeleteWindow(Display* display, Window window) {
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

class DisplayConnection {
 public:
  DisplayConnection() : display_(XOpenDisplay(nullptr)) {}
  ~DisplayConnection() {
    if (display_) XCloseDisplay(display_);
  }
  Display* get() const { return display_; }

 private:
  Display* display_;
};

TEST(E2eHost, TheIntroOpensItsFixedCentredWindowAndTheCloseButtonEndsItWithStatus0) {
  DisplayConnection display;
  ASSERT_NE(display.get(), nullptr) << "needs the test X server (scripts/with-xvfb)";
  Program intro(binaryDir() + "/brackenfold-intro", true);
  ASSERT_GT(intro.pid(), 0);
  Window window = findMappedWindow(display.get(), intro.pid(), 30);
  ASSERT_NE(window, 0u) << "no window appeared; output:\n" << intro.output();

  char* name = nullptr;
  ASSERT_TRUE(XFetchName(display.get(), window, &name));
  EXPECT_STREQ(name, kTitle);
  XFree(name);

  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display.get(), window, &attributes));
  EXPECT_EQ(attributes.width, 640);
  EXPECT_EQ(attributes.height, 480);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display.get(), window, DefaultRootWindow(display.get()), 0, 0, &x, &y, &child);
  EXPECT_EQ(x, (1280 - 640) / 2);
  EXPECT_EQ(y, (1024 - 480) / 2);

  XSizeHints hints = {};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(display.get(), window, &hints, &supplied));
  ASSERT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize)) << "the window is not fixed-size";
  EXPECT_EQ(hints.min_width, 640);
  EXPECT_EQ(hints.max_width, 640);
  EXPECT_EQ(hints.min_height, 480);
  EXPECT_EQ(hints.max_height, 480);

  sendDeleteWindow(display.get(), window);
  EXPECT_EQ(intro.waitForExit(30), 0) << intro.output();
  EXPECT_EQ(intro.output().find("Corvane Runtime Error"), std::string::npos) << intro.output();
}

TEST(E2eHost, WithoutADisplayTheIntroReportsTheFailedStartAndExitsWith255) {
  Program intro(binaryDir() + "/brackenfold-intro", false);
  ASSERT_GT(intro.pid(), 0);
  EXPECT_EQ(intro.waitForExit(30), 255);
  std::string output = intro.output();
  EXPECT_NE(output.find("\nglfwInit failed\n"), std::string::npos) << output;
  EXPECT_EQ(output.rfind("GLFW Error: err=", 0), 0u) << "the error callback reports first:\n" << output;
}

TEST(E2eHost, AProgramThatAsksFor51UpdatesASecondGetsThem) {
  Program app(binaryDir() + "/e2e_host_app", true, "E2E_HOST_MODE=rate");
  ASSERT_GT(app.pid(), 0);
  ASSERT_EQ(app.waitForExit(60), 0) << app.output();
  int updates = 0, from = 0, to = 0;
  std::string output = app.output();
  ASSERT_EQ(std::sscanf(output.c_str(), "updates %d from %d ms to %d ms", &updates, &from, &to), 3) << output;
  ASSERT_GE(to - from, 4000);
  double rate = (updates - 1) * 1000.0 / (to - from);
  EXPECT_NEAR(rate, 51.0, 2.0) << output;
}

TEST(E2eHost, AnExceptionWhileTheApplicationIsConstructedIsReportedWithStatus255) {
  Program app(binaryDir() + "/e2e_host_app", true, "E2E_HOST_MODE=throw");
  ASSERT_GT(app.pid(), 0);
  EXPECT_EQ(app.waitForExit(30), 255);
  EXPECT_EQ(app.output(), "Corvane Runtime Error : Uncaught Corvane Exception\n");
}

TEST(E2eHost, WithoutAnApplicationTheProgramEndsWithStatus0AndNoWindow) {
  DisplayConnection display;
  ASSERT_NE(display.get(), nullptr);
  Program app(binaryDir() + "/e2e_host_app", true, "E2E_HOST_MODE=none");
  ASSERT_GT(app.pid(), 0);
  pid_t pid = app.pid();
  EXPECT_EQ(app.waitForExit(30), 0);
  EXPECT_EQ(app.output(), "");
  EXPECT_EQ(findMappedWindow(display.get(), pid, 0.2), 0u);
}

}  // namespace
