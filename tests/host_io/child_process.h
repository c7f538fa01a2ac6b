// Runs the test helper as a child with its three standard streams on pipes, so that tests can see
// exactly what each stream carried and how the child ended.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
  int status = -1;  // exit status 0-255, or -1 if the child did not exit normally
  int signal = 0;   // the signal that ended it, if any
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // Starts program with args (argv[0] is the program); cwd empty keeps the current directory.
  ChildProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void write(const std::string& text);
  void closeInput();
  // Reads standard output up to and including the next line feed (what was read stays in out).
  std::string readOutputLine();
  // Closes standard input, collects the rest of both streams and waits for the exit.
  ChildResult finish();

 private:
  bool pump(int timeoutMs);
  int pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  ChildResult result_;
  size_t lineStart_ = 0;
};

// Starts, feeds input, and finishes in one call.
ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "", const std::string& cwd = "");
