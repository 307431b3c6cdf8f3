#include "library/tz_vfile.h"

#include <cstring>

#include "library/table_error.h"

namespace melodrift {

void TTzVFile::Open() {
  if (Active()) return;
  if (!FieldsFromDefinition(Name())) {
    RaiseTableError(table_error::kInvalidOperation,
                    "Invalid field definitions [" + Name() + ".Open]");
  }
  records_.clear();
  count_ = 0;
  SetActive(true);
  ResetCursor();
}

void TTzVFile::Close() {
  if (!Active()) return;
  records_.clear();
  records_.shrink_to_fit();
  count_ = 0;
  SetActive(false);
  ResetCursor();
}

void TTzVFile::Zap() {
  RequireOpen("Zap");
  DiscardEdit();
  records_.clear();
  count_ = 0;
  ResetCursor();
}

int TTzVFile::Search(const std::string&, int, bool) {
  RaiseTableError(table_error::kVirtualFile, "Operation cannot be used on virtual files. [Search]");
}

void TTzVFile::LoadRecord(int64_t recno, uint8_t* buffer) {
  std::memcpy(buffer, Record(recno), static_cast<size_t>(RecordLength()));
}

void TTzVFile::StoreRecord(int64_t recno, const uint8_t* buffer) {
  std::memcpy(Record(recno), buffer, static_cast<size_t>(RecordLength()));
}

int64_t TTzVFile::StoreNewRecord(const uint8_t* buffer) {
  records_.insert(records_.end(), buffer, buffer + RecordLength());
  return ++count_;
}

void TTzVFile::ReserveRecords(int64_t records) {
  records_.reserve(records_.size() +
                   static_cast<size_t>(records) * static_cast<size_t>(RecordLength()));
}

void TTzVFile::StoreDeletionFlag(int64_t recno, char flag) {
  Record(recno)[0] = static_cast<uint8_t>(flag);
}

}  // namespace melodrift
