#include "analysis/library_import.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <exception>
#include <memory>
#include <vector>

#include "app/library_opening.h"
#include "library/dbf_field.h"
#include "library/rounding.h"
#include "library/table_error.h"

namespace melodrift {

namespace {

// The track table's filepath field holds 254 characters.
constexpr size_t kMaxStoredPath = 254;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool HasMp3Extension(const std::string& name) {
  if (name.size() < 4) return false;
  const std::string ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] | 0x20) == 'm' && (ext[2] | 0x20) == 'p' && ext[3] == '3';
}

// The names in a folder, in the file system's order, as files or as folders (symbolic links
// followed). A folder that cannot be read lists nothing.
void ListFolder(const std::string& dir, std::vector<std::string>* files,
                std::vector<std::string>* folders) {
  DirHandle handle(::opendir(dir.c_str()));
  if (!handle) return;
  while (const dirent* entry = ::readdir(handle.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool is_dir = entry->d_type == DT_DIR;
    bool is_file = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st;
      if (::stat((dir + name).c_str(), &st) != 0) continue;
      is_dir = S_ISDIR(st.st_mode);
      is_file = S_ISREG(st.st_mode);
    }
    if (is_file && files != nullptr) files->push_back(name);
    if (is_dir && folders != nullptr) folders->push_back(name);
  }
}

}  // namespace

LibraryImport::LibraryImport(LibraryTables& tables, LibraryAverage& average, Tid3v2tag& tag_reader,
                             TrackAnalyser& analyser, RandomSource& random, EventPump& pump,
                             ImportView& view, std::string temp_wav_path)
    : tables_(tables),
      average_(average),
      tag_reader_(tag_reader),
      analyser_(analyser),
      random_(random),
      pump_(pump),
      view_(view),
      temp_wav_path_(std::move(temp_wav_path)) {}

LibraryImport::Outcome LibraryImport::Run(const std::optional<std::string>& folder) {
  if (running_) return Outcome::kFailed;
  running_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{running_};

  ScannedCount = 0;
  KeepImporting = true;
  visited_.clear();
  bool cancelled = false;
  try {
    if (folder) {
      struct stat st;
      if (::stat(folder->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        view_.ShowError("Folder not found: " + *folder);
        return Outcome::kFailed;
      }
      view_.SetProgress(0);
      view_.SetLabel(1, "searching for MP3 files ...");
      view_.SetLabel(2, "");
      view_.SetLabel(3, "");
      view_.ShowProgressWindow();
      ScanFolder(*folder, true);
      view_.HideProgressWindow();
      cancelled = !KeepImporting;
    }
    KeepImporting = true;  // a cancelled scan does not cancel the recomputation
    if (AddedCount > 0) {
      AddedCount = 0;
      if (!RecomputeLibraryAverage(tables_, average_, random_, pump_, view_, KeepImporting,
                                   temp_wav_path_))
        cancelled = true;
    } else {
      ::unlink(temp_wav_path_.c_str());
    }
  } catch (const TableFatalError&) {
    throw;
  } catch (const std::exception& e) {
    // The import ends here; what was stored stays, and AddedCount keeps its value so that the
    // next import recomputes the average.
    view_.HideProgressWindow();
    view_.ShowError(e.what());
    return Outcome::kFailed;
  }
  return cancelled ? Outcome::kCancelled : Outcome::kCompleted;
}

void LibraryImport::ScanFolder(const std::string& folder, bool recurse) {
  const std::string dir = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return;
  // A folder reached again through a symbolic link is not entered twice.
  if (!visited_.emplace(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)).second)
    return;

  std::vector<std::string> files;
  ListFolder(dir, &files, nullptr);
  for (const std::string& name : files) {
    if (!HasMp3Extension(name)) continue;
    if (!KeepImporting) return;
    ++ScannedCount;
    const std::string path = TrimTrailing(dir + name);
    if (tables_.UniqueTrack(path)) {
      if (!ImportFile(dir, name, path)) return;
    } else if (!SkipKnownFile()) {
      return;
    }
  }
  pump_.ProcessEvents();

  if (!recurse || !KeepImporting) return;
  std::vector<std::string> folders;
  ListFolder(dir, nullptr, &folders);
  for (const std::string& name : folders) {
    if (name.front() == '.') continue;  // hidden folders are not entered
    ScanFolder(dir + name, true);
    if (!KeepImporting) return;
  }
}

bool LibraryImport::ImportFile(const std::string& dir, const std::string& name,
                               const std::string& path) {
  if (!KeepImporting) return false;
  if (path.size() > kMaxStoredPath) {
    // The stored path would be cut: the track could never be played or recognised again.
    const std::string message = "Path too long - " + path;
    view_.ReportFailure(message, message);
    return true;
  }
  TagTexts tag = GetIDTag(tag_reader_, path);
  if (!tag.usable) {
    const std::string message = "Invalid MP3 Tag - " + path;
    view_.ReportFailure(message, message);
  }
  analyser_.ReadMP3File(path, temp_wav_path_, tag.artist, tag.song);
  if (!KeepImporting) return false;
  analyser_.DoFFT(temp_wav_path_, KeepImporting);
  if (!KeepImporting) return false;
  NewTrack track;
  track.features = analyser_.Finish();
  if (!KeepImporting) return false;
  pump_.ProcessEvents();

  track.title = name;
  track.filepath = dir + name;
  track.artist = tag.artist;
  track.album = tag.album;
  track.song = tag.song;
  track.seconds = analyser_.TrackSeconds();
  // The stored average stops describing the library with this track. Emptied now, it is
  // rebuilt at the next start if the process ends before the recomputation.
  if (AddedCount == 0) tables_.AvgDBF.Zap();
  tables_.StoreTrack(track);
  ++AddedCount;
  view_.ShowFileCount(FileCountText(tables_.NextUniqueID));
  view_.TrackStored();
  return KeepImporting;
}

bool LibraryImport::SkipKnownFile() {
  if (random_.Draw(100) <= 95) return true;
  view_.SetLabel(1, "skipping files ... " + std::to_string(ScannedCount));
  view_.SetLabel(2, "");
  view_.SetLabel(3, "");
  view_.ShowFileCount(std::to_string(tables_.NextUniqueID) + " files");
  view_.Repaint();
  pump_.ProcessEvents();
  return KeepImporting;
}

bool RecomputeLibraryAverage(LibraryTables& tables, LibraryAverage& average, RandomSource& random,
                             EventPump& pump, ImportView& view, const bool& keep_importing,
                             const std::string& temp_wav_path) {
  tables.AvgDBF.Zap();
  tables.FeatureDBF.First();
  view.SetProgress(0);
  view.SetLabel(1, "recalculating averages ...");
  view.SetLabel(2, "");
  view.SetLabel(3, "");
  view.ShowProgressWindow();
  pump.ProcessEvents();

  TTzDbf& features = tables.FeatureDBF;
  LibraryAverage computed;
  const bool completed = BuildLibraryAverage(tables, computed, [&] {
    if (random.Draw(50) <= 45) return true;
    const int64_t rows = features.RecCount();
    view.SetProgress(rows > 0
                         ? static_cast<int>(RoundToInt64(static_cast<double>(features.RecNo()) /
                                                         static_cast<double>(rows) * 512))
                         : 0);
    if (!keep_importing) return false;
    pump.ProcessEvents();
    return true;
  });
  if (!completed) {
    view.HideProgressWindow();
    return false;
  }
  average = computed;
  StoreLibraryAverage(tables, average, [] {});
  view.HideProgressWindow();
  ::unlink(temp_wav_path.c_str());
  return true;
}

}  // namespace melodrift
