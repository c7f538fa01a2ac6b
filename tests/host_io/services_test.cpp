// The state file, the date, threads, opening a target without a shell, and the framework's
// display-mode list.
#include "host/services.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

#include "host/game.h"
#include "temp_dir.h"

namespace {

String utf16(const std::u16string& units) {
  return String(units.data(), static_cast<int>(units.size()));
}
std::u16string unitsOf(const String& s) {
  return std::u16string(s.data(), s.data() + s.length());
}

TEST(StateFile, EmptyTextGivesEmptyFile) {
  TempDir cwd(true);
  VxGame game;
  EXPECT_TRUE(game.fetchStateText().empty());  // no file yet
  EXPECT_EQ(game.storeStateText(String()), 0);
  ASSERT_TRUE(std::filesystem::exists(".corvanestate"));
  EXPECT_EQ(std::filesystem::file_size(".corvanestate"), 0u);
  EXPECT_TRUE(game.fetchStateText().empty());
}

TEST(StateFile, EveryUnitRoundTrips) {
  TempDir cwd(true);
  VxGame game;
  // One, two and three bytes, the top of each range, and unpaired surrogates.
  std::u16string text = {u'A', 0x7F, 0x80, 0x7FF, 0x800, 0x20AC, 0xD800, 0xDC00, 0xFFFF, u'z'};
  ASSERT_EQ(game.storeStateText(utf16(text)), 0);
  EXPECT_EQ(std::filesystem::file_size(".corvanestate"), 1u + 1 + 2 + 2 + 3 * 5 + 1);
  EXPECT_EQ(unitsOf(game.fetchStateText()), text);
  // Rewritten whole: a shorter text leaves nothing of the longer one.
  ASSERT_EQ(game.storeStateText(String("hi")), 0);
  EXPECT_EQ(readWholeFile(".corvanestate"), "hi");
}

TEST(StateFile, LeadingByteOrderMarkIsDroppedOnRead) {
  TempDir cwd(true);
  VxGame game;
  ASSERT_EQ(game.storeStateText(utf16(u"\uFEFFab\uFEFF")), 0);
  EXPECT_EQ(readWholeFile(".corvanestate"),
            "\xEF\xBB\xBF"
            "ab\xEF\xBB\xBF");
  EXPECT_EQ(unitsOf(game.fetchStateText()), u"ab\uFEFF");
}

TEST(StateFile, CannotCreateGivesMinusOne) {
  TempDir cwd(true);
  // A directory in the file's place cannot be opened for writing, whoever runs the test.
  std::filesystem::create_directory(".corvanestate");
  VxGame game;
  EXPECT_EQ(game.storeStateText(String("x")), -1);
  EXPECT_TRUE(game.fetchStateText().empty());
}

TEST(StateFile, ShortWriteGivesMinusTwo) {
  TempDir cwd(true);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A file-size limit makes the write come up short (the signal it raises is ignored).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {10, 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    VxGame game;
    int small = game.storeStateText(String("0123456789"));
    int large = game.storeStateText(String(std::string(100000, 'x').c_str()));
    int buffered = game.storeStateText(String(std::string(100, 'x').c_str()));
    _exit(small == 0 && large == -2 && buffered == -2 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a short write was reported as success";
}

TEST(ReadDate, FillsAsFarAsTheArrayAllows) {
  VxGame game;
  Array<int> three(3);
  Array<int> ten(10);
  for (int i = 0; i < 10; ++i) ten[i] = 77;
  std::time_t before = std::time(nullptr);
  game.readDate(three);
  game.readDate(ten);
  std::tm local = {};
  localtime_r(&before, &local);
  EXPECT_EQ(three[0], local.tm_year + 1900);
  EXPECT_EQ(three[1], local.tm_mon + 1);
  EXPECT_EQ(three[2], local.tm_mday);
  EXPECT_EQ(ten[0], local.tm_year + 1900);
  EXPECT_GE(ten[3], 0);
  EXPECT_LE(ten[3], 23);
  EXPECT_LE(ten[4], 59);
  EXPECT_LE(ten[5], 60);
  EXPECT_EQ(ten[6], 0);
  for (int i = 7; i < 10; ++i) EXPECT_EQ(ten[i], 77) << i;
  game.readDate(Array<int>());  // nothing to fill
}

// Work that waits for the test's go, so the test controls when it finishes.
class GatedThread : public VxThread {
 public:
  std::atomic<bool> go{false};
  std::atomic<int> runs{0};
  void threadBody() override {
    ++runs;
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    setThreadResult(40 + runs);
  }
};

bool waitUntilFinished(VxThread* thread) {
  for (int i = 0; i < 10000 && thread->state != VxThread::kFinished; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return thread->state == VxThread::kFinished;
}

TEST(Thread, StartWhileRunningRunsOnceAndFinishedOneRunsAgain) {
  auto* thread = new GatedThread;
  EXPECT_EQ(thread->state, VxThread::kNotStarted);
  EXPECT_FALSE(thread->isThreadRunning());
  thread->startThread();
  EXPECT_TRUE(thread->isThreadRunning());
  thread->startThread();
  thread->go = true;
  ASSERT_TRUE(waitUntilFinished(thread));
  EXPECT_EQ(thread->runs, 1);
  EXPECT_EQ(thread->threadResult(), 41);
  EXPECT_FALSE(thread->isThreadRunning());

  thread->go = false;
  thread->startThread();
  EXPECT_EQ(thread->threadResult(), 0);  // a restart clears the result
  thread->go = true;
  ASSERT_TRUE(waitUntilFinished(thread));
  EXPECT_EQ(thread->runs, 2);
  EXPECT_EQ(thread->threadResult(), 42);
}

TEST(Thread, BaseWorkFinishesAtOnce) {
  auto* thread = new VxThread;
  thread->setThreadResult(5);
  EXPECT_EQ(thread->threadResult(), 5);
  thread->startThread();
  ASSERT_TRUE(waitUntilFinished(thread));
  EXPECT_EQ(thread->threadResult(), 0);
}

// A fake opener first on the path for one test; the path is restored afterwards.
class FakeOpener {
 public:
  FakeOpener(const TempDir& dir, const std::string& script) : path_(dir.file("xdg-open")) {
    dir.write("xdg-open", "#!/bin/sh\n" + script);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    saved_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir.path() + ":" + saved_).c_str(), 1);
  }
  ~FakeOpener() { setenv("PATH", saved_.c_str(), 1); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string saved_;
};

// Polls for a file the opener writes last (it runs on its own, so it may still be starting).
bool waitForFile(const std::string& path, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The process's state letter from /proc (Z for a zombie), or '\0' once it is gone.
char processState(pid_t pid) {
  std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? '\0' : stat[close + 2];
}

TEST(OpenInShell, TargetIsOneArgumentAndNoShellRuns) {
  TempDir dir(true);
  // Records its arguments one per line, then renames the record into place, so that the test
  // never reads half of it; the target must arrive as exactly one argument.
  FakeOpener fake(dir,
                  "echo \"$#\" > \"$0.argc\"\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"\n"
                  "mv \"$0.tmp\" \"$0.argv\"\n");

  VxGlfwGame game;
  std::string target = "http://x/?a=1&b=2; touch pwned1 | touch pwned2 $(touch pwned3) `touch pwned4`";
  game.openInShell(String(target.c_str()));
  ASSERT_TRUE(waitForFile(fake.path() + ".argv", 10)) << "the opener never ran";
  EXPECT_EQ(readWholeFile(fake.path() + ".argc"), "1\n");
  EXPECT_EQ(readWholeFile(fake.path() + ".argv"), target + "\n");
  for (const char* name : {"pwned1", "pwned2", "pwned3", "pwned4"})
    EXPECT_FALSE(std::filesystem::exists(name)) << name;

  // Without any opener on the path nothing happens and nothing fails.
  std::string withFake = std::getenv("PATH");
  setenv("PATH", dir.file("empty").c_str(), 1);
  game.openInShell(String("http://x/"));
  setenv("PATH", withFake.c_str(), 1);
}

TEST(OpenInShell, ASlowOpenerNeitherHoldsTheCallerNorLeavesAZombie) {
  TempDir dir(true);
  // Like a browser run in the foreground: the opener stays for three seconds.
  FakeOpener fake(dir, "echo $$ > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.pid\"\nsleep 3\n");

  VxGlfwGame game;
  auto before = std::chrono::steady_clock::now();
  game.openInShell(String("http://x/"));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  EXPECT_LT(took, 0.05) << "the call waited for the opener";

  ASSERT_TRUE(waitForFile(fake.path() + ".pid", 10)) << "the opener never ran";
  pid_t opener = std::atoi(readWholeFile(fake.path() + ".pid").c_str());
  ASSERT_GT(opener, 0);
  EXPECT_NE(processState(opener), '\0') << "the opener ended early: the test proves nothing";
  // Once it has ended it must be gone, not left as a zombie that nobody waits for.
  char state = processState(opener);
  for (int i = 0; i < 1000 && state != '\0'; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    state = processState(opener);
  }
  EXPECT_EQ(state, '\0') << "the opener " << opener << " is still there in state " << state;
}

// A host with a fixed list of modes, to see how the framework's list is built from it.
class ModeListGame : public VxGame {
 public:
  Array<VxDisplayMode*> modes;
  VxDisplayMode* desktop = nullptr;
  Array<VxDisplayMode*> enumerateDisplayModes() override { return modes; }
  VxDisplayMode* currentDesktopMode() override { return desktop; }
};

TEST(DisplayModes, FrameworkListKeepsEachSizeOnceInHostOrder) {
  ModeListGame game;
  const int sizes[][2] = {{800, 600}, {640, 480}, {800, 600}, {1024, 768}, {640, 480}};
  game.modes = Array<VxDisplayMode*>(6);  // the last one stays null
  for (int i = 0; i < 5; ++i) game.modes[i] = new VxDisplayMode(sizes[i][0], sizes[i][1]);
  game.desktop = new VxDisplayMode(1920, 1080);
  VxGame* previous = currentGame;
  currentGame = &game;
  buildDisplayModes();
  Array<c_DisplayMode*> list = displayModes.get();
  ASSERT_EQ(list.length(), 3);
  const int expected[][2] = {{800, 600}, {640, 480}, {1024, 768}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list[i]->width, expected[i][0]) << i;
    EXPECT_EQ(list[i]->height, expected[i][1]) << i;
  }
  ASSERT_NE(desktopMode.get(), nullptr);
  EXPECT_EQ(desktopMode->width, 1920);
  EXPECT_EQ(desktopMode->height, 1080);

  // A host that reports nothing: an empty list and no desktop mode.
  VxGame bare;
  currentGame = &bare;
  buildDisplayModes();
  EXPECT_EQ(displayModes.get().length(), 0);
  EXPECT_EQ(desktopMode.get(), nullptr);
  currentGame = previous;
}

}  // namespace
