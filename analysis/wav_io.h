// Plain POSIX file access for the converter and the analyser: an owning descriptor and whole
// reads and writes that retry interrupted and short calls. Errors come back as errno values;
// callers decide whether they are exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

namespace melodrift {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes the descriptor; 0 or the errno of close (a late write error shows up here).
  int Close();

 private:
  int fd_ = -1;
};

// Opens with open(2) flags (O_CLOEXEC is added). An invalid descriptor and `error` set on
// failure. A folder is refused with EISDIR even for reading.
UniqueFd OpenFile(const std::string& path, int flags, int& error);

// Whether `path` names the open file `fd` (the same device and inode).
bool SameFile(int fd, const std::string& path);

// Size of the open file in bytes, or -errno.
int64_t FileBytes(int fd);

// Reads up to n bytes at offset: the bytes read (fewer only at the end of the file) or -errno.
int64_t ReadAt(int fd, int64_t offset, void* buffer, size_t n);

// Writes all n bytes at the current position: 0 or errno (ENOSPC when nothing more fits).
int WriteAll(int fd, const void* data, size_t n);

// `what` "path": reason, as the error of a failed file operation.
std::system_error FileError(int error, const std::string& what, const std::string& path);

}  // namespace melodrift
