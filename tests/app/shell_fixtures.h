// Small libraries on disk and a scripted Dialogs for the window tests of the shell.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "analysis/library_average.h"
#include "app/dialogs.h"
#include "app/event_pump.h"
#include "app/library_opening.h"
#include "app/random_source.h"
#include "library/library_tables.h"
#include "tests/support/temp_dir.h"

namespace melodrift::testing {

// Answers every question with `answer` and remembers what was asked.
class FakeDialogs final : public Dialogs {
 public:
  bool answer = false;
  std::optional<std::string> folder;  // what the folder chooser returns
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  int folder_choices = 0;
  std::optional<std::string> save_name;    // what the save dialog returns
  std::vector<std::string> save_requests;  // filter and default extension of each

  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    questions.push_back(text);
    return answer;
  }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
    ++folder_choices;
    return folder;
  }
  std::optional<std::string> SaveFileName(const std::string&, const std::string& filter,
                                          const std::string& default_extension) override {
    save_requests.push_back(filter + " " + default_extension);
    return save_name;
  }
};

// A program folder (ending in '/') with an empty tables/ folder in it.
inline std::string MakeProgramFolder(const TempDir& dir) {
  ::mkdir(dir.File("tables").c_str(), 0755);
  return dir.path() + "/";
}

inline NewTrack Track(const std::string& artist, const std::string& song,
                      const std::string& album = "An Album", int32_t seconds = 200) {
  NewTrack t;
  t.title = song + ".mp3";
  t.filepath = "/music/" + artist + "/" + song + ".mp3";
  t.artist = artist;
  t.album = album;
  t.song = song;
  t.seconds = seconds;
  for (size_t i = 0; i < t.features.size(); ++i) t.features[i] = static_cast<double>(i % 7 + 1);
  return t;
}

// Stores the tracks into program_folder's tables in this order. `ids`, when given, are the
// identifiers they receive. The average table is left empty, so the next opening builds it
// from the feature rows.
inline void WriteLibrary(const std::string& program_folder, const std::vector<NewTrack>& tracks,
                         const std::vector<int32_t>& ids = {}) {
  SilentOpeningView view;
  LibraryTables tables;
  tables.SetFileNames(program_folder);
  LibraryAverage average{};
  NoEventPump pump;
  RandomSource random;
  OpenLibrary(tables, average, pump, random, view);
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (i < ids.size()) tables.NextUniqueID = ids[i];
    tables.StoreTrack(tracks[i]);
  }
  tables.AvgDBF.Zap();
  tables.CloseAll();
}

}  // namespace melodrift::testing
