#include "tests/crash/kill_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "library/byte_order.h"
#include "library/dbf_header.h"

namespace melodrift::crash {

std::string MomentName(KillMoment moment) {
  switch (moment) {
    case KillMoment::kAnyTime:
      return "any time during the run";
    case KillMoment::kStartUp:
      return "during the start-up";
    case KillMoment::kFeatureRows:
      return "at the n-th feature row written";
    case KillMoment::kFeatureHeader:
      return "just after the feature table's header write";
    case KillMoment::kTrackRow:
      return "just after a track row";
    case KillMoment::kIndexWrite:
      return "just after an index write";
    case KillMoment::kAverage:
      return "during the average recomputation";
    case KillMoment::kRestart:
      return "during the restart's opening, after a kill";
    case KillMoment::kNone:
      return "not killed";
  }
  return "?";
}

KillPlan DrawKillPlan(std::mt19937_64& random, const RunEstimate& run, bool must_finish) {
  KillPlan plan;
  if (must_finish) return plan;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double pick = unit(random);
  // Start-up and recomputation each take about one restart's time.
  const double expected = 2 * run.start_up + run.remaining_seconds;
  if (pick < 0.30) {
    plan.moment = KillMoment::kAnyTime;
    plan.delay = unit(random) * expected * 1.1;
  } else if (pick < 0.42) {
    plan.moment = KillMoment::kStartUp;
    plan.delay = unit(random) * run.start_up * 1.2;
  } else if (pick < 0.57) {
    // Within the first two or three tracks of the run, mostly inside one track's 256 rows.
    plan.moment = KillMoment::kFeatureRows;
    plan.count = std::uniform_int_distribution<int64_t>(1, 640)(random);
  } else if (pick < 0.64) {
    plan.moment = KillMoment::kFeatureHeader;
  } else if (pick < 0.72) {
    plan.moment = KillMoment::kTrackRow;
    plan.count = std::uniform_int_distribution<int64_t>(1, 3)(random);
    plan.delay = unit(random) * 0.002;
  } else if (pick < 0.82) {
    plan.moment = KillMoment::kIndexWrite;
    plan.delay = unit(random) * 0.003;
  } else if (pick < 0.95) {
    // A run that stores nothing does not recompute; it goes to its end.
    plan.moment = KillMoment::kAverage;
    plan.count = run.remaining_files;
    plan.delay = unit(random) * run.start_up * 1.2;
  }
  return plan;
}

KillPlan DrawRestartKill(std::mt19937_64& random, const RunEstimate& run) {
  KillPlan plan;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  if (unit(random) < 0.25) {
    plan.moment = KillMoment::kRestart;
    plan.delay = unit(random) * run.restart * 1.2;
  }
  return plan;
}

KillTrigger::Table::Table(std::string file) : path(std::move(file)) {
  uint8_t prolog[dbf::kPrologSize] = {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  if (::pread(fd, prolog, sizeof prolog, 0) == sizeof prolog) {
    header_length = GetU16(prolog + dbf::kHeaderLengthOffset);
    record_length = GetU16(prolog + dbf::kRecordLengthOffset);
  }
  ::close(fd);
  records_at_start = Records();
}

int64_t KillTrigger::Table::Records() const {
  const int64_t size = Stat(path).size;
  if (record_length == 0 || size < header_length) return 0;
  return (size - header_length) / record_length;
}

KillTrigger::KillTrigger(const KillPlan& plan, const std::string& tables_folder)
    : plan_(plan),
      folder_(tables_folder),
      features_(folder_ + "feature_values.dbf"),
      tracks_(folder_ + "track_id.dbf") {
  feature_count_start_ = HeaderCount(features_.path);
  feature_index_start_ = Stat(folder_ + "feature_values.mdx");
  track_index_start_ = Stat(folder_ + "track_id.mdx");
}

KillTrigger::FileState KillTrigger::Stat(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  return {static_cast<int64_t>(st.st_size),
          static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

uint32_t KillTrigger::HeaderCount(const std::string& path) {
  uint8_t count[4] = {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = ::pread(fd, count, sizeof count, dbf::kRecordCountOffset);
  ::close(fd);
  return got == sizeof count ? GetU32(count) : 0;
}

bool KillTrigger::MomentSeen() {
  switch (plan_.moment) {
    case KillMoment::kAnyTime:
    case KillMoment::kStartUp:
    case KillMoment::kRestart:
      return true;
    case KillMoment::kFeatureRows:
      // Rows the start-up removed (a track cut short) are written again first: no matter.
      return features_.Records() >= features_.records_at_start + plan_.count;
    case KillMoment::kFeatureHeader:
      return HeaderCount(features_.path) != feature_count_start_;
    case KillMoment::kTrackRow:
    case KillMoment::kAverage:
      return plan_.count > 0 && tracks_.Records() >= tracks_.records_at_start + plan_.count;
    case KillMoment::kIndexWrite:
      return !(Stat(folder_ + "feature_values.mdx") == feature_index_start_) ||
             !(Stat(folder_ + "track_id.mdx") == track_index_start_);
    case KillMoment::kNone:
      return false;
  }
  return false;
}

bool KillTrigger::Due(double elapsed) {
  if (seen_at_ < 0 && MomentSeen()) seen_at_ = elapsed;
  return seen_at_ >= 0 && elapsed - seen_at_ >= plan_.delay;
}

}  // namespace melodrift::crash
