#include "tests/crash/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "tests/support/child_streams.h"

namespace melodrift::crash {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& out_path,
                           const std::string& err_path) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // Only async-signal-safe calls until exec.
    if (!testing::RedirectStandardStreams(out_path.c_str(), err_path.c_str())) ::_exit(126);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  running_ = true;
}

ChildProcess::~ChildProcess() {
  if (running_) Kill();
}

void ChildProcess::Reap(int wait_status) {
  running_ = false;
  status_ = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

bool ChildProcess::Running() {
  if (!running_) return false;
  int wait_status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &wait_status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) Reap(wait_status);
  return running_;
}

bool ChildProcess::Kill() {
  if (!Running()) return false;
  ::kill(pid_, SIGKILL);
  Wait();
  return true;
}

int ChildProcess::Wait() {
  if (running_) {
    int wait_status = 0;
    pid_t r;
    do {
      r = ::waitpid(pid_, &wait_status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) Reap(wait_status);
  }
  return status_;
}

int RunToEnd(const std::vector<std::string>& argv, const std::string& out_path,
             const std::string& err_path) {
  ChildProcess child(argv, out_path, err_path);
  return child.Wait();
}

}  // namespace melodrift::crash
