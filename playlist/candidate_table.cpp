#include "playlist/candidate_table.h"

#include <algorithm>

namespace melodrift {

namespace {

constexpr const char* kEmptyDataset = "Cannot perform this operation on an empty dataset";

bool DistBefore(const CandidateRow& a, const CandidateRow& b) {
  return a.IDist < b.IDist;
}

}  // namespace

void TCandidateTable::DeleteAll() {
  rows_.clear();
  ids_.clear();
  sorted_count_ = 0;
  cursor_ = 0;
  eof_ = true;
  Changed();
}

void TCandidateTable::Insert(const CandidateRow& row) {
  if (ids_.count(row.Unique_ID) != 0) {
    throw CandidateTableError("Key violation in " + name_ + ": a row with Unique_ID " +
                              std::to_string(row.Unique_ID) + " exists already");
  }
  const bool in_order =
      sorted_count_ == rows_.size() && (rows_.empty() || !DistBefore(row, rows_.back()));
  rows_.push_back(row);
  try {
    ids_.insert(row.Unique_ID);
  } catch (...) {
    rows_.pop_back();
    throw;
  }
  // Rows arriving in order (the jukebox's play log) never need a sort.
  if (in_order) sorted_count_ = rows_.size();
  Changed();
}

void TCandidateTable::OpenView() {
  if (view_open_) return;
  view_open_ = true;
  First();  // notifies
}

void TCandidateTable::CloseView() {
  if (!view_open_) return;
  view_open_ = false;
  if (OnChanged) OnChanged();
}

void TCandidateTable::First() {
  EnsureSorted();
  cursor_ = 0;
  eof_ = rows_.empty();
  Changed();
}

void TCandidateTable::Next() {
  EnsureSorted();
  if (cursor_ + 1 < RecordCount()) {
    ++cursor_;
    eof_ = false;
  } else {
    eof_ = true;  // past the last row: the cursor stays on it
  }
  Changed();
}

void TCandidateTable::Prior() {
  EnsureSorted();
  if (cursor_ > 0) --cursor_;
  eof_ = rows_.empty();
  Changed();
}

bool TCandidateTable::Eof() const {
  return eof_ || rows_.empty();
}

int64_t TCandidateTable::RecNo() const {
  if (rows_.empty()) return 0;
  EnsureSorted();
  return cursor_ + 1;
}

void TCandidateTable::MoveTo(int64_t recno) {
  if (recno < 1 || recno > RecordCount()) return;
  EnsureSorted();
  cursor_ = recno - 1;
  eof_ = false;
  Changed();
}

const CandidateRow& TCandidateTable::Current() const {
  RequireRows();
  EnsureSorted();
  return rows_[static_cast<size_t>(cursor_)];
}

const CandidateRow& TCandidateTable::Row(int64_t recno) const {
  if (recno < 1 || recno > RecordCount()) {
    throw CandidateTableError("Row " + std::to_string(recno) + " out of range [" + name_ + "]");
  }
  EnsureSorted();
  return rows_[static_cast<size_t>(recno - 1)];
}

void TCandidateTable::SetArtist(const std::string& artist) {
  RequireRows();
  EnsureSorted();
  rows_[static_cast<size_t>(cursor_)].Artist = artist;
  Changed();
}

void TCandidateTable::SetSong(const std::string& song) {
  RequireRows();
  EnsureSorted();
  rows_[static_cast<size_t>(cursor_)].Song = song;
  Changed();
}

void TCandidateTable::SetSeconds(int32_t seconds) {
  RequireRows();
  EnsureSorted();
  rows_[static_cast<size_t>(cursor_)].Seconds = seconds;
  Changed();
}

void TCandidateTable::DeleteCurrent() {
  RequireRows();
  EnsureSorted();
  ids_.erase(rows_[static_cast<size_t>(cursor_)].Unique_ID);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(cursor_));
  sorted_count_ = rows_.size();
  if (cursor_ >= RecordCount()) cursor_ = std::max<int64_t>(0, RecordCount() - 1);
  eof_ = rows_.empty();
  Changed();
}

void TCandidateTable::EnsureSorted() const {
  if (sorted_count_ == rows_.size()) return;
  const bool has_cursor_row = static_cast<size_t>(cursor_) < rows_.size();
  const int32_t cursor_id = has_cursor_row ? rows_[static_cast<size_t>(cursor_)].Unique_ID : 0;
  // Stable throughout, and the sorted rows come first in the merge: equal distances keep
  // their insertion order.
  const auto middle = rows_.begin() + static_cast<std::ptrdiff_t>(sorted_count_);
  std::stable_sort(middle, rows_.end(), DistBefore);
  std::inplace_merge(rows_.begin(), middle, rows_.end(), DistBefore);
  sorted_count_ = rows_.size();
  if (has_cursor_row) {
    const auto at = std::find_if(rows_.begin(), rows_.end(), [&](const CandidateRow& row) {
      return row.Unique_ID == cursor_id;
    });
    cursor_ = at - rows_.begin();
  }
}

void TCandidateTable::RequireRows() const {
  if (rows_.empty()) throw CandidateTableError(kEmptyDataset);
}

void TCandidateTable::Changed() {
  if (view_open_ && OnChanged) OnChanged();
}

}  // namespace melodrift
