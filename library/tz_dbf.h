// A table backed by a dBase III table file (.dbf) and, when it has index tags, a production
// index file (.mdx) beside it.
//
// Records are written through at once; the header's record count is only brought up to date
// by FlushDbf, Close, Pack and Zap (AutoFixRecCount covers a table that was not flushed).
// Index changes stay in a write-back cache until the same points. A failed file operation is
// a fatal table error (see table_error.h). Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/mdx_index.h"
#include "library/table_file.h"
#include "library/tz_table.h"

namespace melodrift {

// Record count of the table file at `path` when a TTzDbf in this process has it open (its
// header may lag behind the records written), else -1.
int64_t OpenTableRecordCount(const std::string& path);

enum class CreateIndexMode { ciNotFound, ciAlways, ciVerifyHeader, ciNever };

class TTzDbf final : public TTzTable {
 public:
  TTzDbf();
  ~TTzDbf() override;  // closes the table when it is open

  // Leading and trailing blanks are dropped; a name without extension gets ".dbf" (in the
  // letter case of the name).
  void SetDbfFileName(const std::string& path);
  const std::string& DbfFileName() const { return path_; }
  // Two lines per tag: "TAG,descending,unique,expression", then a condition line (unused).
  void SetIndexList(std::vector<std::string> lines) { index_list_ = std::move(lines); }
  const std::vector<std::string>& IndexList() const { return index_list_; }
  void SetAutoFixRecCount(bool fix) { auto_fix_ = fix; }
  bool AutoFixRecCount() const { return auto_fix_; }
  void SetCreateIndex(CreateIndexMode mode) { create_index_ = mode; }
  CreateIndexMode CreateIndex() const { return create_index_; }
  void SetCreateIfNotFound(bool create) { create_if_not_found_ = create; }
  bool CreateIfNotFound() const { return create_if_not_found_; }
  void SetExclusive(bool exclusive) { exclusive_ = exclusive; }
  bool Exclusive() const { return exclusive_; }

  void Open() override;
  void Close() override;
  void FlushDbf();
  void Zap() override;
  void Pack();

  // Searches record bytes for text (any letter case), from the first record or from the one
  // after the current. A hit must lie within one field (within `field` when it is 1 to the
  // number of fields). Returns the field number of the hit, or 0 (the current record stays).
  int Search(const std::string& text, int field, bool from_top);

  // Index: the path of the open index file ("" when none).
  std::string IndexFileName() const;
  // Closes the open index file and opens the given one (".mdx" added when it has no
  // extension); its first tag becomes the order. Missing file: fatal (2).
  void SetIndexTo(const std::string& path);
  // Seeks a key in the current tag. Miss: the last record becomes current, Eof true.
  bool FindExact(const std::string& key);
  // Record numbers in the current order (all records, hidden ones left out), e.g. for a grid.
  std::vector<int64_t> RecNosInOrder();

  bool FLock();
  bool ALock();
  bool RLock();
  bool UnLock();

 protected:
  void LoadRecord(int64_t recno, uint8_t* buffer) override;
  void StoreRecord(int64_t recno, const uint8_t* buffer) override;
  int64_t StoreNewRecord(const uint8_t* buffer) override;
  void StoreDeletionFlag(int64_t recno, char flag) override;
  int64_t StoredRecordCount() const override { return record_count_; }
  int64_t OrderFirst() override;
  int64_t OrderLast() override;
  int64_t OrderNext(int64_t recno) override;
  int64_t OrderPrior(int64_t recno) override;

 private:
  enum class HeaderState { kClean, kChanged, kAppended };

  void CreateDbf();
  void ReadHeader();
  void WriteHeader(const std::string& failure_message);
  int64_t RecordOffset(int64_t recno) const;
  // Stored bytes (code page applied) of a record, through the read window.
  const uint8_t* StoredRecord(int64_t recno);
  void ToStored(const uint8_t* ansi, uint8_t* stored) const;
  void ToAnsi(const uint8_t* stored, uint8_t* ansi) const;
  void WriteStored(int64_t recno, const uint8_t* stored, const char* failure_context);

  // Index handling.
  std::vector<MdxTagDef> TagsFromIndexList() const;
  bool ResolveTag(const std::string& expression, MdxTagDef& tag) const;
  std::string DefaultIndexPath() const;
  void OpenOrBuildIndex();
  void BuildIndex(const std::string& index_path, const std::vector<MdxTagDef>& tags);
  void RebuildDamagedIndex();
  void ScanRecords(const MdxRecordVisitor& visit);
  bool SyncCursor(int64_t recno);
  int64_t CheckedCursorRecNo();
  bool KeysEqual(std::string_view a, std::string_view b) const;
  template <typename Fn>
  auto WithIndex(Fn&& fn) -> decltype(fn());

  std::string path_;
  std::vector<std::string> index_list_;
  bool auto_fix_ = false;
  CreateIndexMode create_index_ = CreateIndexMode::ciNotFound;
  bool create_if_not_found_ = true;
  bool exclusive_ = false;

  std::unique_ptr<TableFile> file_;
  uint8_t prolog_[32] = {};
  int header_length_ = 0;
  int64_t record_count_ = 0;
  HeaderState header_state_ = HeaderState::kClean;
  std::unique_ptr<MdxIndex> index_;
  std::vector<MdxTagDef> index_tags_;  // tags the index was built from (for rebuilds)
  std::string index_path_;

  // Read window: whole stored records [window_first_, window_first_ + window_count_).
  std::vector<uint8_t> window_;
  int64_t window_first_ = 0;
  int64_t window_count_ = 0;
  std::vector<uint8_t> stored_;  // one stored record being written

  enum class Lock { kNone, kFile, kAppend, kRecord };
  Lock lock_ = Lock::kNone;
};

}  // namespace melodrift
