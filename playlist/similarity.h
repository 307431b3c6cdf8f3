// How similar two tracks sound: the seed spectrum of a ranking run and the distance of one
// track to it (CalcTotals): a Euclidean distance over 256 bins where differences beyond the
// seed (away from the library average) count half, a boost weighs chosen bins extra, and a
// random jitter shuffles near neighbours. Main thread only.
#pragma once

#include <array>
#include <cstdint>
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
  // The rows of a track; empty when it has none. Valid until the next call.
  const std::vector<FeatureRow>& Rows(int32_t unique_id);

 private:
  LibraryTables& tables_;
  // (the implementation adds what it needs)
};

// Step 7 of a ranking run. With `seed_is_average` the library average rounded (halves to even);
// else the seed track's rows (a later row of a column replaces an earlier one, columns without
// a row are 0).
SeedSpectrum BuildSeed(bool seed_is_average, int32_t seed_unique_id,
                       const LibraryAverage& average, SpectrumCache& spectra);

// The distance of tracks to one seed. Per-bin values that depend only on the seed and the
// average are prepared once per run.
class DistanceCalculator {
 public:
  DistanceCalculator(const SeedSpectrum& seed, const LibraryAverage& average);

  // CalcTotals: D = round(sqrt(S)) (halves to even), 9 or more, with the boost settings given
  // and the jitter drawn from `random` in the stated order (two or three draws). Returns
  // NoDistance when the computation fails (boost "Auto" over a bin whose library average is 0);
  // the caller reports it.
  int32_t CalcTotals(const std::vector<FeatureRow>& rows, BoostType boost, int boost_weight,
                     int random_level, RandomSource& random) const;
};

}  // namespace melodrift
