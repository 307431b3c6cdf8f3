#include "library/mdx_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "library/byte_order.h"
#include "library/table_error.h"
#include "library/table_file.h"
#include "tests/support/failing_writes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/validators.h"

namespace melodrift {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

// ------------------------------------------------------------------ fixtures

// Records in memory: deletion flag + one field (N 10 or C 100).
struct FakeTable {
  MdxKeyType type = MdxKeyType::kNumeric;
  int field_length = 10;
  std::vector<std::string> records;

  static FakeTable Numeric() { return FakeTable{}; }
  static FakeTable Character() { return FakeTable{MdxKeyType::kCharacter, 100, {}}; }

  std::string Record(const std::string& value, bool deleted = false) const {
    std::string field = value.substr(0, static_cast<size_t>(field_length));
    if (type == MdxKeyType::kNumeric)
      field.insert(0, static_cast<size_t>(field_length) - field.size(), ' ');
    else
      field.resize(static_cast<size_t>(field_length), ' ');
    return (deleted ? "*" : " ") + field;
  }
  void Add(const std::string& value, bool deleted = false) {
    records.push_back(Record(value, deleted));
  }
  void Set(uint32_t recno, const std::string& value) { records[recno - 1] = Record(value); }
  const uint8_t* Bytes(uint32_t recno) const {
    return reinterpret_cast<const uint8_t*>(records[recno - 1].data());
  }
  uint32_t Count() const { return static_cast<uint32_t>(records.size()); }

  MdxTagDef Tag(bool descending = false, bool unique = false) const {
    MdxTagDef t;
    t.name = type == MdxKeyType::kNumeric ? "UNIQUE_ID" : "ASNDX";
    t.expression = type == MdxKeyType::kNumeric ? "UNIQUE_ID" : "ASNDX";
    t.descending = descending;
    t.unique = unique;
    t.key_type = type;
    t.field_offset = 1;
    t.field_length = field_length;
    return t;
  }
  MdxRecordScan Scan() const {
    return [this](const MdxRecordVisitor& visit) {
      for (uint32_t r = 1; r <= Count(); ++r) visit(r, Bytes(r));
    };
  }
  MdxFieldResolver Resolver() const {
    MdxTagDef field = Tag();
    return [field](const std::string& expression, MdxTagDef& tag) {
      if (expression != field.expression) return false;
      tag.key_type = field.key_type;
      tag.field_offset = field.field_offset;
      tag.field_length = field.field_length;
      return true;
    };
  }
  // The value a record's key stands for, for an oracle independent of the key encoding.
  long long NumericValue(uint32_t recno) const { return std::stoll(records[recno - 1].substr(1)); }
};

struct Entry {
  std::string key;
  uint32_t recno;
  bool operator==(const Entry& o) const { return key == o.key && recno == o.recno; }
};

// The (key, recno) sequence the tag must hold: one entry per record (first per key when
// unique), by value, equal keys by record number.
std::vector<Entry> ExpectedOrder(const FakeTable& table, bool descending, bool unique) {
  std::vector<uint32_t> recnos;
  for (uint32_t r = 1; r <= table.Count(); ++r) recnos.push_back(r);
  auto cmp = [&](uint32_t a, uint32_t b) {
    if (table.type == MdxKeyType::kNumeric) {
      long long va = table.NumericValue(a), vb = table.NumericValue(b);
      return va < vb ? -1 : va > vb ? 1 : 0;
    }
    return table.records[a - 1].compare(table.records[b - 1]) < 0   ? -1
           : table.records[a - 1].compare(table.records[b - 1]) > 0 ? 1
                                                                    : 0;
  };
  std::stable_sort(recnos.begin(), recnos.end(), [&](uint32_t a, uint32_t b) {
    int c = cmp(a, b);
    return descending ? c > 0 : c < 0;
  });
  std::vector<Entry> out;
  for (size_t i = 0; i < recnos.size(); ++i) {
    if (unique && i > 0 && cmp(recnos[i], recnos[i - 1]) == 0) continue;
    std::string key = table.type == MdxKeyType::kNumeric
                          ? EncodeNumericKey(table.records[recnos[i] - 1].substr(1))
                          : table.records[recnos[i] - 1].substr(1);
    out.push_back({key, recnos[i]});
  }
  return out;
}

std::vector<Entry> Traverse(MdxIndex& index) {
  std::vector<Entry> out;
  for (bool ok = index.First(); ok; ok = index.Next())
    out.push_back({std::string(index.CursorKey()), index.CursorRecNo()});
  return out;
}

std::vector<Entry> TraverseBackwards(MdxIndex& index) {
  std::vector<Entry> out;
  for (bool ok = index.Last(); ok; ok = index.Prior())
    out.push_back({std::string(index.CursorKey()), index.CursorRecNo()});
  std::reverse(out.begin(), out.end());
  return out;
}

// Reads a flushed file on its own and checks every node of the first tag: entry counts,
// leaf markers, one depth for all leaves, separators equal to the last key of their child.
struct TreeReport {
  std::vector<Entry> entries;
  int depth = 0;
  std::vector<uint32_t> leaf_sizes;
  uint32_t max_entries = 0;
  uint32_t nodes = 0;
  uint32_t free_blocks = 0;
  uint32_t blocks = 0;  // all blocks of the file
};

TreeReport CheckTree(const std::string& path) {
  TreeReport report;
  const std::string file = ReadFileBytes(path);
  auto u8 = [&](size_t off) { return reinterpret_cast<const uint8_t*>(file.data()) + off; };
  EXPECT_GE(file.size(), 4096u);
  EXPECT_EQ(file.size() % 512, 0u);
  EXPECT_EQ(GetU32(u8(32)) * 512ull, file.size());
  const uint32_t tag_header = GetU32(u8(544));
  const uint8_t* th = u8(size_t{tag_header} * 512);
  const uint32_t key_length = GetU16(th + 12);
  const uint32_t max = GetU16(th + 14);
  const uint32_t entry_length = GetU16(th + 18);
  report.max_entries = max;
  int leaf_depth = -1;
  uint32_t nodes = 0;
  // Returns the last key of the subtree.
  std::function<std::string(uint32_t, int, bool)> walk = [&](uint32_t page, int depth,
                                                             bool is_root) -> std::string {
    ++nodes;
    EXPECT_LT(depth, 10);
    if (depth >= 10 || size_t{page} * 512 + 1024 > file.size()) return "";
    const uint8_t* node = u8(size_t{page} * 512);
    const uint32_t n = GetU32(node);
    EXPECT_LE(n, max) << "page " << page;
    if (n > max) return "";
    auto entry = [&](uint32_t j) { return node + 8 + size_t{j} * entry_length; };
    auto key = [&](uint32_t j) {
      return std::string(reinterpret_cast<const char*>(entry(j) + 4), key_length);
    };
    if (GetU32(entry(n)) == 0) {
      if (leaf_depth == -1) leaf_depth = depth;
      EXPECT_EQ(depth, leaf_depth) << "leaf at page " << page;
      if (!is_root) {
        EXPECT_GT(n, 0u) << "empty leaf below the root, page " << page;
      }
      report.leaf_sizes.push_back(n);
      for (uint32_t j = 0; j < n; ++j) report.entries.push_back({key(j), GetU32(entry(j))});
      return n > 0 ? key(n - 1) : "";
    }
    std::string last;
    for (uint32_t j = 0; j <= n; ++j) {
      last = walk(GetU32(entry(j)), depth + 1, false);
      if (j < n) {
        EXPECT_EQ(key(j), last) << "separator " << j << " of page " << page;
      }
    }
    return last;
  };
  walk(GetU32(th), 0, true);
  report.depth = leaf_depth + 1;
  report.nodes = nodes;
  report.blocks = static_cast<uint32_t>((file.size() - 2048) / 1024);
  for (uint32_t page = GetU32(u8(36)); page != 0 && report.free_blocks <= report.blocks;
       page = GetU32(u8(size_t{page} * 512 + 4)))
    ++report.free_blocks;
  EXPECT_EQ(GetU32(th + 4), nodes * 2) << "node pages in the tag header";
  return report;
}

std::unique_ptr<MdxIndex> BuildIndex(const std::string& path, const FakeTable& table,
                                     bool descending = false, bool unique = false) {
  return MdxIndex::Build(path, "table", {table.Tag(descending, unique)}, table.Count(),
                         table.Scan(), [] {});
}

std::unique_ptr<MdxIndex> OpenIndex(const std::string& path, const FakeTable& table,
                                    uint32_t record_count, std::string* why,
                                    const std::vector<MdxTagDef>* expected = nullptr) {
  return MdxIndex::Open(path, expected, table.Resolver(), record_count, why);
}

// Feature-table-like data: identifiers in shuffled record order, each several times.
FakeTable ShuffledNumeric(uint32_t count, uint32_t distinct, uint32_t seed) {
  FakeTable table = FakeTable::Numeric();
  std::mt19937 rng(seed);
  for (uint32_t i = 0; i < count; ++i)
    table.Add(std::to_string(static_cast<int>(rng() % distinct) - 3), i % 7 == 0);
  return table;
}

// 100-byte character keys with duplicates and bytes above 0x7F.
FakeTable MixedCharacter(uint32_t count, uint32_t seed) {
  FakeTable table = FakeTable::Character();
  std::mt19937 rng(seed);
  const std::string alphabet = "AB\x80\xE9z ";
  for (uint32_t i = 0; i < count; ++i) {
    std::string s;
    for (int k = 0; k < 3; ++k) s += alphabet[rng() % alphabet.size()];
    table.Add(s);
  }
  return table;
}

// ------------------------------------------------------------------ build

TEST(MdxBuild, TraversalIsTheSortedOrderInEveryKindOfTag) {
  struct Case {
    const char* what;
    FakeTable table;
    bool descending;
    bool unique;
    int min_depth;
  };
  const Case cases[] = {
      {"numeric, 3 levels", ShuffledNumeric(5120, 20, 1), false, false, 3},
      {"character, 3 levels", MixedCharacter(250, 2), false, false, 3},
      {"descending numeric", ShuffledNumeric(3000, 500, 3), true, false, 2},
      {"descending character", MixedCharacter(120, 4), true, false, 2},
      {"unique numeric", ShuffledNumeric(2000, 300, 5), false, true, 2},
      {"unique descending character", MixedCharacter(300, 6), true, true, 2},
      {"one record", ShuffledNumeric(1, 5, 7), false, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.File("t.mdx");
    auto index = BuildIndex(path, c.table, c.descending, c.unique);
    const std::vector<Entry> expected = ExpectedOrder(c.table, c.descending, c.unique);
    EXPECT_EQ(Traverse(*index), expected);
    EXPECT_EQ(TraverseBackwards(*index), expected);
    EXPECT_EQ(index->KeyCount(0), expected.size());
    TreeReport tree = CheckTree(path);
    EXPECT_EQ(tree.entries, expected);
    EXPECT_GE(tree.depth, c.min_depth);
    // Packed: every leaf but the last is full.
    for (size_t i = 0; i + 1 < tree.leaf_sizes.size(); ++i)
      EXPECT_EQ(tree.leaf_sizes[i], tree.max_entries);
  }
}

TEST(MdxBuild, EmptyTableGivesTheMinimalFile) {
  TempDir dir;
  const std::string path = dir.File("t.mdx");
  int steps = 0;
  FakeTable table;
  auto index = MdxIndex::Build(path, "t", {table.Tag()}, 0, table.Scan(), [&] { ++steps; });
  EXPECT_EQ(testing::FileSize(path), 4096);
  EXPECT_FALSE(index->First());
  EXPECT_FALSE(index->Last());
  EXPECT_FALSE(index->SeekAtLeast(index->MakeSearchKey("1")));
  EXPECT_EQ(index->KeyCount(0), 0u);
  EXPECT_EQ(steps, 0);
  index.reset();
  std::string why;
  EXPECT_NE(OpenIndex(path, table, 0, &why), nullptr) << why;
}

TEST(MdxBuild, CallsStepAboutAHundredTimesAndWritesTheHeader) {
  TempDir dir;
  const std::string path = dir.File("t.mdx");
  FakeTable table = ShuffledNumeric(1234, 50, 9);
  int steps = 0;
  MdxTagDef tag = table.Tag();
  tag.expression = "unique_id";  // stored in upper case
  auto index =
      MdxIndex::Build(path, "feature_values", {tag}, table.Count(), table.Scan(), [&] { ++steps; });
  EXPECT_GE(steps, 90);
  EXPECT_LE(steps, 100);
  index.reset();
  const std::string file = ReadFileBytes(path);
  EXPECT_EQ(file[0], 2);
  EXPECT_EQ(file.substr(4, 16), std::string("feature_values\0\0", 16));
  EXPECT_EQ(file.substr(548, 11), std::string("UNIQUE_ID\0\0", 11));
  EXPECT_EQ(file.substr(2048 + 24, 10), std::string("UNIQUE_ID\0", 10));
}

TEST(MdxBuild, FailureToCreateTheFileIsFatal) {
  ScopedThrowingTableErrors errors;
  TempDir dir;
  const std::string path = dir.File("missing/t.mdx");
  FakeTable table;
  try {
    BuildIndex(path, table);
    FAIL() << "no fatal error";
  } catch (const TableFatalError& e) {
    EXPECT_EQ(e.code(), table_error::kPathNotFound);
    EXPECT_EQ(e.error().message, "File:  " + path + " [MakeIndex]");
  }
}

// ------------------------------------------------------------------ incremental changes

TEST(MdxIncremental, InsertsInAnyOrderGiveTheOrderOfABuild) {
  struct Case {
    const char* what;
    FakeTable table;
    bool descending;
    bool unique;
    bool shuffled;
  };
  const Case cases[] = {
      {"numeric appends", ShuffledNumeric(5000, 40, 11), false, false, false},
      {"numeric, random order", ShuffledNumeric(5000, 40, 12), false, false, true},
      {"character, random order", MixedCharacter(400, 13), false, false, true},
      {"descending character, random order", MixedCharacter(400, 14), true, false, true},
      {"unique numeric, random order", ShuffledNumeric(3000, 700, 15), false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.File("t.mdx");
    FakeTable empty = c.table;
    empty.records.clear();
    auto index = BuildIndex(path, empty, c.descending, c.unique);
    std::vector<uint32_t> order;
    for (uint32_t r = 1; r <= c.table.Count(); ++r) order.push_back(r);
    if (c.shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(99));
    for (size_t i = 0; i < order.size(); ++i) {
      index->InsertRecord(order[i], c.table.Bytes(order[i]));
      if (i == order.size() / 2) index->Flush();  // flushing in between changes nothing
    }
    const std::vector<Entry> expected = ExpectedOrder(c.table, c.descending, c.unique);
    EXPECT_EQ(Traverse(*index), expected);
    index->Flush();
    EXPECT_EQ(CheckTree(path).entries, expected);
    index.reset();
    std::string why;
    auto reopened = OpenIndex(path, c.table, c.table.Count(), &why);
    ASSERT_NE(reopened, nullptr) << why;
    EXPECT_EQ(Traverse(*reopened), expected);
  }
}

TEST(MdxIncremental, AppendingOneTrackKeepsLeavesPacked) {
  TempDir dir;
  const std::string path = dir.File("t.mdx");
  FakeTable table;
  for (int id = 0; id < 40; ++id)
    for (int row = 0; row < 256; ++row) table.Add(std::to_string(id));
  auto index = BuildIndex(path, table);
  for (int row = 0; row < 256; ++row) {
    table.Add("40");
    index->InsertRecord(table.Count(), table.Bytes(table.Count()));
  }
  ASSERT_TRUE(index->SeekAtLeast(index->MakeSearchKey("40")));
  EXPECT_EQ(index->CursorRecNo(), 40u * 256 + 1);
  index->Flush();
  TreeReport tree = CheckTree(path);
  EXPECT_EQ(tree.entries, ExpectedOrder(table, false, false));
  for (size_t i = 0; i + 1 < tree.leaf_sizes.size(); ++i)
    EXPECT_EQ(tree.leaf_sizes[i], tree.max_entries) << "leaf " << i;
}

TEST(MdxIncremental, UpdatesMoveKeysAndEmptiedLeavesGo) {
  TempDir dir;
  const std::string path = dir.File("t.mdx");
  FakeTable table = MixedCharacter(250, 21);
  auto index = BuildIndex(path, table);
  std::mt19937 rng(5);
  // Move most keys to the end (empties whole leaves and subtrees), then scatter some back.
  for (uint32_t r = 1; r <= table.Count(); ++r) {
    if (r % 10 == 0) continue;
    std::string old_record = table.records[r - 1];
    table.Set(r, "zzz" + std::to_string(rng() % 5));
    index->UpdateRecord(r, reinterpret_cast<const uint8_t*>(old_record.data()), table.Bytes(r));
  }
  for (uint32_t r = 1; r <= table.Count(); r += 3) {
    std::string old_record = table.records[r - 1];
    table.Set(r, std::string(1, static_cast<char>('A' + rng() % 20)));
    index->UpdateRecord(r, reinterpret_cast<const uint8_t*>(old_record.data()), table.Bytes(r));
  }
  // An unchanged key is left alone.
  index->UpdateRecord(2, table.Bytes(2), table.Bytes(2));
  const std::vector<Entry> expected = ExpectedOrder(table, false, false);
  EXPECT_EQ(Traverse(*index), expected);
  EXPECT_EQ(index->KeyCount(0), table.Count());
  index->Flush();
  TreeReport shrunk = CheckTree(path);
  EXPECT_EQ(shrunk.entries, expected);
  // Every block is the tag header, a node or free; later growth takes free blocks first.
  EXPECT_GT(shrunk.free_blocks, 0u);
  EXPECT_EQ(1 + shrunk.nodes + shrunk.free_blocks, shrunk.blocks);
  for (uint32_t r = 1; r <= 40; ++r) {
    std::string old_record = table.records[r - 1];
    table.Set(r, "B" + std::to_string(r));
    index->UpdateRecord(r, reinterpret_cast<const uint8_t*>(old_record.data()), table.Bytes(r));
  }
  index->Flush();
  TreeReport grown = CheckTree(path);
  EXPECT_EQ(grown.entries, ExpectedOrder(table, false, false));
  EXPECT_EQ(1 + grown.nodes + grown.free_blocks, grown.blocks);
  EXPECT_GT(grown.nodes, shrunk.nodes);
  if (grown.blocks > shrunk.blocks) {
    EXPECT_EQ(grown.free_blocks, 0u);
  }
}

TEST(MdxIncremental, RemovingEverythingCollapsesToAnEmptyRoot) {
  TempDir dir;
  const std::string path = dir.File("t.mdx");
  FakeTable table = ShuffledNumeric(3000, 3000, 31);
  auto index =
      MdxIndex::Build(path, "t", {table.Tag(false, true)}, table.Count(), table.Scan(), [] {});
  // In a unique tag, moving every key onto one value leaves one entry.
  for (uint32_t r = 1; r <= table.Count(); ++r) {
    std::string old_record = table.records[r - 1];
    table.Set(r, "77777");
    index->UpdateRecord(r, reinterpret_cast<const uint8_t*>(old_record.data()), table.Bytes(r));
  }
  std::vector<Entry> all = Traverse(*index);
  ASSERT_EQ(all.size(), 1u);
  index->Flush();
  TreeReport tree = CheckTree(path);
  EXPECT_EQ(tree.depth, 1);
  EXPECT_EQ(tree.entries.size(), 1u);
}

TEST(MdxIncremental, ClearEmptiesEveryTagAndTheFileStaysUsable) {
  TempDir dir;
  const std::string path = dir.File("t.mdx");
  FakeTable table = ShuffledNumeric(2000, 50, 41);
  auto index = BuildIndex(path, table);
  index->Clear();
  EXPECT_FALSE(index->First());
  EXPECT_EQ(index->KeyCount(0), 0u);
  index->Flush();
  EXPECT_EQ(testing::FileSize(path), 4096);
  table.records.resize(3);
  for (uint32_t r = 1; r <= 3; ++r) index->InsertRecord(r, table.Bytes(r));
  index.reset();
  std::string why;
  auto reopened = OpenIndex(path, table, 3, &why);
  ASSERT_NE(reopened, nullptr) << why;
  EXPECT_EQ(Traverse(*reopened), ExpectedOrder(table, false, false));
}

// ------------------------------------------------------------------ seeks

TEST(MdxSeek, SeekAtLeastHitsAndMisses) {
  TempDir dir;
  FakeTable table;
  for (int id = 0; id < 100; ++id)
    for (int row = 0; row < 50; ++row) table.Add(std::to_string(id * 10));
  auto index = BuildIndex(dir.File("t.mdx"), table);
  struct Case {
    const char* text;
    bool found;
    long long value;  // of the entry landed on
    uint32_t recno;
  };
  const Case cases[] = {{"-5", true, 0, 1},        {"0", true, 0, 1},
                        {"500", true, 500, 2501},  {"501", true, 510, 2551},
                        {"990", true, 990, 4951},  {"991", false, 0, 0},
                        {"  500", true, 500, 2501}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(index->SeekAtLeast(index->MakeSearchKey(c.text)), c.found);
    if (!c.found) continue;
    EXPECT_EQ(index->CursorRecNo(), c.recno);
    EXPECT_EQ(table.NumericValue(index->CursorRecNo()), c.value);
  }
  // The rows of one key follow each other.
  ASSERT_TRUE(index->SeekAtLeast(index->MakeSearchKey("730")));
  for (int i = 1; i < 50; ++i) {
    ASSERT_TRUE(index->Next());
    EXPECT_EQ(table.NumericValue(index->CursorRecNo()), 730);
  }
  ASSERT_TRUE(index->Next());
  EXPECT_EQ(table.NumericValue(index->CursorRecNo()), 740);
  // At the end the cursor stays where it was.
  ASSERT_TRUE(index->Last());
  EXPECT_FALSE(index->Next());
  EXPECT_EQ(index->CursorRecNo(), 5000u);
}

TEST(MdxSeek, CharacterAndDescendingSeeksAndSeekEntry) {
  TempDir dir;
  FakeTable table = FakeTable::Character();
  for (const char* s : {"Cat", "Apple", "Dog", "Cat", "Bee", "Cat"}) table.Add(s);
  auto asc = BuildIndex(dir.File("a.mdx"), table);
  ASSERT_TRUE(asc->SeekAtLeast(asc->MakeSearchKey("Cat")));
  EXPECT_EQ(asc->CursorRecNo(), 1u);
  ASSERT_TRUE(asc->SeekAtLeast(asc->MakeSearchKey("Ca")));  // padded with blanks: before Cat
  EXPECT_EQ(asc->CursorRecNo(), 1u);
  ASSERT_TRUE(asc->SeekAtLeast(asc->MakeSearchKey("Cb")));
  EXPECT_EQ(asc->CursorRecNo(), 3u);
  EXPECT_FALSE(asc->SeekAtLeast(asc->MakeSearchKey("E")));
  EXPECT_EQ(asc->CursorRecNo(), 3u);  // unchanged
  ASSERT_TRUE(asc->SeekEntry(6, table.Bytes(6)));
  EXPECT_EQ(asc->CursorRecNo(), 6u);
  ASSERT_TRUE(asc->Next());
  EXPECT_EQ(asc->CursorRecNo(), 3u);
  std::string other = table.Record("Cow");
  EXPECT_FALSE(asc->SeekEntry(6, reinterpret_cast<const uint8_t*>(other.data())));

  auto desc = BuildIndex(dir.File("d.mdx"), table, true);
  ASSERT_TRUE(desc->SeekAtLeast(desc->MakeSearchKey("Cb")));  // descending: "not less" = <=
  EXPECT_EQ(desc->CursorRecNo(), 1u);
  ASSERT_TRUE(desc->SeekAtLeast(desc->MakeSearchKey("Z")));
  EXPECT_EQ(desc->CursorRecNo(), 3u);
  EXPECT_FALSE(desc->SeekAtLeast(desc->MakeSearchKey("A")));
}

// ------------------------------------------------------------------ open

class MdxOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = ShuffledNumeric(5120, 20, 51);
    path_ = dir_.File("t.mdx");
    BuildIndex(path_, table_).reset();
    good_ = ReadFileBytes(path_);
  }
  std::string Refusal(const std::string& bytes, uint32_t records,
                      const std::vector<MdxTagDef>* expected = nullptr) {
    WriteFileBytes(path_, bytes);
    std::string why;
    auto index = OpenIndex(path_, table_, records, &why, expected);
    if (index) return "";
    EXPECT_FALSE(why.empty());
    return why.empty() ? "?" : why;
  }
  static std::string Patched(std::string bytes, size_t offset, const std::string& with) {
    bytes.replace(offset, with.size(), with);
    return bytes;
  }
  TempDir dir_;
  FakeTable table_;
  std::string path_;
  std::string good_;
};

TEST_F(MdxOpen, AcceptsItsOwnFileAndExpectedTagsInAnyLetterCase) {
  std::vector<MdxTagDef> expected{table_.Tag()};
  expected[0].expression = "unique_id";
  EXPECT_EQ(Refusal(good_, table_.Count(), &expected), "");
}

TEST_F(MdxOpen, RefusesDamagedOrForeignFiles) {
  std::vector<MdxTagDef> other_name{table_.Tag()};
  other_name[0].name = "OTHER";
  std::vector<MdxTagDef> other_field{table_.Tag()};
  other_field[0].expression = "ASNDX";
  std::vector<MdxTagDef> descending{table_.Tag(true)};
  struct Case {
    const char* what;
    std::string bytes;
    uint32_t records;
    const std::vector<MdxTagDef>* expected;
  };
  const Case cases[] = {
      {"truncated to 1024 bytes", good_.substr(0, 1024), 5120, nullptr},
      {"length not a multiple of 512", good_.substr(0, good_.size() - 100), 5120, nullptr},
      {"truncated by blocks", good_.substr(0, good_.size() - 2048), 5120, nullptr},
      {"garbage", std::string(8192, '\x5A'), 5120, nullptr},
      {"wrong version", Patched(good_, 0, "\x03"), 5120, nullptr},
      {"block size", Patched(good_, 22, std::string("\0\x08", 2)), 5120, nullptr},
      {"no tags", Patched(good_, 28, std::string("\0\0", 2)), 5120, nullptr},
      {"root outside", Patched(good_, 2048, "\xFF\xFF\x00\x00"), 5120, nullptr},
      {"key length", Patched(good_, 2048 + 12, std::string("\x0B\0", 2)), 5120, nullptr},
      {"key type", Patched(good_, 2048 + 9, "D"), 5120, nullptr},
      {"tag name differs", good_, 5120, &other_name},
      {"expression differs", good_, 5120, &other_field},
      {"order differs", good_, 5120, &descending},
      {"count differs from the table", good_, 5121, nullptr},
      {"inconsistent mark", Patched(good_, 52, std::string(1, '\0')), 5120, nullptr},
      {"free list outside", Patched(good_, 36, "\x01\x00\x01\x00"), 5120, nullptr},
  };
  for (const Case& c : cases) EXPECT_NE(Refusal(c.bytes, c.records, c.expected), "") << c.what;

  std::string why;
  EXPECT_EQ(OpenIndex(dir_.File("none.mdx"), table_, 0, &why), nullptr);
  EXPECT_FALSE(why.empty());
}

TEST_F(MdxOpen, FileOfAnotherWriterIsCountedByWalkingTheTree) {
  std::string foreign = Patched(good_, 48, std::string(8 + 4, '\0'));  // no signature
  EXPECT_EQ(Refusal(foreign, table_.Count()), "");
  EXPECT_NE(Refusal(foreign, table_.Count() - 1), "");
  // A child pointer turned into a loop back to the root.
  const uint32_t root = GetU32(reinterpret_cast<const uint8_t*>(good_.data()) + 2048);
  std::string looped = foreign;
  PutU32(reinterpret_cast<uint8_t*>(looped.data()) + size_t{root} * 512 + 8, root);
  EXPECT_NE(Refusal(looped, table_.Count()), "");
}

TEST_F(MdxOpen, FlushCutShortLeavesAFileThatIsRefused) {
  ScopedThrowingTableErrors errors;
  {
    testing::ScopedFailingWrites failing;
    std::string why;
    auto index = OpenIndex(path_, table_, table_.Count(), &why);
    ASSERT_NE(index, nullptr) << why;
    table_.Add("12345");
    index->InsertRecord(table_.Count(), table_.Bytes(table_.Count()));
    // Nothing reaches the disk before Flush.
    EXPECT_EQ(ReadFileBytes(path_), good_);
    failing.AllowWrites(1);  // the cleared mark gets out, the blocks do not
    try {
      index->Flush();
      ADD_FAILURE() << "no fatal error";
    } catch (const TableFatalError& e) {
      EXPECT_EQ(e.code(), table_error::kDiskWrite);
      EXPECT_EQ(e.error().message, "File:  " + path_ + " [WriteIndex]");
    }
  }
  std::string why;
  EXPECT_EQ(OpenIndex(path_, table_, table_.Count(), &why), nullptr);
  EXPECT_NE(why.find("flush"), std::string::npos) << why;
}

TEST_F(MdxOpen, RandomByteFlipsNeverCrash) {
  std::mt19937 rng(2024);
  std::vector<MdxTagDef> expected{table_.Tag()};
  int opened = 0;
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good_;
    if (round % 3 == 0) bytes.replace(48, 4, std::string(4, '\0'));  // make Open walk
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int f = 0; f < flips; ++f) {
      size_t at = round % 2 == 0 ? rng() % 4096 : rng() % bytes.size();
      bytes[at] = static_cast<char>(rng() % 256);
    }
    WriteFileBytes(path_, bytes);
    std::string why;
    auto index =
        OpenIndex(path_, table_, table_.Count(), &why, round % 4 == 0 ? nullptr : &expected);
    if (!index) continue;
    ++opened;
    try {
      size_t steps = 0;
      for (bool ok = index->First(); ok && steps < 20000; ok = index->Next()) ++steps;
      index->SeekAtLeast(index->MakeSearchKey("7"));
      index->Last();
      index->Prior();
      table_.Add("3");
      index->InsertRecord(table_.Count(), table_.Bytes(table_.Count()));
      table_.records.pop_back();
    } catch (const MdxDamaged&) {
    }
  }
  EXPECT_GT(opened, 0);
}

// ------------------------------------------------------------------ independent validator

// A dBase III table with one field, beside the index, for check_mdx.
void WriteDbf(const std::string& path, const FakeTable& table, const std::string& field) {
  const int fields = 1;
  const uint16_t header_length = 32 * fields + 33;
  const uint16_t record_length = static_cast<uint16_t>(1 + table.field_length);
  std::string h(header_length, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(h.data());
  p[0] = 0x03;
  p[1] = 124;
  p[2] = 1;
  p[3] = 1;
  PutU32(p + 4, table.Count());
  PutU16(p + 8, header_length);
  PutU16(p + 10, record_length);
  p[28] = 1;
  std::memcpy(p + 32, field.data(), field.size());
  p[32 + 11] = static_cast<uint8_t>(table.type);
  p[32 + 16] = static_cast<uint8_t>(table.field_length);
  p[32 + 32] = 0x0D;
  std::string bytes = h;
  for (const std::string& r : table.records) bytes += r;
  bytes += '\x1A';
  WriteFileBytes(path, bytes);
}

void ExpectValid(const TempDir& dir, const FakeTable& table, const std::string& tag) {
  WriteDbf(dir.File("t.dbf"), table, tag);
  testing::ValidatorResult r = testing::CheckMdx(dir.File("t.dbf"), dir.File("t.mdx"), tag);
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("check_mdx: OK"), std::string::npos) << r.output;
}

TEST(MdxValidator, BuiltFilesPassCheckMdx) {
  SKIP_UNLESS_VALIDATORS();
  {
    TempDir dir;
    FakeTable table = MixedCharacter(250, 61);
    BuildIndex(dir.File("t.mdx"), table).reset();
    EXPECT_EQ(CheckTree(dir.File("t.mdx")).depth, 3);
    ExpectValid(dir, table, "ASNDX");
  }
  {
    TempDir dir;
    FakeTable table = ShuffledNumeric(5120, 20, 62);
    BuildIndex(dir.File("t.mdx"), table).reset();
    ExpectValid(dir, table, "UNIQUE_ID");
  }
  {
    TempDir dir;
    FakeTable table;
    BuildIndex(dir.File("t.mdx"), table).reset();
    ExpectValid(dir, table, "UNIQUE_ID");
  }
}

TEST(MdxValidator, UpdatedFilePassesCheckMdx) {
  SKIP_UNLESS_VALIDATORS();
  TempDir dir;
  FakeTable table = MixedCharacter(100, 71);
  auto index = BuildIndex(dir.File("t.mdx"), table);
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    if (i % 3 != 2) {
      table.Add(std::string(1, static_cast<char>('A' + rng() % 26)) + std::to_string(i));
      index->InsertRecord(table.Count(), table.Bytes(table.Count()));
    } else {
      uint32_t r = 1 + rng() % table.Count();
      std::string old_record = table.records[r - 1];
      table.Set(r, "\xE9" + std::to_string(rng() % 10));
      index->UpdateRecord(r, reinterpret_cast<const uint8_t*>(old_record.data()), table.Bytes(r));
    }
  }
  index->Flush();
  ExpectValid(dir, table, "ASNDX");
  EXPECT_EQ(CheckTree(dir.File("t.mdx")).entries, ExpectedOrder(table, false, false));
}

}  // namespace
}  // namespace melodrift
