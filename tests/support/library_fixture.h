// A library in a temporary folder: a program folder with its tables/ folder, the tables
// opened as the program opens them, and helpers that store tracks.
#pragma once

#include <filesystem>
#include <string>

#include "library/library_tables.h"
#include "library/table_error.h"
#include "tests/support/temp_dir.h"

namespace melodrift::testing {

// A new track with a path under /music and features value + column.
inline NewTrack MakeTrack(const std::string& artist, const std::string& song, int value = 0) {
  NewTrack t;
  t.title = song + ".mp3";
  t.filepath = "/music/" + artist + "/" + song + ".mp3";
  t.artist = artist;
  t.album = "Album of " + artist;
  t.song = song;
  t.seconds = 200;
  for (int c = 0; c < kFeatureColumns; ++c) t.features[c] = value + c;
  return t;
}

class LibraryFolder {
 public:
  LibraryFolder() {
    std::filesystem::create_directory(dir_.File("tables"));
    program_folder_ = dir_.path() + "/";
  }
  const std::string& program_folder() const { return program_folder_; }
  std::string Table(const std::string& name) const { return dir_.File("tables/" + name); }

  // Opens the four tables as the library opening does (without packing or TrackMem).
  static void OpenTables(LibraryTables& tables) {
    tables.ErrorDBF.Open();
    tables.TrackDBF.Open();
    tables.FeatureDBF.Open();
    tables.AvgDBF.Open();
    tables.ReloadTrackMem();
  }

 private:
  TempDir dir_;
  std::string program_folder_;
};

}  // namespace melodrift::testing
