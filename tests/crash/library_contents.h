// What a library holds, read two ways: the `melodrift-cli tracks` listing, and a copy of the
// tables opened in this process as the program opens them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/library_average.h"
#include "library/feature_vector.h"

namespace melodrift::crash {

struct ListedTrack {
  int32_t unique_id = 0;
  int32_t seconds = 0;
  std::string artist;  // UTF-8, as listed
  std::string album;
  std::string song;
  bool include = false;
  std::string filepath;  // the file system's bytes
};

// \t, \n, \r and \\ back to their bytes.
std::string UnescapeField(std::string_view text);

// The rows of a `tracks` listing, in its order. Null, with the reason in *why, when a line is
// not a row of seven fields.
std::optional<std::vector<ListedTrack>> ParseTrackListing(const std::string& text,
                                                          std::string* why);

// A track's feature rows as the unique_id index finds them.
struct FoundFeatures {
  FeatureVector values{};
  int rows = 0;                // rows found under the identifier
  bool one_per_column = true;  // each column 0 to 255 exactly once
};

struct StoredLibrary {
  std::map<int32_t, FoundFeatures> features;  // every track's, in the track index's order
  LibraryAverage average{};                   // the average the opening loaded or built
  std::vector<std::string> error_messages;    // errmsg of every error log row
};

// Copies the table and index files of `tables_folder` into `scratch_program_folder`/tables/
// (replacing what is there), opens the copy and reads it. Table errors throw TableFatalError.
StoredLibrary ReadLibraryCopy(const std::string& tables_folder,
                              const std::string& scratch_program_folder);

}  // namespace melodrift::crash
