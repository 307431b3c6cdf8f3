// Every failed table-file operation ends in a fatal table error with its code and message.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "library/table_error.h"
#include "library/table_file.h"
#include "library/tz_dbf.h"
#include "library/tz_vfile.h"
#include "tests/library/table_fixtures.h"
#include "tests/support/failing_writes.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

TableError Capture(const std::function<void()>& operation) {
  ScopedThrowingTableErrors throwing;
  try {
    operation();
  } catch (const TableFatalError& e) {
    return e.error();
  }
  ADD_FAILURE() << "no fatal table error";
  return {};
}

std::unique_ptr<TTzDbf> SmallTable(const std::string& path) {
  auto t = std::make_unique<TTzDbf>();
  t->SetDbfFileName(path);
  t->SetDbfFields({"name, C, 8, 0", "num, N, 5, 0"});
  t->SetExclusive(true);
  return t;
}

TEST(TableFatalErrors, BadTableFilesAreRefusedWithTheirCode) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  {
    ScopedThrowingTableErrors throwing;
    auto t = SmallTable(path);
    t->Open();
    t->ClearRecord();
    t->AppendRec();
    t->Close();
  }
  const std::string good = ReadFileBytes(path);
  struct Case {
    const char* what;
    std::string bytes;
    int code;
    std::string message;
  };
  std::string bad_version = good;
  bad_version[0] = 0x30;
  std::string no_fields = good;
  no_fields[8] = 40;  // header length 40: no field descriptor
  no_fields[9] = 0;
  std::string long_header = good;
  long_header[8] = static_cast<char>(0xFF);  // descriptors reach past the file
  long_header[9] = 0x0F;
  std::string zero_length_field = good;
  zero_length_field[32 + 16] = 0;
  std::string lost_records = good;
  lost_records[4] = 9;  // header counts 9 records, the file holds 1
  const std::vector<Case> cases = {
      {"empty file", "", 210,
       path + " is not a dBASE database. (Prolog is less than 32 bytes) [USE/OpenDBF]"},
      {"short prolog", good.substr(0, 20), 210,
       path + " is not a dBASE database. (Prolog is less than 32 bytes) [USE/OpenDBF]"},
      {"foreign version", bad_version, 210,
       path + " is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]"},
      {"no fields", no_fields, 210,
       path + " is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
      {"descriptors past the end", long_header, 100, "Error reading " + path + " [Use/OpenDbf]"},
      {"zero-length field", zero_length_field, 100, "Error reading " + path + " [Use/OpenDbf]"},
      {"garbage", std::string(500, '\x03'), 100, "Error reading " + path + " [Use/OpenDbf]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(path, c.bytes);
    TableError e = Capture([&] { SmallTable(path)->Open(); });
    EXPECT_EQ(e.code, c.code);
    EXPECT_EQ(e.message, c.message);
    EXPECT_EQ(ReadFileBytes(path), c.bytes) << "a refused file must stay as it was";
  }

  WriteFileBytes(path, lost_records);
  TableError e = Capture([&] {
    auto t = SmallTable(path);
    t->Open();
    t->Go(5);
  });
  EXPECT_EQ(e.code, 213);
  EXPECT_EQ(e.message, "File:  " + path + "  [GetDbfRecord]");
}

TEST(TableFatalErrors, OpeningFailuresCarryTheSystemCode) {
  TempDir dir;
  const std::string missing_folder = dir.File("nowhere/t.dbf");
  std::vector<std::string> shown;
  auto previous = SetTableMessageHandler([&](const std::string& m) { shown.push_back(m); });
  TableError e = Capture([&] { SmallTable(missing_folder)->Open(); });
  SetTableMessageHandler(previous);
  EXPECT_EQ(e.code, 3);
  EXPECT_EQ(e.message, "Failure to open " + missing_folder + " [USE/OpenDbf]");
  EXPECT_EQ(shown, std::vector<std::string>{"Could not create \"" + missing_folder + "\""});
  EXPECT_EQ(e.BoxText(), "Path not found\r\nFailure to open " + missing_folder + " [USE/OpenDbf]");

  const std::string absent = dir.File("absent.dbf");
  e = Capture([&] {
    auto t = SmallTable(absent);
    t->SetCreateIfNotFound(false);
    t->Open();
  });
  EXPECT_EQ(e.code, 2);

  ::mkdir(dir.File("folder.dbf").c_str(), 0755);
  e = Capture([&] { SmallTable(dir.File("folder.dbf"))->Open(); });
  EXPECT_EQ(e.code, 5);
}

TEST(TableFatalErrors, OperationsNeedAnOpenTable) {
  TempDir dir;
  auto t = SmallTable(dir.File("t.dbf"));
  t->SetName("TrackDBF");
  TableError e = Capture([&] { t->First(); });
  EXPECT_EQ(e.code, 1103);
  EXPECT_EQ(e.message, "Database is not open [TrackDBF.First]");
  EXPECT_EQ(e.BoxText(), "Invalid Operation \r\nDatabase is not open [TrackDBF.First]");
  TTzVFile mem;
  mem.SetName("TrackMem");
  e = Capture([&] { mem.AppendRec(); });
  EXPECT_EQ(e.message, "Database is not open [TrackMem.AppendRec]");
}

TEST(TableFatalErrors, MissingFilesForAppendFromAndSetIndexTo) {
  TempDir dir;
  ScopedThrowingTableErrors throwing;
  auto t = SmallTable(dir.File("t.dbf"));
  t->Open();
  TableError e = Capture([&] { t->AppendFrom(dir.File("none.dbf")); });
  EXPECT_EQ(e.code, 2);
  EXPECT_EQ(e.message, "[AppendFrom(" + dir.File("none.dbf") + ")]");
  e = Capture([&] { t->SetIndexTo(dir.File("none")); });
  EXPECT_EQ(e.code, 2);
  EXPECT_EQ(e.message, "SetIndexTo(" + dir.File("none.mdx") + ")");
}

TEST(TableFatalErrors, BoxTextIsCutTo255Characters) {
  TableError e{101, std::string(400, 'x')};
  EXPECT_EQ(e.BoxText().size(), 255u);
  EXPECT_EQ(e.BoxText().substr(0, 47), "Disk write error (probable cause: Disk Full).\r\n");
}

TEST(TableFatalErrors, FullDiskEndsWithCode101AndKeepsEarlierRecords) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  auto failing = std::make_unique<testing::ScopedFailingWrites>();
  TableError e = Capture([&] {
    auto t = SmallTable(path);
    t->Open();
    for (int i = 0; i < 3; ++i) {
      t->ClearRecord();
      t->SetFieldInt("num", i);
      t->AppendRec();
    }
    t->FlushDbf();
    failing->AllowWrites(0);
    t->ClearRecord();
    t->AppendRec();
  });
  failing.reset();
  EXPECT_EQ(e.code, 101);
  EXPECT_EQ(e.message, "File:  " + path + " [Replace/Append/PutDbfRecord]");
  ScopedThrowingTableErrors throwing;
  auto reopened = SmallTable(path);
  reopened->Open();
  EXPECT_EQ(reopened->RecCount(), 3);
  reopened->Last();
  EXPECT_EQ(reopened->FieldInt("num"), 2);
}

// A Zap or Pack that fails after its header write (as when the process ends there) leaves a
// table that opens: the count was written before the records were cut.
TEST(TableFatalErrors, ZapAndPackCutShortLeaveATableThatOpens) {
  for (const bool pack : {false, true}) {
    SCOPED_TRACE(pack ? "Pack" : "Zap");
    TempDir dir;
    const std::string path = dir.File("t.dbf");
    auto failing = std::make_unique<testing::ScopedFailingWrites>();
    TableError e = Capture([&] {
      auto t = SmallTable(path);
      t->Open();
      for (int i = 0; i < 4; ++i) {
        t->ClearRecord();
        t->SetFieldInt("num", i);
        t->AppendRec();
      }
      t->FlushDbf();
      if (pack) {
        t->Go(4);
        t->DeleteRec();
      }
      // The header goes out (after Pack's write of the kept records), the end mark after the
      // cut does not.
      failing->AllowWrites(pack ? 2 : 1);
      pack ? t->Pack() : t->Zap();
    });
    failing.reset();
    EXPECT_EQ(e.code, 101);
    ScopedThrowingTableErrors throwing;
    auto reopened = SmallTable(path);
    reopened->Open();
    EXPECT_EQ(reopened->RecCount(), pack ? 3 : 0);
    for (reopened->First(); !reopened->Eof(); reopened->Next()) reopened->FieldInt("num");
  }
}

TEST(TableFatalErrors, SecondProcessGetsSharingViolation) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  ScopedThrowingTableErrors throwing;
  auto t = SmallTable(path);
  t->Open();
  const std::string before = ReadFileBytes(path);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetFatalTableErrorHandler([](const TableError& e) { ::_exit(e.code); });
    SmallTable(path)->Open();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 32);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(ErrorDescription(32), "File sharing violation");
}

}  // namespace
}  // namespace melodrift
