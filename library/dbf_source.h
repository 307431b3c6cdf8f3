// Read-only access to another table file's records, for AppendFrom (and tools that dump a
// table). Opening errors are the fatal table errors of opening a table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/dbf_header.h"
#include "library/table_file.h"

namespace melodrift {

class DbfSource {
 public:
  // `known_count`: the record count when the file is a table open in this process (its
  // header may lag behind), or -1 to take the header's count. Either is cut to the whole
  // records the file holds.
  DbfSource(const std::string& path, int64_t known_count);

  const std::vector<DbfField>& fields() const { return header_.fields; }
  int record_length() const { return header_.record_length; }
  int64_t record_count() const { return count_; }
  const DbfHeader& header() const { return header_; }
  bool SameLayout(const std::vector<DbfField>& fields, int record_length) const;

  // visit(recno, stored bytes) for every record, in record-number order.
  void Scan(const std::function<void(int64_t, const uint8_t*)>& visit);

 private:
  std::string path_;
  std::unique_ptr<TableFile> file_;
  DbfHeader header_;
  int64_t count_ = 0;
};

}  // namespace melodrift
