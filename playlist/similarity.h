// How similar two tracks sound: the seed spectrum of a ranking run and the distance of one
// track to it (CalcTotals): a Euclidean distance over 256 bins where differences beyond the
// seed (away from the library average) count half, a boost weighs chosen bins extra, and a
// random jitter shuffles near neighbours. Main thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "analysis/library_average.h"
#include "app/random_source.h"
#include "library/library_tables.h"
#include "playlist/playlist_settings.h"

namespace melodrift {

inline constexpr int32_t NoDistance = 9999999;

using SeedSpectrum = std::array<int32_t, kFeatureColumns>;

// One feature row of a track as the distance reads it.
struct FeatureRow {
  uint8_t column;  // 0 to 255 (rows with other columns are not kept)
  int32_t value;
};

// The feature rows of each track, read as the feature table's unique_id index delivers them
// (the track's rows in record order; columns outside 0 to 255 dropped), kept in memory
// between computations. The cache follows the library: it is read again after tracks were
// stored or the library was emptied (LibraryTables::Generation changes).
class SpectrumCache {
 public:
  explicit SpectrumCache(LibraryTables& tables) : tables_(tables) {}
  // The rows of a track; empty when it has none. Valid until the next call. The first call,
  // and the first after the library changed, reads the whole feature table file once (the
  // table must be open; table failures are fatal table errors).
  const std::vector<FeatureRow>& Rows(int32_t unique_id);

 private:
  // Where a track's rows lie in the pool.
  struct Span {
    size_t offset = 0;
    size_t count = 0;
    bool in_column_order = false;  // exactly columns 0 to 255, one row each, in order
  };

  void Fill();

  LibraryTables& tables_;
  bool filled_ = false;
  uint64_t generation_ = 0;  // LibraryTables::Generation() at the last fill
  // Every kept row of the library, grouped by track, in record order within a track, as two
  // arrays: 5 bytes a row (20,000 tracks: 26 MB). A computation over the library is bound by
  // memory, so Rows reads only the values of the usual track whose columns are 0 to 255.
  std::vector<uint8_t> columns_;
  std::vector<int32_t> values_;
  std::unordered_map<int32_t, Span> tracks_;
  std::vector<FeatureRow> rows_;       // what Rows hands out
  bool rows_in_column_order_ = false;  // rows_ holds columns 0 to 255 in order
};

// Step 7 of a ranking run. With `seed_is_average` the library average rounded (halves to even);
// else the seed track's rows (a later row of a column replaces an earlier one, columns without
// a row are 0).
SeedSpectrum BuildSeed(bool seed_is_average, int32_t seed_unique_id, const LibraryAverage& average,
                       SpectrumCache& spectra);

// The distance of tracks to one seed. Per-bin values that depend only on the seed and the
// average are prepared once per run.
class DistanceCalculator {
 public:
  DistanceCalculator(const SeedSpectrum& seed, const LibraryAverage& average);

  // CalcTotals: D = round(sqrt(S)) (halves to even), 9 or more, with the boost settings given
  // and the jitter drawn from `random` in the stated order (two or three draws). Returns
  // NoDistance when the computation fails (boost "Auto" over a bin whose library average is 0),
  // and then sets *failed (when given): a real distance can be that large too. The caller
  // reports failures. A distance too large for 32 bits is returned as INT32_MAX (it sorts
  // after every other).
  int32_t CalcTotals(const std::vector<FeatureRow>& rows, BoostType boost, int boost_weight,
                     int random_level, RandomSource& random, bool* failed = nullptr) const;

 private:
  // What one bin contributes, prepared so that the loop over a track's rows only looks up.
  struct Bin {
    double seed = 0;  // s
    // w, indexed by whether the track's value lies above the seed (an index, not a branch:
    // the comparison goes either way at random)
    double weight[2] = {1, 1};
    double boost = 0;  // multiplier of the unweighted d2 under the current boost
  };

  // Sets the boost multipliers when the boost settings differ from those of the last call.
  void PrepareBoost(BoostType boost, int boost_weight) const;

  mutable std::array<Bin, kFeatureColumns> bins_{};
  // f of the "Auto" boost; NaN where the library average is 0, so that such a bin turns the
  // sum into NaN and the computation fails.
  std::array<double, kFeatureColumns> auto_factor_{};
  mutable BoostType boost_type_ = BoostType::kOff;
  mutable int boost_weight_ = 0;
};

}  // namespace melodrift
