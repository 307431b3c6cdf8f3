// Scanning again a folder of 5,000 MP3 files that are all in the library already: every file
// is listed and found known, and nothing is decoded. Target: under 1 s.
// Baseline: listing the folder with readdir and a stat of every entry.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "analysis/id3v2_tag.h"
#include "analysis/library_import.h"
#include "analysis/mp3_to_wav.h"
#include "analysis/track_analyser.h"
#include "app/event_pump.h"
#include "app/random_source.h"
#include "bench/bench_support.h"
#include "library/library_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kFiles = 5000;

class SilentImportView final : public ImportView {
 public:
  void SetLabel(int, const std::string&) override {}
  void SetProgress(int) override {}
  void Repaint() override {}
  void ShowProgressWindow() override {}
  void HideProgressWindow() override {}
  void ShowFileCount(const std::string&) override {}
  void ReportFailure(const std::string&, const std::string&) override { ++failures; }
  void TrackStored() override { ++stored; }
  void ShowError(const std::string&) override { ++failures; }
  int stored = 0;
  int failures = 0;
};

// A music folder of kFiles files and a library that holds every one of them.
struct KnownFolder {
  KnownFolder() {
    std::filesystem::create_directory(folder.File("tables"));
    std::filesystem::create_directory(music);
    LibraryTables tables;
    tables.SetFileNames(program_folder);
    tables.ErrorDBF.Open();
    tables.TrackDBF.Open();
    tables.FeatureDBF.Open();
    tables.AvgDBF.Open();
    tables.ReloadTrackMem();
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = "track-" + std::to_string(i) + ".mp3";
      std::ofstream(music + "/" + name).put('\0');
      NewTrack track;
      track.title = name;
      track.filepath = music + "/" + name;
      track.artist = "Artist " + std::to_string(i % 50);
      track.album = "Album";
      track.song = "Song " + std::to_string(i);
      tables.StoreTrack(track);
    }
    tables.CloseAll();
  }

  BenchFolder folder;
  std::string program_folder = folder.path() + "/";
  std::string music = folder.File("music");
};

KnownFolder& Fixture() {
  static KnownFolder fixture;
  return fixture;
}

int ListWithStat(const std::string& dir) {
  int entries = 0;
  DIR* handle = ::opendir(dir.c_str());
  Require(handle != nullptr, "folder listed");
  while (const dirent* e = ::readdir(handle)) {
    struct stat st;
    if (::stat((dir + "/" + e->d_name).c_str(), &st) == 0) ++entries;
  }
  ::closedir(handle);
  return entries;
}

void RescanOf5000KnownFiles(benchmark::State& state) {
  RunGuarded(state, [&] {
    KnownFolder& fixture = Fixture();
    LibraryTables tables;
    tables.SetFileNames(fixture.program_folder);
    tables.ErrorDBF.Open();
    tables.TrackDBF.Open();
    tables.FeatureDBF.Open();
    tables.AvgDBF.Open();
    tables.ReloadTrackMem();
    LibraryAverage average{};
    Tid3v2tag reader;
    TMP3ToWav converter;
    RandomSource random;
    NoEventPump pump;
    SilentImportView view;
    TrackAnalyser analyser(converter, random, pump, view);
    LibraryImport import(tables, average, reader, analyser, random, pump, view,
                         fixture.program_folder + "xxxyyzzz.wav");
    RatioTimer timer;
    for (auto _ : state) {
      timer.Measure(state, [&] {
        Require(import.Run(fixture.music) == LibraryImport::Outcome::kCompleted, "rescan ran");
      });
      Require(import.ScannedCount == kFiles, "every file met");
      timer.Baseline([&] { benchmark::DoNotOptimize(ListWithStat(fixture.music)); });
    }
    Require(view.stored == 0 && view.failures == 0, "nothing stored, nothing failed");
    timer.Report(state);
    tables.CloseAll();
  });
}

BENCHMARK(RescanOf5000KnownFiles)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
