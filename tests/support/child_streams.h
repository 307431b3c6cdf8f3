// For a child process between fork and exec: standard input from /dev/null, standard output
// and error into files. Only async-signal-safe calls, so it may run in the child of a
// multi-threaded test.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace melodrift::testing {

// Returns false when a file could not be opened; the caller then ends the child.
inline bool RedirectStandardStreams(const char* out_path, const char* err_path) {
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = ::open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(err_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0) return false;
  ::dup2(in, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  return true;
}

}  // namespace melodrift::testing
