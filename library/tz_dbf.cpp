#include "library/tz_dbf.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "library/byte_order.h"
#include "library/code_page.h"
#include "library/dbf_header.h"
#include "library/indexing_view.h"
#include "library/table_error.h"

namespace melodrift {

namespace {

constexpr size_t kReadWindowBytes = 16 * 1024;
constexpr size_t kScanBlockBytes = 1024 * 1024;
constexpr size_t kSearchBlockBytes = 65520;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool HasLowerCase(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Splits a path's file name into stem and extension (extension without the dot; empty when
// there is none).
void SplitName(const std::string& path, std::string& folder_and_stem, std::string& extension) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1)) {
    folder_and_stem = path;
    extension.clear();
  } else {
    folder_and_stem = path.substr(0, dot);
    extension = path.substr(dot + 1);
  }
}

std::string FileStem(const std::string& path) {
  std::string stem, ext;
  SplitName(path, stem, ext);
  size_t slash = stem.find_last_of('/');
  return slash == std::string::npos ? stem : stem.substr(slash + 1);
}

// Tables open in this process, so that AppendFrom reads as many records as the open table
// holds, not only as many as its last header write counted.
std::vector<std::pair<std::string, TTzDbf*>>& OpenTables() {
  static std::vector<std::pair<std::string, TTzDbf*>> tables;
  return tables;
}

std::string CanonicalPath(const std::string& path) {
  std::error_code ec;
  auto canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : canonical.string();
}

// Shows the indexing window for the life of a build, also when the build ends in an error.
class IndexingWindow {
 public:
  explicit IndexingWindow(const std::string& index_path) : view_(CurrentIndexingView()) {
    if (view_ == nullptr) return;
    view_->BeginIndexing("Indexing " + index_path + "...");
    view_->ShowIndexingBar(bar_.Text());
  }
  ~IndexingWindow() {
    if (view_ != nullptr) view_->EndIndexing();
  }
  IndexingWindow(const IndexingWindow&) = delete;
  IndexingWindow& operator=(const IndexingWindow&) = delete;
  void Step() {
    bar_.Step();
    if (view_ != nullptr) view_->ShowIndexingBar(bar_.Text());
  }

 private:
  IndexingView* view_;
  IndexingBar bar_;
};

}  // namespace

int64_t OpenTableRecordCount(const std::string& path) {
  const std::string canonical = CanonicalPath(path);
  for (const auto& [table_path, table] : OpenTables()) {
    if (table_path == canonical) return table->RecCount();
  }
  return -1;
}

TTzDbf::TTzDbf() = default;

TTzDbf::~TTzDbf() {
  try {
    Close();
  } catch (const TableFatalError&) {
    // Already reported through the fatal handler.
  }
}

void TTzDbf::SetDbfFileName(const std::string& path) {
  path_ = Trim(path);
  std::string stem, ext;
  SplitName(path_, stem, ext);
  if (ext.empty() && !path_.empty()) path_ += HasLowerCase(FileStem(path_)) ? ".dbf" : ".DBF";
  if (Name().empty()) SetName(FileStem(path_));
}

std::string TTzDbf::DefaultIndexPath() const {
  std::string stem, ext;
  SplitName(path_, stem, ext);
  bool lower = HasLowerCase(ext) || HasLowerCase(FileStem(path_));
  std::string preferred = stem + (lower ? ".mdx" : ".MDX");
  std::string other = stem + (lower ? ".MDX" : ".mdx");
  if (!FileExists(preferred) && FileExists(other)) return other;
  return preferred;
}

std::string TTzDbf::IndexFileName() const {
  return index_ ? index_path_ : "";
}

int64_t TTzDbf::RecordOffset(int64_t recno) const {
  return header_length_ + (recno - 1) * static_cast<int64_t>(RecordLength());
}

// ---------------------------------------------------------------- creating and opening

void TTzDbf::CreateDbf() {
  auto fail = [&] { ShowTableMessage("Could not create \"" + path_ + "\""); };
  if (!FieldsFromDefinition(path_)) return fail();
  std::vector<uint8_t> header =
      BuildDbfHeader(fields(), RecordLength(), !TagsFromIndexList().empty());
  SetPrologDate(header.data());
  header.push_back(dbf::kEndOfFile);
  auto opened = OpenTableFile(path_, {.create = true});
  if (!opened.file) return fail();
  if (opened.file->WriteAt(0, header.data(), header.size()) != 0) return fail();
}

void TTzDbf::Open() {
  if (Active()) return;
  if (!FileExists(path_) && create_if_not_found_) CreateDbf();
  auto opened = OpenTableFile(path_, {.exclusive = exclusive_});
  if (!opened.file) {
    RaiseTableError(TableErrorCodeFromErrno(opened.error, path_, table_error::kAccessDenied),
                    "Failure to open " + path_ + " [USE/OpenDbf]");
  }
  file_ = std::move(opened.file);
  try {
    ReadHeader();
    SetActive(true);
    OpenTables().emplace_back(CanonicalPath(path_), this);
    if (!TagsFromIndexList().empty()) {
      if (prolog_[dbf::kProductionIndexOffset] != 1) {
        prolog_[dbf::kProductionIndexOffset] = 1;
        header_state_ = HeaderState::kChanged;
      }
      OpenOrBuildIndex();
    } else if (prolog_[dbf::kProductionIndexOffset] == 1 && FileExists(DefaultIndexPath())) {
      SetIndexTo(DefaultIndexPath());
    }
    First();
  } catch (...) {
    index_.reset();
    file_.reset();
    SetActive(false);
    std::erase_if(OpenTables(), [this](const auto& entry) { return entry.second == this; });
    throw;
  }
}

void TTzDbf::ReadHeader() {
  DbfHeader h = ReadDbfHeader(*file_, path_);
  std::memcpy(prolog_, h.prolog, sizeof prolog_);
  header_length_ = h.header_length;
  SetFields(std::move(h.fields), h.record_length);
  if (auto_fix_) {
    int64_t size = file_->Size();
    record_count_ = WholeRecords(size < 0 ? 0 : size, header_length_, RecordLength());
  } else {
    record_count_ = h.stored_record_count;
  }
  header_state_ = HeaderState::kClean;
  window_count_ = 0;
  stored_.assign(static_cast<size_t>(RecordLength()), ' ');
  lock_ = Lock::kNone;
}

void TTzDbf::Close() {
  if (!Active()) return;
  DiscardEdit();
  const std::string close_message = "File:  " + path_ + " [CloseDbf(" + path_ + ")]";
  if (header_state_ != HeaderState::kClean) WriteHeader(close_message);
  index_.reset();
  file_.reset();
  SetActive(false);
  ResetCursor();
  window_count_ = 0;
  lock_ = Lock::kNone;
  std::erase_if(OpenTables(), [this](const auto& entry) { return entry.second == this; });
}

void TTzDbf::WriteHeader(const std::string& failure_message) {
  uint8_t preserved[dbf::kPreservedSize];
  if (file_->ReadAt(dbf::kPreservedOffset, preserved, sizeof preserved) ==
      static_cast<int64_t>(sizeof preserved)) {
    std::memcpy(prolog_ + dbf::kPreservedOffset, preserved, sizeof preserved);
  }
  SetPrologDate(prolog_);
  PutU32(prolog_ + dbf::kRecordCountOffset, static_cast<uint32_t>(record_count_));
  int err = file_->WriteAt(0, prolog_, sizeof prolog_);
  if (err == 0 && header_state_ == HeaderState::kAppended) {
    const uint8_t end = dbf::kEndOfFile;
    err = file_->WriteAt(RecordOffset(record_count_ + 1), &end, 1);
  }
  if (err != 0) {
    RaiseTableError(TableErrorCodeFromErrno(err, path_, table_error::kDiskWrite), failure_message);
  }
  header_state_ = HeaderState::kClean;
}

void TTzDbf::FlushDbf() {
  RequireOpen("FlushDbf");
  if (header_state_ != HeaderState::kClean) {
    WriteHeader("File:  " + path_ + " [CloseDbf(" + path_ + ")]");
  }
  if (index_) index_->Flush();
}

// ---------------------------------------------------------------- records

void TTzDbf::ToAnsi(const uint8_t* stored, uint8_t* ansi) const {
  std::memcpy(ansi, stored, static_cast<size_t>(RecordLength()));
  if (TableLanguage() == TableLanguage::tlOem) {
    OemToAnsiInPlace(ansi + 1, static_cast<size_t>(RecordLength() - 1));
  }
}

void TTzDbf::ToStored(const uint8_t* ansi, uint8_t* stored) const {
  std::memcpy(stored, ansi, static_cast<size_t>(RecordLength()));
  if (TableLanguage() == TableLanguage::tlOem) {
    AnsiToOemInPlace(stored + 1, static_cast<size_t>(RecordLength() - 1));
  }
}

const uint8_t* TTzDbf::StoredRecord(int64_t recno) {
  const size_t length = static_cast<size_t>(RecordLength());
  if (recno >= window_first_ && recno < window_first_ + window_count_) {
    return window_.data() + static_cast<size_t>(recno - window_first_) * length;
  }
  int64_t wanted = std::max<int64_t>(1, static_cast<int64_t>(kReadWindowBytes / length));
  wanted = std::min(wanted, record_count_ - recno + 1);
  wanted = std::max<int64_t>(wanted, 1);
  window_.resize(static_cast<size_t>(wanted) * length);
  int64_t got = file_->ReadAt(RecordOffset(recno), window_.data(), window_.size());
  const std::string message = "File:  " + path_ + "  [GetDbfRecord]";
  if (got < 0) {
    window_count_ = 0;
    RaiseTableError(TableErrorCodeFromErrno(static_cast<int>(-got), path_, table_error::kDiskRead),
                    message);
  }
  if (got < static_cast<int64_t>(length)) {
    window_count_ = 0;
    RaiseTableError(table_error::kUnexpectedEof, message);
  }
  window_first_ = recno;
  window_count_ = got / static_cast<int64_t>(length);
  return window_.data();
}

void TTzDbf::LoadRecord(int64_t recno, uint8_t* buffer) {
  ToAnsi(StoredRecord(recno), buffer);
}

void TTzDbf::WriteStored(int64_t recno, const uint8_t* stored, const char* failure_context) {
  const size_t length = static_cast<size_t>(RecordLength());
  int err = file_->WriteAt(RecordOffset(recno), stored, length);
  if (err != 0) {
    RaiseTableError(TableErrorCodeFromErrno(err, path_, table_error::kDiskWrite),
                    "File:  " + path_ + " " + failure_context);
  }
  if (recno >= window_first_ && recno < window_first_ + window_count_) {
    std::memcpy(window_.data() + static_cast<size_t>(recno - window_first_) * length, stored,
                length);
  }
}

void TTzDbf::StoreRecord(int64_t recno, const uint8_t* buffer) {
  ToStored(buffer, stored_.data());
  std::vector<uint8_t> old;
  if (index_) {
    const uint8_t* before = StoredRecord(recno);
    old.assign(before, before + RecordLength());
  }
  WriteStored(recno, stored_.data(), "[Replace/Append/PutDbfRecord]");
  if (header_state_ == HeaderState::kClean) header_state_ = HeaderState::kChanged;
  if (index_) {
    try {
      index_->UpdateRecord(static_cast<uint32_t>(recno), old.data(), stored_.data());
    } catch (const MdxDamaged&) {
      RebuildDamagedIndex();  // the rebuild reads the record as now written
    }
  }
}

int64_t TTzDbf::StoreNewRecord(const uint8_t* buffer) {
  ToStored(buffer, stored_.data());
  const int64_t recno = record_count_ + 1;
  WriteStored(recno, stored_.data(), "[Replace/Append/PutDbfRecord]");
  record_count_ = recno;
  header_state_ = HeaderState::kAppended;
  if (index_) {
    try {
      index_->InsertRecord(static_cast<uint32_t>(recno), stored_.data());
    } catch (const MdxDamaged&) {
      RebuildDamagedIndex();
    }
  }
  return recno;
}

void TTzDbf::StoreDeletionFlag(int64_t recno, char flag) {
  int err = file_->WriteAt(RecordOffset(recno), &flag, 1);
  if (err != 0) {
    RaiseTableError(TableErrorCodeFromErrno(err, path_, table_error::kDiskWrite),
                    "File:  " + path_ + " [DeleteRec/RecallRec]");
  }
  if (recno >= window_first_ && recno < window_first_ + window_count_) {
    window_[static_cast<size_t>(recno - window_first_) * static_cast<size_t>(RecordLength())] =
        static_cast<uint8_t>(flag);
  }
}

void TTzDbf::ScanRecords(const MdxRecordVisitor& visit) {
  const size_t length = static_cast<size_t>(RecordLength());
  const int64_t per_block = std::max<int64_t>(1, static_cast<int64_t>(kScanBlockBytes / length));
  std::vector<uint8_t> block;
  for (int64_t first = 1; first <= record_count_; first += per_block) {
    int64_t n = std::min(per_block, record_count_ - first + 1);
    ReadRecordBlock(*file_, path_, header_length_, RecordLength(), first, n, block,
                    "File:  " + path_ + "  [GetDbfRecord]");
    for (int64_t i = 0; i < n; ++i) {
      visit(static_cast<uint32_t>(first + i), block.data() + static_cast<size_t>(i) * length);
    }
  }
}

// ---------------------------------------------------------------- whole-table operations

void TTzDbf::Zap() {
  RequireOpen("Zap");
  DiscardEdit();
  const std::string message = "Error zapping " + path_;
  // The header's count goes first: a process killed before the cut leaves records beyond the
  // count, which are ignored, never a count beyond the records.
  record_count_ = 0;
  window_count_ = 0;
  header_state_ = HeaderState::kChanged;
  WriteHeader(message);
  const uint8_t end = dbf::kEndOfFile;
  int err = file_->Truncate(header_length_);
  if (err == 0) err = file_->WriteAt(header_length_, &end, 1);
  if (err != 0) {
    RaiseTableError(TableErrorCodeFromErrno(err, path_, table_error::kDiskWrite), message);
  }
  if (index_) {
    index_->Clear();
    index_->Flush();
  }
  ResetCursor();
}

void TTzDbf::Pack() {
  RequireOpen("Pack");
  DiscardEdit();
  const std::string message = "Error packing " + path_;
  const size_t length = static_cast<size_t>(RecordLength());
  const int64_t per_block = std::max<int64_t>(1, static_cast<int64_t>(kScanBlockBytes / length));
  std::vector<uint8_t> in, out;
  int64_t kept = 0;
  for (int64_t first = 1; first <= record_count_; first += per_block) {
    int64_t n = std::min(per_block, record_count_ - first + 1);
    ReadRecordBlock(*file_, path_, header_length_, RecordLength(), first, n, in, message);
    out.clear();
    const int64_t out_first = kept + 1;
    bool moved = false;
    for (int64_t i = 0; i < n; ++i) {
      const uint8_t* record = in.data() + static_cast<size_t>(i) * length;
      if (record[0] == '*') {
        moved = true;
        continue;
      }
      if (kept + 1 != first + i) moved = true;
      out.insert(out.end(), record, record + length);
      ++kept;
    }
    // Kept records only ever move down, over places already read.
    if (moved && !out.empty()) {
      int err = file_->WriteAt(RecordOffset(out_first), out.data(), out.size());
      if (err != 0) {
        RaiseTableError(TableErrorCodeFromErrno(err, path_, table_error::kDiskWrite), message);
      }
    }
  }
  const bool removed = kept != record_count_;
  // As in Zap: the count first, then the cut.
  record_count_ = kept;
  window_count_ = 0;
  header_state_ = HeaderState::kChanged;
  WriteHeader(message);
  const uint8_t end = dbf::kEndOfFile;
  int err = file_->Truncate(RecordOffset(kept + 1));
  if (err == 0) err = file_->WriteAt(RecordOffset(kept + 1), &end, 1);
  if (err != 0) {
    RaiseTableError(TableErrorCodeFromErrno(err, path_, table_error::kDiskWrite), message);
  }
  if (index_ && removed) BuildIndex(index_path_, index_tags_);
  ResetCursor();
  First();
}

int TTzDbf::Search(const std::string& text, int field, bool from_top) {
  RequireOpen("Search");
  FinishEdit();
  std::string wanted = text;
  if (TrimTrailing(wanted).empty()) return 0;
  for (char& c : wanted) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
  const bool one_field = field >= 1 && field <= FieldCount();
  const size_t length = static_cast<size_t>(RecordLength());
  const int64_t per_block = std::max<int64_t>(1, static_cast<int64_t>(kSearchBlockBytes / length));
  std::vector<uint8_t> block;
  std::string record(length, ' ');
  for (int64_t first = from_top ? 1 : current_recno() + 1; first <= record_count_;
       first += per_block) {
    int64_t n = std::min(per_block, record_count_ - first + 1);
    ReadRecordBlock(*file_, path_, header_length_, RecordLength(), first, n, block,
                    "File:  " + path_ + "  [GetDbfRecord]");
    for (int64_t i = 0; i < n; ++i) {
      const uint8_t* stored = block.data() + static_cast<size_t>(i) * length;
      if (Hidden(stored)) continue;
      ToAnsi(stored, reinterpret_cast<uint8_t*>(record.data()));
      for (char& c : record) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
      for (int f = one_field ? field : 1; f <= (one_field ? field : FieldCount()); ++f) {
        const DbfField& def = Field(f);
        std::string_view bytes(record.data() + def.offset, static_cast<size_t>(def.length));
        if (bytes.find(wanted) != std::string_view::npos) {
          MoveTo(first + i);
          FireScroll();
          return f;
        }
      }
    }
  }
  return 0;
}

// ---------------------------------------------------------------- index

std::vector<MdxTagDef> TTzDbf::TagsFromIndexList() const {
  std::vector<MdxTagDef> tags;
  for (size_t i = 0; i < index_list_.size(); i += 2) {
    const std::string& line = index_list_[i];
    size_t c1 = line.find(',');
    size_t c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
    size_t c3 = c2 == std::string::npos ? c2 : line.find(',', c2 + 1);
    if (c3 == std::string::npos) continue;
    MdxTagDef tag;
    tag.name = NormalizeFieldName(Trim(line.substr(0, c1)));
    tag.descending = Trim(line.substr(c1 + 1, c2 - c1 - 1)) == "T";
    tag.unique = Trim(line.substr(c2 + 1, c3 - c2 - 1)) == "T";
    tag.expression = Trim(line.substr(c3 + 1)).substr(0, 220);
    if (tag.name.empty() || tag.expression.empty()) continue;
    tags.push_back(std::move(tag));
  }
  return tags;
}

bool TTzDbf::ResolveTag(const std::string& expression, MdxTagDef& tag) const {
  // A key expression is a single field name.
  int number = expression.size() <= kMaxFieldNameLength ? FieldNo(expression) : 0;
  if (number == 0) return false;
  const DbfField& f = Field(number);
  tag.expression = f.name;
  tag.key_type = f.type == 'N' || f.type == 'F' ? MdxKeyType::kNumeric : MdxKeyType::kCharacter;
  tag.field_offset = f.offset;
  tag.field_length = f.length;
  return true;
}

void TTzDbf::OpenOrBuildIndex() {
  std::vector<MdxTagDef> tags = TagsFromIndexList();
  for (MdxTagDef& tag : tags) {
    if (!ResolveTag(tag.expression, tag)) {
      RaiseTableError(
          table_error::kInvalidOperation,
          "Index expression " + tag.expression + " is not a field of " + path_ + " [MakeIndex]");
    }
  }
  const std::string index_path = DefaultIndexPath();
  if (create_index_ != CreateIndexMode::ciAlways && FileExists(index_path)) {
    std::string why;
    auto resolver = [this](const std::string& e, MdxTagDef& t) { return ResolveTag(e, t); };
    index_ =
        MdxIndex::Open(index_path, &tags, resolver, static_cast<uint32_t>(record_count_), &why);
    if (index_) {
      index_path_ = index_path;
      index_tags_ = tags;
      return;
    }
  }
  if (create_index_ == CreateIndexMode::ciNever) return;
  BuildIndex(index_path, tags);
}

void TTzDbf::BuildIndex(const std::string& index_path, const std::vector<MdxTagDef>& tags) {
  const size_t tag = index_ ? index_->current_tag() : 0;
  index_.reset();
  IndexingWindow window(index_path);
  index_ = MdxIndex::Build(
      index_path, FileStem(path_), tags, static_cast<uint32_t>(record_count_),
      [this](const MdxRecordVisitor& visit) { ScanRecords(visit); }, [&] { window.Step(); });
  index_path_ = index_path;
  index_tags_ = tags;
  if (tag < tags.size()) index_->SetCurrentTag(tag);
}

void TTzDbf::RebuildDamagedIndex() {
  BuildIndex(index_path_, index_tags_);
}

template <typename Fn>
auto TTzDbf::WithIndex(Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const MdxDamaged&) {
    RebuildDamagedIndex();
  }
  try {
    return fn();
  } catch (const MdxDamaged& e) {
    RaiseTableError(table_error::kDiskRead, "Error reading " + index_path_ + " [" + e.what() + "]");
  }
}

bool TTzDbf::KeysEqual(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  if (index_->tags()[index_->current_tag()].key_type != MdxKeyType::kNumeric) return a == b;
  return CompareNumericKeys(reinterpret_cast<const uint8_t*>(a.data()),
                            reinterpret_cast<const uint8_t*>(b.data())) == 0;
}

int64_t TTzDbf::CheckedCursorRecNo() {
  // Every entry visited is checked against its record, so a damaged index is noticed (and
  // rebuilt) before it can show a wrong order.
  const int64_t r = index_->CursorRecNo();
  if (r < 1 || r > record_count_) throw MdxDamaged("record number out of range");
  if (!KeysEqual(index_->KeyOfRecord(StoredRecord(r)), index_->CursorKey())) {
    throw MdxDamaged("key of record " + std::to_string(r) + " differs from its record");
  }
  return r;
}

bool TTzDbf::SyncCursor(int64_t recno) {
  if (index_->CursorValid() && index_->CursorRecNo() == recno) return true;
  if (recno < 1 || recno > record_count_) return false;
  if (!index_->SeekEntry(static_cast<uint32_t>(recno), StoredRecord(recno))) {
    throw MdxDamaged("record " + std::to_string(recno) + " has no key");
  }
  return true;
}

int64_t TTzDbf::OrderFirst() {
  if (!index_) return TTzTable::OrderFirst();
  return WithIndex([&]() -> int64_t { return index_->First() ? CheckedCursorRecNo() : 0; });
}

int64_t TTzDbf::OrderLast() {
  if (!index_) return TTzTable::OrderLast();
  return WithIndex([&]() -> int64_t { return index_->Last() ? CheckedCursorRecNo() : 0; });
}

int64_t TTzDbf::OrderNext(int64_t recno) {
  if (!index_) return TTzTable::OrderNext(recno);
  return WithIndex([&]() -> int64_t {
    if (!SyncCursor(recno)) return 0;
    return index_->Next() ? CheckedCursorRecNo() : 0;
  });
}

int64_t TTzDbf::OrderPrior(int64_t recno) {
  if (!index_) return TTzTable::OrderPrior(recno);
  return WithIndex([&]() -> int64_t {
    if (!SyncCursor(recno)) return 0;
    return index_->Prior() ? CheckedCursorRecNo() : 0;
  });
}

void TTzDbf::SetIndexTo(const std::string& path) {
  RequireOpen("SetIndexTo");
  std::string index_path = Trim(path);
  std::string stem, ext;
  SplitName(index_path, stem, ext);
  if (ext.empty()) index_path += HasLowerCase(FileStem(index_path)) ? ".mdx" : ".MDX";
  if (!FileExists(index_path)) {
    RaiseTableError(table_error::kFileNotFound, "SetIndexTo(" + index_path + ")");
  }
  index_.reset();
  std::string why;
  auto resolver = [this](const std::string& e, MdxTagDef& t) { return ResolveTag(e, t); };
  index_ =
      MdxIndex::Open(index_path, nullptr, resolver, static_cast<uint32_t>(record_count_), &why);
  if (index_) {
    index_path_ = index_path;
    index_tags_ = index_->tags();
  } else if (!TagsFromIndexList().empty()) {
    // A damaged file for this table's own tags is rebuilt, as at opening.
    std::vector<MdxTagDef> tags = TagsFromIndexList();
    for (MdxTagDef& tag : tags) ResolveTag(tag.expression, tag);
    BuildIndex(index_path, tags);
  }
}

bool TTzDbf::FindExact(const std::string& key) {
  RequireOpen("FindExact");
  FinishEdit();
  if (!index_) {
    Last();
    set_eof(true);
    return false;
  }
  std::string stored = TableLanguage() == TableLanguage::tlOem ? AnsiToOem(key) : key;
  int64_t hit = WithIndex([&]() -> int64_t {
    const std::string wanted = index_->MakeSearchKey(stored);
    bool found = index_->SeekAtLeast(wanted);
    while (found && Hidden(StoredRecord(CheckedCursorRecNo()))) found = index_->Next();
    if (!found) return 0;
    int64_t r = CheckedCursorRecNo();
    return KeysEqual(index_->CursorKey(), wanted) ? r : 0;
  });
  if (hit != 0) {
    MoveTo(hit);
    FireScroll();
    return true;
  }
  Last();
  set_eof(true);
  return false;
}

std::vector<int64_t> TTzDbf::RecNosInOrder() {
  RequireOpen("RecNosInOrder");
  std::vector<int64_t> order;
  order.reserve(static_cast<size_t>(record_count_));
  if (!index_) {
    for (int64_t r = 1; r <= record_count_; ++r) {
      if (!Hidden(StoredRecord(r))) order.push_back(r);
    }
    return order;
  }
  WithIndex([&] {
    order.clear();
    // A damaged tree can pass its checks at opening and still repeat or leave out a part
    // (a child named twice); endlessly, when parts repeat inside each other. Each record
    // has one entry, in a tag that is not unique exactly one, or the index is rebuilt.
    std::vector<bool> listed(static_cast<size_t>(record_count_) + 1, false);
    int64_t entries = 0;
    for (bool ok = index_->First(); ok; ok = index_->Next()) {
      int64_t r = CheckedCursorRecNo();
      if (listed[static_cast<size_t>(r)]) {
        throw MdxDamaged("record " + std::to_string(r) + " has two entries");
      }
      listed[static_cast<size_t>(r)] = true;
      ++entries;
      if (!Hidden(StoredRecord(r))) order.push_back(r);
    }
    if (!index_->tags()[index_->current_tag()].unique && entries != record_count_) {
      throw MdxDamaged(std::to_string(record_count_ - entries) + " records have no entry");
    }
  });
  return order;
}

// ---------------------------------------------------------------- locks

bool TTzDbf::FLock() {
  RequireOpen("FLock");
  if (lock_ == Lock::kAppend) return false;
  lock_ = Lock::kFile;
  return true;
}

bool TTzDbf::ALock() {
  RequireOpen("ALock");
  if (lock_ == Lock::kFile) return false;
  lock_ = Lock::kAppend;
  return true;
}

bool TTzDbf::RLock() {
  RequireOpen("RLock");
  if (lock_ == Lock::kNone) lock_ = Lock::kRecord;
  return true;
}

bool TTzDbf::UnLock() {
  RequireOpen("UnLock");
  lock_ = Lock::kNone;
  return true;
}

}  // namespace melodrift
