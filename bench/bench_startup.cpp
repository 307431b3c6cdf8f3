// Opening a 20,000-track library the way the program starts: tables opened with their
// indexes valid on disk, the track table packed and copied into TrackMem, NextUniqueID found,
// the average loaded from its 256 rows, first and last row in grid order.
// Baseline: reading the track table file twice (what packing and copying read at least).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "analysis/library_average.h"
#include "app/library_opening.h"
#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kTracks = 20000;

class NoView final : public LibraryOpeningView {
 public:
  void ShowFileCount(const std::string& text) override { file_count = text; }
  void FocusFirstControl() override {}
  void StartSplashTimer(int) override {}
  void ShowConfigForm() override {}
  std::string file_count;
};

// A program folder whose tables/ holds a library of kTracks tracks with valid indexes and
// a filled average table.
struct LibraryFixture {
  LibraryFixture() {
    std::filesystem::create_directory(folder.File("tables"));
    WriteTrackTable(folder.File("tables/track_id.dbf"), kTracks);
    WriteFeatureTable(folder.File("tables/feature_values.dbf"), kTracks);
    LibraryTables tables;
    tables.SetFileNames(program_folder);
    NoEventPump pump;
    RandomSource random;
    LibraryAverage average;
    NoView view;
    OpenLibrary(tables, average, pump, random, view);  // builds indexes and the average
    tables.CloseAll();
  }

  BenchFolder folder;
  std::string program_folder = folder.path() + "/";
};

LibraryFixture& Fixture() {
  static LibraryFixture fixture;
  return fixture;
}

void OpenLibraryOf20000Tracks(benchmark::State& state) {
  RunGuarded(state, [&] {
    LibraryFixture& fixture = Fixture();
    IndexBuildCounter index_builds;
    RatioTimer timer;
    for (auto _ : state) {
      LibraryTables tables;
      tables.SetFileNames(fixture.program_folder);
      NoEventPump pump;
      RandomSource random;
      LibraryAverage average;
      NoView view;
      timer.Measure(state, [&] {
        OpenLibrary(tables, average, pump, random, view);
        tables.CloseAll();
      });
      Require(view.file_count == std::to_string(kTracks) + " Files", "every track counted");
      Require(tables.NextUniqueID == kTracks + 1, "NextUniqueID found");
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
