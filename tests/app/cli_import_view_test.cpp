// The command line's import view: a bar on a terminal, plain lines otherwise.
#include "app/cli_import_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

class CliImportViewTest : public ::testing::Test {
 protected:
  CliImportViewTest() {
    tables_.SetFileNames(folder_.program_folder());
    tables_.ErrorDBF.Open();
  }
  ScopedThrowingTableErrors throwing_;
  testing::LibraryFolder folder_;
  LibraryTables tables_;
  std::ostringstream err_;
};

TEST_F(CliImportViewTest, TerminalShowsABarWithTheLabels) {
  CliImportView view(err_, true, tables_.ErrorDBF);
  view.ShowProgressWindow();
  view.SetProgress(256);
  view.ShowFileCount("3 Files");
  view.SetLabel(1, "reading");
  view.SetLabel(2, "Caf\xE9");
  EXPECT_EQ(view.BarLine(), "[############------------] 3 Files  reading  Caf\xC3\xA9");
  EXPECT_NE(err_.str().find("\r\x1b[K["), std::string::npos);
  view.SetLabel(3, std::string(200, 's'));
  const std::string line = view.BarLine();
  const auto columns = std::count_if(line.begin(), line.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  EXPECT_EQ(columns, 79);  // one terminal line
}

TEST_F(CliImportViewTest, FailuresArePrintedOnTheirOwnLineAndLogged) {
  CliImportView view(err_, false, tables_.ErrorDBF);
  view.ShowProgressWindow();
  view.SetProgress(100);
  view.ReportFailure("Invalid MP3 Tag - /m/a\tb.mp3", "Invalid MP3 Tag - /m/a\tb.mp3");
  view.ShowError("Cannot open \"/m/c.mp3\": Permission denied");
  EXPECT_EQ(err_.str(),
            "Invalid MP3 Tag - /m/a\\tb.mp3\n"
            "melodrift-cli: Cannot open \"/m/c.mp3\": Permission denied\n");
  ASSERT_EQ(tables_.ErrorDBF.RecCount(), 1);
  EXPECT_EQ(TrimTrailing(tables_.ErrorDBF.FieldTextAt(1, "errmsg")),
            "Invalid MP3 Tag - /m/a\tb.mp3");
}

}  // namespace
}  // namespace melodrift
