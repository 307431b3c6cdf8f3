#include "library/dbf_source.h"

#include <algorithm>

#include "library/table_error.h"

namespace melodrift {

DbfSource::DbfSource(const std::string& path, int64_t known_count) : path_(path) {
  auto opened = OpenTableFile(path, {.read_only = true});
  if (!opened.file) {
    RaiseTableError(TableErrorCodeFromErrno(opened.error, path, table_error::kAccessDenied),
                    "Failure to open " + path + " [USE/OpenDbf]");
  }
  file_ = std::move(opened.file);
  header_ = ReadDbfHeader(*file_, path);
  int64_t size = file_->Size();
  int64_t whole = WholeRecords(size < 0 ? 0 : size, header_.header_length, header_.record_length);
  count_ = std::min<int64_t>(known_count >= 0 ? known_count : header_.stored_record_count, whole);
}

bool DbfSource::SameLayout(const std::vector<DbfField>& fields, int record_length) const {
  if (record_length != header_.record_length || fields.size() != header_.fields.size()) {
    return false;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    const DbfField& a = fields[i];
    const DbfField& b = header_.fields[i];
    if (a.name != b.name || a.type != b.type || a.length != b.length || a.offset != b.offset) {
      return false;
    }
  }
  return true;
}

void DbfSource::Scan(const std::function<void(int64_t, const uint8_t*)>& visit) {
  const size_t length = static_cast<size_t>(header_.record_length);
  const int64_t per_block = std::max<int64_t>(1, static_cast<int64_t>((1 << 20) / length));
  std::vector<uint8_t> block;
  for (int64_t first = 1; first <= count_; first += per_block) {
    int64_t n = std::min(per_block, count_ - first + 1);
    ReadRecordBlock(*file_, path_, header_.header_length, header_.record_length, first, n, block,
                    "File:  " + path_ + "  [GetDbfRecord]");
    for (int64_t i = 0; i < n; ++i)
      visit(first + i, block.data() + static_cast<size_t>(i) * length);
  }
}

}  // namespace melodrift
