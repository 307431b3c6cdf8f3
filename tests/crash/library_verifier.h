// What a library must hold after every restart, compared with what it does hold.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "library/feature_vector.h"
#include "tests/crash/library_contents.h"

namespace melodrift::crash {

// One of the test MP3 files that the music folder holds copies of, as a library stores it.
struct SourceFile {
  std::string name;                 // file name without ".mp3"
  std::string artist, album, song;  // as listed (UTF-8)
  int32_t seconds = 0;
  FeatureVector features{};
  std::string log_message;    // the error log's row for a copy, "{path}" for its path; "" none
  double import_seconds = 0;  // what importing one copy takes
};

// Copies are named "<number>-<source name>.mp3"; the source's name, or "" for another name.
std::string SourceNameOf(const std::string& path);

struct Expectations {
  const std::map<std::string, SourceFile>* sources = nullptr;
  std::set<std::string> files;            // paths of the MP3 files in the music folder
  std::map<int32_t, ListedTrack> stored;  // tracks seen stored in an earlier listing
};

// The problems found; empty when the library holds what it should: every track stored before
// with the same row, found in the listing (in artist and song order) and through the
// unique_id index with its 256 feature rows and the values of its file; no file twice;
// the average the mean of the stored features; a logged row for every file that has one.
std::vector<std::string> VerifyLibrary(const Expectations& expected,
                                       const std::vector<ListedTrack>& listing,
                                       const StoredLibrary& stored);

}  // namespace melodrift::crash
