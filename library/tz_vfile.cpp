#include "library/tz_vfile.h"

#include <cstring>

#include "library/code_page.h"
#include "library/dbf_source.h"
#include "library/table_error.h"
#include "library/table_file.h"
#include "library/tz_dbf.h"

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

void TTzVFile::StoreDeletionFlag(int64_t recno, char flag) {
  Record(recno)[0] = static_cast<uint8_t>(flag);
}

void TTzVFile::AppendFrom(const std::string& path) {
  RequireOpen("AppendFrom");
  FinishEdit();
  if (!FileExists(path)) {
    RaiseTableError(table_error::kFileNotFound, "[AppendFrom(" + path + ")]");
  }
  DbfSource source(path, OpenTableRecordCount(path));
  const bool same_layout = source.SameLayout(fields(), RecordLength());
  const bool oem = TableLanguage() == TableLanguage::tlOem;
  const size_t length = static_cast<size_t>(RecordLength());
  std::vector<uint8_t> ansi(static_cast<size_t>(source.record_length()));
  records_.reserve(records_.size() + static_cast<size_t>(source.record_count()) * length);
  source.Scan([&](int64_t, const uint8_t* record) {
    size_t at = records_.size();
    if (same_layout) {
      records_.insert(records_.end(), record, record + length);
      if (oem) OemToAnsiInPlace(records_.data() + at + 1, length - 1);
    } else {
      std::memcpy(ansi.data(), record, ansi.size());
      if (oem) OemToAnsiInPlace(ansi.data() + 1, ansi.size() - 1);
      records_.resize(at + length);
      MapRecord(source.fields(), ansi.data(), records_.data() + at);
    }
    ++count_;
  });
  if (current_recno() != 0) {
    MoveTo(current_recno());
  } else {
    First();
  }
}

}  // namespace melodrift
