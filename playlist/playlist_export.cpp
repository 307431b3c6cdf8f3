#include "playlist/playlist_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "library/dbf_field.h"
#include "library/rounding.h"
#include "library/table_error.h"
#include "library/table_file.h"

namespace melodrift {

namespace {

constexpr size_t kCopyChunk = 1 << 20;
constexpr char kLineEnd[] = "\r\n";

// "<path>: <reason>", the reason in the words of the table layer where it has them.
std::string FileErrorText(int err, const std::string& path) {
  const int code = TableErrorCodeFromErrno(err, path, 0);
  return path + ": " + (code != 0 ? ErrorDescription(code) : std::string(std::strerror(err)));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now, so that a failure to close (a write the disk refused late) is seen.
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

Fd OpenRegularForReading(const std::string& path, int& err) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    err = errno;
    return fd;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    err = errno;
    return Fd(-1);
  }
  if (!S_ISREG(st.st_mode)) {
    err = EISDIR;  // a folder or device is no track file
    return Fd(-1);
  }
  err = 0;
  return fd;
}

// Size of a track file in kilobytes, rounded halves to even.
int64_t TrackKilobytes(const std::string& path) {
  int err = 0;
  Fd fd = OpenRegularForReading(path, err);
  if (!fd.valid()) throw PlaylistFileError(FileErrorText(err, path));
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) throw PlaylistFileError(FileErrorText(errno, path));
  return RoundToInt64(static_cast<double>(st.st_size) / 1024.0);
}

int WriteAll(int fd, const char* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, data + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (w == 0) return ENOSPC;
    done += static_cast<size_t>(w);
  }
  return 0;
}

// The file name part of a path: the text after its last '/'.
std::string FileNamePart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes a half-written copy unless it was handed over.
class PartialFile {
 public:
  explicit PartialFile(std::string path) : path_(std::move(path)) {}
  ~PartialFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

// Copies source to `folder` (ending in '/') + `name` through a file beside the destination,
// which replaces it only when complete. Returns "" or the failure text.
std::string CopyFile(const std::string& source, const std::string& folder,
                     const std::string& name) {
  const std::string destination = folder + name;
  int err = 0;
  Fd in = OpenRegularForReading(source, err);
  if (!in.valid()) return FileErrorText(err, source);

  // A new name of its own in the destination folder: nothing there is touched before the rename.
  std::string partial_path = folder + ".melodrift-copy-XXXXXX";
  Fd out(::mkostemp(partial_path.data(), O_CLOEXEC));
  if (!out.valid()) return FileErrorText(errno, destination);
  PartialFile partial(partial_path);
  ::fchmod(out.get(), 0644);  // mkostemp makes 0600; file systems without modes ignore this

  std::vector<char> buffer(kCopyChunk);
  for (;;) {
    const ssize_t r = ::read(in.get(), buffer.data(), buffer.size());
    if (r < 0) {
      if (errno == EINTR) continue;
      return FileErrorText(errno, source);
    }
    if (r == 0) break;
    if (const int w = WriteAll(out.get(), buffer.data(), static_cast<size_t>(r)); w != 0) {
      return FileErrorText(w, destination);
    }
  }
  if (const int c = out.Close(); c != 0) return FileErrorText(c, destination);
  if (::rename(partial_path.c_str(), destination.c_str()) != 0) {
    return FileErrorText(errno, destination);
  }
  partial.Release();
  return {};
}

// Appends lines to a file created anew; every line ends with CR LF.
class LineWriter {
 public:
  explicit LineWriter(const std::string& path)
      : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    if (!fd_.valid()) throw PlaylistFileError(FileErrorText(errno, path));
  }
  void Line(const std::string& text) {
    std::string line = text + kLineEnd;
    if (const int err = WriteAll(fd_.get(), line.data(), line.size()); err != 0) {
      throw PlaylistFileError(FileErrorText(err, path_));
    }
  }
  void Close() {
    if (const int err = fd_.Close(); err != 0) throw PlaylistFileError(FileErrorText(err, path_));
  }

 private:
  std::string path_;
  Fd fd_;
};

std::string WithoutLineBreaks(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

}  // namespace

int64_t WalkPlaylist(const TCandidateTable& table, const PlaylistLimits& limits,
                     const std::function<void(const CandidateRow&)>& take) {
  int64_t count = 0;
  int64_t total = 0;
  const int64_t rows = table.RecordCount();
  for (int64_t recno = 1; recno <= rows; ++recno) {
    const CandidateRow& row = table.Row(recno);
    bool beyond = false;
    switch (limits.kind) {
      case LimitKind::kCount:
        beyond = ++count > limits.songs;
        break;
      case LimitKind::kTime:
        total += static_cast<int64_t>(row.Seconds) + 2;
        beyond = total > limits.seconds;
        break;
      case LimitKind::kSize:
        total += TrackKilobytes(TrimTrailing(row.Path));
        beyond = total > limits.kilobytes;
        break;
    }
    if (beyond) return recno - 1;
    if (take) take(row);
  }
  return rows;
}

int64_t TestPlaylist(TCandidateTable& table, const PlaylistLimits& limits) {
  const int64_t taken = WalkPlaylist(table, limits);
  if (table.RecordCount() > 0) table.MoveTo(std::max<int64_t>(taken, 1));
  return taken;
}

std::string WithPlaylistExtension(const std::string& path) {
  const std::string name = FileNamePart(path);
  // A leading dot makes a hidden file, not an extension.
  if (name.size() > 1 && name.find('.', 1) != std::string::npos) return path;
  return path + ".m3u";
}

std::string ExtInfLine(const CandidateRow& row) {
  return "#EXTINF:" + std::to_string(row.Seconds) + "," +
         WithoutLineBreaks(TrimTrailing(row.Artist)) + " - " +
         WithoutLineBreaks(TrimTrailing(row.Song));
}

int64_t WritePlaylist(const TCandidateTable& table, const PlaylistLimits& limits,
                      const std::string& path) {
  LineWriter file(path);
  file.Line("#EXTM3U");
  const int64_t entries = WalkPlaylist(table, limits, [&](const CandidateRow& row) {
    file.Line(ExtInfLine(row));
    file.Line(TrimTrailing(row.Path));
  });
  file.Close();
  return entries;
}

CopyOutcome CopyPlaylistFiles(const TCandidateTable& table, const PlaylistLimits& limits,
                              const std::string& folder) {
  CopyOutcome outcome;
  const std::string prefix = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
  WalkPlaylist(table, limits, [&](const CandidateRow& row) {
    const std::string source = TrimTrailing(row.Path);
    const std::string name = FileNamePart(source);
    const std::string failure = name.empty()
                                    ? source + ": " + ErrorDescription(table_error::kFileNotFound)
                                    : CopyFile(source, prefix, name);
    if (failure.empty()) {
      ++outcome.copied;
    } else {
      outcome.failures.push_back(failure);
    }
  });
  return outcome;
}

}  // namespace melodrift
