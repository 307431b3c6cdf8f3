// The table file layer: byte layout, field encodings, edit mode, whole-table operations.
#include "library/tz_dbf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "library/byte_order.h"
#include "library/table_error.h"
#include "library/tz_vfile.h"
#include "tests/library/table_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/validators.h"

namespace melodrift {
namespace {

using testing::AppendTrack;
using testing::FileSize;
using testing::MakeTrackTable;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

class DbfTest : public ::testing::Test {
 protected:
  // A small table with one field of each kind.
  std::unique_ptr<TTzDbf> MakeSmall(const std::string& name = "small.dbf") {
    auto t = std::make_unique<TTzDbf>();
    t->SetDbfFileName(dir_.File(name));
    t->SetDbfFields({"name, C, 8, 0", "num, N, 5, 0", "flag, L, 1, 0"});
    t->SetExclusive(true);
    return t;
  }
  uint8_t Byte(const std::string& bytes, size_t at) { return static_cast<uint8_t>(bytes.at(at)); }

  TempDir dir_;
  ScopedThrowingTableErrors throwing_;
};

TEST_F(DbfTest, NewTrackTableIs322BytesWithTheStatedHeader) {
  const std::string path = dir_.File("track_id.dbf");
  auto t = MakeTrackTable(path);
  t->Open();
  EXPECT_EQ(t->RecCount(), 0);
  EXPECT_TRUE(t->Eof());
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->RecNo(), 0);
  t->Close();

  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 322u);
  EXPECT_EQ(Byte(bytes, 0), 0x03);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(Byte(bytes, 1), local.tm_year);
  EXPECT_EQ(Byte(bytes, 2), local.tm_mon + 1);
  EXPECT_EQ(Byte(bytes, 3), local.tm_mday);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(GetU32(p + 4), 0u);
  EXPECT_EQ(GetU16(p + 8), 321);
  EXPECT_EQ(GetU16(p + 10), 1392);
  EXPECT_EQ(Byte(bytes, 28), 1);  // the table has an index tag
  EXPECT_EQ(Byte(bytes, 320), 0x0D);
  EXPECT_EQ(Byte(bytes, 321), 0x1A);
  EXPECT_EQ(bytes.substr(32, 11), std::string("UNIQUE_ID\0\0", 11));
  EXPECT_EQ(bytes[32 + 11], 'N');
  EXPECT_EQ(Byte(bytes, 32 + 16), 10);
  EXPECT_EQ(bytes.substr(32 + 8 * 32, 6), std::string("ASNDX\0", 6));
  EXPECT_EQ(Byte(bytes, 32 + 8 * 32 + 16), 100);
}

TEST_F(DbfTest, FieldValuesAreEncodedAsStored) {
  struct Case {
    const char* what;
    std::function<void(TTzDbf&)> set;
    size_t offset;  // in the record
    std::string stored;
  };
  const std::vector<Case> cases = {
      {"overflowing number", [](TTzDbf& t) { t.SetFieldInt("num", 100000); }, 9, "*****"},
      {"negative number", [](TTzDbf& t) { t.SetFieldInt("num", -42); }, 9, "  -42"},
      {"zero", [](TTzDbf& t) { t.SetFieldInt("num", 0); }, 9, "    0"},
      {"long text is cut", [](TTzDbf& t) { t.SetFieldText("name", "abcdefghijk"); }, 1, "abcdefgh"},
      {"short text is filled", [](TTzDbf& t) { t.SetFieldText("name", "ab"); }, 1, "ab      "},
      {"true", [](TTzDbf& t) { t.SetFieldBool("flag", true); }, 14, "T"},
      {"false", [](TTzDbf& t) { t.SetFieldBool("flag", false); }, 14, "F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    auto t = std::make_unique<TTzDbf>();
    t->SetDbfFileName(dir.File("t.dbf"));
    t->SetDbfFields({"name, C, 8, 0", "num, N, 5, 0", "flag, L, 1, 0"});
    t->Open();
    t->ClearRecord();
    c.set(*t);
    t->AppendRec();
    t->Close();
    std::string bytes = ReadFileBytes(dir.File("t.dbf"));
    const size_t header = 32 + 3 * 32 + 1;
    ASSERT_EQ(bytes.size(), header + 15 + 1);
    EXPECT_EQ(bytes.substr(header + c.offset, c.stored.size()), c.stored);
  }
}

TEST_F(DbfTest, ReadingDecodesNumbersTextAndLogicalLetters) {
  auto t = MakeSmall();
  t->Open();
  t->ClearRecord();
  t->SetFieldText("name", "abc");
  t->SetFieldInt("num", 100000);
  t->AppendRec();
  EXPECT_EQ(t->FieldText("name"), "abc     ");
  EXPECT_EQ(t->FieldInt("num"), 0);  // '*' fill reads as 0
  EXPECT_EQ(t->FieldText("num"), "*****");
  t->Close();

  // Logical letters and numbers written by other programs.
  const std::string path = dir_.File("small.dbf");
  std::string bytes = ReadFileBytes(path);
  const size_t record = 32 + 3 * 32 + 1;
  struct Case {
    char flag;
    bool value;
  };
  for (Case c : {Case{'Y', true}, Case{'y', true}, Case{'t', true}, Case{'?', false},
                 Case{' ', false}, Case{'N', false}}) {
    SCOPED_TRACE(std::string(1, c.flag));
    bytes[record + 14] = c.flag;
    bytes.replace(record + 9, 5, " +7x9");
    WriteFileBytes(path, bytes);
    auto r = MakeSmall();
    r->Open();
    EXPECT_EQ(r->FieldBool("flag"), c.value);
    EXPECT_EQ(r->FieldText("flag"), c.value ? "T" : "F");
    EXPECT_EQ(r->FieldInt("num"), 7);  // stops at the first other character
    r->Close();
  }
}

TEST_F(DbfTest, TrackTableTextFieldsHoldTheirWidth) {
  auto t = MakeTrackTable(dir_.File("track_id.dbf"), false);
  t->Open();
  t->ClearRecord();
  t->SetFieldText("artist", std::string(300, 'x'));
  t->SetFieldText("song", "abc");
  t->AppendRec();
  EXPECT_EQ(t->FieldText("artist"), std::string(254, 'x'));
  EXPECT_EQ(t->FieldText("song"), "abc" + std::string(251, ' '));
  EXPECT_EQ(TrimTrailing(t->FieldText("song")), "abc");
}

TEST_F(DbfTest, ClearRecordThenAppendStoresBlankValues) {
  auto t = MakeSmall();
  t->Open();
  t->ClearRecord();
  t->AppendRec();
  t->Close();
  std::string bytes = ReadFileBytes(dir_.File("small.dbf"));
  const size_t record = 32 + 3 * 32 + 1;
  EXPECT_EQ(bytes.substr(record, 15),
            "         "
            "    0"
            "F");
}

TEST_F(DbfTest, HeaderCountLagsUntilFlush) {
  const std::string path = dir_.File("small.dbf");
  auto t = MakeSmall();
  t->Open();
  for (int i = 0; i < 3; ++i) {
    t->ClearRecord();
    t->SetFieldInt("num", i);
    t->AppendRec();
  }
  auto count_on_disk = [&] {
    std::string b = ReadFileBytes(path);
    return GetU32(reinterpret_cast<const uint8_t*>(b.data()) + 4);
  };
  EXPECT_EQ(count_on_disk(), 0u);
  EXPECT_EQ(t->RecCount(), 3);
  t->FlushDbf();
  EXPECT_EQ(count_on_disk(), 3u);
  std::string b = ReadFileBytes(path);
  EXPECT_EQ(b.size(), 129u + 3 * 15 + 1);
  EXPECT_EQ(Byte(b, b.size() - 1), 0x1A);
  EXPECT_TRUE(t->Active());
}

TEST_F(DbfTest, AutoFixRecCountCountsWholeRecordsOnly) {
  const std::string path = dir_.File("small.dbf");
  auto t = MakeSmall();
  t->Open();
  for (int i = 1; i <= 5; ++i) {
    t->ClearRecord();
    t->SetFieldInt("num", i);
    t->AppendRec();
  }
  t->Close();  // header says 5
  std::string bytes = ReadFileBytes(path);
  bytes.pop_back();  // the end byte
  bytes += " six          F";
  bytes += " seven        F";
  bytes += "\x1A";
  WriteFileBytes(path, bytes);

  auto fixed = MakeSmall();
  fixed->SetAutoFixRecCount(true);
  fixed->Open();
  EXPECT_EQ(fixed->RecCount(), 7);
  fixed->Close();

  bytes.pop_back();
  bytes += " eig";  // a partly written eighth record
  WriteFileBytes(path, bytes);
  auto partial = MakeSmall();
  partial->SetAutoFixRecCount(true);
  partial->Open();
  EXPECT_EQ(partial->RecCount(), 7);
  partial->Last();
  EXPECT_EQ(TrimTrailing(partial->FieldText("name")), "seven");

  auto plain = MakeSmall("other.dbf");
  plain->SetDbfFileName(path);
  partial->Close();
  plain->Open();
  EXPECT_EQ(plain->RecCount(), 5);
}

TEST_F(DbfTest, NavigationAndEofFollowRecordOrder) {
  auto t = MakeSmall();
  t->Open();
  for (int i = 1; i <= 3; ++i) {
    t->ClearRecord();
    t->SetFieldInt("num", i * 10);
    t->AppendRec();
  }
  t->First();
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_FALSE(t->Eof());
  t->Next();
  t->Next();
  EXPECT_EQ(t->FieldInt("num"), 30);
  EXPECT_FALSE(t->Eof());
  t->Next();  // past the last: stays, Eof
  EXPECT_EQ(t->RecNo(), 3);
  EXPECT_TRUE(t->Eof());
  t->Go(2);
  EXPECT_EQ(t->FieldInt("num"), 20);
  EXPECT_FALSE(t->Eof());
  t->Last();
  EXPECT_EQ(t->RecNo(), 3);

  // Hidden deleted records are skipped by moves.
  t->Go(2);
  t->DeleteRec();
  t->SetHideDeletedRecs(true);
  t->First();
  t->Next();
  EXPECT_EQ(t->RecNo(), 3);
}

TEST_F(DbfTest, EditModeAndEvents) {
  auto t = MakeSmall();
  int before = 0, after = 0, posted = 0, scrolled = 0;
  t->BeforeEdit = [&](TTzTable&) { ++before; };
  t->AfterEdit = [&](TTzTable&) { ++after; };
  t->AfterPost = [&](TTzTable&) { ++posted; };
  t->AfterScroll = [&](TTzTable&) { ++scrolled; };
  t->Open();

  // On an empty table an edit is an insertion: no edit events, Post appends.
  t->SetFieldText("name", "first");
  EXPECT_TRUE(t->InEditMode());
  t->Post();
  EXPECT_EQ(t->RecCount(), 1);
  EXPECT_EQ(before + after, 0);
  EXPECT_EQ(posted, 1);

  // On an existing record the edit events fire once per entry into edit mode.
  t->SetFieldInt("num", 5);
  t->SetFieldBool("flag", true);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  t->Post();
  EXPECT_EQ(t->RecCount(), 1);
  EXPECT_EQ(posted, 2);
  t->Post();  // outside edit mode: nothing
  EXPECT_EQ(posted, 2);

  // A move writes a changed record first; an unchanged edit is just left.
  t->ClearRecord();
  t->SetFieldText("name", "second");
  t->AppendRec();
  t->Go(1);
  t->SetFieldText("name", "changed");
  scrolled = 0;
  t->Go(2);
  EXPECT_EQ(scrolled, 1);
  t->Go(1);
  EXPECT_EQ(TrimTrailing(t->FieldText("name")), "changed");
  t->ClearRecord();
  t->Go(2);
  t->Go(1);
  EXPECT_EQ(TrimTrailing(t->FieldText("name")), "changed");
  EXPECT_EQ(t->RecCount(), 2);
}

TEST_F(DbfTest, SearchFindsTextInsideOneFieldOnly) {
  auto t = MakeSmall();
  t->Open();
  for (const char* name : {"abcdefgh", "xyz", "Hello", "hello"}) {
    t->ClearRecord();
    t->SetFieldText("name", name);
    t->SetFieldInt("num", 12);
    t->AppendRec();
  }
  // "gh" ends field 1 and "  " starts field 2 of record 1: spans a boundary.
  EXPECT_EQ(t->Search("gh   ", 0, true), 0);
  EXPECT_EQ(t->Search("GH", 0, true), 1);
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_EQ(t->Search("12", 0, true), 2);
  EXPECT_EQ(t->Search("12", 1, true), 0);  // restricted to field 1
  EXPECT_EQ(t->RecNo(), 1);

  // Not from the top: starts after the current record; a miss leaves it.
  t->Go(3);
  EXPECT_EQ(t->Search("HELLO", 0, false), 1);
  EXPECT_EQ(t->RecNo(), 4);
  EXPECT_EQ(t->Search("HELLO", 0, false), 0);
  EXPECT_EQ(t->RecNo(), 4);
  EXPECT_EQ(t->Search("   ", 0, true), 0);  // blank text: nothing happens
  EXPECT_EQ(t->RecNo(), 4);
}

TEST_F(DbfTest, SearchReadsManyBlocks) {
  // More records than one 65520-byte read holds (1392-byte records: 47 per block).
  auto t = MakeTrackTable(dir_.File("track_id.dbf"), false);
  t->Open();
  for (int i = 0; i < 120; ++i) AppendTrack(*t, i, "artist", "song" + std::to_string(i));
  EXPECT_EQ(t->Search("/music/song47.mp3", 4, true), 4);
  EXPECT_EQ(TrimTrailing(t->FieldText("song")), "song47");
  EXPECT_EQ(t->Search("SONG119", 0, true), 2);
  EXPECT_EQ(t->RecNo(), 120);
}

TEST_F(DbfTest, ZapLeavesHeaderAndEndByte) {
  const std::string path = dir_.File("small.dbf");
  auto t = MakeSmall();
  t->Open();
  for (int i = 0; i < 4; ++i) {
    t->ClearRecord();
    t->AppendRec();
  }
  t->Zap();
  EXPECT_EQ(t->RecCount(), 0);
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(FileSize(path), 129 + 1);
  std::string b = ReadFileBytes(path);
  EXPECT_EQ(GetU32(reinterpret_cast<const uint8_t*>(b.data()) + 4), 0u);
  EXPECT_EQ(Byte(b, 129), 0x1A);
}

TEST_F(DbfTest, PackRemovesDeletedRecordsInPlaceKeepingOrder) {
  const std::string path = dir_.File("small.dbf");
  auto t = MakeSmall();
  t->Open();
  for (int i = 1; i <= 6; ++i) {
    t->ClearRecord();
    t->SetFieldInt("num", i);
    t->AppendRec();
  }
  for (int r : {1, 4, 5}) {
    t->Go(r);
    t->DeleteRec();
  }
  t->Pack();
  EXPECT_EQ(t->RecCount(), 3);
  std::vector<int> left;
  for (t->First(); !t->Eof(); t->Next()) {
    left.push_back(t->FieldInt("num"));
    if (t->RecNo() == t->RecCount()) break;
  }
  EXPECT_EQ(left, (std::vector<int>{2, 3, 6}));
  t->Close();
  EXPECT_EQ(FileSize(path), 129 + 3 * 15 + 1);
  std::string b = ReadFileBytes(path);
  EXPECT_EQ(GetU32(reinterpret_cast<const uint8_t*>(b.data()) + 4), 3u);
}

TEST_F(DbfTest, TextIsStoredInTheOemCodePage) {
  const std::string path = dir_.File("small.dbf");
  auto t = MakeSmall();
  t->Open();
  t->ClearRecord();
  t->SetFieldText("name", "caf\xE9");  // ISO-8859-1 é
  t->AppendRec();
  EXPECT_EQ(TrimTrailing(t->FieldText("name")), "caf\xE9");
  t->Close();
  std::string b = ReadFileBytes(path);
  EXPECT_EQ(Byte(b, 129 + 1 + 3), 0x82);  // CP850 é

  auto ansi = MakeSmall();
  ansi->SetTableLanguage(TableLanguage::tlAnsi);
  ansi->Open();
  EXPECT_EQ(TrimTrailing(ansi->FieldText("name")), "caf\x82");
}

TEST_F(DbfTest, AppendFromMatchesFieldsByName) {
  auto src = std::make_unique<TTzDbf>();
  src->SetDbfFileName(dir_.File("src.dbf"));
  src->SetDbfFields({"num, N, 3, 0", "extra, C, 4, 0", "name, C, 20, 0"});
  src->Open();
  for (int i = 1; i <= 3; ++i) {
    src->ClearRecord();
    src->SetFieldInt("num", i);
    src->SetFieldText("name", "row" + std::to_string(i));
    src->SetFieldText("extra", "zz");
    src->AppendRec();
  }
  // The source stays open: its header does not yet count the rows.
  auto t = MakeSmall();
  t->Open();
  t->ClearRecord();
  t->SetFieldText("name", "mine");
  t->AppendRec();
  t->AppendFrom(dir_.File("src.dbf"));
  EXPECT_EQ(t->RecCount(), 4);
  EXPECT_EQ(t->RecNo(), 1);  // the current record stays current
  t->Go(4);
  EXPECT_EQ(TrimTrailing(t->FieldText("name")), "row3");
  EXPECT_EQ(t->FieldInt("num"), 3);
  EXPECT_FALSE(t->FieldBool("flag"));
}

TEST_F(DbfTest, CorrectedFieldDefinitionIsAnnounced) {
  std::vector<std::string> messages;
  auto previous = SetTableMessageHandler([&](const std::string& m) { messages.push_back(m); });
  auto t = std::make_unique<TTzDbf>();
  t->SetDbfFileName(dir_.File("fix.dbf"));
  t->SetDbfFields({"text, C, 255, 0", "big, N, 25, 20", "dec, N, 5, 4", "ok, N, 5, 0"});
  t->Open();
  SetTableMessageHandler(previous);
  ASSERT_EQ(messages.size(), 3u);
  const std::string name = dir_.File("fix.dbf");
  EXPECT_EQ(messages[0], "Invalid field definition for " + name +
                             ": TEXT,C,255,0. Will use corrected definition: TEXT,C,254,0");
  EXPECT_EQ(messages[1], "Invalid field definition for " + name +
                             ": BIG,N,25,20. Will use corrected definition: BIG,N,20,18");
  EXPECT_EQ(messages[2], "Invalid field definition for " + name +
                             ": DEC,N,5,4. Will use corrected definition: DEC,N,5,3");
  EXPECT_EQ(t->Field(1).length, 254);
}

TEST_F(DbfTest, FileNameGetsAnExtensionInItsOwnCase) {
  TTzDbf lower, upper;
  lower.SetDbfFileName("  /x/track_id  ");
  upper.SetDbfFileName("/x/TRACKS");
  EXPECT_EQ(lower.DbfFileName(), "/x/track_id.dbf");
  EXPECT_EQ(upper.DbfFileName(), "/x/TRACKS.DBF");
}

TEST_F(DbfTest, VirtualTableCopiesAFileAndRefusesSearch) {
  auto file = MakeTrackTable(dir_.File("track_id.dbf"), false);
  file->Open();
  AppendTrack(*file, 3, "Caf\xE9 Band", "One");
  AppendTrack(*file, 7, "Other", "Two");
  TTzVFile mem;
  mem.SetName("TrackMem");
  mem.SetDbfFields(testing::TrackFields());
  mem.Open();
  mem.AppendFrom(file->DbfFileName());  // header not flushed yet
  EXPECT_EQ(mem.RecCount(), 2);
  EXPECT_EQ(mem.RecNo(), 1);
  EXPECT_EQ(TrimTrailing(mem.FieldText("artist")), "Caf\xE9 Band");
  mem.Next();
  EXPECT_EQ(mem.FieldInt("unique_id"), 7);
  mem.Next();
  EXPECT_TRUE(mem.Eof());
  AppendTrack(mem, 9, "New", "Three");
  EXPECT_EQ(mem.RecCount(), 3);
  try {
    mem.Search("x", 0, true);
    FAIL() << "Search on a table in memory must be refused";
  } catch (const TableFatalError& e) {
    EXPECT_EQ(e.code(), 1100);
    EXPECT_EQ(e.error().message, "Operation cannot be used on virtual files. [Search]");
  }
  mem.Zap();
  EXPECT_EQ(mem.RecCount(), 0);
  mem.Close();
  EXPECT_FALSE(mem.Active());
}

TEST_F(DbfTest, OtherDbaseVersionsOpenWithDateAndFloatFieldsAsText) {
  // A table with a memo flag in its version byte (0x83), as other programs write it.
  std::string header(32 + 3 * 32 + 1, '\0');
  auto put_field = [&](int i, const char* name, char type, int length, int decimals) {
    std::memcpy(&header[32 + 32 * i], name, std::strlen(name));
    header[32 + 32 * i + 11] = type;
    header[32 + 32 * i + 16] = static_cast<char>(length);
    header[32 + 32 * i + 17] = static_cast<char>(decimals);
  };
  header[0] = static_cast<char>(0x83);
  header[4] = 1;
  header[8] = static_cast<char>(header.size());
  header[10] = 1 + 5 + 8 + 6;
  put_field(0, "NAME", 'C', 5, 0);
  put_field(1, "WHEN", 'D', 8, 0);
  put_field(2, "AMT", 'F', 6, 2);
  header.back() = 0x0D;
  const std::string path = dir_.File("foreign.dbf");
  WriteFileBytes(path, header + " Bob  20261210  1.50" + "\x1A");
  for (uint8_t version : {0x02, 0x03, 0x04, 0x83, 0x8B, 0x8C, 0xF5}) {
    SCOPED_TRACE(static_cast<int>(version));
    std::string bytes = ReadFileBytes(path);
    bytes[0] = static_cast<char>(version);
    WriteFileBytes(path, bytes);
    TTzDbf t;
    t.SetDbfFileName(path);
    t.Open();
    ASSERT_EQ(t.RecCount(), 1);
    EXPECT_EQ(t.FieldCount(), 3);
    EXPECT_EQ(TrimTrailing(t.FieldText("name")), "Bob");
    EXPECT_EQ(t.FieldText("when"), "20261210");
    EXPECT_EQ(t.FieldText("amt"), "  1.50");
    EXPECT_EQ(t.FieldInt("amt"), 1);
  }
}

TEST_F(DbfTest, ValidatorsReadWhatTheLayerWrites) {
  SKIP_UNLESS_VALIDATORS();
  const std::string path = dir_.File("track_id.dbf");
  auto t = MakeTrackTable(path, false);
  t->Open();
  AppendTrack(*t, 0, "Zappa", "Peaches");
  AppendTrack(*t, 1, "Caf\xE9", "Cr\xE8me");
  t->ClearRecord();
  t->SetFieldInt("seconds", 12345678901LL);  // overflows to '*'
  t->AppendRec();
  t->Go(2);
  t->DeleteRec();
  t->Close();
  auto result = testing::CheckDbf(path);
  EXPECT_EQ(result.exit_code, 0) << result.output;
  auto dump = testing::DumpDbf(path);
  EXPECT_NE(dump.output.find("Zappa"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("Caf\xC3\xA9"), std::string::npos) << dump.output;  // read as CP850
}

}  // namespace
}  // namespace melodrift
