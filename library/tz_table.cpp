#include "library/tz_table.h"

#include <cstring>

#include "library/code_page.h"
#include "library/dbf_source.h"
#include "library/table_error.h"
#include "library/table_file.h"
#include "library/tz_dbf.h"

namespace melodrift {

namespace {

std::string_view TrimBoth(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

void TTzTable::RequireOpen(const char* operation) const {
  if (!active_) {
    RaiseTableError(table_error::kInvalidOperation,
                    "Database is not open [" + name_ + "." + operation + "]");
  }
}

bool TTzTable::FieldsFromDefinition(const std::string& table_name) {
  std::vector<DbfField> fields;
  int offset = 1;
  for (const std::string& line : dbf_fields_) {
    auto field = ParseFieldLine(line);
    if (!field) return false;
    std::string message = CorrectFieldDef(*field, table_name);
    if (!message.empty()) ShowTableMessage(message);
    field->offset = offset;
    offset += field->length;
    fields.push_back(*field);
  }
  if (fields.empty() || fields.size() > 255 || offset > 65535) return false;
  SetFields(std::move(fields), offset);
  return true;
}

void TTzTable::SetFields(std::vector<DbfField> fields, int record_length) {
  fields_ = std::move(fields);
  record_length_ = record_length;
  buffer_.assign(static_cast<size_t>(record_length_), ' ');
  scratch_.assign(static_cast<size_t>(record_length_), ' ');
  peek_.assign(static_cast<size_t>(record_length_), ' ');
}

int TTzTable::FieldNo(std::string_view name) const {
  std::string wanted = NormalizeFieldName(name);
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name == wanted) return static_cast<int>(i + 1);
  }
  return 0;
}

const DbfField& TTzTable::FieldByName(std::string_view name, const char* operation) const {
  RequireOpen(operation);
  int number = FieldNo(name);
  if (number == 0) {
    RaiseTableError(table_error::kInvalidOperation,
                    "Field " + std::string(name) + " not found [" + name_ + "." + operation + "]");
  }
  return fields_[static_cast<size_t>(number - 1)];
}

int64_t TTzTable::RecNo() const {
  RequireOpen("RecNo");
  return recno_;
}

int64_t TTzTable::RecCount() const {
  RequireOpen("RecCount");
  return StoredRecordCount();
}

int64_t TTzTable::OrderFirst() {
  return StoredRecordCount() > 0 ? 1 : 0;
}
int64_t TTzTable::OrderLast() {
  return StoredRecordCount();
}
int64_t TTzTable::OrderNext(int64_t recno) {
  return recno < StoredRecordCount() ? recno + 1 : 0;
}
int64_t TTzTable::OrderPrior(int64_t recno) {
  return recno > 1 ? recno - 1 : 0;
}

int64_t TTzTable::SkipHidden(int64_t recno, bool forward) {
  if (!hide_deleted_) return recno;
  while (recno != 0) {
    LoadRecord(recno, scratch_.data());
    if (!Hidden(scratch_.data())) return recno;
    recno = forward ? OrderNext(recno) : OrderPrior(recno);
  }
  return 0;
}

void TTzTable::FireScroll() {
  if (AfterScroll) AfterScroll(*this);
}

void TTzTable::ResetCursor() {
  recno_ = 0;
  bof_ = eof_ = true;
  edit_mode_ = inserting_ = modified_ = false;
  if (!buffer_.empty()) BlankRecord(buffer_.data());
}

void TTzTable::MoveTo(int64_t recno) {
  LoadRecord(recno, buffer_.data());
  recno_ = recno;
  bof_ = eof_ = false;
}

void TTzTable::DiscardEdit() {
  edit_mode_ = inserting_ = modified_ = false;
  if (recno_ != 0) {
    LoadRecord(recno_, buffer_.data());
  } else if (!buffer_.empty()) {
    BlankRecord(buffer_.data());
  }
}

void TTzTable::FinishEdit() {
  if (!edit_mode_) return;
  if (modified_) {
    Post();
  } else {
    DiscardEdit();
  }
}

void TTzTable::First() {
  RequireOpen("First");
  FinishEdit();
  int64_t r = SkipHidden(OrderFirst(), true);
  if (r != 0) {
    MoveTo(r);
    bof_ = true;
  } else {
    ResetCursor();
  }
  FireScroll();
}

void TTzTable::Last() {
  RequireOpen("Last");
  FinishEdit();
  int64_t r = SkipHidden(OrderLast(), false);
  if (r != 0) {
    MoveTo(r);
  } else {
    ResetCursor();
  }
  FireScroll();
}

void TTzTable::Next() {
  RequireOpen("Next");
  FinishEdit();
  if (recno_ == 0) {
    eof_ = true;
    return;
  }
  int64_t r = SkipHidden(OrderNext(recno_), true);
  if (r != 0) {
    MoveTo(r);
  } else {
    eof_ = true;
  }
  FireScroll();
}

void TTzTable::Prior() {
  RequireOpen("Prior");
  FinishEdit();
  if (recno_ == 0) {
    bof_ = true;
    return;
  }
  int64_t r = SkipHidden(OrderPrior(recno_), false);
  if (r != 0) {
    MoveTo(r);
  } else {
    bof_ = true;
  }
  FireScroll();
}

void TTzTable::Go(int64_t recno) {
  RequireOpen("Go");
  FinishEdit();
  if (recno < 1 || recno > StoredRecordCount()) return;
  MoveTo(recno);
  FireScroll();
}

void TTzTable::BlankRecord(uint8_t* record) const {
  record[0] = ' ';
  for (const DbfField& f : fields_) {
    char* p = reinterpret_cast<char*>(record) + f.offset;
    switch (f.type) {
      case 'N':
      case 'F':
        EncodeInteger(0, 0, p, f.length);
        break;
      case 'L':
        EncodeBool(false, p);
        break;
      default:
        std::memset(p, ' ', static_cast<size_t>(f.length));
        break;
    }
  }
}

void TTzTable::EnterEdit() {
  if (edit_mode_) return;
  if (recno_ == 0) {
    // No current record: the edit is an insertion, which Post appends.
    edit_mode_ = inserting_ = true;
    modified_ = false;
    return;
  }
  if (BeforeEdit) BeforeEdit(*this);
  edit_mode_ = true;
  inserting_ = modified_ = false;
  if (AfterEdit) AfterEdit(*this);
}

void TTzTable::ClearRecord() {
  RequireOpen("ClearRecord");
  EnterEdit();
  BlankRecord(buffer_.data());
}

std::string TTzTable::FieldText(std::string_view name) const {
  const DbfField& f = FieldByName(name, "FieldText");
  const char* p = reinterpret_cast<const char*>(buffer_.data()) + f.offset;
  if (f.type == 'L') return DecodeBool(*p) ? "T" : "F";
  return std::string(p, static_cast<size_t>(f.length));
}

int32_t TTzTable::FieldInt(std::string_view name) const {
  const DbfField& f = FieldByName(name, "FieldInt");
  const char* p = reinterpret_cast<const char*>(buffer_.data()) + f.offset;
  if (f.type == 'L') return DecodeBool(*p) ? 1 : 0;
  return DecodeInteger(std::string_view(p, static_cast<size_t>(f.length)));
}

bool TTzTable::FieldBool(std::string_view name) const {
  const DbfField& f = FieldByName(name, "FieldBool");
  return DecodeBool(static_cast<char>(buffer_[static_cast<size_t>(f.offset)]));
}

const char* TTzTable::PeekField(int64_t recno, std::string_view name, const char* operation,
                                const DbfField** field) {
  *field = &FieldByName(name, operation);
  if (recno < 1 || recno > StoredRecordCount()) {
    RaiseTableError(
        table_error::kInvalidOperation,
        "Record " + std::to_string(recno) + " out of range [" + name_ + "." + operation + "]");
  }
  LoadRecord(recno, peek_.data());
  return reinterpret_cast<const char*>(peek_.data()) + (*field)->offset;
}

std::string TTzTable::FieldTextAt(int64_t recno, std::string_view name) {
  const DbfField* f;
  const char* p = PeekField(recno, name, "FieldTextAt", &f);
  if (f->type == 'L') return DecodeBool(*p) ? "T" : "F";
  return std::string(p, static_cast<size_t>(f->length));
}

int32_t TTzTable::FieldIntAt(int64_t recno, std::string_view name) {
  const DbfField* f;
  const char* p = PeekField(recno, name, "FieldIntAt", &f);
  if (f->type == 'L') return DecodeBool(*p) ? 1 : 0;
  return DecodeInteger(std::string_view(p, static_cast<size_t>(f->length)));
}

bool TTzTable::FieldBoolAt(int64_t recno, std::string_view name) {
  const DbfField* f;
  const char* p = PeekField(recno, name, "FieldBoolAt", &f);
  return DecodeBool(*p);
}

void TTzTable::SetFieldText(std::string_view name, std::string_view text) {
  const DbfField& f = FieldByName(name, "SetFieldText");
  EnterEdit();
  char* p = FieldBytes(f);
  if (f.type == 'N' || f.type == 'F') {
    std::string_view value = TrimBoth(text);
    if (value.size() > static_cast<size_t>(f.length)) {
      std::memset(p, '*', static_cast<size_t>(f.length));
    } else {
      size_t pad = static_cast<size_t>(f.length) - value.size();
      std::memset(p, ' ', pad);
      std::memcpy(p + pad, value.data(), value.size());
    }
  } else {
    EncodeText(text, p, f.length);
  }
  modified_ = true;
}

void TTzTable::SetFieldInt(std::string_view name, int64_t value) {
  const DbfField& f = FieldByName(name, "SetFieldInt");
  EnterEdit();
  char* p = FieldBytes(f);
  if (f.type == 'L') {
    EncodeBool(value != 0, p);
  } else if (f.type == 'N' || f.type == 'F') {
    EncodeInteger(value, f.decimals, p, f.length);
  } else {
    EncodeText(std::to_string(value), p, f.length);
  }
  modified_ = true;
}

void TTzTable::SetFieldBool(std::string_view name, bool value) {
  const DbfField& f = FieldByName(name, "SetFieldBool");
  EnterEdit();
  char* p = FieldBytes(f);
  if (f.type == 'L') {
    EncodeBool(value, p);
  } else if (f.type == 'N' || f.type == 'F') {
    EncodeInteger(value ? 1 : 0, f.decimals, p, f.length);
  } else {
    EncodeText(value ? "T" : "F", p, f.length);
  }
  modified_ = true;
}

void TTzTable::WriteBuffer(bool append) {
  if (append) {
    buffer_[0] = ' ';
    recno_ = StoreNewRecord(buffer_.data());
  } else {
    StoreRecord(recno_, buffer_.data());
  }
  edit_mode_ = inserting_ = modified_ = false;
  bof_ = eof_ = false;
}

void TTzTable::AppendRec() {
  RequireOpen("AppendRec");
  WriteBuffer(true);
}

void TTzTable::ReplaceRec() {
  RequireOpen("ReplaceRec");
  WriteBuffer(recno_ == 0);
}

void TTzTable::Post() {
  RequireOpen("Post");
  if (!edit_mode_) return;
  WriteBuffer(inserting_ || recno_ == 0);
  if (AfterPost) AfterPost(*this);
}

bool TTzTable::Deleted() const {
  RequireOpen("Deleted");
  return recno_ != 0 && buffer_[0] == '*';
}

void TTzTable::DeleteRec() {
  RequireOpen("DeleteRec");
  if (recno_ == 0) return;
  StoreDeletionFlag(recno_, '*');
  buffer_[0] = '*';
}

void TTzTable::RecallRec() {
  RequireOpen("RecallRec");
  if (recno_ == 0) return;
  StoreDeletionFlag(recno_, ' ');
  buffer_[0] = ' ';
}

void TTzTable::AppendFrom(const std::string& path) {
  RequireOpen("AppendFrom");
  FinishEdit();
  if (!FileExists(path)) {
    RaiseTableError(table_error::kFileNotFound, "[AppendFrom(" + path + ")]");
  }
  DbfSource source(path, OpenTableRecordCount(path));
  const bool same_layout = source.SameLayout(fields_, record_length_);
  const bool oem = language_ == melodrift::TableLanguage::tlOem;
  std::vector<uint8_t> ansi(static_cast<size_t>(source.record_length()));
  ReserveRecords(source.record_count());
  source.Scan([&](int64_t, const uint8_t* record) {
    std::memcpy(ansi.data(), record, ansi.size());
    if (oem) OemToAnsiInPlace(ansi.data() + 1, ansi.size() - 1);
    if (same_layout) {
      StoreNewRecord(ansi.data());
    } else {
      MapRecord(source.fields(), ansi.data(), scratch_.data());
      StoreNewRecord(scratch_.data());
    }
  });
  if (recno_ != 0) {
    MoveTo(recno_);
  } else {
    First();
  }
}

void TTzTable::MapRecord(const std::vector<DbfField>& from_fields, const uint8_t* from,
                         uint8_t* to) const {
  BlankRecord(to);
  to[0] = from[0] == '*' ? '*' : ' ';
  for (const DbfField& t : fields_) {
    const DbfField* s = nullptr;
    for (const DbfField& candidate : from_fields) {
      if (candidate.name == t.name) {
        s = &candidate;
        break;
      }
    }
    if (s == nullptr) continue;
    const char* src = reinterpret_cast<const char*>(from) + s->offset;
    std::string_view value(src, static_cast<size_t>(s->length));
    char* dst = reinterpret_cast<char*>(to) + t.offset;
    if (s->type == t.type && s->length == t.length) {
      std::memcpy(dst, src, static_cast<size_t>(t.length));
    } else if (t.type == 'N' || t.type == 'F') {
      EncodeInteger(DecodeInteger(value), t.decimals, dst, t.length);
    } else if (t.type == 'L') {
      std::string_view v = TrimBoth(value);
      EncodeBool(!v.empty() && DecodeBool(v.front()), dst);
    } else {
      EncodeText(s->type == 'N' || s->type == 'F' ? TrimBoth(value) : value, dst, t.length);
    }
  }
}

}  // namespace melodrift
