#include "playlist/ranking_run.h"

#include <chrono>
#include <exception>
#include <thread>

#include "library/dbf_field.h"
#include "library/table_error.h"

namespace melodrift {

RankingRun::RankingRun(LibraryTables& tables, const LibraryAverage& average, TDMod& dmod,
                       SpectrumCache& spectra, const PlaylistSettings& settings,
                       RandomSource& random, EventPump& pump, RowPause& pause, RankingView& view)
    : tables_(tables),
      average_(average),
      dmod_(dmod),
      spectra_(spectra),
      settings_(settings),
      random_(random),
      pump_(pump),
      pause_(pause),
      view_(view) {}

void RankingRun::Run() {
  KeepRanking = true;
  AdvanceRequested = false;
  // The seed track is the track table's current row (also for the average seed: its artist
  // is the one "Same" keeps).
  TTzDbf& track_table = tables_.TrackDBF;
  const bool has_seed_row = track_table.RecNo() != 0;
  const std::string seed_artist = has_seed_row ? TrimTrailing(track_table.FieldText("artist")) : "";
  const int32_t seed_id = has_seed_row ? track_table.FieldInt("unique_id") : 0;
  if (settings_.FilterOn()) {
    SecondsMin = settings_.SpinMin();
    SecondsMax = settings_.SpinMax();
  } else {
    SecondsMin = 0;
    SecondsMax = 9999;
  }
  SameArtist = settings_.ArtistFilter() == ArtistFilter::kSame ? seed_artist : "";
  RankingDone = false;

  TTzVFile& copy = tables_.TrackMem;
  const int64_t rows = copy.RecCount();
  TCandidateTable& candidates = JukeboxRanking ? dmod_.AutoList : dmod_.PlayList;
  if (JukeboxRanking) {
    view_.SetJukeboxProgress(0, rows);
    candidates.CloseView();
    candidates.DeleteAll();
  } else {
    candidates.CloseView();
    candidates.DeleteAll();
    view_.ShowPlaylistProgress(rows);
    pump_.ProcessEvents();
  }

  const SeedSpectrum seed = BuildSeed(SeedIsAverage, seed_id, average_, spectra_);
  DistanceCalculator distance(seed, average_);

  if (JukeboxRanking) {
    view_.SetJukeboxProgress(0, rows);
  } else {
    view_.SetPlaylistProgress(0, rows);
  }
  int64_t start_row = 1;
  if (rows > 10) start_row = random_.Draw(rows - 5) + 5;
  BestDist = NoDistance;
  accepted_ = 0;
  if (rows > 0) {
    try {
      Walk(rows, start_row, distance);
    } catch (const TableFatalError&) {
      throw;
    } catch (const std::exception&) {
      // An insert refused by the candidate table ends the walk; what was inserted stays.
    }
    if (!KeepRanking) return;
  }
  EndSteps();
}

void RankingRun::Walk(int64_t rows, int64_t start_row, DistanceCalculator& distance) {
  TTzVFile& copy = tables_.TrackMem;
  TCandidateTable& candidates = JukeboxRanking ? dmod_.AutoList : dmod_.PlayList;
  pause_.Begin();
  int64_t row = start_row;
  int64_t visited = 0;
  for (;;) {
    while (RejectBusy) {
      pump_.ProcessEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const int32_t seconds = copy.FieldIntAt(row, "seconds");
    if (copy.FieldBoolAt(row, "include") && SecondsMin < seconds && seconds < SecondsMax) {
      const std::string artist_field = copy.FieldTextAt(row, "artist");
      const std::string song_field = copy.FieldTextAt(row, "song");
      const std::string artist = TrimTrailing(artist_field);
      const std::string song = TrimTrailing(song_field);
      if (random_.Draw(50) > 45) {
        if (JukeboxRanking) {
          view_.SetJukeboxProgress(visited, rows);
        } else {
          view_.SetPlaylistProgress(visited, rows);
          view_.RepaintProgress();
        }
        pump_.ProcessEvents();
      }
      if (SameArtist.empty() || SameArtist == artist) {
        const int32_t unique_id = copy.FieldIntAt(row, "unique_id");
        const std::string path_field = copy.FieldTextAt(row, "filepath");
        bool failed = false;
        int32_t d =
            distance.CalcTotals(spectra_.Rows(unique_id), settings_.BoostType(),
                                settings_.BoostWeight(), settings_.RandomLevel(), random_, &failed);
        if (failed) view_.ReportCalcFailure(unique_id, TrimTrailing(path_field));
        if (view_.OppositeChecked() && d < NoDistance) d = -d;
        bool skipped = false;
        if (JukeboxRanking) {
          const std::string artist_and_song = artist + " - " + song;
          skipped =
              view_.SongUsed(artist_and_song) ||
              (settings_.ArtistFilter() == ArtistFilter::kDifferent && view_.ArtistUsed(artist));
          if (!skipped) {
            ++accepted_;
            if (d < BestDist) {
              BestDist = d;
              NextTrackID = unique_id;
              view_.ProposeNextTrack(artist_and_song);
            }
          }
        }
        if (!skipped) {
          candidates.Insert(
              CandidateRow{unique_id, d, artist_field, song_field, path_field, seconds});
        }
      }
    }
    if (!KeepRanking) return;
    row = row < rows ? row + 1 : 1;
    ++visited;
    if (row == start_row || AdvanceRequested) return;
    pause_.Pause(static_cast<int>(random_.Draw(2)));
  }
}

void RankingRun::EndSteps() {
  if (accepted_ < 2) view_.ClearUsed();
  if (JukeboxRanking) view_.SetJukeboxProgress(0, tables_.TrackMem.RecCount());
  if (!JukeboxRanking) view_.RepaintProgress();
  pump_.ProcessEvents();
  RankingDone = true;
  if (JukeboxRanking) {
    if (view_.PreviewChecked()) view_.JukeboxNext();
    if (AdvanceRequested) view_.JukeboxNext();
  }
}

}  // namespace melodrift
