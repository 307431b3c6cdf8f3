// The ranking run (PlaylistButtonClick): one pass over the in-memory track copy that computes
// every eligible track's distance to the seed and inserts it into a candidate table: PlayList
// under the progress window (playlist mode), or AutoList for the jukebox, which then plays the
// best track. Runs on the main thread and lets events run at fixed points; other handlers steer
// it only through the flags below.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/library_average.h"
#include "app/event_pump.h"
#include "app/random_source.h"
#include "library/library_tables.h"
#include "playlist/candidate_table.h"
#include "playlist/playlist_settings.h"
#include "playlist/row_pause.h"
#include "playlist/similarity.h"

namespace melodrift {

// What the run changes in the windows and reads from them.
class RankingView {
 public:
  virtual ~RankingView() = default;

  // Playlist mode. Step 6: the playlist window goes, the progress window appears (bar 0,
  // "0 of <n>"; playback stops and the main window is disabled), the hourglass shows.
  virtual void ShowPlaylistProgress(int64_t rows) = 0;
  // The bar's maximum and position, and the label "<visited> of <rows>".
  virtual void SetPlaylistProgress(int64_t visited, int64_t rows) = 0;
  virtual void RepaintProgress() = 0;

  // Jukebox mode: the jukebox window's bar, its Reject button and next-track label, and its
  // "Opposite" and "Preview" boxes.
  virtual void SetJukeboxProgress(int64_t position, int64_t maximum) = 0;
  virtual void ProposeNextTrack(const std::string& artist_and_song) = 0;
  virtual bool OppositeChecked() = 0;
  virtual bool PreviewChecked() = 0;
  // The main window's Next (FFButtonClick), which plays NextTrackID in jukebox mode.
  virtual void JukeboxNext() = 0;

  // The used lists of playback: "artist - song" and artist entries of tracks already played,
  // and ClearUsed.
  virtual bool SongUsed(const std::string& artist_and_song) = 0;
  virtual bool ArtistUsed(const std::string& artist) = 0;
  virtual void ClearUsed() = 0;

  // A track's distance could not be computed: panel 2 shows "Could not calculate - <id>", the
  // error log gets "Could not calculate - <path>".
  virtual void ReportCalcFailure(int32_t unique_id, const std::string& path) = 0;
};

class RankingRun {
 public:
  RankingRun(LibraryTables& tables, const LibraryAverage& average, TDMod& dmod,
             SpectrumCache& spectra, const PlaylistSettings& settings, RandomSource& random,
             EventPump& pump, RowPause& pause, RankingView& view);

  // PlaylistButtonClick, in the mode of JukeboxRanking, with the seed of SeedIsAverage and the
  // track on which TrackDBF stands. Cancelled runs (KeepRanking cleared) leave RankingDone
  // false. A failure while building the seed throws before the walk; a failure inside the walk
  // (an insert refused) ends the walk and the end steps run.
  void Run();

  // The program-wide state of ranking, with the start-up values.
  bool KeepRanking = true;
  bool AdvanceRequested = false;
  bool RankingDone = false;
  bool SeedIsAverage = false;
  bool JukeboxRanking = false;
  bool RejectBusy = false;
  std::string SameArtist;
  int SecondsMin = 0;
  int SecondsMax = 9999;
  int32_t BestDist = NoDistance;
  int32_t NextTrackID = 0;

 private:
  void Walk(int64_t rows, int64_t start_row, DistanceCalculator& distance);
  void EndSteps();

  LibraryTables& tables_;
  const LibraryAverage& average_;
  TDMod& dmod_;
  SpectrumCache& spectra_;
  const PlaylistSettings& settings_;
  RandomSource& random_;
  EventPump& pump_;
  RowPause& pause_;
  RankingView& view_;
  int64_t accepted_ = 0;  // candidates accepted (jukebox mode)
};

}  // namespace melodrift
