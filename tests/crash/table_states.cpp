#include "tests/crash/table_states.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "library/byte_order.h"
#include "library/dbf_field.h"
#include "library/dbf_header.h"
#include "library/mdx_layout.h"

namespace melodrift::crash {

namespace {

std::optional<std::vector<uint8_t>> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A table file as its bytes say: the header's count against the records the file holds.
struct RawTable {
  std::vector<uint8_t> bytes;
  int header_length = 0;
  int record_length = 0;
  int64_t header_count = 0;
  int64_t whole_records = 0;
  int64_t leftover = 0;  // bytes after the whole records (1 is the end-of-file mark)
  int id_offset = -1;    // offset of the unique_id field, when the table has one
  int id_length = 0;

  int32_t Id(int64_t recno) const {
    const auto* record = bytes.data() + header_length + (recno - 1) * record_length;
    return DecodeInteger(std::string_view(reinterpret_cast<const char*>(record) + id_offset,
                                          static_cast<size_t>(id_length)));
  }
  bool Deleted(int64_t recno) const {
    return bytes[static_cast<size_t>(header_length + (recno - 1) * record_length)] == '*';
  }
};

std::optional<RawTable> ReadTable(const std::string& path) {
  auto bytes = ReadAll(path);
  if (!bytes || bytes->size() < static_cast<size_t>(dbf::kPrologSize)) return std::nullopt;
  RawTable t;
  t.bytes = std::move(*bytes);
  t.header_count = GetU32(t.bytes.data() + dbf::kRecordCountOffset);
  t.header_length = GetU16(t.bytes.data() + dbf::kHeaderLengthOffset);
  t.record_length = GetU16(t.bytes.data() + dbf::kRecordLengthOffset);
  if (t.record_length == 0 || t.bytes.size() < static_cast<size_t>(t.header_length))
    return std::nullopt;
  const auto body = static_cast<int64_t>(t.bytes.size()) - t.header_length;
  t.whole_records = body / t.record_length;
  t.leftover = body % t.record_length;
  int offset = 1;
  for (int d = dbf::kPrologSize; d + dbf::kDescriptorSize < t.header_length;
       d += dbf::kDescriptorSize) {
    const char* name = reinterpret_cast<const char*>(t.bytes.data() + d);
    const int length = t.bytes[static_cast<size_t>(d) + 16];
    if (std::string_view(name, ::strnlen(name, 11)) == "UNIQUE_ID") {
      t.id_offset = offset;
      t.id_length = length;
    }
    offset += length;
  }
  return t;
}

// Whole records the program counts at its next start (the track table counts from the size).
int64_t CountedRecords(const RawTable& t, bool count_from_size) {
  return count_from_size ? t.whole_records : std::min(t.header_count, t.whole_records);
}

void TableStates(const std::string& name, const std::optional<RawTable>& t, bool count_from_size,
                 std::set<std::string>& states) {
  if (!t) {
    states.insert(name + ": missing or unreadable");
    return;
  }
  if (t->header_count < t->whole_records)
    states.insert(name + ": header count lags the records written");
  if (t->header_count > t->whole_records)
    states.insert(name + ": header count beyond the records in the file");
  if (t->leftover > 1) states.insert(name + ": last record partly written");
  const int64_t counted = CountedRecords(*t, count_from_size);
  for (int64_t r = 1; r <= counted; ++r) {
    if (t->Deleted(r)) {
      states.insert(name + ": rows flagged deleted, not yet packed");
      break;
    }
  }
}

void IndexStates(const std::string& name, const std::string& path, int64_t table_records,
                 std::set<std::string>& states) {
  auto bytes = ReadAll(path);
  if (!bytes) {
    states.insert(name + ": missing");
    return;
  }
  if (bytes->size() < mdx::kHeaderSize) {
    states.insert(name + ": shorter than its header");
    return;
  }
  const uint8_t* h = bytes->data();
  if (GetU32(h + mdx::kHdrPageCount) * uint64_t{mdx::kPageSize} > bytes->size())
    states.insert(name + ": shorter than its page count (a build cut short)");
  if (h[mdx::kHdrConsistent] != 1)
    states.insert(name + ": consistent mark cleared (a flush cut short)");
  if (GetU32(h + mdx::kHdrKeyCounts) != table_records)
    states.insert(name + ": key count differs from the table's records");
}

}  // namespace

std::set<std::string> FindHalfWrittenStates(const std::string& program_folder) {
  const std::string folder = program_folder + "tables/";
  std::set<std::string> states;
  const auto tracks = ReadTable(folder + "track_id.dbf");
  const auto features = ReadTable(folder + "feature_values.dbf");
  const auto average = ReadTable(folder + "avg_array.dbf");
  const auto errors = ReadTable(folder + "errors.dbf");
  TableStates("track table", tracks, true, states);
  TableStates("feature table", features, false, states);
  TableStates("average table", average, false, states);
  TableStates("error log", errors, false, states);
  if (average && average->header_count == 0) states.insert("average table: empty");

  if (tracks && features && tracks->id_offset > 0 && features->id_offset > 0) {
    std::set<int32_t> track_ids;
    for (int64_t r = 1; r <= tracks->whole_records; ++r) track_ids.insert(tracks->Id(r));
    const int64_t counted = CountedRecords(*features, false);
    for (int64_t r = 1; r <= counted; ++r) {
      if (!features->Deleted(r) && track_ids.count(features->Id(r)) == 0) {
        states.insert("feature rows without their track row");
        break;
      }
    }
  }
  if (tracks) IndexStates("track index", folder + "track_id.mdx", tracks->whole_records, states);
  if (features)
    IndexStates("feature index", folder + "feature_values.mdx", features->header_count, states);

  std::ifstream wav(program_folder + "xxxyyzzz.wav");
  if (wav) states.insert("temporary WAV file left behind");
  return states;
}

}  // namespace melodrift::crash
