// Persistent state and host services: the state file, the local date, opening a target in the
// user's default application, pointer visibility, display modes and detached threads. Needs GLFW
// (monitors, cursor mode), the host game's file operations and the text decoding of host/files.
#include "host/services.h"

#include <GLFW/glfw3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "host/files.h"
#include "host/game.h"
#include "host/platform.h"
#include "host/runtime_error.h"
#include "runtime/map.h"
#include "runtime/stack.h"

namespace {

const char kStateFile[] = "./.corvanestate";
const char kNewStateFile[] = "./.corvanestate.new";

}  // namespace

// --- state file and date (every host) ---

int VxGame::storeStateText(const String& text) {
  // -1 stays the answer for a state file that cannot be written (a directory, no permission):
  // opened for appending, it is tested without being truncated.
  FILE* probe = openHostFile(String(kStateFile), String("ab"));
  if (probe == nullptr) return -1;
  std::fclose(probe);
  // Written beside the state file and renamed over it only once complete and on the disk, so a
  // full disk or a crash part-way leaves the previous state as it was.
  FILE* file = openHostFile(String(kNewStateFile), String("wb"));
  if (file == nullptr) return -1;
  // The encoding of printLine: each 16-bit unit on its own, so any text reads back unchanged.
  std::string bytes = text.ToUtf8();
  size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  bool complete = written == bytes.size() && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
  // The bytes may reach the file only when it is closed: a failure there is a short write too.
  complete = std::fclose(file) == 0 && complete;
  // Both names are plain ASCII, so the 8-bit copies are the bytes the file system sees.
  String::CString newName = resolvePath(String(kNewStateFile)).ToCString();
  String::CString name = resolvePath(String(kStateFile)).ToCString();
  if (!complete || std::rename(newName.c_str(), name.c_str()) != 0) {
    std::remove(newName.c_str());
    return -2;
  }
  return 0;
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
  openInDefaultApplication(std::string(bytes.c_str()));
}

void VxGlfwGame::showPointer(bool visible) {
  if (window_ == nullptr) return;
  setPointerVisible(window_, visible);
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
  if (!startDetachedThread(runThread, this)) {
    printLine(String("CreateThread failed!"));
    std::exit(-1);
  }
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
