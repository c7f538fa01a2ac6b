// Runtime errors and debug output: the two print operations, the error banner and the line-based
// debugger handshake on the standard streams. Needs only the C library and the string type;
// everything here may run inside a fatal-signal handler (host/platform.h) after a crash.
#include "host/runtime_error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/game.h"

namespace {

// Nothing in this system records source positions, so this stays null; the handshake still
// reports it so that a debugger sees the format it expects.
const char* debugPosition = nullptr;

// Written by the handshake for a debugger's benefit; nothing in this system reads them.
int stepMode = 0;
bool stepping = false;

// Reused between calls so that printing in a loop does not allocate each time.
std::string printBuffer;
char* errorBuffer = nullptr;
int64_t errorBufferSize = 0;

constexpr int kDebugLineMax = 255;

// The "%p" text of a pointer: optional blanks, an optional 0x, hex digits. Anything else
// (including glibc's "(nil)" and numbers too long for a pointer) is read as null.
void* parseDebugPointer(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  uintptr_t value = 0;
  int digits = 0;
  for (; *text; ++text) {
    int d;
    char c = *text;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      break;
    }
    if (++digits > static_cast<int>(sizeof(uintptr_t) * 2)) return nullptr;
    value = value * 16 + static_cast<uintptr_t>(d);
  }
  if (digits == 0) return nullptr;
  return reinterpret_cast<void*>(value);
}

}  // namespace

void printLine(const String& text) {
  printBuffer.clear();
  text.AppendUtf8(printBuffer);
  printBuffer.push_back('\n');
  std::fwrite(printBuffer.data(), 1, printBuffer.size(), stdout);
  std::fflush(stdout);
}

void writeErrorLine(const String& text) {
  int n = text.length();
  if (int64_t{n} + 99 >= errorBufferSize) {
    char* bigger = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 100));
    if (bigger == nullptr) return;  // output errors are ignored
    std::free(errorBuffer);
    errorBuffer = bigger;
    errorBufferSize = int64_t{n} + 100;
  }
  const Char* units = text.data();
  for (int i = 0; i < n; ++i) errorBuffer[i] = static_cast<char>(units[i] & 0xFF);
  errorBuffer[n] = '\n';
  std::fwrite(errorBuffer, 1, static_cast<size_t>(n) + 1, stderr);
  std::fflush(stderr);
}

void raiseRuntimeError(const String& message) {
  if (message.empty()) std::exit(0);
  String::CString bytes = message.ToCString();
  fatalError(bytes.c_str());
}

void quitApp() {
  raiseRuntimeError(String());
}

void fatalError(const char* message) {
  // A debugger that answers "continue" sees the same error again: the error cannot be passed.
  for (;;) {
    printLine(String("Corvane Runtime Error : ") + String(message));
    printLine(stackTraceText());
    debugStop();
  }
}

String stackTraceText() {
  if (debugPosition == nullptr || debugPosition[0] == 0) return String();
  return String(debugPosition) + String("\n");
}

void debugStop() {
  std::fprintf(stderr, "{{~~%s~~}}\n", debugPosition ? debugPosition : "");
  writeErrorLine(String());
  char line[kDebugLineMax + 1];
  for (;;) {
    if (std::fgets(line, sizeof line, stdin) == nullptr) std::exit(-1);
    char* feed = std::strchr(line, '\n');
    if (feed == nullptr) std::exit(-1);
    *feed = 0;
    switch (line[0]) {
      case '?':
        continue;
      case '@': {
        Object* object = static_cast<Object*>(parseDebugPointer(line + 1));
        writeErrorLine(object ? object->debugText() : String());
        continue;
      }
      case 'r':
        stepMode = 0;
        stepping = false;
        return;
      case 's':
        stepMode = 's';
        stepping = true;
        return;
      case 'e':
        stepMode = 'e';
        stepping = true;
        return;
      case 'l':
        stepMode = 'l';
        stepping = false;
        return;
      case 'q':
        std::exit(0);
      default:
        std::printf("????? %s ?????\n", line);
        std::fflush(stdout);
        std::exit(-1);
    }
  }
}

void VxGame::reportUncaught(ThrowableObject*) {
  printLine(String("Corvane Runtime Error : Uncaught Corvane Exception"));
  std::exit(-1);
}
