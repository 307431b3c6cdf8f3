// Table definitions and small helpers shared by the table-layer tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "library/tz_dbf.h"

namespace melodrift::testing {

inline std::vector<std::string> TrackFields() {
  return {"unique_id, N, 10, 0", "title, C, 254, 0",  "seconds, N, 10, 0",
          "filepath, C, 254, 0", "artist, C, 254, 0", "album, C, 254, 0",
          "song, C, 254, 0",     "include, L, 1, 0",  "asndx, C, 100, 0"};
}

inline std::vector<std::string> FeatureFields() {
  return {"unique_id, N, 10, 0", "f_column, N, 5, 0", "f_value, N, 18, 0"};
}

inline std::unique_ptr<TTzDbf> MakeTrackTable(const std::string& path, bool with_index = true) {
  auto t = std::make_unique<TTzDbf>();
  t->SetDbfFileName(path);
  t->SetDbfFields(TrackFields());
  if (with_index) t->SetIndexList({"ASNDX,F,F,asndx", ""});
  t->SetHideDeletedRecs(true);
  t->SetAutoFixRecCount(true);
  t->SetExclusive(true);
  return t;
}

inline std::unique_ptr<TTzDbf> MakeFeatureTable(const std::string& path) {
  auto t = std::make_unique<TTzDbf>();
  t->SetDbfFileName(path);
  t->SetDbfFields(FeatureFields());
  t->SetIndexList({"UNIQUE_ID,F,F,unique_id", ""});
  t->SetExclusive(true);
  return t;
}

// Appends a track row with the sort key built from artist and song.
inline void AppendTrack(TTzTable& t, int id, const std::string& artist, const std::string& song) {
  t.ClearRecord();
  t.SetFieldInt("unique_id", id);
  t.SetFieldText("title", song + ".mp3");
  t.SetFieldText("filepath", "/music/" + song + ".mp3");
  t.SetFieldText("artist", artist);
  t.SetFieldText("song", song);
  t.SetFieldBool("include", true);
  t.SetFieldText("asndx", PadOrCut(artist, 50) + PadOrCut(song, 50));
  t.AppendRec();
}

}  // namespace melodrift::testing
