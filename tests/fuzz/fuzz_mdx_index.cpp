// A production index of arbitrary bytes beside a small valid table: opened with the table's
// tags and with the file's own, every tag walked both ways and sought by every record's key,
// changed by an insert and an update, flushed and opened again; then the same file under the
// table, which must repair or ignore whatever is wrong with it. MdxDamaged and a refused
// open are expected ends; a crash, a hang, or a table stopped by its index is a fault.
#include <string>
#include <vector>

#include "library/dbf_field.h"
#include "library/dbf_header.h"
#include "library/mdx_index.h"
#include "library/table_error.h"
#include "library/tz_dbf.h"
#include "tests/fuzz/fixture_table.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/memory_table_files.h"
#include "tests/support/temp_dir.h"

namespace {

using melodrift::DbfField;
using melodrift::MdxDamaged;
using melodrift::MdxIndex;
using melodrift::MdxTagDef;
using Record = std::vector<uint8_t>;

constexpr const char* kMemoryIndex = "/melodrift-fuzz-memory/fixture.mdx";

struct Fixture {
  melodrift::testing::TempDir dir;
  std::string dbf_path = dir.File("fixture.dbf");
  std::string mdx_path = dir.File("fixture.mdx");
  std::vector<uint8_t> dbf_bytes;
  std::vector<DbfField> fields;
  std::vector<MdxTagDef> tags;  // as the table names them, resolved
  std::vector<Record> records;  // stored bytes of records 1 to n
  Record inserted;              // record n + 1
  Record updated;               // record 2 after a change of both keys
  melodrift::MdxFieldResolver resolve;
};

bool Resolve(const std::vector<DbfField>& fields, const std::string& expression, MdxTagDef& tag) {
  const std::string name = melodrift::NormalizeFieldName(expression);
  for (const DbfField& f : fields) {
    if (f.name != name) continue;
    tag.key_type =
        f.type == 'N' ? melodrift::MdxKeyType::kNumeric : melodrift::MdxKeyType::kCharacter;
    tag.field_offset = f.offset;
    tag.field_length = f.length;
    return true;
  }
  return false;
}

Record WithKeys(const Fixture& fx, Record record, int id, const std::string& key) {
  char* bytes = reinterpret_cast<char*>(record.data());
  melodrift::EncodeInteger(id, 0, bytes + fx.fields[0].offset, fx.fields[0].length);
  melodrift::EncodeText(key, bytes + fx.fields[1].offset, fx.fields[1].length);
  return record;
}

Fixture* MakeFixture() {
  auto* fx = new Fixture;
  melodrift::fuzz::WriteFixtureTable(fx->dbf_path);
  const std::string bytes = melodrift::testing::ReadFileBytes(fx->dbf_path);
  fx->dbf_bytes.assign(bytes.begin(), bytes.end());
  auto opened = melodrift::OpenPosixTableFile(fx->dbf_path, {.read_only = true});
  FUZZ_CHECK(opened.file != nullptr);
  const melodrift::DbfHeader header = melodrift::ReadDbfHeader(*opened.file, fx->dbf_path);
  fx->fields = header.fields;
  for (uint32_t r = 0; r < header.stored_record_count; ++r) {
    const auto* at = fx->dbf_bytes.data() + header.header_length + r * header.record_length;
    fx->records.emplace_back(at, at + header.record_length);
  }
  fx->resolve = [fields = fx->fields](const std::string& e, MdxTagDef& t) {
    return Resolve(fields, e, t);
  };
  const std::vector<std::string> list = melodrift::fuzz::FixtureIndexList();
  for (size_t i = 0; i < list.size(); i += 2) {
    MdxTagDef tag;
    const size_t c1 = list[i].find(','), c2 = list[i].find(',', c1 + 1),
                 c3 = list[i].find(',', c2 + 1);
    tag.name = list[i].substr(0, c1);
    tag.descending = list[i][c1 + 1] == 'T';
    tag.unique = list[i][c2 + 1] == 'T';
    tag.expression = melodrift::NormalizeFieldName(list[i].substr(c3 + 1));
    FUZZ_CHECK(Resolve(fx->fields, tag.expression, tag));
    fx->tags.push_back(tag);
  }
  fx->inserted = WithKeys(*fx, fx->records[0], 9, "Epsilon");
  fx->updated = WithKeys(*fx, fx->records[1], 8, "Zeta");
  return fx;
}

const Fixture& TheFixture() {
  static const Fixture* fx = MakeFixture();  // kept to the end: its folder goes with the process
  return *fx;
}

uint32_t RecordCount(const Fixture& fx) {
  return static_cast<uint32_t>(fx.records.size());
}

// Numeric keys are equal by value: a file may hold another form of the same number.
bool SameKey(const MdxIndex& index, std::string_view a, std::string_view b) {
  if (index.tags()[index.current_tag()].key_type != melodrift::MdxKeyType::kNumeric) return a == b;
  return a.size() == b.size() &&
         melodrift::CompareNumericKeys(reinterpret_cast<const uint8_t*>(a.data()),
                                       reinterpret_cast<const uint8_t*>(b.data())) == 0;
}

// Every tag forwards, backwards and sought by each record's key and entry. No tree in a file
// of `size` bytes holds more than `limit` entries, so a longer walk is a loop.
void WalkIndex(MdxIndex& index, const Fixture& fx, uint32_t record_count, size_t limit) {
  size_t key_length = 0;
  auto check_cursor = [&] {
    FUZZ_CHECK(index.CursorValid());
    FUZZ_CHECK(index.CursorRecNo() >= 1 && index.CursorRecNo() <= record_count);
    FUZZ_CHECK(index.CursorKey().size() == key_length);
  };
  for (size_t tag = 0; tag < index.tags().size(); ++tag) {
    index.SetCurrentTag(tag);
    key_length = index.KeyOfRecord(fx.records[0].data()).size();
    size_t forwards = 0, backwards = 0;
    for (bool ok = index.First(); ok; ok = index.Next()) {
      FUZZ_CHECK(++forwards <= limit);
      check_cursor();
    }
    for (bool ok = index.Last(); ok; ok = index.Prior()) {
      FUZZ_CHECK(++backwards <= limit);
      check_cursor();
    }
    FUZZ_CHECK(forwards == backwards);
    // The first records, a deleted one and the last: equal keys, a lone key, the end.
    for (uint32_t r : {1u, 2u, 3u, 4u, RecordCount(fx)}) {
      const uint8_t* record = fx.records[r - 1].data();
      if (index.SeekEntry(r, record)) {
        check_cursor();
        FUZZ_CHECK(index.CursorRecNo() == r);
        FUZZ_CHECK(SameKey(index, index.CursorKey(), index.KeyOfRecord(record)));
      }
      if (index.SeekAtLeast(index.KeyOfRecord(record))) check_cursor();
    }
    for (const char* text : {"", "Alpha", "-7", "ZZZZZZZZ", "\xff\xff\xff"}) {
      if (index.SeekAtLeast(index.MakeSearchKey(text))) check_cursor();
    }
  }
}

// Open, walk, change and flush; what was flushed must open again.
void ExerciseIndex(const std::vector<uint8_t>& bytes, const std::vector<MdxTagDef>* expected,
                   size_t limit) {
  const Fixture& fx = TheFixture();
  melodrift::fuzz::MemoryTableFiles files;
  files.Put(kMemoryIndex, bytes);
  std::string why;
  std::unique_ptr<MdxIndex> index =
      MdxIndex::Open(kMemoryIndex, expected, fx.resolve, RecordCount(fx), &why);
  if (!index) {
    FUZZ_CHECK(!why.empty());
    return;
  }
  try {
    WalkIndex(*index, fx, RecordCount(fx), limit);
    index->InsertRecord(RecordCount(fx) + 1, fx.inserted.data());
    index->UpdateRecord(2, fx.records[1].data(), fx.updated.data());
    WalkIndex(*index, fx, RecordCount(fx) + 1, limit + 256);  // room for two new blocks
    index->Flush();
  } catch (const MdxDamaged&) {
    return;  // the owner rebuilds
  }
  index.reset();
  std::unique_ptr<MdxIndex> again =
      MdxIndex::Open(kMemoryIndex, expected, fx.resolve, RecordCount(fx) + 1, &why);
  if (again == nullptr) std::fprintf(stderr, "flushed index refused: %s\n", why.c_str());
  FUZZ_CHECK(again != nullptr);
}

// The table over the index file: whatever the file holds, the table opens, shows none but
// its visible records, finds keys and takes a new record.
void ExerciseTable(const std::vector<uint8_t>& bytes) {
  const Fixture& fx = TheFixture();
  melodrift::testing::WriteFileBytes(fx.dbf_path,
                                     std::string(fx.dbf_bytes.begin(), fx.dbf_bytes.end()));
  melodrift::testing::WriteFileBytes(fx.mdx_path, std::string(bytes.begin(), bytes.end()));
  const auto count = static_cast<int64_t>(fx.records.size());
  try {
    melodrift::TTzDbf table;
    melodrift::fuzz::ConfigureFixtureTable(table, fx.dbf_path);
    table.SetCreateIfNotFound(false);
    table.Open();
    std::vector<bool> shown(static_cast<size_t>(count) + 1, false);
    for (int64_t recno : table.RecNosInOrder()) {
      FUZZ_CHECK(recno >= 1 && recno <= count);
      FUZZ_CHECK(fx.records[recno - 1][0] != '*');
      FUZZ_CHECK(!shown[recno]);  // the grid shows a record once
      shown[recno] = true;
    }
    for (const char* key : {"Alpha", "Beta", "Gamma", "Missing"}) {
      if (table.FindExact(key)) FUZZ_CHECK(table.FieldText("asndx").rfind(key, 0) == 0);
    }
    table.ClearRecord();
    table.SetFieldInt("unique_id", 9);
    table.SetFieldText("asndx", "Epsilon");
    table.AppendRec();
    table.Close();
    table.Open();
    FUZZ_CHECK(table.RecCount() == count + 1);
    for (int64_t recno : table.RecNosInOrder()) FUZZ_CHECK(recno >= 1 && recno <= count + 1);
  } catch (const melodrift::TableFatalError& e) {
    std::fprintf(stderr, "the index stopped the table: %s\n", e.what());
    FUZZ_CHECK(false);
  }
}

}  // namespace

MELODRIFT_FUZZ_TARGET(fuzz_mdx_index) {
  melodrift::ScopedThrowingTableErrors throwing;
  const Fixture& fx = TheFixture();
  const std::vector<uint8_t> bytes(data, data + size);
  // Entries of the shortest key (8 bytes) in every 1024-byte block of the file.
  const size_t limit = (size / 1024 + 1) * 128;
  for (size_t stage : melodrift::fuzz::StagesOf(data, size, 3)) {
    if (stage == 0) ExerciseIndex(bytes, &fx.tags, limit);
    if (stage == 1) ExerciseIndex(bytes, nullptr, limit);
    if (stage == 2) ExerciseTable(bytes);
  }
  return 0;
}
