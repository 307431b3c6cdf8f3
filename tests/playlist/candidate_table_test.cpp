// The ranked candidate tables: `dist` order (also for rows inserted in any order and after
// reads), the unique Unique_ID, the cursor and its end, deleting rows and the view.
#include "playlist/candidate_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace melodrift {
namespace {

CandidateRow Candidate(int32_t id, int64_t dist) {
  return CandidateRow{id,
                      dist,
                      "Artist " + std::to_string(id) + "   ",
                      "Song " + std::to_string(id),
                      "/music/" + std::to_string(id) + ".mp3",
                      100 + id};
}

// (Unique_ID, IDist) of every row, walked with First and Next until Eof.
std::vector<std::pair<int32_t, int64_t>> Walk(TCandidateTable& table) {
  std::vector<std::pair<int32_t, int64_t>> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    EXPECT_EQ(table.RecNo(), static_cast<int64_t>(rows.size()) + 1);
    rows.emplace_back(table.Current().Unique_ID, table.Current().IDist);
  }
  return rows;
}

std::vector<int64_t> Dists(TCandidateTable& table) {
  std::vector<int64_t> dists;
  for (const auto& row : Walk(table)) dists.push_back(row.second);
  return dists;
}

void ExpectEmptyDatasetError(const std::function<void()>& operation) {
  try {
    operation();
    ADD_FAILURE() << "no error";
  } catch (const CandidateTableError& e) {
    EXPECT_STREQ(e.what(), "Cannot perform this operation on an empty dataset");
  }
}

TEST(CandidateTableTest, EmptyTableIsAtItsEndAndRefusesRowOperations) {
  TCandidateTable table("PlayList");
  table.First();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.RecNo(), 0);
  EXPECT_TRUE(Walk(table).empty());
  ExpectEmptyDatasetError([&] { table.DeleteCurrent(); });
  ExpectEmptyDatasetError([&] { table.Current(); });
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_TRUE(table.Eof());
}

TEST(CandidateTableTest, RowsComeInAscendingSignedDistance) {
  TCandidateTable table("PlayList");
  for (auto [id, dist] : {std::pair{1, 12}, {2, -40}, {3, 9999999}, {4, 10}}) {
    table.Insert(Candidate(id, dist));
  }
  EXPECT_EQ(Walk(table),
            (std::vector<std::pair<int32_t, int64_t>>{{2, -40}, {4, 10}, {1, 12}, {3, 9999999}}));
  EXPECT_EQ(table.Row(3).Artist, "Artist 1   ");  // as inserted, blanks kept
  EXPECT_EQ(table.Row(3).Seconds, 101);
}

TEST(CandidateTableTest, ManyRowsInAnyOrderKeepInsertionOrderAmongEqualDistances) {
  // Inserts mixed with reads (the lazy sort meets rows already in order) and a jukebox-like
  // run of growing distances.
  TCandidateTable table("AutoList");
  std::mt19937 random(11);
  std::vector<std::pair<int64_t, int32_t>> expected;  // (IDist, insertion number)
  int32_t id = 0;
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 500; ++i, ++id) {
      const int64_t dist = static_cast<int64_t>(random() % 200) - 100;
      table.Insert(Candidate(id, dist));
      expected.emplace_back(dist, id);
    }
    table.First();  // a read between the batches
  }
  for (int i = 0; i < 100; ++i, ++id) {
    table.Insert(Candidate(id, 1000 + i / 2));
    expected.emplace_back(1000 + i / 2, id);
  }
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const auto rows = Walk(table);
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].second, expected[i].first) << "row " << i + 1;
    ASSERT_EQ(rows[i].first, expected[i].second) << "row " << i + 1;
  }
}

TEST(CandidateTableTest, SecondRowForATrackIsRefusedAndTheFirstStays) {
  TCandidateTable table("PlayList");
  table.Insert(Candidate(7, 25));
  table.Insert(Candidate(8, 30));
  CandidateRow again = Candidate(7, 5);
  again.Artist = "Someone Else";
  try {
    table.Insert(again);
    ADD_FAILURE() << "the second row for 7 was taken";
  } catch (const CandidateTableError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("PlayList"), std::string::npos) << message;
    EXPECT_NE(message.find("7"), std::string::npos) << message;
  }
  EXPECT_EQ(Walk(table), (std::vector<std::pair<int32_t, int64_t>>{{7, 25}, {8, 30}}));
  table.First();
  EXPECT_EQ(table.Current().Artist, "Artist 7   ");
  // Once deleted, the track may come back.
  table.DeleteCurrent();
  table.Insert(again);
  EXPECT_EQ(Walk(table), (std::vector<std::pair<int32_t, int64_t>>{{7, 5}, {8, 30}}));
}

TEST(CandidateTableTest, CursorEndAndMoves) {
  TCandidateTable table("PlayList");
  for (int id = 1; id <= 3; ++id) table.Insert(Candidate(id, id * 10));
  table.First();
  EXPECT_FALSE(table.Eof());
  table.Next();
  table.Next();
  EXPECT_EQ(table.RecNo(), 3);
  EXPECT_FALSE(table.Eof());  // on the last row, no move past it asked yet
  table.Next();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.RecNo(), 3);  // stays on the last row
  table.Prior();
  EXPECT_FALSE(table.Eof());
  EXPECT_EQ(table.RecNo(), 2);
  table.Prior();
  table.Prior();
  EXPECT_EQ(table.RecNo(), 1);
  table.MoveTo(3);
  EXPECT_EQ(table.Current().Unique_ID, 3);
  table.MoveTo(9);  // out of range: no move
  EXPECT_EQ(table.RecNo(), 3);

  // An insert keeps the cursor on its row, wherever the new row sorts.
  table.Insert(Candidate(4, 5));
  EXPECT_EQ(table.Current().Unique_ID, 3);
  EXPECT_EQ(table.RecNo(), 4);
}

TEST(CandidateTableTest, DeletingRowsMovesTheCursorToTheFollowingOrLastRow) {
  TCandidateTable table("PlayList");
  for (int id = 1; id <= 4; ++id) table.Insert(Candidate(id, id));
  table.First();
  table.DeleteCurrent();  // the first row
  EXPECT_EQ(table.RecNo(), 1);
  EXPECT_EQ(table.Current().Unique_ID, 2);

  table.MoveTo(2);
  table.DeleteCurrent();  // a middle row: the following one takes its place
  EXPECT_EQ(table.Current().Unique_ID, 4);
  EXPECT_EQ(table.RecNo(), 2);

  table.DeleteCurrent();  // the last row: the new last row
  EXPECT_EQ(table.Current().Unique_ID, 2);
  EXPECT_EQ(table.RecNo(), 1);
  EXPECT_FALSE(table.Eof());

  table.DeleteCurrent();
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_TRUE(table.Eof());
  ExpectEmptyDatasetError([&] { table.DeleteCurrent(); });
}

TEST(CandidateTableTest, ClearingWithTheViewClosedLeavesNoStaleRows) {
  TCandidateTable table("PlayList");
  int notified = 0;
  table.OnChanged = [&] { ++notified; };
  table.Insert(Candidate(1, 10));
  table.Insert(Candidate(2, 20));
  EXPECT_EQ(notified, 2);

  table.CloseView();
  EXPECT_FALSE(table.ViewOpen());
  const int at_close = notified;
  table.DeleteAll();
  for (int id = 10; id < 1010; ++id) table.Insert(Candidate(id, 2000 - id));
  EXPECT_EQ(notified, at_close) << "a closed view is not told of every insert";

  table.OpenView();
  EXPECT_GT(notified, at_close);
  EXPECT_EQ(table.RecNo(), 1);  // opening puts the cursor on the first row
  EXPECT_EQ(table.Current().Unique_ID, 1009);
  const auto rows = Walk(table);
  ASSERT_EQ(rows.size(), 1000u);
  EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const auto& r) { return r.first < 10; }));
}

TEST(CandidateTableTest, EditsOfTheCursorRowKeepTheOrder) {
  TCandidateTable table("PlayList");
  table.Insert(Candidate(1, 30));
  table.Insert(Candidate(2, 10));
  table.MoveTo(2);
  table.SetArtist("New Artist");
  table.SetSong("New Song");
  table.SetSeconds(321);
  EXPECT_EQ(Dists(table), (std::vector<int64_t>{10, 30}));
  EXPECT_EQ(table.Row(2).Artist, "New Artist");
  EXPECT_EQ(table.Row(2).Song, "New Song");
  EXPECT_EQ(table.Row(2).Seconds, 321);
  EXPECT_EQ(table.Row(1).Artist, "Artist 2   ");
}

}  // namespace
}  // namespace melodrift
