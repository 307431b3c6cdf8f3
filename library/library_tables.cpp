#include "library/library_tables.h"

#include <string>
#include <vector>

#include "library/dbf_field.h"
#include "library/rounding.h"

namespace melodrift {

namespace {

std::vector<std::string> TrackFieldLines() {
  return {"unique_id, N, 10, 0", "title, C, 254, 0",  "seconds, N, 10, 0",
          "filepath, C, 254, 0", "artist, C, 254, 0", "album, C, 254, 0",
          "song, C, 254, 0",     "include, L, 1, 0",  "asndx, C, 100, 0"};
}

void Define(TTzDbf& table, const char* name, std::vector<std::string> fields,
            std::vector<std::string> index_list, bool hide_deleted, bool auto_fix) {
  table.SetName(name);
  table.SetDbfFields(std::move(fields));
  table.SetIndexList(std::move(index_list));
  table.SetHideDeletedRecs(hide_deleted);
  table.SetAutoFixRecCount(auto_fix);
  table.SetExclusive(true);
  table.SetTableLanguage(TableLanguage::tlOem);
  table.SetCreateIndex(CreateIndexMode::ciNotFound);
  table.SetCreateIfNotFound(true);
}

void SetTrackFields(TTzTable& table, const NewTrack& track, int32_t id,
                    const std::string& filepath) {
  table.ClearRecord();
  table.SetFieldText("title", track.title);
  table.SetFieldText("filepath", filepath);
  table.SetFieldText("artist", track.artist);
  table.SetFieldText("album", track.album);
  table.SetFieldText("song", track.song);
  table.SetFieldText("asndx", SortKey(track.artist, track.song));
  table.SetFieldBool("include", true);
  table.SetFieldInt("unique_id", id);
  table.SetFieldInt("seconds", track.seconds);
}

}  // namespace

std::string SortKey(const std::string& artist, const std::string& song) {
  return PadOrCut(artist, 50) + PadOrCut(song, 50);
}

LibraryTables::LibraryTables() {
  Define(TrackDBF, "TrackDBF", TrackFieldLines(), {"ASNDX,F,F,asndx", ""}, true, true);
  Define(FeatureDBF, "FeatureDBF",
         {"unique_id, N, 10, 0", "f_column, N, 5, 0", "f_value, N, 18, 0"},
         {"UNIQUE_ID,F,F,unique_id", ""}, false, false);
  Define(AvgDBF, "AvgDBF", {"avg_column, N, 5, 0", "avg_value, N, 9, 0"}, {}, false, false);
  Define(ErrorDBF, "ErrorDBF", {"errndx, N, 10, 0", "errmsg, C, 254, 0"}, {}, false, false);
  TrackMem.SetName("TrackMem");
  TrackMem.SetDbfFields(TrackFieldLines());
  TrackMem.SetTableLanguage(TableLanguage::tlOem);
  TrackDBF.AfterEdit = [this](TTzTable&) { ++TrackMemStale; };
}

void LibraryTables::SetFileNames(const std::string& program_folder) {
  tables_folder_ = program_folder + "tables/";
  TrackDBF.SetDbfFileName(tables_folder_ + "track_id.dbf");
  FeatureDBF.SetDbfFileName(tables_folder_ + "feature_values.dbf");
  ErrorDBF.SetDbfFileName(tables_folder_ + "errors.dbf");
  AvgDBF.SetDbfFileName(tables_folder_ + "avg_array.dbf");
}

void LibraryTables::ReloadTrackMem() {
  if (!TrackMem.Active()) TrackMem.Open();
  TrackMem.Zap();
  TrackMem.AppendFrom(TrackDBF.DbfFileName());
  RebuildPathSet();
}

void LibraryTables::RebuildPathSet() {
  paths_.clear();
  paths_.reserve(static_cast<size_t>(TrackMem.RecCount()));
  for (TrackMem.First(); !TrackMem.Eof(); TrackMem.Next()) {
    paths_.insert(TrimTrailing(TrackMem.FieldText("filepath")));
  }
  TrackMem.First();
}

void LibraryTables::StoreTrack(const NewTrack& track) {
  const int32_t id = NextUniqueID;

  ++generation_;
  FeatureDBF.ALock();
  for (int column = 0; column < kFeatureColumns; ++column) {
    FeatureDBF.ClearRecord();
    FeatureDBF.SetFieldInt("unique_id", id);
    FeatureDBF.SetFieldInt("f_column", column);
    FeatureDBF.SetFieldInt("f_value", RoundToInt64(track.features[column]));
    FeatureDBF.AppendRec();
  }
  FeatureDBF.UnLock();
  FeatureDBF.FLock();
  FeatureDBF.FlushDbf();
  FeatureDBF.UnLock();

  const std::string trimmed_path = TrimTrailing(track.filepath);
  SetTrackFields(TrackMem, track, id, trimmed_path);
  TrackMem.AppendRec();
  TrackMem.Post();
  paths_.insert(TrimTrailing(TrackMem.FieldText("filepath")));

  // The appended row becomes the current row (the grid shows the new track).
  SetTrackFields(TrackDBF, track, id, track.filepath);
  TrackDBF.FLock();
  TrackDBF.AppendRec();
  TrackDBF.UnLock();

  ++NextUniqueID;
}

int64_t LibraryTables::RemoveUnfinishedTrack() {
  // In unique_id order the unfinished rows are the last ones.
  int64_t removed = 0;
  FeatureDBF.Last();
  while (FeatureDBF.RecNo() != 0 && FeatureDBF.FieldInt("unique_id") >= NextUniqueID) {
    FeatureDBF.DeleteRec();
    ++removed;
    FeatureDBF.Prior();
    if (FeatureDBF.Bof()) break;
  }
  if (removed > 0) {
    FeatureDBF.Pack();
    ++generation_;
  }
  return removed;
}

bool LibraryTables::UniqueTrack(const std::string& path) const {
  return paths_.find(path) == paths_.end();
}

void LibraryTables::IncludeAll() {
  TrackDBF.First();
  while (!TrackDBF.Eof()) {
    if (!TrackDBF.FieldBool("include")) {
      TrackDBF.SetFieldBool("include", true);
      TrackDBF.RLock();
      TrackDBF.ReplaceRec();
      TrackDBF.UnLock();
    }
    // include is not part of the sort key, so the row keeps its place and the walk goes on.
    TrackDBF.Next();
  }
  TrackDBF.Post();
  ReloadTrackMem();
  TrackDBF.First();
}

void LibraryTables::DeleteAll() {
  TrackDBF.FLock();
  TrackDBF.Zap();
  TrackDBF.UnLock();
  TrackMem.Zap();
  TrackMem.Post();
  paths_.clear();
  for (TTzDbf* table : {&FeatureDBF, &AvgDBF, &ErrorDBF}) {
    table->FLock();
    table->Zap();
    table->UnLock();
  }
  NextUniqueID = 0;
  ++generation_;
}

bool LibraryTables::ReadFeatures(int32_t unique_id, FeatureVector& values) {
  values.fill(0);
  if (!FeatureDBF.FindExact(std::to_string(unique_id))) return false;
  while (!FeatureDBF.Eof() && FeatureDBF.FieldInt("unique_id") == unique_id) {
    const int32_t column = FeatureDBF.FieldInt("f_column");
    if (column >= 0 && column < kFeatureColumns) values[column] = FeatureDBF.FieldInt("f_value");
    FeatureDBF.Next();
  }
  return true;
}

TrackRow LibraryTables::ReadTrackRow(const TTzTable& table) {
  TrackRow row;
  row.unique_id = table.FieldInt("unique_id");
  row.title = TrimTrailing(table.FieldText("title"));
  row.seconds = table.FieldInt("seconds");
  row.filepath = TrimTrailing(table.FieldText("filepath"));
  row.artist = TrimTrailing(table.FieldText("artist"));
  row.album = TrimTrailing(table.FieldText("album"));
  row.song = TrimTrailing(table.FieldText("song"));
  row.include = table.FieldBool("include");
  return row;
}

TrackRow LibraryTables::TrackRowAt(TTzTable& table, int64_t recno) {
  TrackRow row;
  row.unique_id = table.FieldIntAt(recno, "unique_id");
  row.title = TrimTrailing(table.FieldTextAt(recno, "title"));
  row.seconds = table.FieldIntAt(recno, "seconds");
  row.filepath = TrimTrailing(table.FieldTextAt(recno, "filepath"));
  row.artist = TrimTrailing(table.FieldTextAt(recno, "artist"));
  row.album = TrimTrailing(table.FieldTextAt(recno, "album"));
  row.song = TrimTrailing(table.FieldTextAt(recno, "song"));
  row.include = table.FieldBoolAt(recno, "include");
  return row;
}

void LibraryTables::CloseAll() {
  TrackDBF.Close();
  FeatureDBF.Close();
  ErrorDBF.Close();
  AvgDBF.Close();
  TrackMem.Close();
}

}  // namespace melodrift
