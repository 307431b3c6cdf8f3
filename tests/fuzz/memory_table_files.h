// Table files held in memory, served to the table layer through its file opener, so that a
// fuzz input becomes a .dbf or .mdx file without touching the disk. Installed for the life of
// the object; paths it does not hold are missing files.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "library/table_file.h"

namespace melodrift::fuzz {

class MemoryTableFiles {
 public:
  // A file may not grow past this: a write beyond it fails as on a full disk, so that a
  // damaged record count cannot make a test allocate gigabytes.
  static constexpr int64_t kMaxFileBytes = int64_t{64} << 20;

  MemoryTableFiles() {
    previous_ = SetTableFileOpener(
        [this](const std::string& path, TableFileFlags flags) { return Open(path, flags); });
  }
  ~MemoryTableFiles() { SetTableFileOpener(std::move(previous_)); }
  MemoryTableFiles(const MemoryTableFiles&) = delete;
  MemoryTableFiles& operator=(const MemoryTableFiles&) = delete;

  void Put(const std::string& path, std::vector<uint8_t> bytes) { files_[path] = std::move(bytes); }
  // The file's bytes now (empty when there is no such file).
  std::vector<uint8_t> Bytes(const std::string& path) const {
    auto it = files_.find(path);
    return it == files_.end() ? std::vector<uint8_t>() : it->second;
  }

 private:
  class File final : public TableFile {
   public:
    explicit File(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
    int64_t ReadAt(int64_t offset, void* buf, size_t n) override {
      if (offset < 0) return -EINVAL;
      const auto size = static_cast<int64_t>(bytes_->size());
      if (offset >= size) return 0;
      const size_t got = std::min(n, static_cast<size_t>(size - offset));
      std::memcpy(buf, bytes_->data() + offset, got);
      return static_cast<int64_t>(got);
    }
    int WriteAt(int64_t offset, const void* buf, size_t n) override {
      if (offset < 0 || static_cast<uint64_t>(offset) + n > kMaxFileBytes) return EFBIG;
      if (static_cast<size_t>(offset) + n > bytes_->size()) bytes_->resize(offset + n);
      if (n > 0) std::memcpy(bytes_->data() + offset, buf, n);
      return 0;
    }
    int Truncate(int64_t size) override {
      if (size < 0 || size > kMaxFileBytes) return EFBIG;
      bytes_->resize(static_cast<size_t>(size));
      return 0;
    }
    int64_t Size() override { return static_cast<int64_t>(bytes_->size()); }

   private:
    std::vector<uint8_t>* bytes_;
  };

  TableFileOpenResult Open(const std::string& path, TableFileFlags flags) {
    auto it = files_.find(path);
    if (it == files_.end()) {
      if (!flags.create) return {nullptr, ENOENT};
      it = files_.emplace(path, std::vector<uint8_t>()).first;
    }
    if (flags.create) it->second.clear();
    return {std::make_unique<File>(&it->second), 0};
  }

  std::map<std::string, std::vector<uint8_t>> files_;
  TableFileOpener previous_;
};

}  // namespace melodrift::fuzz
