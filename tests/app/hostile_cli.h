// Runs a copy of melodrift-cli as a separate process in a hostile environment: as an
// unprivileged user, or under a file size limit. For the hostile-environment tests.
#pragma once

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_streams.h"
#include "tests/support/temp_dir.h"

namespace melodrift::testing {

// Exit status of a child that could not become the unprivileged user, or as that user could
// not reach the program (a temporary folder inside a private one).
inline constexpr int kCannotDropPrivileges = 125;
// The user and group "nobody" of Debian.
inline constexpr uid_t kNobody = 65534;

struct ProgramRun {
  int status = -1;  // exit code, or 128 + the signal that ended the process
  std::string out;
  std::string err;
};

struct ProgramLimits {
  bool unprivileged = false;       // as nobody when this process is root
  long long file_size_limit = -1;  // RLIMIT_FSIZE in bytes, -1 for none
};

// A program folder: a copy of melodrift-cli beside an empty tables/ folder, readable by every
// user (so an unprivileged run can reach it).
class CliCopy {
 public:
  CliCopy() {
    namespace fs = std::filesystem;
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    fs::create_directory(dir_.File("tables"));
    fs::copy_file(MELODRIFT_CLI_EXECUTABLE, dir_.File("melodrift-cli"));
    fs::permissions(dir_.File("melodrift-cli"), fs::perms::owner_all | fs::perms::group_read |
                                                    fs::perms::group_exec | fs::perms::others_read |
                                                    fs::perms::others_exec);
    fs::create_directory(dir_.File("output"));
  }

  std::string Folder() const { return dir_.path() + "/"; }
  std::string Tables() const { return dir_.File("tables"); }
  std::string Table(const std::string& name) const { return dir_.File("tables/" + name); }
  std::string File(const std::string& name) const { return dir_.File(name); }

  ProgramRun Run(const std::vector<std::string>& args, const ProgramLimits& limits = {}) const {
    const std::string out_path = dir_.File("output/out.txt");
    const std::string err_path = dir_.File("output/err.txt");
    const std::string program = dir_.File("melodrift-cli");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      // Only async-signal-safe calls until exec. The output files are opened before the
      // privileges go, so the unprivileged program can still write them.
      if (!RedirectStandardStreams(out_path.c_str(), err_path.c_str())) ::_exit(126);
      if (limits.unprivileged && ::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0 || ::access(argv[0], X_OK) != 0)
          ::_exit(kCannotDropPrivileges);
      }
      if (limits.file_size_limit >= 0) {
        const rlimit limit{static_cast<rlim_t>(limits.file_size_limit),
                           static_cast<rlim_t>(limits.file_size_limit)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ProgramRun run;
    int wait_status = 0;
    if (pid > 0 && ::waitpid(pid, &wait_status, 0) == pid) {
      run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    }
    run.out = ReadFileBytes(out_path);
    run.err = ReadFileBytes(err_path);
    return run;
  }

 private:
  TempDir dir_;
};

}  // namespace melodrift::testing
