// Pipes and poll around fork/exec; both output pipes are drained together so neither can fill up
// and stall the child.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace {

constexpr int kTimeoutMs = 20000;

void makePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& cwd) {
  int in[2], out[2], err[2];
  makePipe(in);
  makePipe(out);
  makePipe(err);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
  // A child that exits before reading its input must not kill the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_, out_, err_}) {
    if (fd >= 0) close(fd);
  }
}

void ChildProcess::write(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(in_, text.data() + done, text.size() - done);
    if (n <= 0) return;  // the child stopped reading: it has ended
    done += static_cast<size_t>(n);
  }
}

void ChildProcess::closeInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

// Reads what is available from either output; false once both are at their end or on timeout.
bool ChildProcess::pump(int timeoutMs) {
  pollfd fds[2];
  int count = 0;
  if (out_ >= 0) fds[count++] = {out_, POLLIN, 0};
  if (err_ >= 0) fds[count++] = {err_, POLLIN, 0};
  if (count == 0) return false;
  if (poll(fds, count, timeoutMs) <= 0) return false;
  for (int i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    bool isOut = fds[i].fd == out_;
    if (n <= 0) {
      close(fds[i].fd);
      (isOut ? out_ : err_) = -1;
    } else {
      (isOut ? result_.out : result_.err).append(buffer, static_cast<size_t>(n));
    }
  }
  return true;
}

std::string ChildProcess::readOutputLine() {
  for (;;) {
    size_t feed = result_.out.find('\n', lineStart_);
    if (feed != std::string::npos) {
      std::string line = result_.out.substr(lineStart_, feed - lineStart_);
      lineStart_ = feed + 1;
      return line;
    }
    if (out_ < 0 || !pump(kTimeoutMs)) return std::string();
  }
}

ChildResult ChildProcess::finish() {
  closeInput();
  while (out_ >= 0 || err_ >= 0) {
    if (!pump(kTimeoutMs)) {
      kill(pid_, SIGKILL);  // a hung child fails its test instead of stalling the run
      break;
    }
  }
  int status = 0;
  if (waitpid(pid_, &status, 0) == pid_) {
    if (WIFEXITED(status)) result_.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  }
  pid_ = -1;
  return result_;
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input, const std::string& cwd) {
  ChildProcess child(program, args, cwd);
  child.write(input);
  return child.finish();
}
