// Makes writes through the table layer fail with ENOSPC once a budget runs out, as on a full
// disk. Installed for the life of the object.
#pragma once

#include <cerrno>
#include <memory>
#include <string>

#include "library/table_file.h"

namespace melodrift::testing {

class ScopedFailingWrites {
 public:
  ScopedFailingWrites() {
    previous_ = SetTableFileOpener([this](const std::string& path, TableFileFlags flags) {
      TableFileOpenResult r = OpenPosixTableFile(path, flags);
      if (r.file) r.file = std::make_unique<File>(std::move(r.file), &writes_left_);
      return r;
    });
  }
  ~ScopedFailingWrites() { SetTableFileOpener(std::move(previous_)); }
  ScopedFailingWrites(const ScopedFailingWrites&) = delete;
  ScopedFailingWrites& operator=(const ScopedFailingWrites&) = delete;

  // From now on `n` more writes succeed, then every write fails; -1: no limit.
  void AllowWrites(int n) { writes_left_ = n; }

 private:
  class File final : public TableFile {
   public:
    File(std::unique_ptr<TableFile> inner, int* writes_left)
        : inner_(std::move(inner)), writes_left_(writes_left) {}
    int64_t ReadAt(int64_t offset, void* buf, size_t n) override {
      return inner_->ReadAt(offset, buf, n);
    }
    int WriteAt(int64_t offset, const void* buf, size_t n) override {
      if (*writes_left_ == 0) return ENOSPC;
      if (*writes_left_ > 0) --*writes_left_;
      return inner_->WriteAt(offset, buf, n);
    }
    int Truncate(int64_t size) override { return inner_->Truncate(size); }
    int64_t Size() override { return inner_->Size(); }

   private:
    std::unique_ptr<TableFile> inner_;
    int* writes_left_;
  };

  int writes_left_ = -1;
  TableFileOpener previous_;
};

}  // namespace melodrift::testing
