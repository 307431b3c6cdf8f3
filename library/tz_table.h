// What the two table classes share: the table definition, the record buffer with its field
// operations, edit mode, the cursor flags and the events.
//
// The record buffer always holds ANSI text; the storage below (a file for TTzDbf, memory for
// TTzVFile) converts. Operations on a table that is not open are fatal table errors (1103).
// Main thread only. Record numbers count from 1; 0 means no current record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "library/dbf_field.h"

namespace melodrift {

enum class TableLanguage { tlOem, tlAnsi };

class TTzTable {
 public:
  using Event = std::function<void(TTzTable&)>;

  virtual ~TTzTable() = default;
  TTzTable(const TTzTable&) = delete;
  TTzTable& operator=(const TTzTable&) = delete;

  // Name used in error messages ("Database is not open [TrackDBF.First]").
  void SetName(std::string name) { name_ = std::move(name); }
  const std::string& Name() const { return name_; }

  // One line per field: "name, type, length, decimals".
  void SetDbfFields(std::vector<std::string> lines) { dbf_fields_ = std::move(lines); }
  const std::vector<std::string>& DbfFields() const { return dbf_fields_; }
  void SetHideDeletedRecs(bool hide) { hide_deleted_ = hide; }
  bool HideDeletedRecs() const { return hide_deleted_; }
  void SetTableLanguage(melodrift::TableLanguage language) { language_ = language; }
  melodrift::TableLanguage TableLanguage() const { return language_; }

  virtual void Open() = 0;
  virtual void Close() = 0;
  bool Active() const { return active_; }

  // Moves in the current order; with HideDeletedRecs they skip records flagged deleted.
  void First();
  void Last();
  void Next();             // on the last record: stays there, Eof becomes true
  void Prior();            // on the first record: stays there, Bof becomes true
  void Go(int64_t recno);  // any record of the file, hidden or not; out of range: no move
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  int64_t RecNo() const;
  int64_t RecCount() const;

  // Fields: 1-based numbers in definition order; names without regard to case.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  const DbfField& Field(int number) const { return fields_.at(static_cast<size_t>(number - 1)); }
  int FieldNo(std::string_view name) const;  // 0 when there is no such field
  int RecordLength() const { return record_length_; }

  void ClearRecord();
  std::string FieldText(std::string_view name) const;
  int32_t FieldInt(std::string_view name) const;
  bool FieldBool(std::string_view name) const;
  void SetFieldText(std::string_view name, std::string_view text);
  void SetFieldInt(std::string_view name, int64_t value);
  void SetFieldBool(std::string_view name, bool value);
  bool InEditMode() const { return edit_mode_; }

  // Field values of any record (1 to RecCount) without moving the cursor or touching the
  // record buffer, e.g. for a grid's cells. Same forms as FieldText, FieldInt, FieldBool.
  std::string FieldTextAt(int64_t recno, std::string_view name);
  int32_t FieldIntAt(int64_t recno, std::string_view name);
  bool FieldBoolAt(int64_t recno, std::string_view name);

  void AppendRec();
  void ReplaceRec();
  void Post();

  // Deletion flag of the current record. Changing it writes that one byte.
  bool Deleted() const;
  void DeleteRec();
  void RecallRec();

  virtual void Zap() = 0;
  // Appends copies of all records of a table file, fields matched by name when the layouts
  // differ (text converted from the OEM code page with tlOem). The current record stays
  // current; with none, the first record becomes current. Missing file: fatal (2).
  void AppendFrom(const std::string& path);

  Event BeforeEdit;
  Event AfterEdit;
  Event AfterPost;
  Event AfterScroll;

 protected:
  TTzTable() = default;

  // Storage, implemented by the two classes. Records are ANSI bytes, deletion flag first.
  virtual void LoadRecord(int64_t recno, uint8_t* buffer) = 0;
  virtual void StoreRecord(int64_t recno, const uint8_t* buffer) = 0;  // replace
  virtual int64_t StoreNewRecord(const uint8_t* buffer) = 0;           // append; new number
  virtual void StoreDeletionFlag(int64_t recno, char flag) = 0;
  virtual int64_t StoredRecordCount() const = 0;
  // Room for `records` more appended records (a hint before AppendFrom).
  virtual void ReserveRecords(int64_t /*records*/) {}

  // The current order. Default: record-number order. Each returns 0 when there is none.
  virtual int64_t OrderFirst();
  virtual int64_t OrderLast();
  virtual int64_t OrderNext(int64_t recno);
  virtual int64_t OrderPrior(int64_t recno);

  // Fatal 1103 unless open.
  void RequireOpen(const char* operation) const;

  // Takes the definition lines (with their corrections) as the table's fields.
  // Returns false when a line is unusable.
  bool FieldsFromDefinition(const std::string& table_name);
  void SetFields(std::vector<DbfField> fields, int record_length);
  const std::vector<DbfField>& fields() const { return fields_; }

  // State after opening, emptying or closing.
  void SetActive(bool active) { active_ = active; }
  void ResetCursor();          // no current record, Bof and Eof
  void MoveTo(int64_t recno);  // makes recno current (loads it), clears Bof/Eof
  void FinishEdit();           // before a move: Post when changed, else leave edit mode
  void DiscardEdit();
  int64_t current_recno() const { return recno_; }
  void set_eof(bool eof) { eof_ = eof; }
  void set_bof(bool bof) { bof_ = bof; }
  std::vector<uint8_t>& buffer() { return buffer_; }
  bool Hidden(const uint8_t* record) const { return hide_deleted_ && record[0] == '*'; }
  void FireScroll();

  // Maps a record from another layout onto this one, fields matched by name.
  void MapRecord(const std::vector<DbfField>& from_fields, const uint8_t* from, uint8_t* to) const;

 private:
  const DbfField& FieldByName(std::string_view name, const char* operation) const;
  // The record's bytes in peek_ (fatal 1103 unless open; out of range: fatal 1103).
  const char* PeekField(int64_t recno, std::string_view name, const char* operation,
                        const DbfField** field);
  char* FieldBytes(const DbfField& f) { return reinterpret_cast<char*>(buffer_.data()) + f.offset; }
  void EnterEdit();
  void BlankRecord(uint8_t* record) const;
  void WriteBuffer(bool append);
  // Skips hidden records from `recno` on in the order; 0 when none is left.
  int64_t SkipHidden(int64_t recno, bool forward);

  std::string name_;
  std::vector<std::string> dbf_fields_;
  bool hide_deleted_ = false;
  melodrift::TableLanguage language_ = melodrift::TableLanguage::tlOem;

  bool active_ = false;
  std::vector<DbfField> fields_;
  int record_length_ = 0;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> scratch_;
  std::vector<uint8_t> peek_;
  int64_t recno_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  bool edit_mode_ = false;
  bool inserting_ = false;  // the edit began with no current record: Post appends
  bool modified_ = false;
};

}  // namespace melodrift
