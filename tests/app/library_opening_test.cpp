// The library opening: tables created or read, deleted rows packed away, TrackMem and
// NextUniqueID, the status text, the splash timer and the wizard.
#include "app/library_opening.h"

#include <gtest/gtest.h>

#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

using testing::LibraryFolder;
using testing::MakeTrack;

class RecordingView final : public LibraryOpeningView {
 public:
  void ShowFileCount(const std::string& text) override { file_count = text; }
  void FocusFirstControl() override { ++focused; }
  void StartSplashTimer(int interval_ms) override { splash_ms = interval_ms; }
  void ShowConfigForm() override { ++wizard; }

  std::string file_count;
  int focused = 0;
  int splash_ms = -1;
  int wizard = 0;
};

class ScriptedRandom final : public RandomSource {
 public:
  int64_t Draw(int64_t n) override {
    last_n = n;
    return n - 1;
  }
  int64_t last_n = 0;
};

class LibraryOpeningTest : public ::testing::Test {
 protected:
  OpenedLibrary Open(LibraryTables& tables) {
    tables.SetFileNames(folder_.program_folder());
    return OpenLibrary(tables, average_, pump_, random_, view_);
  }

  ScopedThrowingTableErrors throwing_;
  LibraryFolder folder_;
  LibraryAverage average_;
  NoEventPump pump_;
  ScriptedRandom random_;
  RecordingView view_;
};

TEST_F(LibraryOpeningTest, FirstStartCreatesAnEmptyLibraryAndShowsTheWizard) {
  LibraryTables tables;
  OpenedLibrary opened = Open(tables);
  EXPECT_EQ(view_.file_count, "0 Files");
  EXPECT_EQ(view_.wizard, 1);
  EXPECT_EQ(view_.focused, 1);
  EXPECT_EQ(random_.last_n, 500);
  EXPECT_EQ(view_.splash_ms, 999);
  EXPECT_EQ(tables.NextUniqueID, 0);
  EXPECT_EQ(opened.FirstRecNo, 0);
  EXPECT_EQ(opened.LastRecNo, 0);
  EXPECT_EQ(tables.AvgDBF.RecCount(), 256);
  for (const char* f : {"track_id.dbf", "feature_values.dbf", "errors.dbf", "avg_array.dbf",
                        "track_id.mdx", "feature_values.mdx"})
    EXPECT_GT(testing::FileSize(folder_.Table(f)), 0) << f;
  tables.CloseAll();
  EXPECT_EQ(testing::FileSize(folder_.Table("track_id.dbf")), 322);
  EXPECT_EQ(testing::FileSize(folder_.Table("avg_array.dbf")), 97 + 256 * 15 + 1);
}

TEST_F(LibraryOpeningTest, NextUniqueIdFollowsTheLargestIdentifier) {
  struct Case {
    std::vector<int> ids;
    const char* files;
    int32_t next;
  };
  for (const Case& c : {Case{{0, 1, 2, 3, 4}, "5 Files", 5}, Case{{0, 3, 7}, "3 Files", 8},
                        Case{{7, 3, 0}, "3 Files", 8}}) {
    {
      LibraryTables tables;
      tables.SetFileNames(folder_.program_folder());
      LibraryFolder::OpenTables(tables);
      tables.DeleteAll();
      for (int id : c.ids) {
        tables.NextUniqueID = id;
        tables.StoreTrack(MakeTrack("artist", "song" + std::to_string(id)));
      }
      tables.CloseAll();
    }
    LibraryTables tables;
    Open(tables);
    EXPECT_EQ(view_.file_count, c.files);
    EXPECT_EQ(tables.NextUniqueID, c.next);
    EXPECT_EQ(tables.TrackMem.RecCount(), static_cast<int64_t>(c.ids.size()));
    tables.CloseAll();
  }
}

TEST_F(LibraryOpeningTest, RowsFlaggedDeletedAreGoneAfterTheStart) {
  {
    LibraryTables tables;
    tables.SetFileNames(folder_.program_folder());
    LibraryFolder::OpenTables(tables);
    for (const char* song : {"one", "two", "three"}) tables.StoreTrack(MakeTrack("a", song));
    tables.TrackDBF.Go(2);
    tables.TrackDBF.DeleteRec();
    tables.CloseAll();
  }
  LibraryTables tables;
  OpenedLibrary opened = Open(tables);
  EXPECT_EQ(tables.TrackDBF.RecCount(), 2);
  EXPECT_EQ(view_.file_count, "2 Files");
  EXPECT_EQ(view_.wizard, 0);
  EXPECT_TRUE(tables.UniqueTrack("/music/a/two.mp3"));
  EXPECT_FALSE(tables.UniqueTrack("/music/a/three.mp3"));
  // Grid order: one, three, two by song; "two" is gone.
  EXPECT_EQ(LibraryTables::TrackRowAt(tables.TrackDBF, opened.FirstRecNo).song, "one");
  EXPECT_EQ(LibraryTables::TrackRowAt(tables.TrackDBF, opened.LastRecNo).song, "three");
  EXPECT_EQ(tables.TrackDBF.RecNo(), opened.FirstRecNo);
  tables.CloseAll();
  EXPECT_EQ(testing::FileSize(folder_.Table("track_id.dbf")), 321 + 2 * 1392 + 1);
}

TEST_F(LibraryOpeningTest, RowsWrittenWithoutAHeaderUpdateAreFoundAgain) {
  {
    LibraryTables tables;
    tables.SetFileNames(folder_.program_folder());
    LibraryFolder::OpenTables(tables);
    tables.StoreTrack(MakeTrack("a", "kept"));
    tables.CloseAll();
  }
  // A crash after a track row was appended: the header still counts one row, the file holds
  // two, and the track index has not seen the second.
  {
    LibraryTables tables;
    tables.SetFileNames(folder_.program_folder());
    LibraryFolder::OpenTables(tables);
    const std::string before = testing::ReadFileBytes(folder_.Table("track_id.dbf"));
    const std::string mdx = testing::ReadFileBytes(folder_.Table("track_id.mdx"));
    tables.NextUniqueID = 1;
    tables.StoreTrack(MakeTrack("b", "unflushed"));
    std::string after = testing::ReadFileBytes(tables.TrackDBF.DbfFileName());
    tables.CloseAll();
    after.replace(0, 32, before.substr(0, 32));
    testing::WriteFileBytes(folder_.Table("track_id.dbf"), after);
    testing::WriteFileBytes(folder_.Table("track_id.mdx"), mdx);
  }
  LibraryTables tables;
  Open(tables);
  EXPECT_EQ(view_.file_count, "2 Files");
  EXPECT_EQ(tables.NextUniqueID, 2);
  std::vector<std::string> songs;
  for (int64_t r : tables.TrackDBF.RecNosInOrder())
    songs.push_back(LibraryTables::TrackRowAt(tables.TrackDBF, r).song);
  EXPECT_EQ(songs, (std::vector<std::string>{"kept", "unflushed"}));
}

TEST_F(LibraryOpeningTest, FeatureRowsOfATrackCutShortAreRemoved) {
  {
    LibraryTables tables;
    tables.SetFileNames(folder_.program_folder());
    LibraryFolder::OpenTables(tables);
    tables.StoreTrack(MakeTrack("a", "stored", 5));
    // The process ended after the next track's feature rows were flushed, before its track row.
    for (int c = 0; c < kFeatureColumns; ++c) {
      tables.FeatureDBF.ClearRecord();
      tables.FeatureDBF.SetFieldInt("unique_id", 1);
      tables.FeatureDBF.SetFieldInt("f_column", c);
      tables.FeatureDBF.SetFieldInt("f_value", 999);
      tables.FeatureDBF.AppendRec();
    }
    tables.CloseAll();
  }
  LibraryTables tables;
  Open(tables);
  EXPECT_EQ(tables.NextUniqueID, 1);
  EXPECT_EQ(tables.FeatureDBF.RecCount(), 256);
  EXPECT_EQ(average_[0], 5);  // the average leaves the unfinished rows out

  tables.StoreTrack(MakeTrack("b", "next", 40));
  FeatureVector values;
  ASSERT_TRUE(tables.ReadFeatures(1, values));
  EXPECT_EQ(values[0], 40);  // its own rows, not the unfinished ones
  EXPECT_EQ(tables.FeatureDBF.RecCount(), 512);
}

TEST_F(LibraryOpeningTest, MissingAverageTableIsBuiltFromTheFeatures) {
  {
    LibraryTables tables;
    Open(tables);
    NewTrack t = MakeTrack("a", "x");
    t.features.fill(6);
    tables.StoreTrack(t);
    tables.CloseAll();
  }
  std::filesystem::remove(folder_.Table("avg_array.dbf"));
  LibraryTables tables;
  Open(tables);
  EXPECT_EQ(average_[0], 6);
  EXPECT_EQ(tables.AvgDBF.RecCount(), 256);
  EXPECT_EQ(tables.AvgDBF.FieldIntAt(256, "avg_value"), 6);
}

TEST_F(LibraryOpeningTest, MissingTablesFolderEndsWithPathNotFound) {
  std::filesystem::remove_all(folder_.Table(""));
  std::vector<std::string> messages;
  TableMessageHandler previous =
      SetTableMessageHandler([&](const std::string& m) { messages.push_back(m); });
  LibraryTables tables;
  try {
    Open(tables);
    ADD_FAILURE() << "opening without a tables folder succeeded";
  } catch (const TableFatalError& e) {
    EXPECT_EQ(e.code(), 3);
    EXPECT_EQ(e.error().message,
              "Failure to open " + folder_.Table("errors.dbf") + " [USE/OpenDbf]");
  }
  SetTableMessageHandler(previous);
  EXPECT_EQ(messages,
            std::vector<std::string>{"Could not create \"" + folder_.Table("errors.dbf") + "\""});
}

}  // namespace
}  // namespace melodrift
