// A program started with its output going to files, which the caller may kill at any moment.
// Owns the process: the destructor kills and reaps one that still runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace melodrift::crash {

class ChildProcess {
 public:
  // Starts argv[0] (a path) with standard output and error written to the two files and no
  // standard input. Throws std::runtime_error when the process cannot be started.
  ChildProcess(const std::vector<std::string>& argv, const std::string& out_path,
               const std::string& err_path);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // True until the process has ended (reaps it without blocking).
  bool Running();
  // SIGKILL, then reaps. Returns false when the process had ended on its own first.
  bool Kill();
  // Waits for the end. The exit code, or 128 + the signal's number when one ended it.
  int Wait();
  int status() const { return status_; }

 private:
  void Reap(int wait_status);

  pid_t pid_ = -1;
  bool running_ = false;
  int status_ = -1;
};

// Runs a program to its end. Returns its status as Wait does; its output is in the files.
int RunToEnd(const std::vector<std::string>& argv, const std::string& out_path,
             const std::string& err_path);

}  // namespace melodrift::crash
