// The Add Files command without its windows: walks a folder and its subfolders, and stores
// every MP3 file that is new to the library (tag, decoding, spectrum, StoreTrack); then
// recomputes the library average when tracks were added. Runs on the main thread and lets
// events run at fixed points; Cancel (from such an event) stops it at the next check.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "analysis/id3v2_tag.h"
#include "analysis/import_view.h"
#include "analysis/library_average.h"
#include "analysis/track_analyser.h"
#include "app/event_pump.h"
#include "app/random_source.h"
#include "library/library_tables.h"

namespace melodrift {

class LibraryImport {
 public:
  enum class Outcome { kCompleted, kCancelled, kFailed };

  // `temp_wav_path`: the one temporary WAV file of all conversions.
  LibraryImport(LibraryTables& tables, LibraryAverage& average, Tid3v2tag& tag_reader,
                TrackAnalyser& analyser, RandomSource& random, EventPump& pump, ImportView& view,
                std::string temp_wav_path);

  // The command after the folder choice: scans `folder` (none when the user cancelled the
  // chooser), then recomputes the average when tracks were added since the last
  // recomputation, else deletes the temporary WAV file. Refuses (kFailed, nothing done) while
  // an import runs. The average table is emptied before the first new track is stored, so
  // that a process ended before the recomputation leaves it to be rebuilt at the next start,
  // never stale. An error that escapes a step ends the import: the progress window goes,
  // the error text is shown, stored tracks stay and the average is not recomputed. Fatal
  // table errors are not caught.
  Outcome Run(const std::optional<std::string>& folder);

  // The Cancel button: the running import stops at its next check.
  void Cancel() { KeepImporting = false; }
  bool Running() const { return running_; }

  // ScanFolder(folder, "*.mp3", recurse): the files of `folder` whose names end in ".mp3" in
  // any letter case (hidden ones included), then, when `recurse`, every subfolder that is not
  // hidden, each folder at most once per import.
  void ScanFolder(const std::string& folder, bool recurse);

  bool KeepImporting = true;
  int32_t ScannedCount = 0;
  // Tracks added since the average was last recomputed (0 at start-up).
  int32_t AddedCount = 0;

 private:
  // Imports one new file; false when the import is to stop.
  bool ImportFile(const std::string& folder, const std::string& name, const std::string& path);
  bool SkipKnownFile();

  LibraryTables& tables_;
  LibraryAverage& average_;
  Tid3v2tag& tag_reader_;
  TrackAnalyser& analyser_;
  RandomSource& random_;
  EventPump& pump_;
  ImportView& view_;
  std::string temp_wav_path_;
  bool running_ = false;
  std::set<std::pair<uint64_t, uint64_t>> visited_;  // (device, inode) of the folders entered
};

// Recomputes the library average after an import: empties the average table, walks the whole
// feature table under the add-progress window ("recalculating averages ...") and stores the
// new 256 rows. A cancel (keep_importing false at one of the random progress points) ends it
// at once, leaves the average table empty until the next start rebuilds it and keeps the
// previous average in memory. Deletes the temporary WAV file at the end. Returns false when
// cancelled.
bool RecomputeLibraryAverage(LibraryTables& tables, LibraryAverage& average, RandomSource& random,
                             EventPump& pump, ImportView& view, const bool& keep_importing,
                             const std::string& temp_wav_path);

}  // namespace melodrift
