#include "app/track_grid_model.h"

#include <array>

namespace melodrift {

namespace {

constexpr std::array<int, TrackGridModel::kColumnCount> kColumnWidths = {100, 176, 115, 40};

QString TagText(TTzTable& table, int64_t recno, const char* field) {
  return QString::fromLatin1(TrimTrailing(table.FieldTextAt(recno, field)));
}

}  // namespace

TrackGridModel::TrackGridModel(LibraryTables& tables, QObject* parent)
    : QAbstractTableModel(parent), tables_(tables) {
  tables_.TrackDBF.AfterScroll = [this](TTzTable& table) {
    emit CurrentRowMoved(RowOfRecNo(table.RecNo()));
  };
}

TrackGridModel::~TrackGridModel() {
  tables_.TrackDBF.AfterScroll = nullptr;
}

int TrackGridModel::ColumnWidth(int column) {
  return column >= 0 && column < kColumnCount ? kColumnWidths[static_cast<size_t>(column)] : 0;
}

void TrackGridModel::LoadOrder() {
  recnos_ = tables_.TrackDBF.Active() ? tables_.TrackDBF.RecNosInOrder() : std::vector<int64_t>{};
  rows_.clear();
  rows_.reserve(recnos_.size());
  for (size_t row = 0; row < recnos_.size(); ++row) rows_[recnos_[row]] = static_cast<int>(row);
  cache_.assign(recnos_.size(), std::nullopt);
}

void TrackGridModel::Reload() {
  beginResetModel();
  LoadOrder();
  endResetModel();
}

void TrackGridModel::Clear() {
  beginResetModel();
  recnos_.clear();
  rows_.clear();
  cache_.clear();
  endResetModel();
}

int64_t TrackGridModel::RecNoAt(int row) const {
  return row >= 0 && static_cast<size_t>(row) < recnos_.size() ? recnos_[static_cast<size_t>(row)]
                                                               : 0;
}

int TrackGridModel::RowOfRecNo(int64_t recno) const {
  auto it = rows_.find(recno);
  return it == rows_.end() ? -1 : it->second;
}

int TrackGridModel::CurrentRow() const {
  return tables_.TrackDBF.Active() ? RowOfRecNo(tables_.TrackDBF.RecNo()) : -1;
}

void TrackGridModel::MakeRowCurrent(int row) {
  const int64_t recno = RecNoAt(row);
  if (recno != 0 && recno != tables_.TrackDBF.RecNo()) tables_.TrackDBF.Go(recno);
}

const TrackGridModel::CachedRow& TrackGridModel::RowAt(int row) const {
  std::optional<CachedRow>& cached = cache_[static_cast<size_t>(row)];
  if (!cached) {
    const int64_t recno = recnos_[static_cast<size_t>(row)];
    TTzDbf& table = tables_.TrackDBF;
    cached = CachedRow{TagText(table, recno, "artist"), TagText(table, recno, "song"),
                       TagText(table, recno, "album"), table.FieldBoolAt(recno, "include")};
  }
  return *cached;
}

bool TrackGridModel::IsCell(const QModelIndex& index) const {
  return index.isValid() && index.model() == this && index.row() >= 0 &&
         static_cast<size_t>(index.row()) < recnos_.size() && index.column() >= 0 &&
         index.column() < kColumnCount;
}

int TrackGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(recnos_.size());
}

int TrackGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TrackGridModel::data(const QModelIndex& index, int role) const {
  if (!IsCell(index)) return {};
  const CachedRow& row = RowAt(index.row());
  switch (index.column()) {
    case kArtist:
      return role == Qt::DisplayRole ? QVariant(row.artist) : QVariant();
    case kSong:
      return role == Qt::DisplayRole ? QVariant(row.song) : QVariant();
    case kAlbum:
      return role == Qt::DisplayRole ? QVariant(row.album) : QVariant();
    case kUse:
      return role == Qt::CheckStateRole ? QVariant(row.include ? Qt::Checked : Qt::Unchecked)
                                        : QVariant();
    default:
      return {};
  }
}

QVariant TrackGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const std::array<const char*, kColumnCount> kTitles = {"Artist", "Song", "Album", "Use"};
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kTitles[static_cast<size_t>(section)]);
  return {};
}

Qt::ItemFlags TrackGridModel::flags(const QModelIndex& index) const {
  if (!IsCell(index)) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == kUse) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool TrackGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!IsCell(index) || index.column() != kUse || role != Qt::CheckStateRole) return false;
  const bool include = value.toInt() == Qt::Checked;
  TTzDbf& table = tables_.TrackDBF;
  table.Go(RecNoAt(index.row()));
  table.SetFieldBool("include", include);
  table.Post();
  if (std::optional<CachedRow>& cached = cache_[static_cast<size_t>(index.row())]) {
    cached->include = include;
  }
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

}  // namespace melodrift
