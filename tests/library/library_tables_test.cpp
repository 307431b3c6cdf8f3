// The library's tables: storing tracks, the duplicate check, Include All, Delete All and the
// reading of a track's features.
#include "library/library_tables.h"

#include <gtest/gtest.h>

#include "library/dbf_source.h"
#include "library/error_log.h"
#include "tests/support/library_fixture.h"
#include "tests/support/validators.h"

namespace melodrift {
namespace {

using testing::LibraryFolder;
using testing::MakeTrack;

class LibraryTablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tables_.SetFileNames(folder_.program_folder());
    LibraryFolder::OpenTables(tables_);
  }

  std::vector<std::string> ArtistsInGridOrder() {
    std::vector<std::string> artists;
    for (int64_t r : tables_.TrackDBF.RecNosInOrder())
      artists.push_back(TrimTrailing(tables_.TrackDBF.FieldTextAt(r, "artist")));
    return artists;
  }

  ScopedThrowingTableErrors throwing_;
  LibraryFolder folder_;
  LibraryTables tables_;
};

TEST_F(LibraryTablesTest, TablesHaveTheirStoredLayout) {
  struct Case {
    TTzDbf* table;
    const char* file;
    int header_length;
    int record_length;
  };
  for (const Case& c : {Case{&tables_.TrackDBF, "track_id.dbf", 321, 1392},
                        Case{&tables_.FeatureDBF, "feature_values.dbf", 129, 34},
                        Case{&tables_.AvgDBF, "avg_array.dbf", 97, 15},
                        Case{&tables_.ErrorDBF, "errors.dbf", 97, 265}}) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(c.table->DbfFileName(), folder_.Table(c.file));
    EXPECT_EQ(c.table->RecordLength(), c.record_length);
    EXPECT_EQ(testing::FileSize(folder_.Table(c.file)), c.header_length + 1);
  }
  EXPECT_EQ(tables_.TrackDBF.IndexFileName(), folder_.Table("track_id.mdx"));
  EXPECT_EQ(tables_.FeatureDBF.IndexFileName(), folder_.Table("feature_values.mdx"));
  EXPECT_EQ(tables_.AvgDBF.IndexFileName(), "");
}

TEST_F(LibraryTablesTest, StoreTrackWritesFeatureRowsTrackMemAndTrackRow) {
  NewTrack track = MakeTrack("Caf\xE9 Noir", "Cr\xE8me", 0);
  track.features[0] = 2.5;  // halves go to the even neighbour
  track.features[1] = 3.5;
  tables_.StoreTrack(track);
  tables_.StoreTrack(MakeTrack("abba", "Waterloo", 1000));

  EXPECT_EQ(tables_.NextUniqueID, 2);
  EXPECT_EQ(tables_.FeatureDBF.RecCount(), 512);
  EXPECT_EQ(tables_.TrackMem.RecCount(), 2);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 2);

  // The feature table's header counts the new rows at once (flushed per track).
  DbfSource on_disk(tables_.FeatureDBF.DbfFileName(), -1);
  EXPECT_EQ(on_disk.record_count(), 512);

  FeatureVector values;
  ASSERT_TRUE(tables_.ReadFeatures(0, values));
  EXPECT_EQ(values[0], 2);
  EXPECT_EQ(values[1], 4);
  EXPECT_EQ(values[255], 255);
  ASSERT_TRUE(tables_.ReadFeatures(1, values));
  EXPECT_EQ(values[0], 1000);
  EXPECT_EQ(values[255], 1255);
  EXPECT_FALSE(tables_.ReadFeatures(2, values));

  // The last stored track is the current row of the track table.
  TrackRow row = LibraryTables::ReadTrackRow(tables_.TrackDBF);
  EXPECT_EQ(row.unique_id, 1);
  EXPECT_EQ(row.artist, "abba");
  EXPECT_EQ(row.filepath, "/music/abba/Waterloo.mp3");
  EXPECT_TRUE(row.include);
  EXPECT_EQ(row.seconds, 200);
  EXPECT_EQ(tables_.TrackDBF.FieldText("asndx"), SortKey("abba", "Waterloo"));

  TrackRow first = LibraryTables::TrackRowAt(tables_.TrackMem, 1);
  EXPECT_EQ(first.artist, "Caf\xE9 Noir");
  EXPECT_EQ(first.song, "Cr\xE8me");
  EXPECT_EQ(first.title, "Cr\xE8me.mp3");
}

TEST_F(LibraryTablesTest, StoringIntoAFilledTrackTableRaisesTrackMemStale) {
  tables_.StoreTrack(MakeTrack("a", "one"));
  EXPECT_EQ(tables_.TrackMemStale, 0);  // an empty table starts an insertion
  tables_.StoreTrack(MakeTrack("a", "two"));
  EXPECT_EQ(tables_.TrackMemStale, 1);
}

TEST_F(LibraryTablesTest, UniqueTrackIsExactAndCaseSensitive) {
  EXPECT_TRUE(tables_.UniqueTrack("/music/a/one.mp3"));  // empty library
  tables_.StoreTrack(MakeTrack("a", "one"));
  EXPECT_FALSE(tables_.UniqueTrack("/music/a/one.mp3"));
  EXPECT_TRUE(tables_.UniqueTrack("/Music/a/one.mp3"));
  EXPECT_TRUE(tables_.UniqueTrack("/music/a/one.mp"));
  EXPECT_TRUE(tables_.UniqueTrack("/music/a/one.mp3x"));
  // The set follows TrackMem through reloads and Delete All.
  tables_.ReloadTrackMem();
  EXPECT_FALSE(tables_.UniqueTrack("/music/a/one.mp3"));
  tables_.DeleteAll();
  EXPECT_TRUE(tables_.UniqueTrack("/music/a/one.mp3"));
}

TEST_F(LibraryTablesTest, GridOrderIsArtistThenSongByStoredBytes) {
  tables_.StoreTrack(MakeTrack("abba", "Waterloo"));
  tables_.StoreTrack(MakeTrack("Zappa", "Peaches"));
  tables_.StoreTrack(MakeTrack(std::string(50, 'x') + "B", "b"));
  tables_.StoreTrack(MakeTrack(std::string(50, 'x') + "A", "a"));
  // Upper case sorts before lower case; only 50 characters of the artist count, so the two
  // long artists tie and their songs decide.
  EXPECT_EQ(ArtistsInGridOrder(),
            (std::vector<std::string>{"Zappa", "abba", std::string(50, 'x') + "A",
                                      std::string(50, 'x') + "B"}));
}

TEST_F(LibraryTablesTest, IncludeAllSetsEveryRowAndReloadsTrackMem) {
  for (const char* song : {"one", "two", "three"}) tables_.StoreTrack(MakeTrack("a", song));
  for (int64_t r : {1, 3}) {
    tables_.TrackDBF.Go(r);
    tables_.TrackDBF.SetFieldBool("include", false);
    tables_.TrackDBF.Post();
  }
  const int stale_before = tables_.TrackMemStale;
  EXPECT_TRUE(tables_.TrackMem.FieldBoolAt(1, "include"));  // TrackMem does not follow edits

  tables_.IncludeAll();
  for (int64_t r = 1; r <= 3; ++r) {
    EXPECT_TRUE(tables_.TrackDBF.FieldBoolAt(r, "include")) << r;
    EXPECT_TRUE(tables_.TrackMem.FieldBoolAt(r, "include")) << r;
  }
  EXPECT_EQ(tables_.TrackMemStale, stale_before + 2);
  EXPECT_EQ(tables_.TrackDBF.RecNo(), tables_.TrackDBF.RecNosInOrder().front());

  // With everything included nothing is written, but TrackMem is still reloaded.
  tables_.TrackMem.Zap();
  tables_.IncludeAll();
  EXPECT_EQ(tables_.TrackMem.RecCount(), 3);
  EXPECT_EQ(tables_.TrackMemStale, stale_before + 2);
}

TEST_F(LibraryTablesTest, DeleteAllEmptiesEveryTable) {
  tables_.StoreTrack(MakeTrack("a", "one"));
  tables_.StoreTrack(MakeTrack("b", "two"));
  WriteErrMsg(tables_.ErrorDBF, "Invalid MP3 Tag - /music/x.mp3");
  tables_.AvgDBF.ClearRecord();
  tables_.AvgDBF.SetFieldInt("avg_column", 0);
  tables_.AvgDBF.AppendRec();

  tables_.DeleteAll();
  EXPECT_EQ(tables_.NextUniqueID, 0);
  for (TTzDbf* t : {&tables_.TrackDBF, &tables_.FeatureDBF, &tables_.AvgDBF, &tables_.ErrorDBF}) {
    EXPECT_EQ(t->RecCount(), 0) << t->DbfFileName();
    EXPECT_EQ(testing::FileSize(t->DbfFileName()),
              DbfSource(t->DbfFileName(), -1).header().header_length + 1);
  }
  EXPECT_EQ(tables_.TrackMem.RecCount(), 0);

  tables_.StoreTrack(MakeTrack("c", "three"));
  EXPECT_EQ(LibraryTables::ReadTrackRow(tables_.TrackDBF).unique_id, 0);
  FeatureVector values;
  EXPECT_TRUE(tables_.ReadFeatures(0, values));
  EXPECT_EQ(tables_.FeatureDBF.RecCount(), 256);
}

TEST_F(LibraryTablesTest, WriteErrMsgNumbersEntriesAndCutsMessages) {
  WriteErrMsg(tables_.ErrorDBF, "first");
  WriteErrMsg(tables_.ErrorDBF, std::string(300, 'm'));
  EXPECT_EQ(tables_.ErrorDBF.FieldIntAt(1, "errndx"), 0);
  EXPECT_EQ(tables_.ErrorDBF.FieldIntAt(2, "errndx"), 1);
  EXPECT_EQ(TrimTrailing(tables_.ErrorDBF.FieldTextAt(2, "errmsg")), std::string(254, 'm'));
  tables_.ErrorDBF.Zap();
  WriteErrMsg(tables_.ErrorDBF, "after clear");
  EXPECT_EQ(tables_.ErrorDBF.FieldIntAt(1, "errndx"), 0);
}

TEST_F(LibraryTablesTest, StoredLibraryPassesTheIndependentReaders) {
  SKIP_UNLESS_VALIDATORS();
  tables_.StoreTrack(MakeTrack("Zappa", "Peaches"));
  tables_.StoreTrack(MakeTrack("abba", "Waterloo"));
  tables_.CloseAll();
  for (const char* f : {"track_id.dbf", "feature_values.dbf", "errors.dbf", "avg_array.dbf"}) {
    auto r = testing::CheckDbf(folder_.Table(f));
    EXPECT_EQ(r.exit_code, 0) << f << "\n" << r.output;
  }
  auto t = testing::CheckMdx(folder_.Table("track_id.dbf"), folder_.Table("track_id.mdx"), "ASNDX");
  EXPECT_EQ(t.exit_code, 0) << t.output;
  auto f = testing::CheckMdx(folder_.Table("feature_values.dbf"),
                             folder_.Table("feature_values.mdx"), "UNIQUE_ID");
  EXPECT_EQ(f.exit_code, 0) << f.output;
}

}  // namespace
}  // namespace melodrift
