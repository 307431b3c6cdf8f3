// The track grid's model: TrackDBF in its current (ASNDX) order, with the "Use" column as an
// editable check mark that writes back to the table.
//
// The grid's current row and TrackDBF's current row are one: the model follows the table's
// cursor (AfterScroll) and reports it as CurrentRowMoved; MakeRowCurrent moves the table.
// Rows are read without moving the cursor and cached until the next Reload. Main thread only;
// table failures are fatal table errors.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "library/library_tables.h"

namespace melodrift {

class TrackGridModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kArtist, kSong, kAlbum, kUse, kColumnCount };

  // Takes over TrackDBF's AfterScroll event for the life of the model. Shows no rows until
  // the first Reload (the table may not be open yet).
  explicit TrackGridModel(LibraryTables& tables, QObject* parent = nullptr);
  ~TrackGridModel() override;

  // Width in pixels the grid gives a column.
  static int ColumnWidth(int column);

  // Reads TrackDBF's order again: after rows were appended, changed in bulk or removed.
  void Reload();
  // Shows no rows; before the tables close.
  void Clear();

  // Record number of a row (0 outside the rows) and the row of a record (-1 when not shown).
  int64_t RecNoAt(int row) const;
  int RowOfRecNo(int64_t recno) const;
  // The row of TrackDBF's current record (-1 when none is shown).
  int CurrentRow() const;
  // Makes the row's record TrackDBF's current record (no move when it is already current).
  void MakeRowCurrent(int row);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // "Use": Go to the row, set include, Post (which counts in TrackMemStale).
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 signals:
  // TrackDBF's cursor moved; `row` is its row in the grid (-1 when not shown).
  void CurrentRowMoved(int row);

 private:
  struct CachedRow {
    QString artist;
    QString song;
    QString album;
    bool include = false;
  };
  bool IsCell(const QModelIndex& index) const;
  const CachedRow& RowAt(int row) const;
  void LoadOrder();

  LibraryTables& tables_;
  std::vector<int64_t> recnos_;            // row -> record number
  std::unordered_map<int64_t, int> rows_;  // record number -> row
  mutable std::vector<std::optional<CachedRow>> cache_;
};

}  // namespace melodrift
