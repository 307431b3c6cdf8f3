// The program's start on a 20,000-track library up to a usable window: the main window is
// created (FormCreate), shown (the library opening) and painted with its grid filled.
// The splash minimum (500 ms before the splash hides) is not part of it.
// Baseline: reading the track table file twice (what packing and copying read at least).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>

#include "app/main_form.h"
#include "app/qt_dialogs.h"
#include "app/qt_event_pump.h"
#include "app/track_grid_model.h"
#include "bench/bench_library.h"
#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

void MainWindowUsableOn20000Tracks(benchmark::State& state) {
  RunGuarded(state, [&] {
    LibraryFixture& fixture = SharedLibrary();
    IndexBuildCounter index_builds;
    RatioTimer timer;
    for (auto _ : state) {
      RandomSource random;
      QtEventPump pump;
      QtDialogs dialogs;
      std::unique_ptr<TMainForm> form;
      timer.Measure(state, [&] {
        form = std::make_unique<TMainForm>(fixture.program_folder, random, pump, dialogs);
        form->show();
        QApplication::processEvents();  // the first paint, grid rows included
      });
      Require(form->PanelText(0) == QString::number(kLibraryTracks) + " Files",
              "every track counted");
      Require(form->TrackGrid->model()->rowCount() == kLibraryTracks, "every track in the grid");
      form->close();
      form.reset();
      timer.Baseline([&] { ReadTwice(fixture.program_folder + "tables/track_id.dbf"); });
    }
    Require(index_builds.builds() == 0, "the indexes on disk were used, not rebuilt");
    timer.Report(state);
  });
}

BENCHMARK(MainWindowUsableOn20000Tracks)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
