// The similarity ranking's inner work over a 20,000-track library:
// - DistancesOf20000Tracks: CalcTotals for every track (boost "Auto", weight 3, random 3, the
//   defaults) with the spectra cached. Baseline: handing out the same cached rows and summing
//   their values once, the least any distance over them must do.
// - FillSpectrumCacheOf20000Tracks: reading every feature row into the cache. Baseline: reading
//   the feature table file once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "analysis/library_average.h"
#include "app/library_opening.h"
#include "bench/bench_library.h"
#include "bench/bench_support.h"
#include "bench/bench_tables.h"
#include "playlist/similarity.h"

namespace melodrift::bench {
namespace {

// The library opened as the program opens it, with its average.
struct RankingLibrary {
  RankingLibrary() {
    tables.SetFileNames(SharedLibrary().program_folder);
    NoEventPump pump;
    SilentOpeningView view;
    OpenLibrary(tables, average, pump, random, view);
  }
  ~RankingLibrary() { tables.CloseAll(); }

  LibraryTables tables;
  LibraryAverage average{};
  RandomSource random;
};

void ReadFileOnce(const std::string& path) {
  auto opened = OpenPosixTableFile(path, {.read_only = true});
  Require(opened.file != nullptr, "table opened for the baseline");
  std::vector<uint8_t> block(1 << 20);
  for (int64_t at = 0;; at += static_cast<int64_t>(block.size())) {
    const int64_t got = opened.file->ReadAt(at, block.data(), block.size());
    Require(got >= 0, "baseline read");
    benchmark::DoNotOptimize(block.data());
    if (got < static_cast<int64_t>(block.size())) break;
  }
}

void DistancesOf20000Tracks(benchmark::State& state) {
  RunGuarded(state, [&] {
    RankingLibrary library;
    SpectrumCache spectra(library.tables);
    const DistanceCalculator distance(BuildSeed(false, 1, library.average, spectra),
                                      library.average);
    Require(distance.CalcTotals(spectra.Rows(1), BoostType::kAuto, 3, 1, library.random) == 10,
            "the seed is at distance 10 from itself");
    RatioTimer timer;
    for (auto _ : state) {
      int64_t failures = 0;
      timer.Measure(state, [&] {
        for (int32_t id = 1; id <= kLibraryTracks; ++id) {
          const int32_t d =
              distance.CalcTotals(spectra.Rows(id), BoostType::kAuto, 3, 3, library.random);
          failures += d == NoDistance;
          benchmark::DoNotOptimize(d);
        }
      });
      Require(failures == 0, "every distance computed");
      timer.Baseline([&] {
        int64_t sum = 0;
        for (int32_t id = 1; id <= kLibraryTracks; ++id) {
          for (const FeatureRow& row : spectra.Rows(id)) sum += row.value;
        }
        benchmark::DoNotOptimize(sum);
      });
    }
    state.SetItemsProcessed(state.iterations() * kLibraryTracks);
    timer.Report(state);
  });
}

void FillSpectrumCacheOf20000Tracks(benchmark::State& state) {
  RunGuarded(state, [&] {
    RankingLibrary library;
    RatioTimer timer;
    for (auto _ : state) {
      SpectrumCache spectra(library.tables);
      timer.Measure(state, [&] { benchmark::DoNotOptimize(spectra.Rows(1).data()); });
      Require(spectra.Rows(kLibraryTracks).size() == kFeatureColumns, "every row cached");
      timer.Baseline([&] { ReadFileOnce(library.tables.FeatureDBF.DbfFileName()); });
    }
    state.SetItemsProcessed(state.iterations() * kLibraryTracks);
    timer.Report(state);
  });
}

BENCHMARK(DistancesOf20000Tracks)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FillSpectrumCacheOf20000Tracks)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
