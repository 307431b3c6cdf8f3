// The ranked candidate tables (PlayList, AutoList): rows of tracks with their distance to a
// seed, unique per Unique_ID and always delivered in ascending IDist (the `dist` order), with a
// row cursor for the windows. A sorted container of our own; nothing is written to disk.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace melodrift {

struct CandidateRow {
  int32_t Unique_ID = 0;
  int64_t IDist = 0;
  std::string Artist;  // as the inserting part read them (may end in blanks)
  std::string Song;
  std::string Path;
  int32_t Seconds = 0;
};

// A refused operation: a second row for a Unique_ID, or deleting from an empty table ("Cannot
// perform this operation on an empty dataset").
class CandidateTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCandidateTable {
 public:
  explicit TCandidateTable(std::string name) : name_(std::move(name)) {}
  TCandidateTable(const TCandidateTable&) = delete;
  TCandidateTable& operator=(const TCandidateTable&) = delete;

  const std::string& Name() const { return name_; }

  // "delete from <table>": every row goes; the cursor is at the end.
  void DeleteAll();
  // "insert into <table> Values (...)": throws CandidateTableError when the Unique_ID is
  // present already (the table is unchanged). The cursor keeps its row.
  void Insert(const CandidateRow& row);

  // The view: windows bound to the table see its rows while it is open. Opening a closed view
  // puts the cursor on the first row; closing removes no row.
  void OpenView();
  void CloseView();
  bool ViewOpen() const { return view_open_; }

  // Cursor in `dist` order. Eof: a Next was asked past the last row, or the table is empty.
  void First();
  void Next();
  void Prior();
  bool Eof() const;
  int64_t RecNo() const;  // 1-based; 0 when the table is empty
  int64_t RecordCount() const { return static_cast<int64_t>(rows_.size()); }
  // Moves the cursor to a row (1 to RecordCount); others leave it where it is.
  void MoveTo(int64_t recno);

  // The cursor row (the table must not be empty) and any row by its number in `dist` order.
  const CandidateRow& Current() const;
  const CandidateRow& Row(int64_t recno) const;
  // Edits of the cursor row's shown columns (the playlist grid): the order does not change.
  void SetArtist(const std::string& artist);
  void SetSong(const std::string& song);
  void SetSeconds(int32_t seconds);
  // Removes the cursor row; the cursor then stands on the following row, or on the new last
  // row. Throws CandidateTableError on an empty table.
  void DeleteCurrent();

  // Called after every change of the rows or of the cursor while the view is open, and when
  // the view opens or closes, for grids bound to the table. (A run inserting thousands of rows
  // with the view closed does not make a grid reload each time.)
  std::function<void()> OnChanged;

 private:
  // Rows are appended unsorted and put in order on the first read after; the cursor follows
  // its row.
  void EnsureSorted() const;
  void RequireRows() const;
  void Changed();

  std::string name_;
  mutable std::vector<CandidateRow> rows_;
  mutable size_t sorted_count_ = 0;  // rows_[0, sorted_count_) are in `dist` order
  std::unordered_set<int32_t> ids_;
  mutable int64_t cursor_ = 0;  // index into rows_
  bool eof_ = true;
  bool view_open_ = true;
};

// The data module: the two candidate tables, open from creation.
struct TDMod {
  TCandidateTable PlayList{"PlayList"};
  TCandidateTable AutoList{"AutoList"};
};

}  // namespace melodrift
