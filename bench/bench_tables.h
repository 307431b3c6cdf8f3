// The library's feature and track tables as the benchmarks use them: their definitions, and
// table files of any size written byte by byte. Writing the bytes directly is fast and keeps
// the fixtures independent of the layer under test; opening such a file through TTzDbf then
// builds its index.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "library/byte_order.h"
#include "library/code_page.h"
#include "library/dbf_field.h"
#include "library/dbf_header.h"
#include "library/indexing_view.h"
#include "library/table_file.h"
#include "library/tz_dbf.h"
#include "library/tz_vfile.h"

namespace melodrift::bench {

inline constexpr int kFeatureColumns = 256;

inline std::vector<std::string> FeatureDbfFields() {
  return {"unique_id, N, 10, 0", "f_column, N, 5, 0", "f_value, N, 18, 0"};
}

inline std::vector<std::string> TrackDbfFields() {
  return {"unique_id, N, 10, 0", "title, C, 254, 0",  "seconds, N, 10, 0",
          "filepath, C, 254, 0", "artist, C, 254, 0", "album, C, 254, 0",
          "song, C, 254, 0",     "include, L, 1, 0",  "asndx, C, 100, 0"};
}

inline void ConfigureFeatureTable(TTzDbf& table, const std::string& path) {
  table.SetDbfFileName(path);
  table.SetDbfFields(FeatureDbfFields());
  table.SetIndexList({"UNIQUE_ID,F,F,unique_id", ""});
  table.SetTableLanguage(TableLanguage::tlOem);
  table.SetExclusive(true);
  table.SetAutoFixRecCount(false);
  table.SetHideDeletedRecs(false);
}

inline void ConfigureTrackTable(TTzDbf& table, const std::string& path) {
  table.SetDbfFileName(path);
  table.SetDbfFields(TrackDbfFields());
  table.SetIndexList({"ASNDX,F,F,asndx", ""});
  table.SetTableLanguage(TableLanguage::tlOem);
  table.SetExclusive(true);
  table.SetAutoFixRecCount(true);
  table.SetHideDeletedRecs(true);
}

inline void ConfigureTrackMem(TTzVFile& table) {
  table.SetName("TrackMem");
  table.SetDbfFields(TrackDbfFields());
  table.SetTableLanguage(TableLanguage::tlOem);
}

// Index file beside a table file (the layer's default name for a lower-case table name).
inline std::string IndexPathOf(const std::string& dbf_path) {
  return dbf_path.substr(0, dbf_path.size() - 4) + ".mdx";
}

// Value stored in (track, column): fixed, so a reader can check what it got back. Kept below
// 10^9 because FieldInt reads 32-bit values.
inline int64_t FeatureValue(int64_t unique_id, int column) {
  uint64_t x =
      static_cast<uint64_t>(unique_id) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(column);
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  return static_cast<int64_t>(x % 1'000'000'000ull);
}

// Field positions of a table definition, as the layer lays them out.
class TableLayout {
 public:
  explicit TableLayout(const std::vector<std::string>& lines) {
    int offset = 1;
    for (const std::string& line : lines) {
      auto field = ParseFieldLine(line);
      if (!field) throw std::runtime_error("bad field line: " + line);
      field->offset = offset;
      offset += field->length;
      fields_.push_back(*field);
    }
    record_length_ = offset;
  }

  const std::vector<DbfField>& fields() const { return fields_; }
  int record_length() const { return record_length_; }
  // Prolog, one descriptor per field, terminator.
  int64_t header_length() const {
    return dbf::kPrologSize + dbf::kDescriptorSize * static_cast<int64_t>(fields_.size()) + 1;
  }
  const DbfField& Field(std::string_view name) const {
    const std::string wanted = NormalizeFieldName(name);
    for (const DbfField& f : fields_) {
      if (f.name == wanted) return f;
    }
    throw std::runtime_error("no field " + wanted);
  }
  // A record with every field blank (numbers as 0, logicals false).
  std::string BlankRecord() const {
    std::string record(static_cast<size_t>(record_length_), ' ');
    for (const DbfField& f : fields_) {
      if (f.type == 'N') EncodeInteger(0, f.decimals, record.data() + f.offset, f.length);
      if (f.type == 'L') EncodeBool(false, record.data() + f.offset);
    }
    return record;
  }

 private:
  std::vector<DbfField> fields_;
  int record_length_ = 0;
};

inline void PutInt(std::string& record, const DbfField& f, int64_t value) {
  EncodeInteger(value, f.decimals, record.data() + f.offset, f.length);
}
inline void PutText(std::string& record, const DbfField& f, std::string_view text) {
  EncodeText(text, record.data() + f.offset, f.length);
}

// Writes a table file: header, records (given in ANSI, stored in the OEM code page), then
// the record count and the end mark at Finish. Records are written in large blocks.
class RawTableWriter {
 public:
  RawTableWriter(const std::string& path, const TableLayout& layout) {
    auto opened = OpenPosixTableFile(path, {.create = true});
    if (!opened.file) throw std::runtime_error("cannot create " + path);
    file_ = std::move(opened.file);
    header_ = BuildDbfHeader(layout.fields(), layout.record_length(), true);
    SetPrologDate(header_.data());
    offset_ = static_cast<int64_t>(header_.size());
  }

  void Append(const std::string& ansi_record) {
    const size_t at = pending_.size();
    pending_ += ansi_record;
    AnsiToOemInPlace(reinterpret_cast<uint8_t*>(pending_.data()) + at + 1, ansi_record.size() - 1);
    ++count_;
    if (pending_.size() >= kBlockBytes) WritePending();
  }

  void Finish() {
    pending_.push_back(static_cast<char>(dbf::kEndOfFile));
    WritePending();
    PutU32(header_.data() + dbf::kRecordCountOffset, count_);
    Write(0, header_.data(), header_.size());
  }

 private:
  static constexpr size_t kBlockBytes = 4 << 20;

  void WritePending() {
    Write(offset_, pending_.data(), pending_.size());
    offset_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
  }
  void Write(int64_t at, const void* bytes, size_t n) {
    if (file_->WriteAt(at, bytes, n) != 0) throw std::runtime_error("fixture write failed");
  }

  std::unique_ptr<TableFile> file_;
  std::vector<uint8_t> header_;
  std::string pending_;
  int64_t offset_ = 0;
  uint32_t count_ = 0;
};

// Feature table of `tracks` tracks with unique_id 1..tracks, 256 rows each in column order.
inline void WriteFeatureTable(const std::string& path, int tracks) {
  const TableLayout layout(FeatureDbfFields());
  const DbfField& id_field = layout.Field("unique_id");
  const DbfField& column_field = layout.Field("f_column");
  const DbfField& value_field = layout.Field("f_value");
  RawTableWriter writer(path, layout);
  std::string record = layout.BlankRecord();
  for (int64_t id = 1; id <= tracks; ++id) {
    PutInt(record, id_field, id);
    for (int column = 0; column < kFeatureColumns; ++column) {
      PutInt(record, column_field, column);
      PutInt(record, value_field, FeatureValue(id, column));
      writer.Append(record);
    }
  }
  writer.Finish();
}

// Made-up names from syllables, some with ISO-8859-1 letters so the code page matters.
class NameMaker {
 public:
  explicit NameMaker(uint32_t seed) : random_(seed) {}

  std::string Words(int min_words, int max_words) {
    static constexpr const char* kSyllables[] = {
        "ka", "lo", "mi", "ra",    "ne", "tu", "vi",    "so", "da", "el", "\xE9n", "or",
        "ba", "zi", "qu", "\xF8r", "an", "ti", "wa",    "ch", "ri", "mo", "\xFCs", "fa",
        "ge", "ho", "ja", "ly",    "pe", "xo", "\xE5l", "ce", "du", "ix", "nu",    "sa"};
    constexpr int kCount = static_cast<int>(std::size(kSyllables));
    std::string text;
    const int words = Between(min_words, max_words);
    for (int w = 0; w < words; ++w) {
      if (w > 0) text += ' ';
      const size_t start = text.size();
      const int syllables = Between(1, 4);
      for (int s = 0; s < syllables; ++s) text += kSyllables[Between(0, kCount - 1)];
      text[start] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[start])));
    }
    return text;
  }

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  std::mt19937 random_;
};

// Track table of `rows` tracks by 500 artists (ten albums each), with varied song names.
inline void WriteTrackTable(const std::string& path, int rows) {
  constexpr int kArtists = 500;
  constexpr int kAlbumsPerArtist = 10;
  const TableLayout layout(TrackDbfFields());
  NameMaker names(20240601);
  std::vector<std::string> artists;
  std::vector<std::string> albums;
  for (int a = 0; a < kArtists; ++a) {
    artists.push_back(names.Words(1, 3));
    for (int b = 0; b < kAlbumsPerArtist; ++b) albums.push_back(names.Words(1, 4));
  }
  const DbfField& id = layout.Field("unique_id");
  const DbfField& title = layout.Field("title");
  const DbfField& seconds = layout.Field("seconds");
  const DbfField& filepath = layout.Field("filepath");
  const DbfField& artist_field = layout.Field("artist");
  const DbfField& album_field = layout.Field("album");
  const DbfField& song_field = layout.Field("song");
  const DbfField& include = layout.Field("include");
  const DbfField& asndx = layout.Field("asndx");
  RawTableWriter writer(path, layout);
  for (int row = 0; row < rows; ++row) {
    const int a = names.Between(0, kArtists - 1);
    const std::string& artist = artists[static_cast<size_t>(a)];
    const std::string& album =
        albums[static_cast<size_t>(a * kAlbumsPerArtist + names.Between(0, kAlbumsPerArtist - 1))];
    const std::string song = names.Words(1, 5);
    std::string record = layout.BlankRecord();
    PutInt(record, id, row + 1);
    PutText(record, title, song);
    PutInt(record, seconds, names.Between(60, 900));
    PutText(record, filepath, "/home/listener/Music/" + artist + "/" + album + "/" + song + ".mp3");
    PutText(record, artist_field, artist);
    PutText(record, album_field, album);
    PutText(record, song_field, song);
    EncodeBool(names.Between(0, 9) != 0, record.data() + include.offset);
    PutText(record, asndx, PadOrCut(artist, 50) + PadOrCut(song, 50));
    writer.Append(record);
  }
  writer.Finish();
}

// Counts index builds while it lives, so a benchmark can tell that an index it meant to
// reuse was rebuilt instead.
class IndexBuildCounter final : public IndexingView {
 public:
  IndexBuildCounter() : previous_(SetIndexingView(this)) {}
  ~IndexBuildCounter() override { SetIndexingView(previous_); }
  IndexBuildCounter(const IndexBuildCounter&) = delete;
  IndexBuildCounter& operator=(const IndexBuildCounter&) = delete;

  int builds() const { return builds_; }
  void BeginIndexing(const std::string&) override { ++builds_; }
  void ShowIndexingBar(const std::string&) override {}
  void EndIndexing() override {}

 private:
  IndexingView* previous_;
  int builds_ = 0;
};

// Opens and closes a table once, so that its index is built and left valid on disk.
inline void BuildIndexOnce(TTzDbf& table) {
  table.Open();
  table.Close();
}

// A feature table of `tracks` tracks with its index, in a folder of its own.
struct IndexedFeatureTable {
  explicit IndexedFeatureTable(int tracks) {
    WriteFeatureTable(table_path, tracks);
    TTzDbf table;
    ConfigureFeatureTable(table, table_path);
    BuildIndexOnce(table);
  }

  BenchFolder folder;
  std::string table_path = folder.File("feature_values.dbf");
};

// What Pack (one pass over the records) and AppendFrom (one copy of them) read at least.
void ReadTwice(const std::string& path) {
  auto opened = OpenPosixTableFile(path, {.read_only = true});
  Require(opened.file != nullptr, "table opened for the baseline");
  TableFile& file = *opened.file;
  std::vector<uint8_t> block(1 << 20);
  for (int64_t at = 0;; at += static_cast<int64_t>(block.size())) {
    const int64_t got = file.ReadAt(at, block.data(), block.size());
    Require(got >= 0, "baseline read");
    benchmark::DoNotOptimize(block.data());
    if (got < static_cast<int64_t>(block.size())) break;
  }
  std::vector<uint8_t> copy;
  copy.reserve(static_cast<size_t>(file.Size()));
  for (int64_t at = 0;; at += static_cast<int64_t>(block.size())) {
    const int64_t got = file.ReadAt(at, block.data(), block.size());
    Require(got >= 0, "baseline read");
    copy.insert(copy.end(), block.begin(), block.begin() + got);
    if (got < static_cast<int64_t>(block.size())) break;
  }
  benchmark::DoNotOptimize(copy.data());
}

}  // namespace melodrift::bench
