// The runtime-error path as another process sees it: what reaches standard output and standard
// error, the debugger handshake on standard input, and the exit statuses.
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "child_process.h"

namespace {

const std::string kHelper = HOST_IO_HELPER;
const std::string kMarker = "{{~~~~}}\n\n";  // the marker with no position, then an empty line

ChildResult runHelper(const std::vector<std::string>& args, const std::string& input = "") {
  std::vector<std::string> argv = {kHelper};
  argv.insert(argv.end(), args.begin(), args.end());
  return runChild(kHelper, argv, input);
}

TEST(RuntimeError, WithoutDebuggerPrintsBannerAndExitsMinusOne) {
  ChildResult r = runHelper({"raise", "App has already been created"});
  EXPECT_EQ(r.out, "Corvane Runtime Error : App has already been created\n\n");
  EXPECT_EQ(r.err, kMarker);
  EXPECT_EQ(r.status, 255);
}

TEST(RuntimeError, EmptyMessageEndsNormallyAndSilently) {
  for (const char* mode : {"raise", "quit"}) {
    ChildResult r = runHelper({mode, ""});
    EXPECT_EQ(r.status, 0) << mode;
    EXPECT_EQ(r.out, "") << mode;
    EXPECT_EQ(r.err, "") << mode;
  }
}

TEST(RuntimeError, UnitAboveSevenBitsIsCutAndSignExtendedIntoBanner) {
  // 0xE9 and 0x1E9 both keep the byte E9, which comes back as the unit 0xFFE9 (UTF-8 EF BF A9).
  for (const char* unit : {"e9", "1e9"}) {
    ChildResult r = runHelper({"raise-unit", unit});
    EXPECT_EQ(r.out, "Corvane Runtime Error : x\xEF\xBF\xA9y\n\n") << unit;
    EXPECT_EQ(r.status, 255);
  }
  // A unit below 0x80 passes unchanged.
  EXPECT_EQ(runHelper({"raise-unit", "141"}).out, "Corvane Runtime Error : xAy\n\n");
}

TEST(RuntimeError, ContinueShowsTheSameErrorAgain) {
  ChildResult r = runHelper({"raise", "boom"}, "r\n");
  EXPECT_EQ(r.out, "Corvane Runtime Error : boom\n\nCorvane Runtime Error : boom\n\n");
  EXPECT_EQ(r.err, kMarker + kMarker);
  EXPECT_EQ(r.status, 255);
  // The stepping commands return the same way.
  r = runHelper({"raise", "boom"}, "s\ne\nl\n");
  EXPECT_EQ(r.err, kMarker + kMarker + kMarker + kMarker);
  EXPECT_EQ(r.status, 255);
}

TEST(RuntimeError, QuitCommandExitsZero) {
  ChildResult r = runHelper({"raise", "boom"}, "?\nq\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Corvane Runtime Error : boom\n\n");
  EXPECT_EQ(r.err, kMarker);  // "?" reads the next line without printing
}

TEST(RuntimeError, UnknownCommandEchoesWholeLineAndExitsMinusOne) {
  ChildResult r = runHelper({"raise", "boom"}, "x\n");
  EXPECT_EQ(r.out, "Corvane Runtime Error : boom\n\n????? x ?????\n");
  EXPECT_EQ(r.status, 255);
  r = runHelper({"raise", "boom"}, "xyz 12\nq\n");
  EXPECT_EQ(r.out, "Corvane Runtime Error : boom\n\n????? xyz 12 ?????\n");
  EXPECT_EQ(r.status, 255);
}

TEST(RuntimeError, LineWithoutFeedEndsHandshake) {
  // Longer than the 255 characters one read takes: no line feed is seen.
  ChildResult r = runHelper({"raise", "boom"}, std::string(300, 'q'));
  EXPECT_EQ(r.status, 255);
  // Short, but cut off by the end of input.
  r = runHelper({"raise", "boom"}, "q");
  EXPECT_EQ(r.status, 255);
  // A 254-character line plus its feed still fits.
  r = runHelper({"raise", "boom"}, "q" + std::string(253, ' ') + "\n");
  EXPECT_EQ(r.status, 0);
}

TEST(RuntimeError, DumpOfNullOrMalformedPointerWritesEmptyLine) {
  for (const char* command : {"@0\n", "@(nil)\n", "@\n", "@zz\n", "@0x12345678901234567890\n"}) {
    ChildResult r = runHelper({"raise", "boom"}, std::string(command) + "q\n");
    EXPECT_EQ(r.err, kMarker + "\n") << command;
    EXPECT_EQ(r.status, 0) << command;
  }
}

TEST(RuntimeError, DumpOfLiveObjectWritesItsDebugText) {
  ChildProcess child(kHelper, {kHelper, "dump"});
  std::string pointer = child.readOutputLine();
  ASSERT_FALSE(pointer.empty());
  child.write("@" + pointer + "\n@ " + pointer + "\nq\n");
  ChildResult r = child.finish();
  EXPECT_EQ(r.err, kMarker + "+Object\n\n+Object\n\n");
  EXPECT_EQ(r.status, 0);
}

TEST(RuntimeError, UncaughtExceptionMessageAndStatus) {
  ChildResult r = runHelper({"uncaught"});
  EXPECT_EQ(r.out, "Corvane Runtime Error : Uncaught Corvane Exception\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 255);
}

TEST(FatalSignal, AccessFaultGoesThroughRuntimeErrorPath) {
  ChildResult r = runHelper({"fault"});
  EXPECT_EQ(r.out, "Corvane Runtime Error : Memory access violation\n\n");
  EXPECT_EQ(r.err, kMarker);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.signal, 0);
}

TEST(FatalSignal, EachSignalHasItsMessage) {
  const std::pair<int, const char*> cases[] = {{SIGSEGV, "Memory access violation"},
                                               {SIGILL, "Illegal instruction"},
                                               {SIGFPE, "Floating point exception"}};
  for (const auto& [sig, message] : cases) {
    ChildResult r = runHelper({"signal", std::to_string(sig)});
    EXPECT_EQ(r.out, std::string("Corvane Runtime Error : ") + message + "\n\n");
    EXPECT_EQ(r.status, 255) << message;
  }
  // The debugger may quit out of a signal's error too.
  EXPECT_EQ(runHelper({"signal", std::to_string(SIGFPE)}, "q\n").status, 0);
}

TEST(ResolvePathInChild, ProgramDirectoryDoesNotDependOnWorkingDirectory) {
  std::filesystem::path helperDir = std::filesystem::canonical(kHelper).parent_path();
  char tmpl[] = "/tmp/host_io_cwd_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  ChildResult r = runChild(kHelper, {kHelper, "resolve", "corvane://data/songs/a.dat"}, "", tmpl);
  EXPECT_EQ(r.out, helperDir.string() + "/data/songs/a.dat\n");
  EXPECT_EQ(r.status, 0);
  r = runChild(kHelper, {kHelper, "resolve", "corvane://nowhere/x"}, "", tmpl);
  EXPECT_EQ(r.out, "\n");
  std::filesystem::remove(tmpl);
}

}  // namespace
