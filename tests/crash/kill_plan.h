// When to kill a running import: after a drawn time, or at a drawn moment of its writing
// (the n-th feature row, the feature table's flush, the k-th track row, an index write, the
// average recomputation), found by watching the table files while it runs; and whether to kill
// the restart that follows a kill.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace melodrift::crash {

enum class KillMoment {
  kAnyTime,        // uniform over the run's expected length
  kStartUp,        // within the opening: packing, index builds, the average
  kFeatureRows,    // after the n-th feature row of this run is written
  kFeatureHeader,  // just after the feature table's header count changes (its flush)
  kTrackRow,       // just after the k-th track row of this run is written
  kIndexWrite,     // just after an index file changes (flush or build)
  kAverage,        // during the recomputation, which follows the run's last track row
  kRestart,        // the restart after a kill, within its opening (the repairs)
  kNone,           // the run goes to its end
};

std::string MomentName(KillMoment moment);

// What the next run has to do, and how long that takes, measured as the test goes.
struct RunEstimate {
  double start_up = 0.05;          // seconds, a restart of the program on this library
  double restart = 0.05;           // seconds, the last restart after a kill, repairs included
  double remaining_seconds = 0.5;  // what importing the files not yet stored takes
  int64_t remaining_files = 0;     // files not yet stored; the run stores each of them
};

struct KillPlan {
  KillMoment moment = KillMoment::kNone;
  double delay = 0;   // seconds, after the start or after the moment is seen
  int64_t count = 0;  // the n-th feature row, the k-th track row (the last for kAverage)
};

KillPlan DrawKillPlan(std::mt19937_64& random, const RunEstimate& run, bool must_finish);

// Whether the restart after a kill is itself killed within its opening, and when. The
// opening is where a kill's leftovers are repaired (rows removed, indexes rebuilt), so a kill
// there stacks a second half-written state on the first.
KillPlan DrawRestartKill(std::mt19937_64& random, const RunEstimate& run);

// Watches the library's files while one run goes on and says when its plan's moment came.
class KillTrigger {
 public:
  // Reads the files' state at the start of the run.
  KillTrigger(const KillPlan& plan, const std::string& tables_folder);
  // True once the process is to be killed. `elapsed`: seconds since the start of the run.
  bool Due(double elapsed);

 private:
  struct FileState {
    int64_t size = -1;  // -1 when missing
    int64_t mtime_ns = 0;
    bool operator==(const FileState&) const = default;
  };
  // The records a table file holds whole (an end-of-file mark or a partial record aside).
  struct Table {
    std::string path;
    int64_t header_length = 0;
    int64_t record_length = 0;
    int64_t records_at_start = 0;
    explicit Table(std::string file);
    int64_t Records() const;
  };
  static FileState Stat(const std::string& path);
  static uint32_t HeaderCount(const std::string& path);
  bool MomentSeen();

  KillPlan plan_;
  std::string folder_;
  Table features_, tracks_;
  uint32_t feature_count_start_ = 0;
  FileState feature_index_start_, track_index_start_;
  double seen_at_ = -1;  // elapsed time when the moment was seen
};

}  // namespace melodrift::crash
