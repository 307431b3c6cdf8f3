// The playlist grid's model: a candidate table (PlayList) in its `dist` order, with the
// columns Artist, Song and Seconds, each editable; an edit writes the table's row.
//
// The grid's current row and the table's cursor are one: the model reports every move of the
// cursor as CurrentRowMoved, and MakeRowCurrent moves the cursor. While the table's view is
// closed the model shows no rows. Rows are read from the table when asked for, nothing is
// cached. Main thread only.
#pragma once

#include <QAbstractTableModel>

#include "playlist/candidate_table.h"

namespace melodrift {

class CandidateGridModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kArtist, kSong, kSeconds, kColumnCount };

  // Takes over the table's OnChanged for the life of the model.
  explicit CandidateGridModel(TCandidateTable& table, QObject* parent = nullptr);
  ~CandidateGridModel() override;

  // Width in pixels the grid gives a column.
  static int ColumnWidth(int column);

  // The row of the table's cursor; -1 when no row is shown.
  int CurrentRow() const;
  // Moves the table's cursor to the row (rows outside are ignored).
  void MakeRowCurrent(int row);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The row becomes current, then its Artist, Song (ISO-8859-1 text, at most 255
  // characters) or Seconds (a whole number) is written. False for a value the column cannot
  // hold.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 signals:
  // The table's cursor moved (or the rows changed); `row` is the cursor's row, -1 for none.
  void CurrentRowMoved(int row);

 private:
  void TableChanged();
  int ShownRows() const;
  bool IsCell(const QModelIndex& index) const;

  TCandidateTable& table_;
  int rows_ = 0;  // rows the views know of
};

}  // namespace melodrift
