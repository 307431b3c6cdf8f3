// A whole playlist ranking run over a 20,000-track library, with its pause of 0 or 1 ms after
// every row, against the sum of the pauses it asked for: the run's own work (reading the
// spectra, 20,000 distances, the candidate table) should disappear under the pauses.
// Target: wall time within 1.10 x the sum of the pauses.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/bench_library.h"
#include "bench/bench_support.h"
#include "playlist/candidate_table.h"
#include "playlist/ranking_run.h"
#include "playlist/row_pause.h"
#include "playlist/similarity.h"

namespace melodrift::bench {
namespace {

// The program's pause, counting what was asked for.
class CountingPause final : public RowPause {
 public:
  void Begin() override {
    inner_.Begin();
    asked_ms = 0;
  }
  void Pause(int ms) override {
    asked_ms += ms;
    inner_.Pause(ms);
  }
  int64_t asked_ms = 0;

 private:
  ScheduledRowPause inner_;
};

class NullRankingView final : public RankingView {
 public:
  void ShowPlaylistProgress(int64_t) override {}
  void SetPlaylistProgress(int64_t, int64_t) override {}
  void RepaintProgress() override {}
  void SetJukeboxProgress(int64_t, int64_t) override {}
  void ProposeNextTrack(const std::string&) override {}
  bool OppositeChecked() override { return false; }
  bool PreviewChecked() override { return false; }
  void JukeboxNext() override {}
  bool SongUsed(const std::string&) override { return false; }
  bool ArtistUsed(const std::string&) override { return false; }
  void ClearUsed() override {}
  void ReportCalcFailure(int32_t, const std::string&) override {}
};

void PlaylistRunOver20000Tracks(benchmark::State& state) {
  RunGuarded(state, [&] {
    LibraryFixture& fixture = SharedLibrary();
    LibraryTables tables;
    tables.SetFileNames(fixture.program_folder);
    NoEventPump pump;
    RandomSource random;
    LibraryAverage average;
    SilentOpeningView view;
    OpenLibrary(tables, average, pump, random, view);
    TDMod dmod;
    SpectrumCache spectra(tables);
    FixedPlaylistSettings settings;
    CountingPause pause;
    NullRankingView ranking_view;
    RankingRun run(tables, average, dmod, spectra, settings, random, pump, pause, ranking_view);
    double wall_seconds = 0;
    double paused_seconds = 0;
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      run.Run();
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      state.SetIterationTime(seconds);
      Require(run.RankingDone, "the run finished");
      wall_seconds += seconds;
      paused_seconds += static_cast<double>(pause.asked_ms) / 1000;
    }
    // The generated library includes about nine tracks in ten, of 60 to 900 seconds.
    Require(dmod.PlayList.RecordCount() > kLibraryTracks * 8 / 10, "the included tracks ranked");
    state.counters["pauses_s"] = paused_seconds / static_cast<double>(state.iterations());
    state.counters["ratio_to_pauses"] = wall_seconds / paused_seconds;
    tables.CloseAll();
  });
}

BENCHMARK(PlaylistRunOver20000Tracks)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
