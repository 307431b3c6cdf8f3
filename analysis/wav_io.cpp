#include "analysis/wav_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace melodrift {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int UniqueFd::Close() {
  if (fd_ < 0) return 0;
  // Linux releases the descriptor even when close reports an error, so it is never retried.
  const int result = ::close(std::exchange(fd_, -1));
  return result == 0 ? 0 : errno;
}

UniqueFd OpenFile(const std::string& path, int flags, int& error) {
  error = 0;
  UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC, 0644));
  if (!fd) {
    error = errno;
    return fd;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    error = errno;
    return UniqueFd();
  }
  if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
    return UniqueFd();
  }
  return fd;
}

bool SameFile(int fd, const std::string& path) {
  struct stat open_file, named;
  return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

int64_t FileBytes(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -errno;
  return st.st_size;
}

int64_t ReadAt(int fd, int64_t offset, void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd, static_cast<char*>(buffer) + done, n - done,
                              static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(done);
}

int WriteAll(int fd, const void* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::write(fd, static_cast<const char*>(data) + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) return ENOSPC;
    done += static_cast<size_t>(r);
  }
  return 0;
}

std::system_error FileError(int error, const std::string& what, const std::string& path) {
  return std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

}  // namespace melodrift
