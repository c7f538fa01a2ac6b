// The Linux platform: the program file from /proc, nanosleep, xdg-open, pthreads, sigaction for
// the fatal signals, glibc's heap trimming, GLFW's focus attribute and a plain loop of passes.
#include <GLFW/glfw3.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "host/frame_loop.h"
#include "host/game.h"
#include "host/platform.h"
#include "host/runtime_error.h"
#include "runtime/collector.h"

extern char** environ;

std::string programFileName() {
  std::vector<char> name(4096);
  for (;;) {
    ssize_t got = readlink("/proc/self/exe", name.data(), name.size());
    if (got < 0) std::abort();
    if (static_cast<size_t>(got) < name.size()) return std::string(name.data(), static_cast<size_t>(got));
    name.resize(name.size() * 2);  // the name may have been cut: try again with more room
  }
}

void sleepMainThread(int milliseconds) {
  timespec remaining{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  // A signal may cut the sleep short; sleep the rest.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void openInDefaultApplication(const std::string& target) {
  // The target is one argument of the opener, never a command line: no shell sees it.
  char opener[] = "xdg-open";
  char* argv[] = {opener, const_cast<char*>(target.c_str()), nullptr};
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

bool startDetachedThread(void* (*routine)(void*), void* argument) {
  pthread_t handle;
  if (pthread_create(&handle, nullptr, routine, argument) != 0) return false;
  pthread_detach(handle);
  return true;
}

namespace {

volatile sig_atomic_t inFatalSignal = 0;

[[noreturn]] void fatalSignal(int sig, siginfo_t* info, void*) {
  inFatalSignal = 1;
  switch (sig) {
    case SIGSEGV:
      // In the collector's check mode a collected object's pages are inaccessible: name it.
      if (const char* message = collectedObjectMessage(info->si_addr)) fatalError(message);
      fatalError("Memory access violation");
    case SIGILL:
      fatalError("Illegal instruction");
    case SIGFPE:
      fatalError("Floating point exception");
    default:
      fatalError("Unknown signal");
  }
}

}  // namespace

bool exitingFromFatalSignal() {
  return inFatalSignal != 0;
}

void installFatalSignalHandlers() {
  // A stack overflow is a SIGSEGV with no stack left to run the handler on: give it its own.
  static char alternateStack[64 * 1024];
  stack_t stack = {};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action = {};
  action.sa_sigaction = fatalSignal;
  action.sa_flags = SA_ONSTACK | SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, nullptr);
  sigaction(SIGILL, &action, nullptr);
  sigaction(SIGFPE, &action, nullptr);
}

namespace {

std::size_t wholePages(std::size_t size) {
  auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (size + page - 1) / page * page;
}

// The leak checker of a sanitizer build scans only the heap it knows: live objects on pages of
// their own are shown to it, or what they point to would count as leaked. Weak, so that a build
// without the sanitizer has no such functions and skips the calls.
extern "C" void __lsan_register_root_region(const void* begin, size_t size) __attribute__((weak));
extern "C" void __lsan_unregister_root_region(const void* begin, size_t size) __attribute__((weak));

// Every retired block splits a mapping in two, and the kernel allows some 65,000 mappings per
// process: past this many the check mode falls back to poisoned heap blocks.
constexpr int kMaxRetiredGuardedBlocks = 25000;
int retiredGuardedBlocks = 0;

}  // namespace

void* allocGuardedBlock(std::size_t size) {
  if (retiredGuardedBlocks >= kMaxRetiredGuardedBlocks) return nullptr;
  void* block = mmap(nullptr, wholePages(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  if (__lsan_register_root_region != nullptr) __lsan_register_root_region(block, wholePages(size));
  return block;
}

bool retireGuardedBlock(void* block, std::size_t size) {
  std::size_t length = wholePages(size);
  if (mprotect(block, length, PROT_NONE) != 0) return false;
  if (__lsan_unregister_root_region != nullptr) __lsan_unregister_root_region(block, length);
  madvise(block, length, MADV_DONTNEED);
  ++retiredGuardedBlocks;
  return true;
}

void freeGuardedBlock(void* block, std::size_t size) {
  if (__lsan_unregister_root_region != nullptr) __lsan_unregister_root_region(block, wholePages(size));
  munmap(block, wholePages(size));
}

void setPointerVisible(GLFWwindow* window, bool visible) {
  glfwSetInputMode(window, GLFW_CURSOR, visible ? GLFW_CURSOR_NORMAL : GLFW_CURSOR_HIDDEN);
}

void keepHeapBetweenFrames() {
  constexpr int kTrimThresholdBytes = 64 * 1024 * 1024;
  mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
}

// Client arrays go to the driver without a copy per draw here: each batch is drawn at once.
bool recordDrawsUntilPresent() {
  return false;
}

bool windowHasInputFocus(GLFWwindow* window) {
  return glfwGetWindowAttrib(window, GLFW_FOCUSED) == GLFW_TRUE;
}

bool hostScalesScreen() {
  return true;
}

// A window has its keyboard.
void showKeyButton(const std::string&, int) {}
void markShownKeyButton(int) {}

void driveFrameLoop(VxGlfwGame& game) {
  GlfwFramePlatform platform(game);
  while (runFramePass(game, platform)) {
  }
}
