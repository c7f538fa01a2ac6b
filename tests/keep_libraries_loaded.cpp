// Linked into every test program of the sanitizer build (CORVANE_SANITIZE): dlclose keeps every
// library loaded until the process ends.
//
// GLFW unloads libGL when it terminates, and the GL dispatch library then unloads Mesa's driver,
// which keeps a few allocations for the life of the process. LeakSanitizer checks for leaks at exit
// and names each frame of a leak's stack by the library it lies in; once that library is unmapped,
// its frames are "<unknown module>" and no suppression by library name (tests/lsan.supp) can match
// them. Kept loaded, the driver's allocations are named and suppressed, while a leak in the
// framework's own code (linked into the test program) is reported as ever.
//
// The executable's definition comes before libc's (and the sanitizer runtime's) in symbol lookup, so
// every library's dlclose calls end here; the link exports it (--export-dynamic-symbol).
extern "C" int dlclose(void*) {
  return 0;
}
