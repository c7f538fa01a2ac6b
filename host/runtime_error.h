// Runtime errors and debug output: the error banner and the line-based debugger handshake on the
// standard streams, uncaught exceptions, and the two print operations.
#pragma once

#include "host/platform.h"  // installFatalSignalHandlers, exitingFromFatalSignal
#include "runtime/collector.h"
#include "runtime/string.h"

// Base of runtime exceptions; thrown and caught by reference (the object reference is thrown).
class ThrowableObject : public Object {};

// UTF-8 plus a line feed to standard output, then flush.
void printLine(const String& text);
// Each unit cut to 8 bits, plus a line feed, in one write to standard error, then flush.
void writeErrorLine(const String& text);
// An empty message exits with status 0; any other prints the banner and enters the handshake.
[[noreturn]] void raiseRuntimeError(const String& message);
[[noreturn]] void quitApp();
[[noreturn]] void fatalError(const char* message);
String stackTraceText();
void debugStop();
