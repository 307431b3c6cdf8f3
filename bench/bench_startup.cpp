// Opening a 20,000-track library the way the program starts: tables opened with their
// indexes valid on disk, the track table packed and copied into TrackMem, NextUniqueID found,
// the average loaded from its 256 rows, first and last row in grid order.
// Baseline: reading the track table file twice (what packing and copying read at least).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "analysis/library_average.h"
#include "app/library_opening.h"
#include "bench/bench_library.h"
#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

void OpenLibraryOf20000Tracks(benchmark::State& state) {
  RunGuarded(state, [&] {
    LibraryFixture& fixture = SharedLibrary();
    IndexBuildCounter index_builds;
    RatioTimer timer;
    for (auto _ : state) {
      LibraryTables tables;
      tables.SetFileNames(fixture.program_folder);
      NoEventPump pump;
      RandomSource random;
      LibraryAverage average;
      SilentOpeningView view;
      timer.Measure(state, [&] {
        OpenLibrary(tables, average, pump, random, view);
        tables.CloseAll();
      });
      Require(view.file_count == std::to_string(kLibraryTracks) + " Files", "every track counted");
      Require(tables.NextUniqueID == kLibraryTracks + 1, "NextUniqueID found");
      timer.Baseline([&] { ReadTwice(fixture.program_folder + "tables/track_id.dbf"); });
    }
    Require(index_builds.builds() == 0, "the indexes on disk were used, not rebuilt");
    timer.Report(state);
  });
}

BENCHMARK(OpenLibraryOf20000Tracks)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
