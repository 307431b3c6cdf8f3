#include "playlist/candidate_grid_model.h"

#include <array>
#include <climits>
#include <optional>
#include <string>

#include "library/dbf_field.h"

namespace melodrift {

namespace {

constexpr std::array<int, CandidateGridModel::kColumnCount> kColumnWidths = {210, 210, 50};
constexpr qsizetype kMaxText = 255;

QString Shown(const std::string& text) {
  const std::string trimmed = TrimTrailing(text);
  return QString::fromLatin1(trimmed.data(), static_cast<qsizetype>(trimmed.size()));
}

// The table holds ISO-8859-1 text; a character outside it cannot be stored.
std::optional<std::string> Latin1Text(const QString& text) {
  if (text.size() > kMaxText) return std::nullopt;
  std::string bytes;
  for (QChar c : text) {
    if (c.unicode() > 0xFF) return std::nullopt;
    bytes.push_back(static_cast<char>(c.unicode()));
  }
  return bytes;
}

}  // namespace

CandidateGridModel::CandidateGridModel(TCandidateTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), rows_(ShownRows()) {
  table_.OnChanged = [this] { TableChanged(); };
}

CandidateGridModel::~CandidateGridModel() {
  table_.OnChanged = nullptr;
}

int CandidateGridModel::ColumnWidth(int column) {
  return column >= 0 && column < kColumnCount ? kColumnWidths[static_cast<size_t>(column)] : 0;
}

int CandidateGridModel::ShownRows() const {
  if (!table_.ViewOpen()) return 0;
  return static_cast<int>(std::min<int64_t>(table_.RecordCount(), INT_MAX));
}

void CandidateGridModel::TableChanged() {
  const int rows = ShownRows();
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  } else if (rows_ > 0) {
    // An edit or a move of the cursor: the rows stay, their contents may not.
    emit dataChanged(index(0, 0), index(rows_ - 1, kColumnCount - 1));
  }
  emit CurrentRowMoved(CurrentRow());
}

bool CandidateGridModel::IsCell(const QModelIndex& index) const {
  return index.isValid() && index.model() == this && index.row() >= 0 && index.row() < rows_ &&
         index.column() >= 0 && index.column() < kColumnCount;
}

int CandidateGridModel::CurrentRow() const {
  if (rows_ == 0) return -1;
  return static_cast<int>(table_.RecNo()) - 1;
}

void CandidateGridModel::MakeRowCurrent(int row) {
  if (row < 0 || row >= rows_ || row == CurrentRow()) return;
  table_.MoveTo(row + 1);
}

int CandidateGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int CandidateGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant CandidateGridModel::data(const QModelIndex& index, int role) const {
  if (!IsCell(index)) return {};
  if (role == Qt::TextAlignmentRole && index.column() == kSeconds) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const CandidateRow& row = table_.Row(index.row() + 1);
  switch (index.column()) {
    case kArtist:
      return Shown(row.Artist);
    case kSong:
      return Shown(row.Song);
    case kSeconds:
      return row.Seconds;
    default:
      return {};
  }
}

QVariant CandidateGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const std::array<const char*, kColumnCount> kTitles = {"Artist", "Song", "Seconds"};
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kTitles[static_cast<size_t>(section)]);
  return {};
}

Qt::ItemFlags CandidateGridModel::flags(const QModelIndex& index) const {
  if (!IsCell(index)) return Qt::NoItemFlags;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool CandidateGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !IsCell(index)) return false;
  std::optional<std::string> text;
  int seconds = 0;
  if (index.column() == kSeconds) {
    bool ok = false;
    seconds = value.toInt(&ok);
    if (!ok) return false;
  } else {
    text = Latin1Text(value.toString());
    if (!text) return false;
  }
  MakeRowCurrent(index.row());
  switch (index.column()) {
    case kArtist:
      table_.SetArtist(*text);
      break;
    case kSong:
      table_.SetSong(*text);
      break;
    default:
      table_.SetSeconds(seconds);
      break;
  }
  return true;
}

}  // namespace melodrift
