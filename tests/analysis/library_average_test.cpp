// The library average: built from the feature table, stored rounded, loaded at start.
#include "analysis/library_average.h"

#include <gtest/gtest.h>

#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

using testing::LibraryFolder;
using testing::MakeTrack;

class LibraryAverageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tables_.SetFileNames(folder_.program_folder());
    tables_.ErrorDBF.Open();
    tables_.TrackDBF.Open();
    tables_.FeatureDBF.Open();
    tables_.ReloadTrackMem();
  }
  void StoreWithColumnValues(std::initializer_list<std::pair<int, double>> columns) {
    NewTrack t = MakeTrack("a", "song" + std::to_string(tables_.NextUniqueID));
    t.features.fill(0);
    for (auto [c, v] : columns) t.features[c] = v;
    tables_.StoreTrack(t);
  }
  std::vector<int> StoredValues() {
    std::vector<int> values;
    for (tables_.AvgDBF.First(); !tables_.AvgDBF.Eof(); tables_.AvgDBF.Next())
      values.push_back(tables_.AvgDBF.FieldInt("avg_value"));
    return values;
  }

  ScopedThrowingTableErrors throwing_;
  LibraryFolder folder_;
  LibraryTables tables_;
  LibraryAverage average_;
  NoEventPump pump_;
};

TEST_F(LibraryAverageTest, FirstStartStores256ZeroRows) {
  tables_.FeatureDBF.First();
  LoadLibraryAverage(tables_, average_, pump_);
  EXPECT_EQ(StoredValues(), std::vector<int>(256, 0));
  for (int c = 0; c < 256; ++c) EXPECT_EQ(tables_.AvgDBF.FieldIntAt(c + 1, "avg_column"), c);
}

TEST_F(LibraryAverageTest, AverageIsExactInMemoryAndRoundedHalfEvenOnDisk) {
  StoreWithColumnValues({{0, 3}, {1, 2}, {5, 10}});
  StoreWithColumnValues({{0, 4}, {1, 3}, {5, 20}});
  StoreWithColumnValues({{0, 0}, {1, 0}, {5, 31}});
  tables_.FeatureDBF.First();
  LoadLibraryAverage(tables_, average_, pump_);
  EXPECT_DOUBLE_EQ(average_[0], 7.0 / 3);
  EXPECT_DOUBLE_EQ(average_[5], 61.0 / 3);
  std::vector<int> stored = StoredValues();
  EXPECT_EQ(stored[0], 2);
  EXPECT_EQ(stored[5], 20);

  // Two tracks: 3 and 4 average 3.5 (stored 4); 2 and 3 average 2.5 (stored 2).
  tables_.DeleteAll();
  StoreWithColumnValues({{0, 3}, {1, 2}});
  StoreWithColumnValues({{0, 4}, {1, 3}});
  tables_.FeatureDBF.First();
  LoadLibraryAverage(tables_, average_, pump_);
  EXPECT_DOUBLE_EQ(average_[0], 3.5);
  EXPECT_DOUBLE_EQ(average_[1], 2.5);
  stored = StoredValues();
  EXPECT_EQ(stored[0], 4);
  EXPECT_EQ(stored[1], 2);
}

TEST_F(LibraryAverageTest, FilledAverageTableIsLoadedWithoutReadingFeatures) {
  StoreWithColumnValues({{7, 100}});
  tables_.AvgDBF.Open();
  for (int c = 0; c < 256; ++c) {
    tables_.AvgDBF.ClearRecord();
    tables_.AvgDBF.SetFieldInt("avg_column", c);
    tables_.AvgDBF.SetFieldInt("avg_value", c * 2);
    tables_.AvgDBF.AppendRec();
  }
  // A column outside 0 to 255 is ignored.
  tables_.AvgDBF.ClearRecord();
  tables_.AvgDBF.SetFieldInt("avg_column", 300);
  tables_.AvgDBF.SetFieldInt("avg_value", 9);
  tables_.AvgDBF.AppendRec();

  int events = 0;
  struct CountingPump final : EventPump {
    int* n;
    void ProcessEvents() override { ++*n; }
  } pump;
  pump.n = &events;
  tables_.FeatureDBF.First();
  LoadLibraryAverage(tables_, average_, pump);
  EXPECT_EQ(average_[7], 14);  // the stored value, not the feature table's 100
  EXPECT_EQ(average_[255], 510);
  EXPECT_EQ(events, 257);  // one per average row: the feature table was not walked
}

TEST_F(LibraryAverageTest, BuildStopsWhenTheStepSaysSo) {
  StoreWithColumnValues({{0, 8}});
  tables_.FeatureDBF.First();
  int rows = 0;
  EXPECT_FALSE(BuildLibraryAverage(tables_, average_, [&] { return ++rows < 10; }));
  EXPECT_EQ(rows, 10);
  EXPECT_EQ(average_[0], 8);  // the partial sums, not divided
}

}  // namespace
}  // namespace melodrift
