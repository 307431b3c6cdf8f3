// The seed spectrum, the distance of a track to it (weights, boosts, jitter and its draw
// order, failures) and the spectrum cache against the index walk it replaces.
#include "playlist/similarity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

using testing::LibraryFolder;
using testing::MakeTrack;

// Hands out scripted draws and records the range of every draw asked for.
class ScriptedRandom final : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<int64_t> script) : script_(std::move(script)) {}

  int64_t Draw(int64_t n) override {
    asked.push_back(n);
    if (next_ >= script_.size()) {
      ADD_FAILURE() << "a draw beyond the script (range " << n << ")";
      return 0;
    }
    const int64_t value = script_[next_++];
    EXPECT_LT(value, std::max<int64_t>(n, 1)) << "scripted value outside the range asked for";
    return value;
  }

  std::vector<int64_t> asked;

 private:
  std::vector<int64_t> script_;
  size_t next_ = 0;
};

// r = 0, r2 = 0: the sum is left as it is.
std::vector<int64_t> NoJitter() {
  return {0, 0};
}

LibraryAverage FilledAverage(double value) {
  LibraryAverage average;
  average.fill(value);
  return average;
}

TEST(CalcTotalsTest, WeightsAndBoostsOfOneDifference) {
  struct Case {
    const char* what;
    BoostType boost;
    int weight;
    int bin;
    int32_t s;
    double a;
    int32_t v;
    int32_t expected;  // round(sqrt(100 + what the row adds))
  };
  const Case cases[] = {
      {"beyond the seed, away from the average: 450", BoostType::kOff, 3, 10, 100, 50, 130, 23},
      {"towards the average: 900", BoostType::kOff, 3, 10, 100, 50, 70, 32},
      {"below a seed under the average: 450", BoostType::kOff, 3, 10, 100, 150, 70, 23},
      {"seed equals average, above: 900", BoostType::kOff, 3, 10, 100, 100, 130, 32},
      {"seed equals average, below: 900", BoostType::kOff, 3, 10, 100, 100, 70, 32},
      {"Low, bin 0: 100 + 300", BoostType::kLow, 3, 0, 100, 100, 110, 22},
      {"Low, bin 6: 100 + 300", BoostType::kLow, 3, 6, 100, 100, 110, 22},
      {"Low, bin 7: 100", BoostType::kLow, 3, 7, 100, 100, 110, 14},
      {"High, bin 23: 100", BoostType::kHigh, 3, 23, 100, 100, 110, 14},
      {"High, bin 24: 100 + 300", BoostType::kHigh, 3, 24, 100, 100, 110, 22},
      {"High, bin 116: 100 + 300", BoostType::kHigh, 3, 116, 100, 100, 110, 22},
      {"High, bin 117: 100", BoostType::kHigh, 3, 117, 100, 100, 110, 14},
      {"Auto, s 0, a 40, v 10: f = 1, 100 + 300", BoostType::kAuto, 3, 50, 0, 40, 10, 22},
      {"Auto, s = a: f = 0.5, 100 + 150", BoostType::kAuto, 3, 50, 40, 40, 50, 19},
      {"Auto with half weight: 200 + 2 x 1.5 x 400", BoostType::kAuto, 2, 50, 120, 40, 140, 39},
      {"Low over a zero average is no failure", BoostType::kLow, 3, 3, 0, 0, 10, 22},
      {"50000 wide: 2,500,000,000", BoostType::kOff, 3, 10, 50000, 50000, 0, 50000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SeedSpectrum seed{};
    seed[c.bin] = c.s;
    LibraryAverage average = FilledAverage(1);
    average[c.bin] = c.a;
    const DistanceCalculator distance(seed, average);
    ScriptedRandom random(NoJitter());
    EXPECT_EQ(
        distance.CalcTotals({{static_cast<uint8_t>(c.bin), c.v}}, c.boost, c.weight, 3, random),
        c.expected);
    EXPECT_EQ(random.asked, (std::vector<int64_t>{100, 100}));
  }
}

TEST(CalcTotalsTest, IdenticalTrackIsTenAtLevelOneWithEveryBoost) {
  SeedSpectrum seed{};
  LibraryAverage average{};
  std::vector<FeatureRow> rows;
  for (int bin = 0; bin < kFeatureColumns; ++bin) {
    seed[bin] = (bin * 7919) % 100000;
    average[bin] = 10 + (bin * 131) % 5000;
    rows.push_back({static_cast<uint8_t>(bin), seed[bin]});
  }
  const DistanceCalculator distance(seed, average);
  RandomSource random;
  for (BoostType boost : {BoostType::kOff, BoostType::kLow, BoostType::kHigh, BoostType::kAuto}) {
    for (int weight = 1; weight <= 5; ++weight) {
      for (int i = 0; i < 20; ++i)
        EXPECT_EQ(distance.CalcTotals(rows, boost, weight, 1, random), 10);
    }
  }
  // Without any row the sum stays 100 as well, even over zero averages under "Auto".
  const DistanceCalculator over_zero(seed, FilledAverage(0));
  EXPECT_EQ(over_zero.CalcTotals({}, BoostType::kAuto, 3, 1, random), 10);
}

TEST(CalcTotalsTest, AutoOverAZeroAverageFailsWithoutDrawing) {
  SeedSpectrum seed{};
  seed[20] = 100;
  LibraryAverage average = FilledAverage(50);
  average[20] = 0;
  const DistanceCalculator distance(seed, average);

  ScriptedRandom no_draws({});
  EXPECT_EQ(distance.CalcTotals({{19, 60}, {20, 100}, {21, 70}}, BoostType::kAuto, 3, 3, no_draws),
            NoDistance);
  EXPECT_TRUE(no_draws.asked.empty());

  // The same rows under the other boosts, and a track without a row in that bin, compute.
  for (BoostType boost : {BoostType::kOff, BoostType::kLow, BoostType::kHigh}) {
    ScriptedRandom random(NoJitter());
    EXPECT_NE(distance.CalcTotals({{20, 100}}, boost, 3, 3, random), NoDistance);
  }
  ScriptedRandom random(NoJitter());
  EXPECT_EQ(distance.CalcTotals({{21, 0}}, BoostType::kAuto, 3, 3, random), 10);
}

TEST(CalcTotalsTest, DistanceBeyondThirtyTwoBitsSaturates) {
  SeedSpectrum seed{};
  seed[0] = std::numeric_limits<int32_t>::max();
  const DistanceCalculator distance(seed, FilledAverage(std::numeric_limits<int32_t>::max()));
  ScriptedRandom random(NoJitter());
  // sqrt((2^32 - 1)^2) does not fit: the largest distance, not a wrapped (negative) one.
  EXPECT_EQ(distance.CalcTotals({{0, std::numeric_limits<int32_t>::min()}}, BoostType::kOff, 3, 1,
                                random),
            std::numeric_limits<int32_t>::max());
}

// One row 12345 away from the seed: S = 100 + 12345^2, D = 12345 without jitter.
class JitterTest : public ::testing::Test {
 protected:
  JitterTest() : distance_(Seed(), FilledAverage(0)) {}

  static SeedSpectrum Seed() {
    SeedSpectrum seed{};
    seed[30] = 12345;
    return seed;
  }
  int32_t Distance(int level, RandomSource& random) const {
    return distance_.CalcTotals({{30, 0}}, BoostType::kOff, 3, level, random);
  }

  DistanceCalculator distance_;
};

TEST_F(JitterTest, DrawsHappenInTheStatedOrder) {
  struct Case {
    std::vector<int64_t> script;  // r, then r2 and/or q
    int level;
    std::vector<int64_t> asked;
    int32_t expected;
  };
  const Case cases[] = {
      {{46, 2}, 5, {100, 5}, 11711},           // r > 45 shrinks by q x 5 %
      {{99, 4}, 5, {100, 5}, 11042},           // by at most 20 %
      {{99, 0}, 5, {100, 5}, 12345},           // q = 0
      {{45, 11, 1}, 5, {100, 100, 5}, 12650},  // r = 45, r2 > 10 grows
      {{0, 99, 4}, 5, {100, 100, 5}, 13523},
      {{45, 10}, 5, {100, 100}, 12345},  // r2 = 10: unchanged, no third draw
      {{80, 0}, 1, {100, 1}, 12345},     // level 1 still asks for q
      {{46, 2}, 3, {100, 3}, 11969},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.script) + " at level " + std::to_string(c.level));
    ScriptedRandom random(c.script);
    EXPECT_EQ(Distance(c.level, random), c.expected);
    EXPECT_EQ(random.asked, c.asked);
  }
}

TEST_F(JitterTest, ManyDrawsReachExactlyTheDistancesOfEachLevel) {
  // round(sqrt(S x (1 +- q x P / 100))) for q = 0 to P - 1.
  const std::set<int32_t> expected[] = {
      {12345},
      {12221, 12345, 12468},
      {11969, 12158, 12345, 12529, 12710},
      {11581, 11841, 12096, 12345, 12589, 12829, 13065},
      {11042, 11382, 11711, 12032, 12345, 12650, 12948, 13239, 13523},
  };
  RandomSource random;
  random.Seed(20240605);
  for (int level = 1; level <= 5; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    std::set<int32_t> seen;
    for (int i = 0; i < 3000; ++i) seen.insert(Distance(level, random));
    EXPECT_EQ(seen, expected[level - 1]);
  }
}

TEST_F(JitterTest, ShrinksMoreOftenThanItGrows) {
  // Level 5: shrink 0.54 x 4/5 = 0.432, grow 0.46 x 0.89 x 4/5 = 0.328, else unchanged.
  RandomSource random;
  random.Seed(77);
  constexpr int kDraws = 20000;
  int shrunk = 0;
  int grown = 0;
  for (int i = 0; i < kDraws; ++i) {
    const int32_t d = Distance(5, random);
    shrunk += d < 12345;
    grown += d > 12345;
  }
  EXPECT_NEAR(shrunk / double{kDraws}, 0.432, 0.02);
  EXPECT_NEAR(grown / double{kDraws}, 0.328, 0.02);
}

TEST(CalcTotalsTest, IdenticalTrackStaysNearTenAtEveryLevel) {
  SeedSpectrum seed{};
  std::vector<FeatureRow> rows;
  for (int bin = 0; bin < kFeatureColumns; ++bin) {
    seed[bin] = 1000 + bin;
    rows.push_back({static_cast<uint8_t>(bin), seed[bin]});
  }
  const DistanceCalculator distance(seed, FilledAverage(500));
  RandomSource random;
  random.Seed(5);
  for (int level = 1; level <= 5; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    std::set<int32_t> seen;
    for (int i = 0; i < 2000; ++i)
      seen.insert(distance.CalcTotals(rows, BoostType::kAuto, 3, level, random));
    const std::set<int32_t> expected =
        level <= 3 ? std::set<int32_t>{10} : std::set<int32_t>{9, 10, 11};
    EXPECT_EQ(seen, expected);
  }
}

TEST(BuildSeedTest, AverageSeedRoundsHalvesToEven) {
  LibraryAverage average = FilledAverage(100.6);
  average[7] = 12.5;
  average[8] = 13.5;
  average[9] = -2.5;
  average[10] = 0.4999;
  LibraryTables unopened;
  SpectrumCache spectra(unopened);  // the average seed reads no track
  const SeedSpectrum seed = BuildSeed(true, 0, average, spectra);
  EXPECT_EQ(seed[7], 12);
  EXPECT_EQ(seed[8], 14);
  EXPECT_EQ(seed[9], -2);
  EXPECT_EQ(seed[10], 0);
  EXPECT_EQ(seed[0], 101);
  EXPECT_EQ(seed[255], 101);
}

// A library whose feature table also holds rows the import never writes.
class SpectrumCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tables_.SetFileNames(folder_.program_folder());
    LibraryFolder::OpenTables(tables_);
  }

  void AppendFeatureRow(int32_t id, int32_t column, int32_t value, bool deleted = false) {
    TTzDbf& features = tables_.FeatureDBF;
    features.ClearRecord();
    features.SetFieldInt("unique_id", id);
    features.SetFieldInt("f_column", column);
    features.SetFieldInt("f_value", value);
    features.AppendRec();
    if (deleted) features.DeleteRec();
  }

  // What the cache replaces: FindExact on the id, then Next while the id stays.
  std::vector<std::pair<int, int32_t>> IndexWalk(int32_t id) {
    std::vector<std::pair<int, int32_t>> rows;
    TTzDbf& features = tables_.FeatureDBF;
    if (!features.FindExact(std::to_string(id))) return rows;
    for (; !features.Eof() && features.FieldInt("unique_id") == id; features.Next()) {
      const int32_t column = features.FieldInt("f_column");
      if (column >= 0 && column < kFeatureColumns)
        rows.emplace_back(column, features.FieldInt("f_value"));
    }
    return rows;
  }

  static std::vector<std::pair<int, int32_t>> Pairs(const std::vector<FeatureRow>& rows) {
    std::vector<std::pair<int, int32_t>> pairs;
    for (const FeatureRow& row : rows) pairs.emplace_back(row.column, row.value);
    return pairs;
  }

  ScopedThrowingTableErrors throwing_;
  LibraryFolder folder_;
  LibraryTables tables_;
};

TEST_F(SpectrumCacheTest, RowsEqualTheIndexWalkIncludingOddRows) {
  tables_.StoreTrack(MakeTrack("A", "Zero", 1000));  // id 0
  tables_.StoreTrack(MakeTrack("B", "One", 2000));   // id 1
  tables_.StoreTrack(MakeTrack("C", "Two", 3000));   // id 2
  // Not flushed: the file's header still counts only the stored tracks' rows.
  AppendFeatureRow(1, 5, 7777);  // a second row for column 5
  AppendFeatureRow(0, 9, 1234);  // another track's row in between
  AppendFeatureRow(1, 300, 55);  // outside 0 to 255 (300 - 256 = 44)
  AppendFeatureRow(1, 200, 4242, /*deleted=*/true);
  AppendFeatureRow(2, -1, 3);
  AppendFeatureRow(1, 5, 8888);  // the last row of column 5
  AppendFeatureRow(7, 1, 9);     // rows of an id without a track row

  SpectrumCache spectra(tables_);
  for (int32_t id : {0, 1, 3, 2, 7, -1}) {
    SCOPED_TRACE("unique_id " + std::to_string(id));
    EXPECT_EQ(Pairs(spectra.Rows(id)), IndexWalk(id));
  }
  EXPECT_EQ(spectra.Rows(1).size(), 256u + 3u);
  EXPECT_TRUE(spectra.Rows(3).empty());

  // The seed of track 1: later rows of a column win, the deleted row counts, column 300 not.
  const SeedSpectrum seed = BuildSeed(false, 1, FilledAverage(0), spectra);
  EXPECT_EQ(seed[5], 8888);
  EXPECT_EQ(seed[200], 4242);
  EXPECT_EQ(seed[44], 2000 + 44);
  EXPECT_EQ(seed[255], 2000 + 255);
}

TEST_F(SpectrumCacheTest, FollowsStoredTracksAndDeleteAll) {
  SpectrumCache spectra(tables_);
  EXPECT_TRUE(spectra.Rows(0).empty());
  tables_.StoreTrack(MakeTrack("A", "Zero", 1000));
  ASSERT_EQ(spectra.Rows(0).size(), 256u);
  tables_.StoreTrack(MakeTrack("B", "One", 2000));
  ASSERT_EQ(spectra.Rows(1).size(), 256u);
  EXPECT_EQ(spectra.Rows(1)[17].value, 2017);

  tables_.DeleteAll();
  EXPECT_TRUE(spectra.Rows(0).empty());
  EXPECT_TRUE(spectra.Rows(1).empty());
  tables_.StoreTrack(MakeTrack("C", "New Zero", 5000));
  ASSERT_EQ(spectra.Rows(0).size(), 256u);
  EXPECT_EQ(spectra.Rows(0)[3].value, 5003);
}

TEST_F(SpectrumCacheTest, SeedTrackRankedAgainstItselfThroughTheCacheIsTen) {
  for (int i = 0; i < 5; ++i)
    tables_.StoreTrack(MakeTrack("A", "Song " + std::to_string(i), i * 100));
  SpectrumCache spectra(tables_);
  const LibraryAverage average = FilledAverage(250);
  const DistanceCalculator distance(BuildSeed(false, 3, average, spectra), average);
  RandomSource random;
  EXPECT_EQ(distance.CalcTotals(spectra.Rows(3), BoostType::kAuto, 3, 1, random), 10);
  // Track 2 lies 100 below in all 256 bins: S = 100 + 256 x 10,000, D = 1600.
  EXPECT_EQ(distance.CalcTotals(spectra.Rows(2), BoostType::kOff, 3, 1, random), 1600);
}

}  // namespace
}  // namespace melodrift
