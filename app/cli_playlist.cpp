#include "app/cli_playlist.h"

#include <charconv>

#include "library/error_log.h"
#include "library/table_dump.h"
#include "playlist/candidate_table.h"
#include "playlist/playlist_export.h"
#include "playlist/ranking_run.h"
#include "playlist/row_pause.h"
#include "playlist/similarity.h"

namespace melodrift {

namespace {

std::optional<int32_t> Number(const std::string& text, int32_t low, int32_t high) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

template <typename Enum>
std::optional<Enum> Choice(const std::string& text, std::initializer_list<const char*> names) {
  int index = 0;
  for (const char* name : names) {
    if (text == name) return static_cast<Enum>(index);
    ++index;
  }
  return std::nullopt;
}

// The command line has no windows: failures are printed and logged, nothing else is shown.
class CliRankingView final : public RankingView {
 public:
  CliRankingView(bool opposite, TTzDbf& errors, std::ostream& err)
      : opposite_(opposite), errors_(errors), err_(err) {}
  void ShowPlaylistProgress(int64_t) override {}
  void SetPlaylistProgress(int64_t, int64_t) override {}
  void RepaintProgress() override {}
  void SetJukeboxProgress(int64_t, int64_t) override {}
  void ProposeNextTrack(const std::string&) override {}
  bool OppositeChecked() override { return opposite_; }
  bool PreviewChecked() override { return false; }
  void JukeboxNext() override {}
  bool SongUsed(const std::string&) override { return false; }
  bool ArtistUsed(const std::string&) override { return false; }
  void ClearUsed() override {}
  void ReportCalcFailure(int32_t unique_id, const std::string& path) override {
    err_ << "Could not calculate - " << unique_id << '\n';
    WriteErrMsg(errors_, "Could not calculate - " + path);
  }

 private:
  bool opposite_;
  TTzDbf& errors_;
  std::ostream& err_;
};

// The run's event points: an interrupt cancels it.
class InterruptPump final : public EventPump {
 public:
  InterruptPump(const std::function<bool()>& interrupted) : interrupted_(interrupted) {}
  RankingRun* run = nullptr;
  void ProcessEvents() override {
    if (run != nullptr && interrupted_ && interrupted_()) run->KeepRanking = false;
  }

 private:
  const std::function<bool()>& interrupted_;
};

// Moves the track table to the track with this identifier; false when there is none.
bool GoToTrack(TTzDbf& tracks, int32_t unique_id) {
  for (int64_t recno : tracks.RecNosInOrder()) {
    if (tracks.FieldIntAt(recno, "unique_id") == unique_id) {
      tracks.Go(recno);
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<RankCommand> ParseRankCommand(const std::vector<std::string>& args, bool playlist) {
  RankCommand c;
  bool seed_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--average" && !seed_given) {
      c.average_seed = seed_given = true;
    } else if (a == "--seed" && !seed_given) {
      auto v = value();
      auto id = v ? Number(*v, 0, INT32_MAX) : std::nullopt;
      if (!id) return std::nullopt;
      c.seed_id = *id;
      seed_given = true;
    } else if (a == "--seconds-filter") {
      auto low = value();
      auto high = value();
      auto min = low ? Number(*low, 0, 900) : std::nullopt;
      auto max = high ? Number(*high, 1, 9000) : std::nullopt;
      if (!min || !max) return std::nullopt;
      c.settings.filter_on = true;
      c.settings.spin_min = *min;
      c.settings.spin_max = *max;
    } else if (a == "--artist") {
      auto v = value();
      auto choice = v ? Choice<ArtistFilter>(*v, {"off", "same", "different"}) : std::nullopt;
      if (!choice) return std::nullopt;
      c.settings.artist_filter = *choice;
    } else if (a == "--boost") {
      auto v = value();
      auto choice = v ? Choice<BoostType>(*v, {"off", "low", "high", "auto"}) : std::nullopt;
      if (!choice) return std::nullopt;
      c.settings.boost_type = *choice;
    } else if (a == "--boost-weight" || a == "--random") {
      auto v = value();
      auto level = v ? Number(*v, 1, 5) : std::nullopt;
      if (!level) return std::nullopt;
      (a == "--random" ? c.settings.random_level : c.settings.boost_weight) = *level;
    } else if (a == "--opposite") {
      c.opposite = true;
    } else if (playlist && !c.limit_given &&
               (a == "--count" || a == "--minutes" || a == "--megabytes")) {
      auto v = value();
      if (!v || !ParseInteger(*v)) return std::nullopt;
      c.limit_given = true;
      if (a == "--count") {
        c.settings.limit = LimitKind::kCount;
        c.settings.songs = *v;
      } else if (a == "--minutes") {
        c.settings.limit = LimitKind::kTime;
        c.settings.minutes = *v;
      } else {
        c.settings.limit = LimitKind::kSize;
        c.settings.megabytes = *v;
      }
    } else if (playlist && a == "--output" && c.output.empty()) {
      auto v = value();
      if (!v || v->empty()) return std::nullopt;
      c.output = *v;
    } else {
      return std::nullopt;
    }
  }
  if (!seed_given) return std::nullopt;
  if (playlist && (!c.limit_given || c.output.empty())) return std::nullopt;
  return c;
}

int RunRankCommand(const RankCommand& command, bool playlist, LibraryTables& tables,
                   const LibraryAverage& average, RandomSource& random,
                   const std::function<bool()>& interrupted, std::ostream& out, std::ostream& err) {
  if (!command.average_seed && !GoToTrack(tables.TrackDBF, command.seed_id)) {
    err << "melodrift-cli: no track has unique_id " << command.seed_id << '\n';
    return 1;
  }
  TDMod dmod;
  SpectrumCache spectra(tables);
  NoRowPause no_pause;
  CliRankingView view(command.opposite, tables.ErrorDBF, err);
  InterruptPump pump(interrupted);
  RankingRun run(tables, average, dmod, spectra, command.settings, random, pump, no_pause, view);
  pump.run = &run;
  run.SeedIsAverage = command.average_seed;
  run.JukeboxRanking = false;
  run.Run();
  if (!run.RankingDone) {
    err << "Ranking cancelled.\n";
    return 1;
  }
  TCandidateTable& list = dmod.PlayList;
  if (!playlist) {
    out << "unique_id\tidist\tseconds\tartist\tsong\tpath\n";
    for (int64_t r = 1; r <= list.RecordCount(); ++r) {
      const CandidateRow& row = list.Row(r);
      out << row.Unique_ID << '\t' << row.IDist << '\t' << row.Seconds << '\t'
          << EscapeField(Latin1ToUtf8(TrimTrailing(row.Artist))) << '\t'
          << EscapeField(Latin1ToUtf8(TrimTrailing(row.Song))) << '\t'
          << EscapeField(TrimTrailing(row.Path)) << '\n';
    }
    return 0;
  }
  try {
    const PlaylistLimits limits = ReadLimits(command.settings);
    const std::string path = WithPlaylistExtension(command.output);
    const int64_t entries = WritePlaylist(list, limits, path);
    err << "Wrote " << entries << (entries == 1 ? " entry" : " entries") << " to " << path << ".\n";
    return 0;
  } catch (const std::exception& e) {
    err << "melodrift-cli: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace melodrift
