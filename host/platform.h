// What differs between the platforms the host runs on, Linux and the browser: where the program
// file (and so its data) is, sleeping, opening a URL, threads, fatal signals, the heap, the window
// focus and the way the frame loop is driven. One implementation per platform in its own file
// (host/platform_linux.cpp, host/platform_web.cpp); the build compiles exactly one of them.
#pragma once

#include <cstddef>
#include <string>

class VxGlfwGame;
struct GLFWwindow;

// The full file name of the running program; its directory holds data/.
std::string programFileName();

// Blocks the main thread for the given milliseconds (the browser's platform never blocks: its
// frame loop driver does the waiting between passes instead).
void sleepMainThread(int milliseconds);

// Opens a URL or file in the user's default application, without waiting for it; failures are
// ignored. target is the 8-bit form of the text.
void openInDefaultApplication(const std::string& target);

// Runs routine(argument) on a new detached thread. False when no thread could be created.
bool startDetachedThread(void* (*routine)(void*), void* argument);

// Routes SIGSEGV, SIGILL and SIGFPE (or what stands for them) to the runtime-error path.
void installFatalSignalHandlers();
// True once one of those signals arrived: the process is on its way out of a crash, and exit
// handlers should not touch libraries whose state the crash may have left half-changed.
bool exitingFromFatalSignal();

// Memory for one collected object in the collector's check mode (runtime/collector.h): pages of its
// own, so that once the object is collected its pages can be made inaccessible and any later
// touch of it faults. Null where the platform cannot (the caller then uses the heap).
void* allocGuardedBlock(std::size_t size);
// Makes a block from allocGuardedBlock inaccessible for good (its memory goes back, its addresses
// stay reserved). False when it could not: the block is then left as it was.
bool retireGuardedBlock(void* block, std::size_t size);
// Gives a block from allocGuardedBlock back (an object that died after the check mode ended).
void freeGuardedBlock(void* block, std::size_t size);

// Tells the C library's allocator to keep freed memory at the top of the heap instead of handing
// it back to the system after every frame: the OpenGL driver allocates and frees a few hundred
// kilobytes per frame, and trimming and faulting that in again cost more than the frame's own
// drawing. runFrames calls it; a host with a frame loop of its own calls it too.
void keepHeapBetweenFrames();

// Whether the render device records a frame's batches and sends them to OpenGL with one vertex
// upload when the frame ends (graphics/draw_recorder.h) instead of drawing each batch at once.
bool recordDrawsUntilPresent();

// Shows or hides the mouse pointer over the window (on the web: over the canvas).
void setPointerVisible(GLFWwindow* window, bool visible);

// Whether the window (on the web: the page) has the input focus.
bool windowHasInputFocus(GLFWwindow* window);

// Runs frame passes (host/frame_loop.h) until the window should close. The browser's version hands
// the passes to the page's animation frames and returns only when the program has ended.
void driveFrameLoop(VxGlfwGame& game);

// Whether the host itself shows the program's screen full screen or scaled in a larger window
// (Linux). The browser's page does that with the canvas instead, so there the host leaves the
// window at the program's size.
bool hostScalesScreen();

// Buttons under the program's screen that press a key, for screens without a keyboard: the
// browser's page shows them (label in UTF-8); a native window has none, so Linux does nothing.
void showKeyButton(const std::string& label, int key);
// Marks the button of that key as the current one (no button: none is marked).
void markShownKeyButton(int key);
