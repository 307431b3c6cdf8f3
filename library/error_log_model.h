// The error log grid's model: the error table's rows in record order, columns errndx
// ("Index") and errmsg ("Message"). Read-only: the log records what happened.
//
// Rows are read from the table when shown, without moving its cursor. The model shows the
// table as it was at the last Refresh; a closed table shows no rows. Main thread only;
// table failures are fatal table errors.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>

#include "library/tz_dbf.h"

namespace melodrift {

class ErrorLogModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kIndex, kMessage, kColumnCount };

  // The table must outlive the model.
  explicit ErrorLogModel(TTzDbf& ErrorDBF, QObject* parent = nullptr);

  // Takes the table's current record count: after entries were written or it was emptied.
  void Refresh();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  int64_t CurrentRecordCount() const;

  TTzDbf& ErrorDBF_;
  int rows_ = 0;
};

}  // namespace melodrift
