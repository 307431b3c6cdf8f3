// melodrift-cli's `rank` and `playlist` commands: their options, which mirror the playlist
// parameters window, and the two runs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/library_average.h"
#include "app/random_source.h"
#include "library/library_tables.h"
#include "playlist/playlist_settings.h"

namespace melodrift {

struct RankCommand {
  bool average_seed = false;
  int32_t seed_id = 0;
  FixedPlaylistSettings settings;
  bool opposite = false;
  bool limit_given = false;  // playlist: one of --count, --minutes, --megabytes
  std::string output;        // playlist: --output
};

// Parses the arguments after "rank" or "playlist". Nothing when they are not valid.
std::optional<RankCommand> ParseRankCommand(const std::vector<std::string>& args, bool playlist);

// Runs the ranking in playlist mode over the opened library and writes the candidates (rank)
// or the playlist file (playlist). `interrupted` is asked at the run's event points; when it
// says yes the run is cancelled. Returns the exit status.
int RunRankCommand(const RankCommand& command, bool playlist, LibraryTables& tables,
                   const LibraryAverage& average, RandomSource& random,
                   const std::function<bool()>& interrupted, std::ostream& out, std::ostream& err);

}  // namespace melodrift
