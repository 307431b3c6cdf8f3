// A table held in memory only, with the same record and field operations as a table file.
// Its fields come from DbfFields; its records are lost at Close. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/tz_table.h"

namespace melodrift {

class TTzVFile final : public TTzTable {
 public:
  TTzVFile() = default;

  // Fields from DbfFields (fatal 1103 when a line is unusable); no records.
  void Open() override;
  void Close() override;
  void Zap() override;
  // Refused on a table in memory: fatal 1100.
  int Search(const std::string& text, int field, bool from_top);

 protected:
  void LoadRecord(int64_t recno, uint8_t* buffer) override;
  void StoreRecord(int64_t recno, const uint8_t* buffer) override;
  int64_t StoreNewRecord(const uint8_t* buffer) override;
  void StoreDeletionFlag(int64_t recno, char flag) override;
  int64_t StoredRecordCount() const override { return count_; }
  void ReserveRecords(int64_t records) override;

 private:
  uint8_t* Record(int64_t recno) {
    return records_.data() + static_cast<size_t>(recno - 1) * static_cast<size_t>(RecordLength());
  }

  std::vector<uint8_t> records_;  // ANSI bytes, record after record
  int64_t count_ = 0;
};

}  // namespace melodrift
