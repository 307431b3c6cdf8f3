#include "library/table_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "library/table_error.h"

namespace melodrift {

namespace {

class PosixTableFile final : public TableFile {
 public:
  explicit PosixTableFile(int fd) : fd_(fd) {}
  ~PosixTableFile() override { ::close(fd_); }
  PosixTableFile(const PosixTableFile&) = delete;
  PosixTableFile& operator=(const PosixTableFile&) = delete;

  int64_t ReadAt(int64_t offset, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done, offset + done);
      if (r < 0) {
        if (errno == EINTR) continue;
        return -errno;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
  }

  int WriteAt(int64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done, offset + done);
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (r == 0) return ENOSPC;
      done += static_cast<size_t>(r);
    }
    return 0;
  }

  int Truncate(int64_t size) override { return ::ftruncate(fd_, size) == 0 ? 0 : errno; }

  int64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -errno;
    return st.st_size;
  }

 private:
  int fd_;
};

TableFileOpener& Opener() {
  static TableFileOpener opener;
  return opener;
}

bool FolderOfPathExists(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;
  std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TableFileOpenResult OpenPosixTableFile(const std::string& path, TableFileFlags flags) {
  int mode = flags.read_only ? O_RDONLY : O_RDWR;
  if (flags.create) mode |= O_CREAT | O_TRUNC;
  int fd = ::open(path.c_str(), mode | O_CLOEXEC, 0644);
  if (fd < 0) return {nullptr, errno};
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
    ::close(fd);
    return {nullptr, err};
  }
  if (flags.exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    return {nullptr, err};
  }
  return {std::make_unique<PosixTableFile>(fd), 0};
}

TableFileOpenResult OpenTableFile(const std::string& path, TableFileFlags flags) {
  if (Opener()) return Opener()(path, flags);
  return OpenPosixTableFile(path, flags);
}

TableFileOpener SetTableFileOpener(TableFileOpener opener) {
  return std::exchange(Opener(), std::move(opener));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

int TableErrorCodeFromErrno(int err, const std::string& path, int fallback) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return FolderOfPathExists(path) ? table_error::kFileNotFound : table_error::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return table_error::kAccessDenied;
    case EWOULDBLOCK:
      return table_error::kSharingViolation;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return table_error::kDiskWrite;
    default:
      return fallback;
  }
}

}  // namespace melodrift
