// The file I/O under the table layer: positioned reads and writes on one open file.
//
// Calls report failure with an errno value instead of throwing, so each caller maps it to its
// own fatal error. All files are opened through OpenTableFile, which a test can replace with
// SetTableFileOpener to make a read or write fail at a chosen moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace melodrift {

class TableFile {
 public:
  virtual ~TableFile() = default;
  // Reads up to n bytes at offset. Returns the bytes read (fewer at the end of the file) or
  // -errno.
  virtual int64_t ReadAt(int64_t offset, void* buf, size_t n) = 0;
  // Writes all n bytes at offset. Returns 0 or an errno value.
  virtual int WriteAt(int64_t offset, const void* buf, size_t n) = 0;
  // Cuts or extends the file. Returns 0 or an errno value.
  virtual int Truncate(int64_t size) = 0;
  // Size in bytes, or -errno.
  virtual int64_t Size() = 0;
};

struct TableFileFlags {
  bool create = false;     // create the file, or cut it to 0 bytes when it exists
  bool exclusive = false;  // take an exclusive, non-blocking lock (EWOULDBLOCK when held)
  bool read_only = false;
};

struct TableFileOpenResult {
  std::unique_ptr<TableFile> file;
  int error = 0;  // errno value when file is null
};

using TableFileOpener =
    std::function<TableFileOpenResult(const std::string& path, TableFileFlags flags)>;

TableFileOpenResult OpenTableFile(const std::string& path, TableFileFlags flags);

// Replaces the opener for the whole process and returns the previous one; an empty opener
// restores the plain POSIX files. For tests.
TableFileOpener SetTableFileOpener(TableFileOpener opener);

// The plain POSIX opener (what OpenTableFile uses by default).
TableFileOpenResult OpenPosixTableFile(const std::string& path, TableFileFlags flags);

bool FileExists(const std::string& path);  // a file, not a folder
int RemoveFile(const std::string& path);   // 0 or errno; a missing file is not an error

// Error code of the table layer for a failed system call on path: 2 missing file, 3 missing
// folder on the path, 5 no permission or read-only, 32 held by another process, 101 full
// disk. For other errors `fallback`.
int TableErrorCodeFromErrno(int err, const std::string& path, int fallback);

}  // namespace melodrift
