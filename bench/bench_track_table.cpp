// Loading the track table the way the program starts: Open() with its index valid on disk,
// Pack() with nothing to remove, AppendFrom into the in-memory TrackMem, and both closed.
// Baseline: two sequential reads of the table file, the second copied into memory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kFixtureTracks = 20000;

struct TrackFixture {
  TrackFixture() {
    WriteTrackTable(table_path, kFixtureTracks);
    TTzDbf table;
    ConfigureTrackTable(table, table_path);
    BuildIndexOnce(table);
  }

  BenchFolder folder;
  std::string table_path = folder.File("track_id.dbf");
};

TrackFixture& Fixture() {
  static TrackFixture fixture;
  return fixture;
}

void OpenPackAppendFromTrackTable(benchmark::State& state) {
  RunGuarded(state, [&] {
    TrackFixture& fixture = Fixture();
    IndexBuildCounter index_builds;
    RatioTimer timer;
    for (auto _ : state) {
      TTzDbf track_dbf;
      ConfigureTrackTable(track_dbf, fixture.table_path);
      TTzVFile track_mem;
      ConfigureTrackMem(track_mem);
      track_mem.Open();
      int64_t loaded = 0;
      timer.Measure(state, [&] {
        track_dbf.Open();
        track_dbf.Pack();
        track_mem.AppendFrom(fixture.table_path);
        loaded = track_mem.RecCount();
        track_mem.Close();
        track_dbf.Close();
      });
      Require(loaded == kFixtureTracks, "every track loaded");
      timer.Baseline([&] { ReadTwice(fixture.table_path); });
    }
    Require(index_builds.builds() == 0, "the index on disk was used, not rebuilt");
    timer.Report(state);
    state.SetItemsProcessed(state.iterations() * kFixtureTracks);
  });
}

BENCHMARK(OpenPackAppendFromTrackTable)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
