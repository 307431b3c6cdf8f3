// The playlist that the top of PlayList makes under a limit, and what can be done with it:
// show how far it reaches (Test), write it as an extended M3U file (Write), copy its track
// files into a folder (Copy).
//
// The playlist is the longest run of rows from the top, in `dist` order, whose running total
// stays within the limit in force: a count of songs; a total of (seconds + 2) per song; or a
// total of file sizes, each in kilobytes rounded halves to even. Main thread only; no window
// is involved, so the command line uses the same functions.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "playlist/candidate_table.h"
#include "playlist/playlist_settings.h"

namespace melodrift {

// A file operation of the playlist failed: a track file could not be measured, or the playlist
// file could not be created or written. The message names the file and the reason ("File not
// found", ...).
class PlaylistFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The limit walk. Calls `take` for each row of the playlist in order, before the next row is
// measured, and returns the number of rows taken (the playlist is rows 1 to that number).
// With the size limit each track file is opened read-only for its size; one that cannot be
// opened throws PlaylistFileError, after the rows before it were taken. An empty table yields
// nothing without measuring. The cursor does not move.
int64_t WalkPlaylist(const TCandidateTable& table, const PlaylistLimits& limits,
                     const std::function<void(const CandidateRow&)>& take = {});

// Test: the walk, then the cursor on the last row of the playlist, or on the first row when
// the playlist is empty. Returns the number of rows. Throws as WalkPlaylist (the cursor stays).
int64_t TestPlaylist(TCandidateTable& table, const PlaylistLimits& limits);

// `path` with ".m3u" added when its file name has no extension.
std::string WithPlaylistExtension(const std::string& path);

// One playlist entry as Write puts it, without line ends: "#EXTINF:<Seconds>,<Artist> -
// <Song>" and the path, each text without trailing blanks. A line break inside the artist or
// song becomes a blank, so that it cannot split the entry.
std::string ExtInfLine(const CandidateRow& row);

// Write: creates or replaces `path` and writes "#EXTM3U" and two lines per row of the playlist,
// as 8-bit text with CR LF after every line. Returns the number of entries. Throws
// PlaylistFileError when the file cannot be created or written, or a track cannot be
// measured; the lines written before stay in the file.
int64_t WritePlaylist(const TCandidateTable& table, const PlaylistLimits& limits,
                      const std::string& path);

// What Copy did: the files copied and, for each row that could not be copied, its source or
// destination path and the reason.
struct CopyOutcome {
  int64_t copied = 0;
  std::vector<std::string> failures;
};

// Copy: for each row of the playlist, copies the track file to `folder` + "/" + its file name,
// replacing a file of that name. A destination is only replaced once the whole track has been
// copied, so a track that cannot be read or a copy that fails half way leaves what was there
// before; such rows are listed in the outcome and the copy goes on with the next. Throws
// PlaylistFileError only when the size limit cannot measure a track. The cursor does not move.
CopyOutcome CopyPlaylistFiles(const TCandidateTable& table, const PlaylistLimits& limits,
                              const std::string& folder);

}  // namespace melodrift
