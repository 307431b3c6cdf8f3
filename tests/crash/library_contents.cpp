#include "tests/crash/library_contents.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <sstream>

#include "app/library_opening.h"
#include "library/dbf_field.h"
#include "library/library_tables.h"
#include "library/table_error.h"

namespace melodrift::crash {

namespace {

namespace fs = std::filesystem;

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string_view::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

bool ParseInt(std::string_view text, int32_t& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string UnescapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c);
  }
  return out;
}

std::optional<std::vector<ListedTrack>> ParseTrackListing(const std::string& text,
                                                          std::string* why) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.rfind("unique_id\t", 0) != 0) {
    *why = "no heading line";
    return std::nullopt;
  }
  std::vector<ListedTrack> rows;
  while (std::getline(in, line)) {
    const auto f = SplitTabs(line);
    ListedTrack row;
    if (f.size() != 7 || !ParseInt(f[0], row.unique_id) || !ParseInt(f[1], row.seconds) ||
        (f[5] != "T" && f[5] != "F")) {
      *why = "not a track row: " + line;
      return std::nullopt;
    }
    row.artist = UnescapeField(f[2]);
    row.album = UnescapeField(f[3]);
    row.song = UnescapeField(f[4]);
    row.include = f[5] == "T";
    row.filepath = UnescapeField(f[6]);
    rows.push_back(std::move(row));
  }
  return rows;
}

StoredLibrary ReadLibraryCopy(const std::string& tables_folder,
                              const std::string& scratch_program_folder) {
  const fs::path copy = fs::path(scratch_program_folder) / "tables";
  fs::remove_all(copy);
  fs::create_directories(copy);
  for (const auto& entry : fs::directory_iterator(tables_folder)) {
    if (entry.is_regular_file()) fs::copy_file(entry.path(), copy / entry.path().filename());
  }

  ScopedThrowingTableErrors throwing;
  LibraryTables tables;
  tables.SetFileNames(scratch_program_folder);
  StoredLibrary stored;
  NoEventPump pump;
  RandomSource random;
  SilentOpeningView view;
  OpenLibrary(tables, stored.average, pump, random, view);
  for (int64_t recno : tables.TrackDBF.RecNosInOrder()) {
    const int32_t id = LibraryTables::TrackRowAt(tables.TrackDBF, recno).unique_id;
    FoundFeatures& found = stored.features[id];
    std::array<int, kFeatureColumns> seen{};
    TTzDbf& rows = tables.FeatureDBF;
    for (bool hit = rows.FindExact(std::to_string(id));
         hit && !rows.Eof() && rows.FieldInt("unique_id") == id; rows.Next()) {
      ++found.rows;
      const int32_t column = rows.FieldInt("f_column");
      if (column < 0 || column >= kFeatureColumns || seen[static_cast<size_t>(column)]++ > 0) {
        found.one_per_column = false;
        continue;
      }
      found.values[static_cast<size_t>(column)] = rows.FieldInt("f_value");
    }
    found.one_per_column = found.one_per_column && found.rows == kFeatureColumns;
  }
  for (tables.ErrorDBF.First(); !tables.ErrorDBF.Eof(); tables.ErrorDBF.Next())
    stored.error_messages.push_back(TrimTrailing(tables.ErrorDBF.FieldText("errmsg")));
  tables.CloseAll();
  return stored;
}

}  // namespace melodrift::crash
