// A table file with its production index: order, key seeks, upkeep and rebuilds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "library/indexing_view.h"
#include "library/table_error.h"
#include "library/tz_dbf.h"
#include "tests/library/table_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/validators.h"

namespace melodrift {
namespace {

using testing::AppendTrack;
using testing::FileSize;
using testing::MakeFeatureTable;
using testing::MakeTrackTable;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

// Records what the indexing window would show.
class RecordingIndexingView final : public IndexingView {
 public:
  RecordingIndexingView() { previous_ = SetIndexingView(this); }
  ~RecordingIndexingView() override { SetIndexingView(previous_); }
  void BeginIndexing(const std::string& caption) override { captions.push_back(caption); }
  void ShowIndexingBar(const std::string& bar) override { bars.push_back(bar); }
  void EndIndexing() override { ++ended; }

  std::vector<std::string> captions;
  std::vector<std::string> bars;
  int ended = 0;

 private:
  IndexingView* previous_ = nullptr;
};

class IndexedTableTest : public ::testing::Test {
 protected:
  std::vector<std::string> SongsInOrder(TTzDbf& t) {
    std::vector<std::string> songs;
    for (t.First(); !t.Eof(); t.Next()) songs.push_back(TrimTrailing(t.FieldText("song")));
    return songs;
  }
  void AppendFeatureRows(TTzDbf& f, int id, int first_value = 0) {
    for (int col = 0; col < 256; ++col) {
      f.ClearRecord();
      f.SetFieldInt("unique_id", id);
      f.SetFieldInt("f_column", col);
      f.SetFieldInt("f_value", first_value + col);
      f.AppendRec();
    }
    f.FlushDbf();
  }
  void ExpectValidIndex(const std::string& dbf, const std::string& mdx, const std::string& tag) {
    if (!testing::ValidatorsUnavailableReason().empty()) return;
    auto r = testing::CheckMdx(dbf, mdx, tag);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("check_mdx: OK"), std::string::npos) << r.output;
  }

  TempDir dir_;
  ScopedThrowingTableErrors throwing_;
  std::string track_path_ = dir_.File("track_id.dbf");
  std::string track_index_ = dir_.File("track_id.mdx");
};

TEST_F(IndexedTableTest, TrackTableMovesInArtistAndSongOrder) {
  RecordingIndexingView view;
  auto t = MakeTrackTable(track_path_);
  t->Open();
  EXPECT_EQ(view.captions, std::vector<std::string>{"Indexing " + track_index_ + "..."});
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(t->IndexFileName(), track_index_);
  AppendTrack(*t, 0, "abba", "Waterloo");
  AppendTrack(*t, 1, "Zappa", "Peaches");
  AppendTrack(*t, 2, "Zappa", "Apostrophe");
  AppendTrack(*t, 3,
              "\xC9"
              "dith",
              "Hymne");  // Édith: OEM byte 0x90, after 'z'
  AppendTrack(*t, 4, "Beatles", "Help");
  const std::vector<std::string> expected = {"Help", "Apostrophe", "Peaches", "Waterloo", "Hymne"};
  EXPECT_EQ(SongsInOrder(*t), expected);
  EXPECT_EQ(t->RecNo(), 4);  // Next on the last record stays there
  t->Last();
  EXPECT_EQ(TrimTrailing(t->FieldText("song")), "Hymne");
  t->Prior();
  EXPECT_EQ(TrimTrailing(t->FieldText("song")), "Waterloo");
  EXPECT_EQ(t->RecNosInOrder(), (std::vector<int64_t>{5, 3, 2, 1, 4}));
  t->Close();
  ExpectValidIndex(track_path_, track_index_, "ASNDX");

  // A second open reads the file without building it again.
  auto again = MakeTrackTable(track_path_);
  again->Open();
  EXPECT_EQ(view.captions.size(), 1u);
  EXPECT_EQ(SongsInOrder(*again), expected);
}

TEST_F(IndexedTableTest, ReplacingARecordMovesItsKey) {
  auto t = MakeTrackTable(track_path_);
  t->Open();
  AppendTrack(*t, 0, "A", "one");
  AppendTrack(*t, 1, "B", "two");
  AppendTrack(*t, 2, "C", "three");
  t->Go(1);
  t->SetFieldText("artist", "D");
  t->SetFieldText("asndx", PadOrCut("D", 50) + PadOrCut("one", 50));
  t->Post();
  EXPECT_EQ(SongsInOrder(*t), (std::vector<std::string>{"two", "three", "one"}));
  // A change that leaves the key alone keeps the order.
  t->Go(2);
  t->SetFieldBool("include", false);
  t->Post();
  EXPECT_EQ(SongsInOrder(*t), (std::vector<std::string>{"two", "three", "one"}));
  t->Close();
  ExpectValidIndex(track_path_, track_index_, "ASNDX");
}

TEST_F(IndexedTableTest, FindExactSeeksTheFirstRowOfATrack) {
  const std::string path = dir_.File("feature_values.dbf");
  auto f = MakeFeatureTable(path);
  f->Open();
  // Tracks stored out of key order, so the rows of one track are not the first rows.
  for (int id : {7, 3, 12, 5}) AppendFeatureRows(*f, id, id * 1000);
  ASSERT_EQ(f->RecCount(), 4 * 256);

  ASSERT_TRUE(f->FindExact("12"));
  EXPECT_EQ(f->RecNo(), 2 * 256 + 1);
  EXPECT_EQ(f->FieldInt("f_column"), 0);
  int rows = 1;
  for (f->Next(); !f->Eof() && f->FieldInt("unique_id") == 12; f->Next()) {
    EXPECT_EQ(f->FieldInt("f_column"), rows);
    EXPECT_EQ(f->FieldInt("f_value"), 12000 + rows);
    ++rows;
  }
  EXPECT_EQ(rows, 256);

  for (const char* missing : {"4", "0", "13", "99999"}) {
    SCOPED_TRACE(missing);
    EXPECT_FALSE(f->FindExact(missing));
    EXPECT_TRUE(f->Eof());
    EXPECT_EQ(f->FieldInt("unique_id"), 12);  // the last record in key order
  }
  EXPECT_TRUE(f->FindExact("3"));
  EXPECT_FALSE(f->Eof());
  EXPECT_EQ(f->RecNo(), 256 + 1);
  f->Close();
  ExpectValidIndex(path, dir_.File("feature_values.mdx"), "UNIQUE_ID");
}

TEST_F(IndexedTableTest, FindExactPadsCharacterKeys) {
  auto t = MakeTrackTable(track_path_);
  t->Open();
  AppendTrack(*t, 0, "Zappa", "Peaches");
  AppendTrack(*t, 1, "Zappa", "Peach");
  EXPECT_TRUE(t->FindExact(PadOrCut("Zappa", 50) + "Peach"));
  EXPECT_EQ(t->FieldInt("unique_id"), 1);
  EXPECT_FALSE(t->FindExact("Zappa"));
  EXPECT_TRUE(t->Eof());
}

TEST_F(IndexedTableTest, ZapEmptiesAndPackRebuildsTheIndex) {
  auto t = MakeTrackTable(track_path_);
  t->Open();
  for (int i = 0; i < 40; ++i)
    AppendTrack(*t, i, "artist" + std::to_string(i % 7), "s" + std::to_string(i));
  for (int r = 1; r <= 40; r += 3) {
    t->Go(r);
    t->DeleteRec();
  }
  t->Pack();
  EXPECT_EQ(t->RecCount(), 26);
  EXPECT_EQ(SongsInOrder(*t).size(), 26u);
  t->FlushDbf();
  ExpectValidIndex(track_path_, track_index_, "ASNDX");

  t->Zap();
  EXPECT_EQ(t->RecCount(), 0);
  EXPECT_TRUE(SongsInOrder(*t).empty());
  EXPECT_FALSE(t->FindExact("x"));
  t->FlushDbf();
  ExpectValidIndex(track_path_, track_index_, "ASNDX");
  AppendTrack(*t, 1, "after", "zap");
  EXPECT_EQ(SongsInOrder(*t), std::vector<std::string>{"zap"});
}

TEST_F(IndexedTableTest, MissingOrDamagedIndexIsRebuilt) {
  {
    auto t = MakeTrackTable(track_path_);
    t->Open();
    for (int i = 0; i < 30; ++i)
      AppendTrack(*t, i, "a" + std::to_string(29 - i), "s" + std::to_string(i));
  }
  const std::string good = ReadFileBytes(track_index_);
  std::vector<std::string> expected;
  {
    auto t = MakeTrackTable(track_path_);
    t->Open();
    expected = SongsInOrder(*t);
  }
  ASSERT_EQ(expected.size(), 30u);
  ASSERT_EQ(expected.front(), "s29");

  struct Case {
    const char* what;
    std::function<void()> damage;
  };
  std::string zeros(good.size(), '\0');
  std::string wrong_version = good;
  wrong_version[0] = 9;
  std::string flipped = good;
  for (size_t i = 2048; i < flipped.size(); i += 97) flipped[i] = static_cast<char>(~flipped[i]);
  const std::vector<Case> cases = {
      {"deleted", [&] { std::remove(track_index_.c_str()); }},
      {"truncated", [&] { WriteFileBytes(track_index_, good.substr(0, good.size() / 2)); }},
      {"empty", [&] { WriteFileBytes(track_index_, ""); }},
      {"zeros", [&] { WriteFileBytes(track_index_, zeros); }},
      {"other version", [&] { WriteFileBytes(track_index_, wrong_version); }},
      {"flipped node bytes", [&] { WriteFileBytes(track_index_, flipped); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.damage();
    RecordingIndexingView view;
    auto t = MakeTrackTable(track_path_);
    t->Open();
    EXPECT_EQ(SongsInOrder(*t), expected);
    t->Close();
    ExpectValidIndex(track_path_, track_index_, "ASNDX");
  }
}

TEST_F(IndexedTableTest, StaleIndexAfterAKillIsRebuilt) {
  // The program was killed after records were written and before the next flush: the index
  // on disk does not know the last records.
  auto t = MakeTrackTable(track_path_);
  t->Open();
  AppendTrack(*t, 0, "m", "middle");
  t->FlushDbf();
  const std::string index_then = ReadFileBytes(track_index_);
  AppendTrack(*t, 1, "a", "first");
  AppendTrack(*t, 2, "z", "last");
  t->Close();
  WriteFileBytes(track_index_, index_then);

  RecordingIndexingView view;
  auto reopened = MakeTrackTable(track_path_);
  reopened->Open();
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(SongsInOrder(*reopened), (std::vector<std::string>{"first", "middle", "last"}));
}

TEST_F(IndexedTableTest, IndexingBarShortensAndStartsAgain) {
  IndexingBar bar;
  EXPECT_EQ(bar.Text(), std::string(100, '|'));
  for (int i = 0; i < 100; ++i) bar.Step();
  EXPECT_EQ(bar.Text(), "");
  bar.Step();
  EXPECT_EQ(bar.length(), 100);

  {
    auto t = MakeTrackTable(track_path_);
    t->Open();
    for (int i = 0; i < 500; ++i) AppendTrack(*t, i, "a", "s" + std::to_string(i));
  }
  std::remove(track_index_.c_str());
  RecordingIndexingView view;
  auto t = MakeTrackTable(track_path_);
  t->Open();
  ASSERT_GE(view.bars.size(), 2u);
  EXPECT_EQ(view.bars.front(), std::string(100, '|'));
  EXPECT_LT(view.bars.back().size(), 100u);
  EXPECT_EQ(view.ended, 1);
}

TEST_F(IndexedTableTest, ManyRandomChangesKeepTheOrderExact) {
  auto t = MakeTrackTable(track_path_);
  t->Open();
  std::mt19937 rng(7);
  std::vector<std::pair<std::string, int>> model;  // (asndx, recno)
  for (int i = 0; i < 400; ++i) {
    std::string artist = "artist" + std::to_string(rng() % 60);
    std::string song = "song" + std::to_string(rng() % 1000);
    AppendTrack(*t, i, artist, song);
    model.emplace_back(PadOrCut(artist, 50) + PadOrCut(song, 50), i + 1);
  }
  for (int i = 0; i < 150; ++i) {
    int r = static_cast<int>(rng() % 400) + 1;
    std::string artist = "moved" + std::to_string(rng() % 30);
    t->Go(r);
    t->SetFieldText("asndx", PadOrCut(artist, 50) + PadOrCut("x", 50));
    t->Post();
    model[static_cast<size_t>(r - 1)].first = PadOrCut(artist, 50) + PadOrCut("x", 50);
  }
  auto sorted = model;
  std::sort(sorted.begin(), sorted.end());
  std::vector<int64_t> expected;
  for (const auto& [key, recno] : sorted) expected.push_back(recno);
  EXPECT_EQ(t->RecNosInOrder(), expected);
  t->Close();
  ExpectValidIndex(track_path_, track_index_, "ASNDX");
}

}  // namespace
}  // namespace melodrift
