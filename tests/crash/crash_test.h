// The crash-safety run: melodrift-cli imports a growing music folder while it is killed with
// SIGKILL at drawn moments; after every kill the half-written state is recorded and a restart
// must find everything stored before, intact.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/crash/kill_plan.h"
#include "tests/crash/library_verifier.h"

namespace melodrift::crash {

struct CrashTestOptions {
  std::string cli;       // the built melodrift-cli
  std::string mp3_dir;   // the test MP3 files
  std::string work_dir;  // an empty folder for the program copy, libraries and music
  int kills = 200;
  uint64_t seed = 0;
  int batch_files = 30;     // MP3 files added to the folder before each import
  int library_files = 300;  // a new, empty library is begun beyond this many files
};

// Thrown when the library does not hold what it should; the text says what and where.
class CrashTestFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CrashTest {
 public:
  explicit CrashTest(CrashTestOptions options);

  // Runs until the number of kills is reached and the last import has completed. Throws
  // CrashTestFailure at the first problem.
  void Run();
  // What happened, for the closing report.
  std::string Summary() const;

 private:
  struct CliResult {
    int status = -1;
    std::string out, err;
    double seconds = 0;
  };

  CliResult Cli(const std::string& program_folder, const std::vector<std::string>& args);
  void InstallProgram(const std::string& folder);
  void Calibrate();
  void BeginLibrary();
  void AddBatch();
  // One import run with a drawn plan; returns true when it completed.
  bool ImportOnce();
  void RecordStatesBeforeRestart();
  // Sometimes kills the restart after a kill within its opening; true when it did.
  bool KillRestart();
  // `after_kill`: the restart follows a kill, so its time (repairs included) is measured.
  void VerifyAfterRestart(bool after_kill);
  void CheckFeaturesThroughCli(int32_t id, const SourceFile& source);
  [[noreturn]] void Fail(const std::string& what) const;

  CrashTestOptions options_;
  std::mt19937_64 random_;
  std::map<std::string, SourceFile> sources_;
  std::vector<std::string> source_pool_;  // names drawn from, with repeats as weights
  std::string program_;                   // program folder, ending in '/'
  std::string scratch_;                   // for copies of the tables
  std::string music_;                     // the folder imported
  Expectations expected_;
  RunEstimate estimate_;
  int libraries_ = 0;
  int batches_ = 0;
  int file_number_ = 0;
  int kills_ = 0;
  int kills_in_round_ = 0;
  int runs_ = 0;
  int64_t tracks_verified_ = 0;
  std::string last_event_;  // the plan of the run before the failure, for its report
  std::map<KillMoment, int> kills_by_moment_;
  std::map<std::string, int> states_;         // half-written state -> kills that left it
  std::map<std::string, int> check_reports_;  // check's lines before a restart -> kills
  int kills_failing_check_ = 0;
};

}  // namespace melodrift::crash
