// A program folder holding a whole library for the start-up benchmarks: 20,000 tracks, their
// 5,120,000 feature rows, valid indexes and a filled average table.
#pragma once

#include <filesystem>
#include <string>

#include "analysis/library_average.h"
#include "app/library_opening.h"
#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {

inline constexpr int kLibraryTracks = 20000;

// A program folder whose tables/ holds a library of kLibraryTracks tracks with valid indexes and
// a filled average table.
struct LibraryFixture {
  LibraryFixture() {
    std::filesystem::create_directory(folder.File("tables"));
    WriteTrackTable(folder.File("tables/track_id.dbf"), kLibraryTracks);
    WriteFeatureTable(folder.File("tables/feature_values.dbf"), kLibraryTracks);
    LibraryTables tables;
    tables.SetFileNames(program_folder);
    NoEventPump pump;
    RandomSource random;
    LibraryAverage average;
    SilentOpeningView view;
    OpenLibrary(tables, average, pump, random, view);  // builds indexes and the average
    tables.CloseAll();
  }

  BenchFolder folder;
  std::string program_folder = folder.path() + "/";
};

inline LibraryFixture& SharedLibrary() {
  static LibraryFixture fixture;
  return fixture;
}

}  // namespace melodrift::bench
