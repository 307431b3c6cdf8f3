#include "library/error_log_model.h"

#include <QFont>

#include <algorithm>
#include <limits>

#include "library/dbf_field.h"

namespace melodrift {

ErrorLogModel::ErrorLogModel(TTzDbf& ErrorDBF, QObject* parent)
    : QAbstractTableModel(parent), ErrorDBF_(ErrorDBF) {
  rows_ = static_cast<int>(CurrentRecordCount());
}

int64_t ErrorLogModel::CurrentRecordCount() const {
  if (!ErrorDBF_.Active()) return 0;
  return std::min<int64_t>(ErrorDBF_.RecCount(), std::numeric_limits<int>::max());
}

void ErrorLogModel::Refresh() {
  const int rows = static_cast<int>(CurrentRecordCount());
  if (rows == rows_) {
    // Same count, but the table may have been emptied and refilled in between.
    if (rows > 0) emit dataChanged(index(0, 0), index(rows - 1, kColumnCount - 1));
    return;
  }
  if (rows > rows_) {
    // Only appends grow the table: earlier rows keep their place (and the view its scroll).
    beginInsertRows({}, rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
    return;
  }
  beginResetModel();
  rows_ = rows;
  endResetModel();
}

int ErrorLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int ErrorLogModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ErrorLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  const int64_t recno = index.row() + 1;
  // Emptied behind the model's back (before its Refresh): show nothing rather than fail.
  if (recno > CurrentRecordCount()) return {};
  if (role == Qt::DisplayRole) {
    if (index.column() == kIndex) return ErrorDBF_.FieldIntAt(recno, "errndx");
    if (index.column() == kMessage) {
      return QString::fromLatin1(TrimTrailing(ErrorDBF_.FieldTextAt(recno, "errmsg")));
    }
  }
  if (role == Qt::TextAlignmentRole && index.column() == kIndex) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
  }
  return {};
}

QVariant ErrorLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  switch (role) {
    case Qt::DisplayRole:
      if (section == kIndex) return QStringLiteral("Index");
      if (section == kMessage) return QStringLiteral("Message");
      return {};
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case Qt::FontRole: {
      QFont font;
      font.setBold(true);
      return font;
    }
    default:
      return {};
  }
}

}  // namespace melodrift
