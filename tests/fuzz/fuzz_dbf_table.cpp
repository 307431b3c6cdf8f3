// A table file of arbitrary bytes opened and walked as the library uses its tables: with the
// record count taken from the header or from the file's size, deleted records shown or
// hidden, an index built over its fields, a record appended and the table opened again; and
// read through DbfSource as AppendFrom reads another table. A fatal table error is an
// expected end; a crash, a hang, a read out of bounds or a record that reads differently
// without having been written is a fault.
#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "library/code_page.h"
#include "library/dbf_header.h"
#include "library/dbf_source.h"
#include "library/table_error.h"
#include "library/tz_dbf.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/memory_table_files.h"

namespace {

using melodrift::DbfField;
using melodrift::TTzDbf;

// In a folder that does not exist on disk: only the memory files can serve it.
constexpr const char* kTablePath = "/melodrift-fuzz-memory/table.dbf";

using RecordTexts = std::vector<std::string>;

struct Variant {
  bool auto_fix = false;
  bool hide_deleted = false;
  bool indexed = false;
};

// The field that a name finds (the first of equal names).
const DbfField& FieldNamed(const TTzDbf& table, int number) {
  return table.Field(table.FieldNo(table.Field(number).name));
}

// Every field of the current record, in every form the table offers.
RecordTexts ReadRecord(const TTzDbf& table) {
  RecordTexts texts;
  for (int i = 1; i <= table.FieldCount(); ++i) {
    const DbfField& f = FieldNamed(table, i);
    std::string text = table.FieldText(f.name);
    FUZZ_CHECK(text.size() == (f.type == 'L' ? 1u : static_cast<size_t>(f.length)));
    table.FieldInt(f.name);
    table.FieldBool(f.name);
    texts.push_back(std::move(text));
  }
  return texts;
}

// An index list with a tag on the first character field and one, descending, on the first
// numeric field, as the library's tables have.
std::vector<std::string> IndexListFor(const std::vector<DbfField>& fields) {
  std::vector<std::string> lines;
  bool character = false, numeric = false;
  for (const DbfField& f : fields) {
    if (f.type == 'C' && !character) {
      lines.insert(lines.end(), {"CTAG,F,F," + f.name, ""});
      character = true;
    } else if (f.type == 'N' && !numeric) {
      lines.insert(lines.end(), {"NTAG,T,F," + f.name, ""});
      numeric = true;
    }
  }
  return lines;
}

void Configure(TTzDbf& table, const Variant& v, const std::vector<std::string>& index_list) {
  table.SetDbfFileName(kTablePath);
  table.SetCreateIfNotFound(false);
  table.SetAutoFixRecCount(v.auto_fix);
  table.SetHideDeletedRecs(v.hide_deleted);
  if (v.indexed) table.SetIndexList(index_list);
}

// The search finds a text taken from a record, within one field of a record it may show.
void CheckSearch(TTzDbf& table, const std::map<int64_t, RecordTexts>& records) {
  if (records.empty()) return;
  const auto& [first_recno, first] = *records.begin();
  int field = 0;
  for (int i = 1; i <= table.FieldCount() && field == 0; ++i) {
    if (table.Field(i).type != 'L' && table.FieldNo(table.Field(i).name) == i) field = i;
  }
  if (field == 0) return;
  const std::string& text = first[field - 1];
  const size_t start = std::min(text.find_first_not_of(' '), text.size());
  const std::string wanted = text.substr(start, 3);
  if (melodrift::TrimTrailing(wanted).empty()) return;  // Search finds nothing for blanks
  std::string upper = wanted;
  for (char& c : upper) c = static_cast<char>(melodrift::AnsiUpper(static_cast<uint8_t>(c)));
  int64_t hits = 0;
  for (int f = table.Search(wanted, 0, true); f != 0; f = table.Search(wanted, 0, false)) {
    FUZZ_CHECK(++hits <= table.RecCount());
    // Fields are read by name: a later field of the same name cannot be read.
    if (table.FieldNo(table.Field(f).name) != f || table.Field(f).type == 'L') continue;
    std::string found = table.FieldText(table.Field(f).name);
    for (char& c : found) c = static_cast<char>(melodrift::AnsiUpper(static_cast<uint8_t>(c)));
    FUZZ_CHECK(found.find(upper) != std::string::npos);
  }
  if (!table.HideDeletedRecs()) FUZZ_CHECK(hits > 0 || first_recno != 1);
}

void Walk(const std::vector<uint8_t>& file, const Variant& v) {
  melodrift::fuzz::MemoryTableFiles files;
  files.Put(kTablePath, file);
  std::vector<std::string> index_list;
  if (v.indexed) {
    auto opened = melodrift::OpenTableFile(kTablePath, {.read_only = true});
    index_list = IndexListFor(melodrift::ReadDbfHeader(*opened.file, kTablePath).fields);
    if (index_list.empty()) return;
  }
  std::map<int64_t, RecordTexts> records;
  int64_t count = 0;
  RecordTexts appended;
  {
    TTzDbf table;
    Configure(table, v, index_list);
    table.Open();
    count = table.RecCount();
    FUZZ_CHECK(count >= 0);

    int64_t visited = 0;
    for (table.First(); !table.Eof(); table.Next()) {
      FUZZ_CHECK(++visited <= count);
      FUZZ_CHECK(table.RecNo() >= 1 && table.RecNo() <= count);
      records[table.RecNo()] = ReadRecord(table);
    }
    // Backwards, and by number, every record reads as it did.
    int64_t backwards = 0;
    for (table.Last(); table.RecNo() != 0 && !table.Bof(); table.Prior()) {
      FUZZ_CHECK(++backwards <= visited);
      const auto seen = records.find(table.RecNo());
      FUZZ_CHECK(seen != records.end() && seen->second == ReadRecord(table));
    }
    for (const auto& [recno, texts] : records) {
      table.Go(recno);
      FUZZ_CHECK(table.RecNo() == recno && ReadRecord(table) == texts);
      FUZZ_CHECK(table.FieldTextAt(recno, table.Field(1).name) ==
                 table.FieldText(table.Field(1).name));
    }
    // The grid's order holds the records the walk showed, each once.
    std::vector<int64_t> order = table.RecNosInOrder();
    std::sort(order.begin(), order.end());
    FUZZ_CHECK(std::adjacent_find(order.begin(), order.end()) == order.end());
    FUZZ_CHECK(order.size() == records.size());
    for (int64_t recno : order) FUZZ_CHECK(records.count(recno) == 1);
    CheckSearch(table, records);

    // An appended record reads back as written, and the others stay as they were.
    table.ClearRecord();
    const DbfField& first = FieldNamed(table, 1);
    table.SetFieldText(first.name, "FUZZ");
    appended = ReadRecord(table);
    table.AppendRec();
    FUZZ_CHECK(table.RecCount() == count + 1);
    table.Go(count + 1);
    FUZZ_CHECK(ReadRecord(table) == appended);
    if (!records.empty()) {
      table.Go(records.begin()->first);
      FUZZ_CHECK(ReadRecord(table) == records.begin()->second);
    }
    table.Close();
  }
  // Opened again, the table holds the appended record too.
  TTzDbf again;
  Configure(again, v, index_list);
  again.Open();
  FUZZ_CHECK(again.RecCount() == count + 1);
  again.Go(count + 1);
  FUZZ_CHECK(ReadRecord(again) == appended);
}

void ReadAsSource(const std::vector<uint8_t>& file, int64_t known_count) {
  melodrift::fuzz::MemoryTableFiles files;
  files.Put(kTablePath, file);
  melodrift::DbfSource source(kTablePath, known_count);
  FUZZ_CHECK(source.record_count() >= 0);
  if (known_count >= 0) FUZZ_CHECK(source.record_count() <= known_count);
  int64_t expected = 1;
  source.Scan([&](int64_t recno, const uint8_t*) { FUZZ_CHECK(recno == expected++); });
  FUZZ_CHECK(expected == source.record_count() + 1);
}

}  // namespace

MELODRIFT_FUZZ_TARGET(fuzz_dbf_table) {
  melodrift::ScopedThrowingTableErrors throwing;
  const melodrift::TableMessageHandler previous =
      melodrift::SetTableMessageHandler([](const std::string&) {});
  const std::vector<uint8_t> file(data, data + size);
  // The track table's settings, the other tables' settings, both with an index; or the
  // table read as AppendFrom reads another one.
  static constexpr Variant kVariants[] = {
      {true, true, false}, {false, false, false}, {true, true, true}, {false, false, true}};
  for (size_t stage : melodrift::fuzz::StagesOf(data, size, std::size(kVariants) + 1)) {
    try {
      if (stage < std::size(kVariants)) {
        Walk(file, kVariants[stage]);
      } else {
        ReadAsSource(file, -1);
        ReadAsSource(file, 3);
      }
    } catch (const melodrift::TableFatalError&) {
      // A table that cannot be read ends in its fatal error, as the program would.
    }
  }
  melodrift::SetTableMessageHandler(previous);
  return 0;
}
