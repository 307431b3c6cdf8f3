#include "app/cli_commands.h"

#include <signal.h>

#include <atomic>
#include <charconv>
#include <climits>
#include <functional>
#include <optional>

#include "analysis/id3v2_tag.h"
#include "analysis/library_average.h"
#include "analysis/library_import.h"
#include "analysis/mp3_to_wav.h"
#include "analysis/track_analyser.h"
#include "app/cli_import_view.h"
#include "app/cli_playlist.h"
#include "app/library_opening.h"
#include "app/random_source.h"
#include "library/indexing_view.h"
#include "library/library_check.h"
#include "library/library_tables.h"
#include "library/table_dump.h"
#include "library/table_error.h"
#include "library/table_file.h"

namespace melodrift {

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
  g_interrupted = true;
}

// SIGINT and SIGTERM stop a running import at its next check instead of killing the process
// between two table writes.
class ScopedInterruptHandler {
 public:
  ScopedInterruptHandler() {
    g_interrupted = false;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_int_);
    sigaction(SIGTERM, &action, &previous_term_);
  }
  ~ScopedInterruptHandler() {
    sigaction(SIGINT, &previous_int_, nullptr);
    sigaction(SIGTERM, &previous_term_, nullptr);
  }
  ScopedInterruptHandler(const ScopedInterruptHandler&) = delete;
  ScopedInterruptHandler& operator=(const ScopedInterruptHandler&) = delete;

 private:
  struct sigaction previous_int_ = {};
  struct sigaction previous_term_ = {};
};

// Events of the command line: only an interrupt, which cancels the running command.
class CliEventPump final : public EventPump {
 public:
  std::function<void()> on_interrupt;
  void ProcessEvents() override {
    if (g_interrupted && on_interrupt) on_interrupt();
  }
};

// Index builds are announced, since a large one takes a moment.
class CliIndexingView final : public IndexingView {
 public:
  explicit CliIndexingView(std::ostream& err) : err_(err), previous_(SetIndexingView(this)) {}
  ~CliIndexingView() override { SetIndexingView(previous_); }
  CliIndexingView(const CliIndexingView&) = delete;
  CliIndexingView& operator=(const CliIndexingView&) = delete;
  void BeginIndexing(const std::string& caption) override { err_ << caption << '\n'; }
  void ShowIndexingBar(const std::string&) override {}
  void EndIndexing() override {}

 private:
  std::ostream& err_;
  IndexingView* previous_;
};

std::string FormatNumber(double value) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

std::optional<int32_t> ParseId(const std::string& text) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

class Session {
 public:
  Session(const std::string& program_folder, std::ostream& out, std::ostream& err)
      : program_folder_(program_folder), out_(out), err_(err), indexing_(err) {
    tables_.SetFileNames(program_folder);
  }
  ~Session() {
    try {
      tables_.CloseAll();
    } catch (const TableFatalError&) {
      // Already failing: the first error is the one reported.
    }
  }

  void Open() { OpenLibrary(tables_, average_, pump_, random_, opening_view_); }

  int Import(const std::string& folder, bool terminal) {
    Open();
    ScopedInterruptHandler interrupts;
    CliImportView view(err_, terminal, tables_.ErrorDBF);
    Tid3v2tag tag_reader;
    TMP3ToWav converter;
    TrackAnalyser analyser(converter, random_, pump_, view);
    LibraryImport import(tables_, average_, tag_reader, analyser, random_, pump_, view,
                         program_folder_ + "xxxyyzzz.wav");
    pump_.on_interrupt = [&import] { import.Cancel(); };
    const LibraryImport::Outcome outcome = import.Run(folder);
    pump_.on_interrupt = nullptr;
    err_ << "Added " << view.stored() << (view.stored() == 1 ? " track" : " tracks") << " ("
         << import.ScannedCount << " MP3 files found, " << view.failures()
         << " logged problems); the library holds " << tables_.TrackDBF.RecCount() << " tracks.\n";
    if (outcome == LibraryImport::Outcome::kCancelled) err_ << "Import cancelled.\n";
    return outcome == LibraryImport::Outcome::kCompleted ? 0 : 1;
  }

  int Tracks() {
    Open();
    out_ << "unique_id\tseconds\tartist\talbum\tsong\tinclude\tfilepath\n";
    for (int64_t recno : tables_.TrackDBF.RecNosInOrder()) {
      const TrackRow row = LibraryTables::TrackRowAt(tables_.TrackDBF, recno);
      out_ << row.unique_id << '\t' << row.seconds << '\t' << EscapeField(Latin1ToUtf8(row.artist))
           << '\t' << EscapeField(Latin1ToUtf8(row.album)) << '\t'
           << EscapeField(Latin1ToUtf8(row.song)) << '\t' << (row.include ? 'T' : 'F') << '\t'
           << EscapeField(row.filepath) << '\n';
    }
    return 0;
  }

  int Features(int32_t id) {
    Open();
    FeatureVector values;
    if (!tables_.ReadFeatures(id, values)) {
      err_ << "melodrift-cli: no track has unique_id " << id << '\n';
      return 1;
    }
    for (int32_t v : values) out_ << v << '\n';
    return 0;
  }

  int Rank(const RankCommand& command, bool playlist) {
    Open();
    ScopedInterruptHandler interrupts;
    return RunRankCommand(
        command, playlist, tables_, average_, random_, [] { return g_interrupted.load(); }, out_,
        err_);
  }

  int Average() {
    Open();
    for (double v : average_) out_ << FormatNumber(v) << '\n';
    return 0;
  }

 private:
  std::string program_folder_;
  std::ostream& out_;
  std::ostream& err_;
  CliIndexingView indexing_;
  LibraryTables tables_;
  LibraryAverage average_{};
  RandomSource random_;
  CliEventPump pump_;
  SilentOpeningView opening_view_;
};

int Check(const std::string& tables_folder, std::ostream& out) {
  const LibraryCheckReport report = CheckLibrary(tables_folder);
  for (const std::string& note : report.notes) out << "note: " << note << '\n';
  for (const std::string& failure : report.failures) out << "FAILED: " << failure << '\n';
  out << (report.ok() ? "check: OK\n"
                      : "check: " + std::to_string(report.failures.size()) + " problem(s) found\n");
  return report.ok() ? 0 : 1;
}

int Usage(std::ostream& err) {
  err << CliUsage();
  return 2;
}

}  // namespace

std::string CliUsage() {
  return "Usage: melodrift-cli COMMAND [ARGUMENT]\n"
         "Works on the library in the tables/ folder beside the program; refused while\n"
         "Melodrift has the library open.\n"
         "\n"
         "  import DIR      add the new MP3 files of DIR and its subfolders\n"
         "  tracks          list the tracks in artist and song order, tab-separated:\n"
         "                  unique_id, seconds, artist, album, song, include, filepath\n"
         "  features ID     the 256 feature values of the track with unique_id ID\n"
         "  average         the 256 values of the library average spectrum\n"
         "  check           check the tables and indexes; exit status 1 when one is broken\n"
         "  dump FILE.dbf   the fields and records of any dBase table, tab-separated\n"
         "  rank (--seed ID | --average) [OPTIONS]\n"
         "                  rank the library against a track or the library average and\n"
         "                  list the candidates, nearest first, tab-separated: unique_id,\n"
         "                  idist, seconds, artist, song, path\n"
         "  playlist (--seed ID | --average) [OPTIONS] (--count N | --minutes N |\n"
         "           --megabytes N) --output FILE.m3u\n"
         "                  rank, then write the top of the list as an extended M3U file\n"
         "\n"
         "OPTIONS, as in the Playlist Parameters window (defaults in brackets):\n"
         "  --seconds-filter MIN MAX   rank only tracks longer than MIN (0-900) and shorter\n"
         "                             than MAX (1-9000) seconds [off]\n"
         "  --artist off|same|different  [off]\n"
         "  --boost off|low|high|auto    [auto]\n"
         "  --boost-weight 1-5           [3]\n"
         "  --random 1-5                 random jitter of the distances [3]\n"
         "  --opposite                   the most dissimilar tracks first\n"
         "\n"
         "Tag texts are written as UTF-8 and paths as the file system's bytes; a tab, line\n"
         "break or backslash inside a value is written as \\t, \\n, \\r or \\\\.\n"
         "Exit status: 0 done, 1 failed or cancelled, 2 bad arguments, otherwise the code of\n"
         "a table error (32: the library is in use).\n";
}

int RunCli(const std::vector<std::string>& args, const std::string& program_folder,
           std::ostream& out, std::ostream& err, bool err_is_terminal) {
  if (args.empty()) return Usage(err);
  const std::string& command = args[0];
  const bool ranking = command == "rank" || command == "playlist";
  std::optional<RankCommand> rank;
  if (ranking) {
    rank = ParseRankCommand(std::vector<std::string>(args.begin() + 1, args.end()),
                            command == "playlist");
    if (!rank) return Usage(err);
  } else {
    const size_t wanted = command == "import" || command == "features" || command == "dump" ? 2 : 1;
    const bool known = command == "import" || command == "tracks" || command == "features" ||
                       command == "average" || command == "check" || command == "dump";
    if (!known || args.size() != wanted) return Usage(err);
  }

  ScopedThrowingTableErrors throwing;
  try {
    if (command == "dump") {
      if (!FileExists(args[1])) {
        err << "melodrift-cli: no such file: " << args[1] << '\n';
        return 1;
      }
      DumpTable(args[1], out);
      return 0;
    }
    if (command == "check") return Check(program_folder + "tables/", out);
    std::optional<int32_t> id;
    if (command == "features" && !(id = ParseId(args[1]))) return Usage(err);
    Session session(program_folder, out, err);
    if (command == "import") return session.Import(args[1], err_is_terminal);
    if (ranking) return session.Rank(*rank, command == "playlist");
    if (command == "tracks") return session.Tracks();
    if (command == "features") return session.Features(*id);
    return session.Average();
  } catch (const TableFatalError& e) {
    err << "Program halted.\n" << e.error().BoxText() << '\n';
    const int status = e.code() & 0xFF;
    return status == 0 ? 1 : status;
  }
}

}  // namespace melodrift
