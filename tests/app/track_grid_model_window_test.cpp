// The track grid's model: Qt's model contract, the ASNDX order and the mapping between grid
// rows and TrackDBF's records.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "app/track_grid_model.h"
#include "library/table_error.h"
#include "tests/app/shell_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::MakeProgramFolder;
using testing::TempDir;
using testing::Track;
using testing::WriteLibrary;

class TrackGridModelTest : public ::testing::Test {
 protected:
  void Open(const std::vector<NewTrack>& tracks) {
    WriteLibrary(folder_, tracks);
    tables_.SetFileNames(folder_);
    tables_.TrackDBF.Open();
    tables_.TrackDBF.SetIndexTo(tables_.TablesFolder() + "track_id.mdx");
  }
  QStringList Column(const TrackGridModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
      texts << model.data(model.index(row, column)).toString();
    }
    return texts;
  }

  ScopedThrowingTableErrors throwing_;
  TempDir dir_;
  std::string folder_ = MakeProgramFolder(dir_);
  LibraryTables tables_;
};

TEST_F(TrackGridModelTest, KeepsTheModelContractThroughReloadsAndEdits) {
  Open({Track("abba", "Waterloo"), Track("Zappa", "Peaches"), Track("Zappa", "Apostrophe")});
  TrackGridModel model(tables_);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(model.rowCount(), 0) << "no rows before the first reload";
  model.Reload();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), 4);
  model.setData(model.index(2, TrackGridModel::kUse), Qt::Unchecked, Qt::CheckStateRole);
  for (int column : {TrackGridModel::kArtist, TrackGridModel::kSong, TrackGridModel::kAlbum}) {
    EXPECT_FALSE(model.setData(model.index(0, column), "x", Qt::EditRole));
    EXPECT_FALSE(model.flags(model.index(0, column)) & Qt::ItemIsEditable);
  }
  EXPECT_TRUE(model.flags(model.index(0, TrackGridModel::kUse)) & Qt::ItemIsUserCheckable);
  model.Clear();
  EXPECT_EQ(model.rowCount(), 0);
  model.Reload();
  EXPECT_EQ(model.rowCount(), 3);
}

TEST_F(TrackGridModelTest, ShowsRowsInAsndxOrderWithLatin1Texts) {
  // Upper case sorts before lower case; only the first 50 characters of the artist count.
  const std::string long_artist(50, 'M');
  Open({Track("abba", "Waterloo"), Track("Zappa", "Peaches"), Track(long_artist + "zz", "B"),
        Track(long_artist + "aa", "A"), Track("Bj\xF6rk", "J\xF3ga", "Homogenic")});
  TrackGridModel model(tables_);
  model.Reload();
  EXPECT_EQ(Column(model, TrackGridModel::kArtist),
            QStringList({QStringLiteral("Bj\u00f6rk"), QString::fromStdString(long_artist + "aa"),
                         QString::fromStdString(long_artist + "zz"), "Zappa", "abba"}));
  EXPECT_EQ(Column(model, TrackGridModel::kSong),
            QStringList({QStringLiteral("J\u00f3ga"), "A", "B", "Peaches", "Waterloo"}));
  EXPECT_EQ(model.data(model.index(0, TrackGridModel::kAlbum)).toString(), "Homogenic");
  EXPECT_EQ(model.data(model.index(0, TrackGridModel::kUse), Qt::CheckStateRole).toInt(),
            Qt::Checked);
  for (int row = 0; row < model.rowCount(); ++row) {
    EXPECT_EQ(model.RowOfRecNo(model.RecNoAt(row)), row);
  }
  EXPECT_EQ(model.RecNoAt(5), 0);
  EXPECT_EQ(model.RowOfRecNo(99), -1);
}

TEST_F(TrackGridModelTest, FollowsTheTableCursorBothWays) {
  Open({Track("C", "3"), Track("A", "1"), Track("B", "2")});
  TrackGridModel model(tables_);
  model.Reload();
  QSignalSpy moved(&model, &TrackGridModel::CurrentRowMoved);

  tables_.TrackDBF.Last();
  ASSERT_EQ(moved.count(), 1);
  EXPECT_EQ(moved.takeFirst().at(0).toInt(), 2);
  EXPECT_EQ(model.CurrentRow(), 2);
  EXPECT_EQ(TrimTrailing(tables_.TrackDBF.FieldText("artist")), "C");

  model.MakeRowCurrent(0);
  EXPECT_EQ(TrimTrailing(tables_.TrackDBF.FieldText("artist")), "A");
  ASSERT_EQ(moved.count(), 1);
  EXPECT_EQ(moved.takeFirst().at(0).toInt(), 0);
  model.MakeRowCurrent(0);
  EXPECT_EQ(moved.count(), 0) << "no move when the row is already current";
  model.MakeRowCurrent(7);
  EXPECT_EQ(moved.count(), 0) << "a row outside the grid moves nothing";

  tables_.TrackDBF.Search("B", 5, true);  // artist field
  ASSERT_EQ(moved.count(), 1);
  EXPECT_EQ(moved.takeFirst().at(0).toInt(), 1);
}

TEST_F(TrackGridModelTest, CachedRowsAreReadAgainOnlyAfterReload) {
  Open({Track("A", "1")});
  TrackGridModel model(tables_);
  model.Reload();
  EXPECT_EQ(model.data(model.index(0, TrackGridModel::kSong)).toString(), "1");
  // A change made behind the grid's back shows after the next reload.
  tables_.TrackDBF.First();
  tables_.TrackDBF.SetFieldText("song", "changed");
  tables_.TrackDBF.Post();
  EXPECT_EQ(model.data(model.index(0, TrackGridModel::kSong)).toString(), "1");
  model.Reload();
  EXPECT_EQ(model.data(model.index(0, TrackGridModel::kSong)).toString(), "changed");
}

}  // namespace
}  // namespace melodrift
