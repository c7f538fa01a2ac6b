// Persistent state and host services: the state file, the local date, opening a target in the
// user's default application, pointer visibility, display modes and detached threads. Needs GLFW
// (monitors, cursor mode), the host game's file operations and the text decoding of host/files.
#include "host/services.h"

#include <GLFW/glfw3.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "host/files.h"
#include "host/game.h"
#include "host/runtime_error.h"
#include "runtime/map.h"
#include "runtime/stack.h"

extern char** environ;

namespace {

const char kStateFile[] = "./.corvanestate";

}  // namespace

// --- state file and date (every host) ---

int VxGame::storeStateText(const String& text) {
  FILE* file = openHostFile(String(kStateFile), String("wb"));
  if (file == nullptr) return -1;
  // The encoding of printLine: each 16-bit unit on its own, so any text reads back unchanged.
  std::string bytes = text.ToUtf8();
  size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  // The bytes reach the file only when it is closed: a failure there is a short write too.
  bool closed = std::fclose(file) == 0;
  return written == bytes.size() && closed ? 0 : -2;
}

String VxGame::fetchStateText() {
  FILE* file = openHostFile(String(kStateFile), String("rb"));
  if (file == nullptr) return String();
  String text = decodeTextFile(file);
  std::fclose(file);
  return text;
}

void VxGame::readDate(Array<int> values) {
  int n = values.length();
  if (n == 0) return;
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  const int fields[7] = {
      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0};
  for (int i = 0; i < n && i < 7; ++i) values[i] = fields[i];
}

// --- GLFW host services ---

void VxGlfwGame::openInShell(const String& target) {
  String::CString bytes = target.ToCString();
  // The target is one argument of the opener, never a command line: no shell sees it.
  char opener[] = "xdg-open";
  char* argv[] = {opener, const_cast<char*>(bytes.c_str()), nullptr};
  pid_t child;
  if (posix_spawnp(&child, opener, nullptr, nullptr, argv, environ) != 0) return;
  // Without a desktop the opener may run a browser in the foreground for as long as it is open:
  // the frame loop must not wait for it. A detached thread waits instead, so that the ended opener
  // leaves no zombie behind. It waits for this one child only, never for others of the program.
  auto reap = [](void* pid) -> void* {
    while (waitpid(static_cast<pid_t>(reinterpret_cast<intptr_t>(pid)), nullptr, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
  };
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t reaper;
  // Should no thread be had, the zombie stays until the program ends: a failure we ignore.
  pthread_create(&reaper, &attributes, reap, reinterpret_cast<void*>(static_cast<intptr_t>(child)));
  pthread_attr_destroy(&attributes);
}

void VxGlfwGame::showPointer(bool visible) {
  if (window_ == nullptr) return;
  glfwSetInputMode(window_, GLFW_CURSOR, visible ? GLFW_CURSOR_NORMAL : GLFW_CURSOR_HIDDEN);
}

Array<VxDisplayMode*> VxGlfwGame::enumerateDisplayModes() {
  GLFWmonitor* monitor = glfwGetPrimaryMonitor();
  if (monitor == nullptr) return Array<VxDisplayMode*>();
  int count = 0;
  const GLFWvidmode* modes = glfwGetVideoModes(monitor, &count);
  if (modes == nullptr) return Array<VxDisplayMode*>();
  auto kept = [](const GLFWvidmode& mode) { return mode.refreshRate == 60 || mode.refreshRate == 0; };
  int n = 0;
  for (int i = 0; i < count; ++i) n += kept(modes[i]) ? 1 : 0;
  Array<VxDisplayMode*> out(n);
  int k = 0;
  for (int i = 0; i < count; ++i) {
    if (kept(modes[i])) out[k++] = new VxDisplayMode(modes[i].width, modes[i].height);
  }
  return out;
}

VxDisplayMode* VxGlfwGame::currentDesktopMode() {
  return new VxDisplayMode(desktopVideoMode[0], desktopVideoMode[1]);
}

// --- threads ---

namespace {

void* runThread(void* argument) {
  auto* thread = static_cast<VxThread*>(argument);
  thread->threadBody();
  thread->state = VxThread::kFinished;
  return nullptr;
}

}  // namespace

void VxThread::startThread() {
  if (state == kRunning) return;
  result = 0;
  state = kRunning;
  pthread_t handle;
  if (pthread_create(&handle, nullptr, runThread, this) != 0) {
    printLine(String("CreateThread failed!"));
    std::exit(-1);
  }
  pthread_detach(handle);
}

bool VxThread::isThreadRunning() {
  return state == kRunning;
}

int VxThread::threadResult() {
  return result;
}

void VxThread::setThreadResult(int value) {
  result = value;
}

void VxThread::threadBody() {}

// --- the framework's display modes ---

GcRoot<Array<c_DisplayMode*>> displayModes;
GcRoot<c_DisplayMode*> desktopMode;

void buildDisplayModes() {
  if (currentGame == nullptr) {
    displayModes = Array<c_DisplayMode*>();
    desktopMode = nullptr;
    return;
  }
  Array<VxDisplayMode*> modes = currentGame->enumerateDisplayModes();
  // The host lists a size once per pixel format; the framework keeps each size once, first seen first.
  auto* seen = new c_IntMap2<c_DisplayMode>();
  auto* kept = new c_Stack<c_DisplayMode>();
  for (int i = 0; i < modes.length(); ++i) {
    VxDisplayMode* mode = modes.get(i);
    if (mode == nullptr) continue;
    int key = (mode->width << 16) | (mode->height & 0xFFFF);
    if (seen->contains(key)) continue;
    auto* framework = new c_DisplayMode(mode->width, mode->height);
    seen->set(key, framework);
    kept->push(framework);
  }
  displayModes = kept->toArray();
  VxDisplayMode* desktop = currentGame->currentDesktopMode();
  desktopMode = desktop ? new c_DisplayMode(desktop->width, desktop->height) : nullptr;
}
