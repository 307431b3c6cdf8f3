// The music library: the track, feature, average and error tables in the `tables` folder and
// the in-memory copy of the track table (TrackMem), with the operations on whole tracks.
//
// A track is one row of the track table and of TrackMem and its 256 feature rows, tied
// together by unique_id. Table failures are fatal table errors (see table_error.h).
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "library/feature_vector.h"
#include "library/tz_dbf.h"
#include "library/tz_vfile.h"

namespace melodrift {

// What the import knows of a new file.
struct NewTrack {
  std::string title;     // the file's name with its extension
  std::string filepath;  // full path: scanned folder, '/', file name
  std::string artist;
  std::string album;
  std::string song;
  int32_t seconds = 0;
  FeatureValues features{};  // rounded (halves to even) when stored
};

// One row of the track table as the program reads it (texts trimmed).
struct TrackRow {
  int32_t unique_id = 0;
  std::string title;
  int32_t seconds = 0;
  std::string filepath;
  std::string artist;
  std::string album;
  std::string song;
  bool include = false;
};

class LibraryTables {
 public:
  // Sets up the five tables with their definitions; nothing is opened.
  LibraryTables();
  LibraryTables(const LibraryTables&) = delete;
  LibraryTables& operator=(const LibraryTables&) = delete;

  // File names under `program_folder` + "tables/" (the folder ends in '/').
  void SetFileNames(const std::string& program_folder);
  std::string TablesFolder() const { return tables_folder_; }

  // Loads TrackMem from the track table file: Zap, then AppendFrom. Keeps the path set of
  // UniqueTrack in step.
  void ReloadTrackMem();

  // Stores a new track with unique_id NextUniqueID: 256 feature rows (flushed at once), the
  // TrackMem row, then the track table row, which becomes the current row. NextUniqueID
  // grows by 1.
  void StoreTrack(const NewTrack& track);

  // True when no row of TrackMem has exactly this path (byte for byte, letter case
  // included). Constant time: a set of the stored paths is kept in step with TrackMem.
  bool UniqueTrack(const std::string& path) const;

  // Feature rows of a track whose storing was cut short (the process ended between the feature
  // rows and the track row) carry an identifier no track has, from NextUniqueID on. They are
  // removed, so that the next stored track does not inherit them. Call after NextUniqueID is
  // known. Returns the number of rows removed.
  int64_t RemoveUnfinishedTrack();

  // "Include All" without the grid: sets include on every row where it is false, then
  // reloads TrackMem. The first row in ASNDX order becomes current.
  void IncludeAll();

  // "Delete All" after the user said Yes: empties all four tables and TrackMem;
  // NextUniqueID becomes 0.
  void DeleteAll();

  // The feature values of a track from the feature table (FindExact on unique_id, then
  // Next while the identifier stays). Columns outside 0 to 255 are ignored. False when the
  // track has no feature rows. Moves FeatureDBF.
  bool ReadFeatures(int32_t unique_id, FeatureVector& values);

  // The current row of a track-table-shaped table (TrackDBF or TrackMem), texts trimmed.
  static TrackRow ReadTrackRow(const TTzTable& table);
  // Any row of such a table without moving its cursor (for the track grid).
  static TrackRow TrackRowAt(TTzTable& table, int64_t recno);

  // Closes the four table files in the order TrackDBF, FeatureDBF, ErrorDBF, AvgDBF, and
  // TrackMem.
  void CloseAll();

  TTzDbf TrackDBF;
  TTzDbf FeatureDBF;
  TTzDbf AvgDBF;
  TTzDbf ErrorDBF;
  TTzVFile TrackMem;

  // unique_id that the next stored track receives (0 for an empty library).
  int32_t NextUniqueID = 0;
  // Raised each time TrackDBF enters edit mode on an existing row; the jukebox reloads
  // TrackMem when it is above 0.
  int TrackMemStale = 0;

  // Changes whenever feature rows are added or removed (StoreTrack, DeleteAll), so that
  // copies of them kept elsewhere know when to read them again.
  uint64_t Generation() const { return generation_; }

 private:
  void RebuildPathSet();

  std::string tables_folder_;
  std::unordered_set<std::string> paths_;  // trimmed filepath of every TrackMem row
  uint64_t generation_ = 0;
};

// The sort key of a track row: artist and song, each filled up or cut to 50 characters.
std::string SortKey(const std::string& artist, const std::string& song);

}  // namespace melodrift
