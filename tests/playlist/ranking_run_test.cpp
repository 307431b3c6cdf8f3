// The ranking run over a small library: what it ranks, where it starts, cancelling, the
// jukebox mode's choice, and the end steps.
#include "playlist/ranking_run.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

using testing::LibraryFolder;

// Returns scripted values for chosen ranges (n) in order, 0 otherwise.
class ScriptedRandom final : public RandomSource {
 public:
  int64_t Draw(int64_t n) override {
    draws.push_back(n);
    auto it = script.find(n);
    if (it != script.end() && !it->second.empty()) {
      const int64_t v = it->second.front();
      it->second.pop_front();
      return v;
    }
    return 0;  // no progress point, no jitter (r = 0, then r2 = 0: unchanged), no pause
  }
  std::map<int64_t, std::deque<int64_t>> script;
  std::vector<int64_t> draws;
};

class RecordingRankingView final : public RankingView {
 public:
  void ShowPlaylistProgress(int64_t rows) override { shown_rows = rows; }
  void SetPlaylistProgress(int64_t, int64_t) override {}
  void RepaintProgress() override {}
  void SetJukeboxProgress(int64_t, int64_t) override {}
  void ProposeNextTrack(const std::string& text) override { proposals.push_back(text); }
  bool OppositeChecked() override {
    ++computed;
    if (on_computed) on_computed();
    return opposite;
  }
  bool PreviewChecked() override { return preview; }
  void JukeboxNext() override { ++next_calls; }
  bool SongUsed(const std::string& s) override { return used_songs.count(s) > 0; }
  bool ArtistUsed(const std::string& a) override { return used_artists.count(a) > 0; }
  void ClearUsed() override { ++cleared; }
  void ReportCalcFailure(int32_t id, const std::string& path) override {
    failures.push_back(std::to_string(id) + " " + path);
  }

  int64_t shown_rows = -1;
  int computed = 0;
  bool opposite = false;
  bool preview = false;
  int next_calls = 0;
  int cleared = 0;
  std::set<std::string> used_songs;
  std::set<std::string> used_artists;
  std::vector<std::string> proposals;
  std::vector<std::string> failures;
  std::function<void()> on_computed;
};

struct TrackEntry {
  std::string artist;
  std::string song;
  int value;  // every feature value
  int seconds = 200;
  bool include = true;
};

class RankingRunTest : public ::testing::Test {
 protected:
  RankingRunTest() {
    tables_.SetFileNames(library_.program_folder());
    LibraryFolder::OpenTables(tables_);
  }

  void Store(const std::vector<TrackEntry>& entries) {
    for (const TrackEntry& s : entries) {
      NewTrack t = testing::MakeTrack(s.artist, s.song);
      t.features.fill(s.value);
      t.seconds = s.seconds;
      tables_.StoreTrack(t);
      if (!s.include) {
        tables_.TrackDBF.SetFieldBool("include", false);
        tables_.TrackDBF.Post();
      }
    }
    tables_.ReloadTrackMem();
    average_.fill(50);
  }
  // The seed: the track table's row of this song.
  void SeedOn(const std::string& song) {
    for (int64_t r = 1; r <= tables_.TrackDBF.RecCount(); ++r) {
      if (TrimTrailing(tables_.TrackDBF.FieldTextAt(r, "song")) == song) {
        tables_.TrackDBF.Go(r);
        return;
      }
    }
    FAIL() << "no song " << song;
  }
  std::vector<std::string> RankedSongs() {
    std::vector<std::string> songs;
    for (int64_t r = 1; r <= dmod_.PlayList.RecordCount(); ++r)
      songs.push_back(TrimTrailing(dmod_.PlayList.Row(r).Song));
    return songs;
  }
  std::set<std::string> RankedSet() {
    auto v = RankedSongs();
    return {v.begin(), v.end()};
  }

  ScopedThrowingTableErrors throwing_;
  LibraryFolder library_;
  LibraryTables tables_;
  LibraryAverage average_{};
  TDMod dmod_;
  SpectrumCache spectra_{tables_};
  FixedPlaylistSettings settings_;
  ScriptedRandom random_;
  NoEventPump pump_;
  NoRowPause pause_;
  RecordingRankingView view_;
  RankingRun run_{tables_, average_, dmod_, spectra_, settings_, random_, pump_, pause_, view_};
};

TEST_F(RankingRunTest, PlaylistRunRanksEveryEligibleTrackNearestFirst) {
  settings_.random_level = 1;
  settings_.boost_type = BoostType::kOff;
  Store({{"A", "seed", 100},
         {"B", "near", 101},
         {"C", "far", 140},
         {"D", "middle", 110},
         {"E", "zero seconds", 100, 0},
         {"F", "too long", 100, 9999},
         {"G", "excluded", 100, 200, false}});
  SeedOn("seed");
  run_.Run();
  EXPECT_TRUE(run_.RankingDone);
  EXPECT_EQ(view_.shown_rows, 7);
  EXPECT_EQ(RankedSongs(), (std::vector<std::string>{"seed", "near", "middle", "far"}));
  EXPECT_EQ(dmod_.PlayList.Row(1).IDist, 10);  // sqrt(100)
  EXPECT_EQ(view_.cleared, 1);                 // every playlist run clears the used lists
  // The candidate keeps the texts as the track copy holds them, blanks and all.
  EXPECT_EQ(dmod_.PlayList.Row(1).Artist.size(), 254u);
}

TEST_F(RankingRunTest, SecondsFilterBoundsAreExclusive) {
  Store({{"A", "135", 1, 135}, {"A", "136", 1, 136}, {"A", "284", 1, 284}, {"A", "285", 1, 285}});
  SeedOn("136");
  settings_.filter_on = true;
  run_.Run();
  EXPECT_EQ(RankedSet(), (std::set<std::string>{"136", "284"}));
  settings_.spin_min = 300;
  settings_.spin_max = 200;
  run_.Run();
  EXPECT_TRUE(RankedSet().empty());
}

TEST_F(RankingRunTest, ArtistFilterSameIsExactAndDifferentRanksAsOff) {
  Store({{"Abc", "one", 1}, {"abc", "two", 1}, {"Abc", "three", 1}, {"Xyz", "four", 1}});
  SeedOn("one");
  settings_.artist_filter = ArtistFilter::kSame;
  run_.Run();
  EXPECT_EQ(RankedSet(), (std::set<std::string>{"one", "three"}));
  EXPECT_EQ(run_.SameArtist, "Abc");

  run_.SeedIsAverage = true;  // the average is the seed, the selected track's artist filters
  run_.Run();
  EXPECT_EQ(RankedSet(), (std::set<std::string>{"one", "three"}));

  settings_.artist_filter = ArtistFilter::kDifferent;
  view_.used_artists = {"Abc"};
  run_.Run();
  EXPECT_EQ(RankedSongs().size(), 4u);
}

TEST_F(RankingRunTest, WalkStartsAtRowFiveToNMinusOneFromElevenTracksOn) {
  std::vector<TrackEntry> entries;
  for (int i = 1; i <= 12; ++i) entries.push_back({"A", "song" + std::to_string(i), i});
  Store(entries);
  SeedOn("song1");
  // The first distance ends the run: the one candidate is the start row's track.
  view_.on_computed = [&] { run_.KeepRanking = false; };
  for (auto [draw, row] : {std::pair{0, 5}, {6, 11}, {3, 8}}) {
    random_.script[12 - 5] = {draw};
    run_.Run();
    EXPECT_FALSE(run_.RankingDone);
    ASSERT_EQ(dmod_.PlayList.RecordCount(), 1);
    EXPECT_EQ(dmod_.PlayList.Row(1).Unique_ID, row - 1) << "draw " << draw;
  }
}

TEST_F(RankingRunTest, TenTracksOrFewerStartAtTheFirstRowWithoutADraw) {
  Store({{"A", "s1", 1}, {"A", "s2", 2}, {"A", "s3", 3}});
  SeedOn("s2");
  view_.on_computed = [&] { run_.KeepRanking = false; };
  run_.Run();
  ASSERT_EQ(dmod_.PlayList.RecordCount(), 1);
  EXPECT_EQ(dmod_.PlayList.Row(1).Unique_ID, 0);
  ASSERT_FALSE(random_.draws.empty());
  EXPECT_EQ(random_.draws.front(), 50);  // the first row's progress draw: no start-row draw
}

TEST_F(RankingRunTest, CancelKeepsWhatWasInsertedAndSkipsTheEndSteps) {
  Store({{"A", "s1", 1}, {"A", "s2", 2}, {"A", "s3", 3}, {"A", "s4", 4}});
  SeedOn("s1");
  view_.on_computed = [&] {
    if (view_.computed == 2) run_.KeepRanking = false;
  };
  run_.Run();
  EXPECT_FALSE(run_.RankingDone);
  EXPECT_EQ(dmod_.PlayList.RecordCount(), 2);
  EXPECT_EQ(view_.cleared, 0);
}

TEST_F(RankingRunTest, EmptyLibraryEndsWithAnEmptyList) {
  Store({});
  run_.Run();
  EXPECT_TRUE(run_.RankingDone);
  EXPECT_EQ(dmod_.PlayList.RecordCount(), 0);
  EXPECT_EQ(view_.shown_rows, 0);
}

TEST_F(RankingRunTest, OppositeNegatesAndFailedTracksStayLast) {
  settings_.random_level = 1;
  settings_.boost_type = BoostType::kOff;
  Store({{"A", "seed", 100}, {"B", "near", 105}, {"C", "far", 150}});
  SeedOn("seed");
  view_.opposite = true;
  run_.Run();
  EXPECT_EQ(RankedSongs(), (std::vector<std::string>{"far", "near", "seed"}));
  EXPECT_LT(dmod_.PlayList.Row(1).IDist, 0);

  // Boost "Auto" over a zero average: every distance fails, is logged and stays positive.
  settings_.boost_type = BoostType::kAuto;
  average_.fill(0);
  run_.Run();
  ASSERT_EQ(view_.failures.size(), 3u);
  EXPECT_EQ(view_.failures[0].substr(view_.failures[0].find(' ') + 1).rfind("/music/", 0), 0u);
  for (int64_t r = 1; r <= 3; ++r) EXPECT_EQ(dmod_.PlayList.Row(r).IDist, NoDistance);
}

TEST_F(RankingRunTest, JukeboxModeSkipsPlayedTracksAndProposesTheNearest) {
  settings_.random_level = 1;
  settings_.boost_type = BoostType::kOff;
  Store({{"A", "seed", 100}, {"B", "near", 102}, {"C", "nearer", 101}, {"A", "far", 150}});
  SeedOn("seed");
  run_.JukeboxRanking = true;
  view_.used_songs = {"A - seed"};
  view_.preview = true;
  run_.Run();
  EXPECT_TRUE(run_.RankingDone);
  EXPECT_EQ(dmod_.AutoList.RecordCount(), 3);
  EXPECT_EQ(dmod_.PlayList.RecordCount(), 0);
  EXPECT_EQ(run_.NextTrackID, 2);  // "nearer"
  EXPECT_EQ(view_.proposals.back(), "C - nearer");
  EXPECT_EQ(view_.cleared, 0);     // three accepted
  EXPECT_EQ(view_.next_calls, 1);  // Preview

  // "Different" skips artists already played as well; fewer than two accepted clears the
  // used lists.
  settings_.artist_filter = ArtistFilter::kDifferent;
  view_.used_artists = {"A", "B"};
  run_.Run();
  EXPECT_EQ(dmod_.AutoList.RecordCount(), 1);
  EXPECT_EQ(view_.cleared, 1);
}

TEST_F(RankingRunTest, AdvanceRequestedEndsTheWalkAndPlaysTheProposal) {
  Store({{"A", "s1", 1}, {"B", "s2", 2}, {"C", "s3", 3}});
  SeedOn("s1");
  run_.JukeboxRanking = true;
  view_.on_computed = [&] { run_.AdvanceRequested = true; };
  run_.Run();
  EXPECT_TRUE(run_.RankingDone);
  EXPECT_EQ(dmod_.AutoList.RecordCount(), 1);
  EXPECT_EQ(view_.next_calls, 1);
}

}  // namespace
}  // namespace melodrift
