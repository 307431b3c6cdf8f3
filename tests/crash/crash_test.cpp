#include "tests/crash/crash_test.h"

#include <signal.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "library/table_error.h"
#include "tests/crash/child_process.h"
#include "tests/crash/table_states.h"

namespace melodrift::crash {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kMaxKillsInRound = 30;  // then the run goes to its end, so every round ends

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void PauseBriefly() {
  const timespec pause{0, 20'000};
  ::nanosleep(&pause, nullptr);
}

}  // namespace

CrashTest::CrashTest(CrashTestOptions options) : options_(std::move(options)) {
  // Short pauses between the looks at the files: a kill lands closer to the moment seen.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  random_.seed(options_.seed);
  program_ = options_.work_dir + "/program/";
  scratch_ = options_.work_dir + "/scratch/";
  fs::create_directories(options_.work_dir + "/logs");
  InstallProgram(program_);
  expected_.sources = &sources_;
}

void CrashTest::InstallProgram(const std::string& folder) {
  // A copy, not a link: the program finds its tables beside its own executable.
  fs::create_directories(folder + "tables");
  fs::copy_file(options_.cli, folder + "melodrift-cli", fs::copy_options::overwrite_existing);
  fs::permissions(folder + "melodrift-cli", fs::perms::owner_all, fs::perm_options::add);
}

CrashTest::CliResult CrashTest::Cli(const std::string& program_folder,
                                    const std::vector<std::string>& args) {
  std::vector<std::string> argv{program_folder + "melodrift-cli"};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string out = options_.work_dir + "/logs/out.txt";
  const std::string err = options_.work_dir + "/logs/err.txt";
  CliResult result;
  const auto start = Clock::now();
  result.status = RunToEnd(argv, out, err);
  result.seconds = SecondsSince(start);
  result.out = ReadText(out);
  result.err = ReadText(err);
  return result;
}

void CrashTest::Fail(const std::string& what) const {
  std::ostringstream text;
  text << what << "\n(after kill " << kills_ << ", run " << runs_ << ": " << last_event_
       << "; the files are in " << options_.work_dir << ")";
  throw CrashTestFailure(text.str());
}

void CrashTest::Calibrate() {
  // One copy of each test file imported into a library of its own: what each stores, and
  // how long each takes.
  const std::string program = options_.work_dir + "/calibration/";
  const std::string music = options_.work_dir + "/calibration-music";
  InstallProgram(program);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(options_.mp3_dir)) {
    if (entry.path().extension() == ".mp3") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) Fail("no test MP3 files in " + options_.mp3_dir);
  fs::create_directories(music + "/none");
  Cli(program, {"import", music + "/none"});
  const double start_up = Cli(program, {"import", music + "/none"}).seconds;
  std::map<std::string, std::string> path_of;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = files[i].stem().string();
    const std::string folder = music + "/" + std::to_string(i);
    fs::create_directories(folder);
    const std::string copy = folder + "/0-" + name + ".mp3";
    fs::copy_file(files[i], copy);
    const CliResult run = Cli(program, {"import", folder});
    if (run.status != 0) Fail("calibration: importing " + name + " failed: " + run.err);
    sources_[name].name = name;
    sources_[name].import_seconds = std::max(0.005, run.seconds - start_up);
    path_of[name] = copy;
  }
  const CliResult tracks = Cli(program, {"tracks"});
  std::string why;
  const auto listing = ParseTrackListing(tracks.out, &why);
  if (tracks.status != 0 || !listing) Fail("calibration: no listing: " + why + tracks.err);
  const StoredLibrary stored = ReadLibraryCopy(program + "tables/", scratch_);
  for (const ListedTrack& t : *listing) {
    SourceFile& source = sources_.at(SourceNameOf(t.filepath));
    source.artist = t.artist;
    source.album = t.album;
    source.song = t.song;
    source.seconds = t.seconds;
    source.features = stored.features.at(t.unique_id).values;
    for (const std::string& message : stored.error_messages) {
      const size_t at = message.find(t.filepath);
      if (at == std::string::npos) continue;
      source.log_message =
          message.substr(0, at) + "{path}" + message.substr(at + t.filepath.size());
      break;
    }
  }
  if (listing->size() != sources_.size()) Fail("calibration: not every test file was stored");

  // Slow files (the long one) are drawn a quarter as often.
  std::vector<double> seconds;
  for (const auto& [name, source] : sources_) seconds.push_back(source.import_seconds);
  std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
  const double median = seconds[seconds.size() / 2];
  for (const auto& [name, source] : sources_) {
    const int weight = source.import_seconds > 3 * median ? 1 : 4;
    for (int i = 0; i < weight; ++i) source_pool_.push_back(name);
  }
}

void CrashTest::BeginLibrary() {
  ++libraries_;
  fs::remove_all(program_ + "tables");
  fs::create_directories(program_ + "tables");
  fs::remove(program_ + "xxxyyzzz.wav");
  music_ = options_.work_dir + "/music-" + std::to_string(libraries_);
  fs::create_directories(music_);
  expected_.files.clear();
  expected_.stored.clear();
  // Creates the empty tables, so that every import starts on existing files.
  last_event_ = "creating library " + std::to_string(libraries_);
  VerifyAfterRestart(false);
}

void CrashTest::AddBatch() {
  const std::string folder = music_ + "/batch-" + std::to_string(++batches_);
  fs::create_directories(folder);
  std::uniform_int_distribution<size_t> pick(0, source_pool_.size() - 1);
  for (int i = 0; i < options_.batch_files; ++i) {
    const std::string& name = source_pool_[pick(random_)];
    char number[16];
    std::snprintf(number, sizeof number, "%05d", ++file_number_);
    const std::string path = folder + "/" + number + "-" + name + ".mp3";
    fs::copy_file(options_.mp3_dir + "/" + name + ".mp3", path);
    expected_.files.insert(path);
  }
}

bool CrashTest::ImportOnce() {
  std::set<std::string> stored_paths;
  for (const auto& [id, track] : expected_.stored) stored_paths.insert(track.filepath);
  estimate_.remaining_seconds = 0;
  estimate_.remaining_files = 0;
  for (const std::string& path : expected_.files) {
    if (stored_paths.count(path) > 0) continue;
    estimate_.remaining_seconds += sources_.at(SourceNameOf(path)).import_seconds;
    ++estimate_.remaining_files;
  }
  const bool must_finish = kills_ >= options_.kills || kills_in_round_ >= kMaxKillsInRound;
  const KillPlan plan = DrawKillPlan(random_, estimate_, must_finish);
  ++runs_;
  last_event_ = "import killed " + MomentName(plan.moment) +
                (plan.count > 0 ? " (n = " + std::to_string(plan.count) + ")" : "") + ", after " +
                std::to_string(plan.delay) + " s";

  KillTrigger trigger(plan, program_ + "tables/");
  const std::string out = options_.work_dir + "/logs/import-out.txt";
  const std::string err = options_.work_dir + "/logs/import-err.txt";
  int status = -1;
  {
    ChildProcess child({program_ + "melodrift-cli", "import", music_}, out, err);
    const auto start = Clock::now();
    while (child.Running()) {
      if (trigger.Due(SecondsSince(start))) {
        child.Kill();
        break;
      }
      PauseBriefly();
    }
    status = child.Wait();
  }
  if (status == 128 + SIGKILL) {
    ++kills_;
    ++kills_in_round_;
    ++kills_by_moment_[plan.moment];
    RecordStatesBeforeRestart();
    KillRestart();
    VerifyAfterRestart(true);
    return false;
  }
  last_event_ = "import ran to its end (" + MomentName(plan.moment) + " planned)";
  if (status != 0) {
    Fail("the import ended with status " + std::to_string(status) + ":\n" + ReadText(err));
  }
  VerifyAfterRestart(false);
  if (expected_.stored.size() != expected_.files.size()) {
    Fail("a completed import stored " + std::to_string(expected_.stored.size()) + " of " +
         std::to_string(expected_.files.size()) + " files");
  }
  kills_in_round_ = 0;
  return true;
}

void CrashTest::RecordStatesBeforeRestart() {
  const std::set<std::string> states = FindHalfWrittenStates(program_);
  for (const std::string& state : states) ++states_[state];
  if (states.empty()) ++states_["(none: every file as after a clean close)"];

  // check reads the files as the kill left them and must report, never crash.
  const CliResult check = Cli(program_, {"check"});
  if (check.status != 0 && check.status != 1) {
    Fail("check ended with status " + std::to_string(check.status) +
         " on the files the kill left:\n" + check.out + check.err);
  }
  if (check.status == 1) ++kills_failing_check_;
  const std::regex number("[0-9]+");
  std::set<std::string> reports;
  for (std::string line : Lines(check.out)) {
    if (line.rfind("note: ", 0) != 0 && line.rfind("FAILED: ", 0) != 0) continue;
    for (size_t at; (at = line.find(program_ + "tables/")) != std::string::npos;)
      line.erase(at, program_.size() + 7);
    reports.insert(std::regex_replace(line, number, "N"));
  }
  for (const std::string& report : reports) ++check_reports_[report];
}

bool CrashTest::KillRestart() {
  if (kills_ >= options_.kills) return false;
  const KillPlan plan = DrawRestartKill(random_, estimate_);
  if (plan.moment == KillMoment::kNone) return false;
  last_event_ += "; then its restart killed after " + std::to_string(plan.delay) + " s";
  int status = -1;
  {
    ChildProcess child({program_ + "melodrift-cli", "tracks"}, options_.work_dir + "/logs/out.txt",
                       options_.work_dir + "/logs/err.txt");
    const auto start = Clock::now();
    while (child.Running()) {
      if (SecondsSince(start) >= plan.delay) {
        child.Kill();
        break;
      }
      PauseBriefly();
    }
    status = child.Wait();
  }
  if (status == 0) return false;
  if (status != 128 + SIGKILL) {
    Fail("the restart ended with status " + std::to_string(status) + ":\n" +
         ReadText(options_.work_dir + "/logs/err.txt"));
  }
  ++kills_;
  ++kills_in_round_;
  ++kills_by_moment_[plan.moment];
  RecordStatesBeforeRestart();
  return true;
}

void CrashTest::VerifyAfterRestart(bool after_kill) {
  // The restart: the opening repairs what the kill left.
  const CliResult tracks = Cli(program_, {"tracks"});
  if (tracks.status != 0) {
    Fail("the library did not open: status " + std::to_string(tracks.status) + "\n" + tracks.err);
  }
  estimate_.start_up = tracks.seconds;
  if (after_kill) estimate_.restart = tracks.seconds;
  std::string why;
  const auto listing = ParseTrackListing(tracks.out, &why);
  if (!listing) Fail("the tracks listing is malformed: " + why);

  const CliResult check = Cli(program_, {"check"});
  if (check.status != 0 || check.out.find("check: OK") == std::string::npos) {
    Fail("check after the restart failed (status " + std::to_string(check.status) + "):\n" +
         check.out + check.err);
  }

  StoredLibrary stored;
  try {
    stored = ReadLibraryCopy(program_ + "tables/", scratch_);
  } catch (const TableFatalError& e) {
    Fail(std::string("a copy of the restarted library does not open: ") + e.what());
  }
  const std::vector<std::string> problems = VerifyLibrary(expected_, *listing, stored);
  if (!problems.empty()) {
    std::string text = std::to_string(problems.size()) + " problem(s) after the restart:";
    for (size_t i = 0; i < problems.size() && i < 12; ++i) text += "\n  " + problems[i];
    Fail(text);
  }

  // The command line's own lookups, for the newest track and one drawn at random.
  if (!listing->empty()) {
    const auto newest = std::max_element(
        listing->begin(), listing->end(),
        [](const ListedTrack& a, const ListedTrack& b) { return a.unique_id < b.unique_id; });
    const ListedTrack& any =
        (*listing)[std::uniform_int_distribution<size_t>(0, listing->size() - 1)(random_)];
    for (const ListedTrack* t : {&*newest, &any})
      CheckFeaturesThroughCli(t->unique_id, sources_.at(SourceNameOf(t->filepath)));
  }

  expected_.stored.clear();
  for (const ListedTrack& t : *listing) expected_.stored[t.unique_id] = t;
  tracks_verified_ += static_cast<int64_t>(listing->size());
}

void CrashTest::CheckFeaturesThroughCli(int32_t id, const SourceFile& source) {
  const CliResult features = Cli(program_, {"features", std::to_string(id)});
  const std::vector<std::string> lines = Lines(features.out);
  bool same = features.status == 0 && lines.size() == source.features.size();
  for (size_t c = 0; same && c < lines.size(); ++c)
    same = lines[c] == std::to_string(source.features[c]);
  if (!same) {
    Fail("melodrift-cli features " + std::to_string(id) + " (status " +
         std::to_string(features.status) + ", " + std::to_string(lines.size()) +
         " lines) does not give the values of " + source.name + "\n" + features.err);
  }
}

void CrashTest::Run() {
  Calibrate();
  for (;;) {
    if (libraries_ == 0 || expected_.files.size() + static_cast<size_t>(options_.batch_files) >
                               static_cast<size_t>(options_.library_files))
      BeginLibrary();
    AddBatch();
    while (!ImportOnce()) {
    }
    if (kills_ >= options_.kills) return;
  }
}

std::string CrashTest::Summary() const {
  std::ostringstream text;
  text << kills_ << " kills in " << runs_ << " import runs over " << batches_ << " batches of "
       << options_.batch_files << " files in " << libraries_ << " libraries (up to "
       << options_.library_files << " files each); " << tracks_verified_
       << " track rows verified after restarts.\n";
  text << "Kills by moment:\n";
  for (const auto& [moment, count] : kills_by_moment_)
    text << "  " << count << "\t" << MomentName(moment) << "\n";
  text << "Half-written states found before the restart (kills that left each):\n";
  for (const auto& [state, count] : states_) text << "  " << count << "\t" << state << "\n";
  text << "check before the restart: " << kills_failing_check_
       << " kills left problems for the restart to repair; its lines (kills):\n";
  for (const auto& [line, count] : check_reports_) text << "  " << count << "\t" << line << "\n";
  text << "After every kill the restart opened the library, every track stored before was\n"
          "listed in artist and song order and found through the unique_id index with its\n"
          "256 feature rows, and check passed.\n";
  return text.str();
}

}  // namespace melodrift::crash
