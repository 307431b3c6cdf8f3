#include "library/library_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "library/code_page.h"
#include "library/dbf_source.h"
#include "library/library_tables.h"
#include "library/mdx_index.h"
#include "library/table_error.h"
#include "library/table_file.h"

namespace melodrift {

namespace {

struct LibraryTableDef {
  const char* file;
  std::vector<std::string> fields;  // "name, type, length, decimals"
  const char* tag;                  // index tag, or null
  const char* key;                  // its key field
  bool auto_fix;                    // record count from the file size
};

std::vector<LibraryTableDef> LibraryTableDefs() {
  return {
      {"track_id.dbf",
       {"unique_id, N, 10, 0", "title, C, 254, 0", "seconds, N, 10, 0", "filepath, C, 254, 0",
        "artist, C, 254, 0", "album, C, 254, 0", "song, C, 254, 0", "include, L, 1, 0",
        "asndx, C, 100, 0"},
       "ASNDX",
       "asndx",
       true},
      {"feature_values.dbf",
       {"unique_id, N, 10, 0", "f_column, N, 5, 0", "f_value, N, 18, 0"},
       "UNIQUE_ID",
       "unique_id",
       false},
      {"avg_array.dbf", {"avg_column, N, 5, 0", "avg_value, N, 9, 0"}, nullptr, nullptr, false},
      {"errors.dbf", {"errndx, N, 10, 0", "errmsg, C, 254, 0"}, nullptr, nullptr, false},
  };
}

// One table read from disk: its layout and its records (stored bytes).
struct LoadedTable {
  std::unique_ptr<DbfSource> source;
  std::vector<uint8_t> records;
  int64_t count = 0;
  int length = 0;

  const uint8_t* Record(int64_t recno) const {
    return records.data() + static_cast<size_t>(recno - 1) * static_cast<size_t>(length);
  }
  const DbfField* Field(const std::string& name) const {
    const std::string wanted = NormalizeFieldName(name);
    for (const DbfField& f : source->fields())
      if (f.name == wanted) return &f;
    return nullptr;
  }
  int32_t Int(int64_t recno, const DbfField& f) const {
    return DecodeInteger(std::string_view(reinterpret_cast<const char*>(Record(recno)) + f.offset,
                                          static_cast<size_t>(f.length)));
  }
  std::string Text(int64_t recno, const DbfField& f) const {
    return std::string(reinterpret_cast<const char*>(Record(recno)) + f.offset,
                       static_cast<size_t>(f.length));
  }
  bool Deleted(int64_t recno) const { return Record(recno)[0] == '*'; }
};

// A folder or other non-file where a table or index file belongs: unlike a missing file, the
// next start cannot create it and fails.
bool SomethingElseAt(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string Describe(const DbfField& f) {
  return f.name + " " + f.type + " " + std::to_string(f.length) + "," + std::to_string(f.decimals);
}

class Checker {
 public:
  explicit Checker(std::string folder) : folder_(std::move(folder)) {}

  LibraryCheckReport Run() {
    for (const LibraryTableDef& table_def : LibraryTableDefs()) Lock(table_def);
    for (const LibraryTableDef& table_def : LibraryTableDefs()) Load(table_def);
    CheckTracksAndFeatures();
    CheckAverage();
    for (const LibraryTableDef& table_def : LibraryTableDefs())
      if (table_def.tag != nullptr) CheckIndex(table_def);
    return report_;
  }

 private:
  void Fail(std::string text) { report_.failures.push_back(std::move(text)); }
  void Note(std::string text) { report_.notes.push_back(std::move(text)); }

  // The same exclusive lock as the program's, held for the whole check.
  void Lock(const LibraryTableDef& table_def) {
    const std::string path = folder_ + table_def.file;
    if (!FileExists(path)) return;
    auto opened = OpenTableFile(path, {.exclusive = true, .read_only = true});
    if (!opened.file) {
      RaiseTableError(TableErrorCodeFromErrno(opened.error, path, table_error::kAccessDenied),
                      "Failure to open " + path + " [USE/OpenDbf]");
    }
    locks_.push_back(std::move(opened.file));
  }

  void Load(const LibraryTableDef& table_def) {
    const std::string path = folder_ + table_def.file;
    LoadedTable& table = tables_[table_def.file];
    if (!FileExists(path)) {
      if (SomethingElseAt(path)) {
        Fail(std::string(table_def.file) +
             ": not a file; the program can neither open nor create it");
      } else {
        Note(std::string(table_def.file) + ": missing (created empty at the next start)");
      }
      return;
    }
    try {
      ScopedThrowingTableErrors throwing;
      table.source = std::make_unique<DbfSource>(
          path, table_def.auto_fix ? std::numeric_limits<int64_t>::max() : -1);
      table.length = table.source->record_length();
      table.count = table.source->record_count();
      table.records.reserve(static_cast<size_t>(table.count) * static_cast<size_t>(table.length));
      table.source->Scan([&](int64_t, const uint8_t* record) {
        table.records.insert(table.records.end(), record, record + table.length);
      });
    } catch (const TableFatalError& e) {
      Fail(std::string(table_def.file) + ": " + e.error().BoxText());
      table.source.reset();
      return;
    }
    const std::vector<DbfField>& fields = table.source->fields();
    bool layout_ok = fields.size() == table_def.fields.size();
    for (size_t i = 0; layout_ok && i < fields.size(); ++i) {
      auto want = ParseFieldLine(table_def.fields[i]);
      layout_ok = want && want->name == fields[i].name && want->type == fields[i].type &&
                  want->length == fields[i].length && want->decimals == fields[i].decimals;
    }
    if (!layout_ok) {
      std::string found;
      for (const DbfField& f : fields) found += (found.empty() ? "" : "; ") + Describe(f);
      Fail(std::string(table_def.file) + ": fields are not the library's (" + found + ")");
      table.source.reset();
      return;
    }
    const uint32_t stored = table.source->header().stored_record_count;
    if (table_def.auto_fix && stored != table.count) {
      Note(std::string(table_def.file) + ": header counts " + std::to_string(stored) +
           " rows, the file holds " + std::to_string(table.count) +
           " (rows written after the last header write; counted at the next start)");
    }
  }

  bool Usable(const char* file) const {
    auto it = tables_.find(file);
    return it != tables_.end() && it->second.source != nullptr;
  }

  void CheckTracksAndFeatures() {
    if (!Usable("track_id.dbf") || !Usable("feature_values.dbf")) return;
    const LoadedTable& tracks = tables_["track_id.dbf"];
    const LoadedTable& features = tables_["feature_values.dbf"];
    const DbfField& id = *tracks.Field("unique_id");
    const DbfField& artist = *tracks.Field("artist");
    const DbfField& song = *tracks.Field("song");
    const DbfField& asndx = *tracks.Field("asndx");

    std::map<int32_t, int64_t> track_ids;  // unique_id -> row
    for (int64_t r = 1; r <= tracks.count; ++r) {
      if (tracks.Deleted(r)) continue;
      const int32_t uid = tracks.Int(r, id);
      if (uid < 0) Fail("track_id.dbf row " + std::to_string(r) + ": negative unique_id");
      auto [it, fresh] = track_ids.emplace(uid, r);
      if (!fresh)
        Fail("track_id.dbf rows " + std::to_string(it->second) + " and " + std::to_string(r) +
             " share unique_id " + std::to_string(uid));
      const std::string key =
          SortKey(TrimTrailing(tracks.Text(r, artist)), TrimTrailing(tracks.Text(r, song)));
      if (tracks.Text(r, asndx) != key)
        Fail("track_id.dbf row " + std::to_string(r) + ": asndx is not artist and song");
    }

    const DbfField& fid = *features.Field("unique_id");
    const DbfField& column = *features.Field("f_column");
    std::map<int32_t, std::vector<int>> columns;  // unique_id -> rows per column
    for (int64_t r = 1; r <= features.count; ++r) {
      if (features.Deleted(r)) continue;
      std::vector<int>& seen = columns[features.Int(r, fid)];
      if (seen.empty()) seen.assign(kFeatureColumns, 0);
      const int32_t c = features.Int(r, column);
      if (c < 0 || c >= kFeatureColumns) {
        Fail("feature_values.dbf row " + std::to_string(r) + ": f_column " + std::to_string(c) +
             " is outside 0 to 255");
      } else {
        ++seen[static_cast<size_t>(c)];
      }
    }
    for (const auto& [uid, row] : track_ids) {
      auto it = columns.find(uid);
      if (it == columns.end()) {
        Fail("track " + std::to_string(uid) + " (track_id.dbf row " + std::to_string(row) +
             ") has no feature rows");
        continue;
      }
      const std::vector<int>& seen = it->second;
      if (std::any_of(seen.begin(), seen.end(), [](int n) { return n != 1; }))
        Fail("track " + std::to_string(uid) + " does not have exactly one feature row per column");
    }
    for (const auto& [uid, seen] : columns) {
      if (track_ids.count(uid) == 0)
        Fail("feature rows of unique_id " + std::to_string(uid) + " belong to no track");
    }
  }

  void CheckAverage() {
    if (!Usable("avg_array.dbf")) return;
    const LoadedTable& avg = tables_["avg_array.dbf"];
    if (avg.count != 0 && avg.count != kFeatureColumns) {
      Fail("avg_array.dbf holds " + std::to_string(avg.count) + " rows, not 0 or 256");
      return;
    }
    const DbfField& column = *avg.Field("avg_column");
    for (int64_t r = 1; r <= avg.count; ++r) {
      if (avg.Int(r, column) != r - 1) {
        Fail("avg_array.dbf row " + std::to_string(r) + " is not column " + std::to_string(r - 1));
        return;
      }
    }
  }

  void CheckIndex(const LibraryTableDef& table_def) {
    if (!Usable(table_def.file)) return;
    const LoadedTable& table = tables_[table_def.file];
    const std::string dbf = folder_ + table_def.file;
    const std::string mdx = dbf.substr(0, dbf.size() - 4) + ".mdx";
    if (!FileExists(mdx)) {
      if (SomethingElseAt(mdx)) {
        Fail(mdx + ": not a file; the program can neither open nor build it");
      } else {
        Note(mdx + ": missing (built at the next start)");
      }
      return;
    }
    auto resolve = [&](const std::string& expression, MdxTagDef& tag) {
      const DbfField* f = table.Field(expression);
      if (f == nullptr) return false;
      tag.expression = f->name;
      tag.key_type =
          f->type == 'N' || f->type == 'F' ? MdxKeyType::kNumeric : MdxKeyType::kCharacter;
      tag.field_offset = f->offset;
      tag.field_length = f->length;
      return true;
    };
    MdxTagDef expected;
    expected.name = table_def.tag;
    resolve(table_def.key, expected);
    std::vector<MdxTagDef> tags{expected};
    std::string why;
    std::unique_ptr<MdxIndex> index =
        MdxIndex::Open(mdx, &tags, resolve, static_cast<uint32_t>(table.count), &why);
    if (!index) {
      Fail(mdx + ": " + why + " (rebuilt at the next start)");
      return;
    }
    // Every record once, each under its own key, in key order.
    const bool numeric = index->tags().front().key_type == MdxKeyType::kNumeric;
    auto compare = [numeric](const std::string& a, const std::string& b) {
      if (!numeric) return a.compare(b);
      return CompareNumericKeys(reinterpret_cast<const uint8_t*>(a.data()),
                                reinterpret_cast<const uint8_t*>(b.data()));
    };
    try {
      std::vector<bool> seen(static_cast<size_t>(table.count) + 1, false);
      std::string previous;
      int64_t entries = 0;
      for (bool ok = index->First(); ok; ok = index->Next()) {
        const uint32_t r = index->CursorRecNo();
        const std::string key(index->CursorKey());
        if (r < 1 || r > table.count || seen[r]) {
          Fail(mdx + ": entry for record " + std::to_string(r) + " is out of range or repeated");
          return;
        }
        seen[r] = true;
        if (compare(index->KeyOfRecord(table.Record(r)), key) != 0) {
          Fail(mdx + ": the key of record " + std::to_string(r) + " differs from the record");
          return;
        }
        if (entries > 0 && compare(previous, key) > 0) {
          Fail(mdx + ": keys are out of order at record " + std::to_string(r));
          return;
        }
        previous = key;
        ++entries;
      }
      if (entries != table.count)
        Fail(mdx + ": " + std::to_string(entries) + " keys for " + std::to_string(table.count) +
             " records");
    } catch (const MdxDamaged& e) {
      Fail(mdx + ": " + e.what());
    }
  }

  std::string folder_;
  LibraryCheckReport report_;
  std::vector<std::unique_ptr<TableFile>> locks_;
  std::map<std::string, LoadedTable> tables_;
};

}  // namespace

LibraryCheckReport CheckLibrary(const std::string& tables_folder) {
  return Checker(tables_folder).Run();
}

}  // namespace melodrift
