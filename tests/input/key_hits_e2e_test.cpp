// End to end: a real XTEST key press of F3 on the test display reaches a program built on the
// whole framework as exactly one hit of key 114 in exactly one update.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The program under test, with its output read line by line through a pipe.
class Program {
 public:
  explicit Program(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  bool started() const { return pid_ > 0; }

  // Reads lines until one equals `line` (true) or the output ends or the time runs out (false).
  bool readUntil(const std::string& line, std::chrono::seconds limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
      size_t end;
      while ((end = buffer_.find('\n')) != std::string::npos) {
        std::string next = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        lines.push_back(next);
        if (next == line) return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[512];
      ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // The exit status, or -1 if the program is still running after the limit (it is then killed).
  int wait(std::chrono::seconds limit) {
    auto deadline = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < deadline) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  std::vector<std::string> lines;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

// Runs a command and returns its standard output.
std::string capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char chunk[256];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
    pclose(p);
  }
  return out;
}

std::string findWindow() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    // The program names no title: its window carries the program file's name.
    std::string ids = capture("xdotool search --onlyvisible --name '^input_key_hits_app$' 2>/dev/null");
    if (!ids.empty()) return ids.substr(0, ids.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

TEST(KeyHitsEndToEnd, OneF3PressIsOneHitOf114InOneUpdate) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under scripts/with-xvfb";
  const char* binaryDir = std::getenv("CORVANE_BINARY_DIR");
  ASSERT_NE(binaryDir, nullptr);
  Program program(std::string(binaryDir) + "/input_key_hits_app");
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.readUntil("ready", std::chrono::seconds(30))) << "the program never updated";

  std::string window = findWindow();
  ASSERT_FALSE(window.empty()) << "no window titled input_key_hits_app";
  // XTEST input goes to the focused window (or the one under the pointer): give it both.
  capture("xdotool windowfocus " + window + " mousemove --window " + window + " 320 240");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  capture("xdotool key F3");

  ASSERT_TRUE(program.readUntil("done", std::chrono::seconds(30))) << "the program did not finish";
  EXPECT_EQ(program.wait(std::chrono::seconds(10)), 0);

  std::vector<std::string> hits;
  for (const std::string& line : program.lines) {
    if (line.find("hits 114:") != std::string::npos) hits.push_back(line);
  }
  ASSERT_EQ(hits.size(), 1u) << "updates that saw key 114 hit";
  EXPECT_NE(hits[0].find("hits 114: 1"), std::string::npos) << hits[0];
}

}  // namespace
