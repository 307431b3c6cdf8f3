// melodrift-cli, the real program, in hostile surroundings: tables it may not write, table
// files that are not tables, a full disk, a music folder with loops, thousands of files that
// are not MP3 files, and file names with every byte. Each ends in its error or a clear
// message, never in a changed or broken library.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "library/table_error.h"
#include "tests/app/hostile_cli.h"
#include "tests/app/shell_fixtures.h"

namespace melodrift {
namespace {

namespace fs = std::filesystem;
using testing::CliCopy;
using testing::ProgramLimits;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const char* const kTableFiles[] = {"track_id.dbf",  "feature_values.dbf", "errors.dbf",
                                   "avg_array.dbf", "track_id.mdx",       "feature_values.mdx"};

std::string TestMp3(const std::string& name) {
  return std::string(MELODRIFT_TEST_MP3_DIR) + "/" + name;
}

// Every entry of a folder: file name -> bytes ("<folder>" for a folder).
std::map<std::string, std::string> FolderBytes(const std::string& folder) {
  std::map<std::string, std::string> bytes;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    bytes[name] = entry.is_directory() ? "<folder>" : ReadFileBytes(entry.path().string());
  }
  return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Describe(const ProgramRun& run) {
  return "status " + std::to_string(run.status) + "\nout: " + run.out.substr(0, 2000) +
         "\nerr: " + run.err.substr(0, 2000);
}

// Field `index` (from 0) of each row of a `tracks` listing, heading left out.
std::vector<std::string> ListingColumn(const std::string& listing, size_t index) {
  std::vector<std::string> values;
  const std::vector<std::string> lines = Lines(listing);
  for (size_t i = 1; i < lines.size(); ++i) {
    std::istringstream row(lines[i]);
    std::string field;
    for (size_t f = 0; f <= index && std::getline(row, field, '\t'); ++f) {
    }
    values.push_back(field);
  }
  return values;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char c = text[++i];
      out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// A folder of copies of one test file under the given names.
void FillMusicFolder(const std::string& folder, const std::vector<std::string>& names,
                     const std::string& source = "sine-mono-44k.mp3") {
  fs::create_directories(folder);
  for (const std::string& name : names) fs::copy_file(TestMp3(source), folder + "/" + name);
}

class HostileEnvironmentTest : public ::testing::Test {
 protected:
  // A library of `tracks` tracks (written here, then opened and closed once by the program,
  // so that its files are as the program leaves them).
  void MakeLibrary(int tracks) {
    {
      ScopedThrowingTableErrors throwing;
      std::vector<NewTrack> rows;
      for (int i = 0; i < tracks; ++i)
        rows.push_back(testing::Track("Artist " + std::to_string(i % 7), std::to_string(i)));
      testing::WriteLibrary(cli_.Folder(), rows);
    }
    const ProgramRun run = cli_.Run({"tracks"});
    ASSERT_EQ(run.status, 0) << Describe(run);
  }

  // The library opens and lists `tracks` tracks; check passes (each track has one feature row
  // per column, the indexes match their tables); the first and last track's features are
  // found through the unique_id index.
  void ExpectIntactLibrary(size_t tracks) {
    const ProgramRun listing = cli_.Run({"tracks"});
    ASSERT_EQ(listing.status, 0) << Describe(listing);
    const std::vector<std::string> ids = ListingColumn(listing.out, 0);
    ASSERT_EQ(ids.size(), tracks);
    ASSERT_FALSE(ids.empty());
    const ProgramRun check = cli_.Run({"check"});
    EXPECT_EQ(check.status, 0) << Describe(check);
    for (const std::string& id : {ids.front(), ids.back()}) {
      const ProgramRun features = cli_.Run({"features", id});
      EXPECT_EQ(features.status, 0) << Describe(features);
      EXPECT_EQ(Lines(features.out).size(), 256u) << "track " << id;
    }
  }

  CliCopy cli_;
  TempDir music_;
};

TEST_F(HostileEnvironmentTest, ReadOnlyTablesFolderIsRefusedWithAccessDeniedAndNothingChanges) {
  MakeLibrary(3);
  FillMusicFolder(music_.File("new"), {"a.mp3"});
  fs::permissions(music_.path(), fs::perms::all, fs::perm_options::add);
  // The folder is read-only for the user; in the second case its files are not, but the
  // missing index would have to be created in it.
  struct Case {
    const char* name;
    fs::perms files;
    const char* removed;
  };
  for (const Case& c : {Case{"files read-only too",
                             fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::others_read,
                             nullptr},
                        Case{"an index to rebuild", fs::perms::all, "track_id.mdx"}}) {
    SCOPED_TRACE(c.name);
    fs::permissions(cli_.Tables(), fs::perms::all, fs::perm_options::add);
    if (c.removed != nullptr) fs::remove(cli_.Table(c.removed));
    for (const auto& entry : fs::directory_iterator(cli_.Tables()))
      fs::permissions(entry.path(), c.files);
    fs::permissions(cli_.Tables(), fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    const auto before = FolderBytes(cli_.Tables());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"tracks"}, {"import", music_.File("new")}}) {
      const ProgramRun run = cli_.Run(args, {.unprivileged = true});
      if (run.status == testing::kCannotDropPrivileges)
        GTEST_SKIP() << "cannot run the program as an unprivileged user (uid 65534) from "
                     << cli_.Folder();
      EXPECT_EQ(run.status, table_error::kAccessDenied) << args[0] << "\n" << Describe(run);
      EXPECT_NE(run.err.find("File access denied"), std::string::npos) << run.err;
      EXPECT_TRUE(FolderBytes(cli_.Tables()) == before) << args[0] << " changed the library";
      EXPECT_FALSE(fs::exists(cli_.File("xxxyyzzz.wav")));
    }
  }
  fs::permissions(cli_.Tables(), fs::perms::all, fs::perm_options::add);
  const ProgramRun run = cli_.Run({"tracks"});  // writable again, the index is rebuilt
  EXPECT_EQ(run.status, 0) << Describe(run);
  ExpectIntactLibrary(3);
}

TEST_F(HostileEnvironmentTest, TableFileThatIsAFolderOrNotATableEndsWithItsErrorAndChangesNothing) {
  MakeLibrary(3);
  struct Case {
    const char* file;
    const char* replacement;  // "<folder>" for a folder, else the file's new bytes
    int status;
    const char* message;
  };
  const std::string text = "This is a shopping list, not a table.\nmilk\neggs\n";
  const std::vector<Case> cases = {
      {"track_id.dbf", "<folder>", table_error::kAccessDenied, "File access denied"},
      {"feature_values.dbf", "<folder>", table_error::kAccessDenied, "File access denied"},
      {"errors.dbf", "<folder>", table_error::kAccessDenied, "File access denied"},
      {"avg_array.dbf", "<folder>", table_error::kAccessDenied, "File access denied"},
      {"track_id.mdx", "<folder>", table_error::kAccessDenied, "File access denied"},
      {"feature_values.mdx", "<folder>", table_error::kAccessDenied, "File access denied"},
      {"track_id.dbf", text.c_str(), table_error::kNotDbase, "Not a dBASE data file"},
      {"feature_values.dbf", text.c_str(), table_error::kNotDbase, "Not a dBASE data file"},
      {"errors.dbf", text.c_str(), table_error::kNotDbase, "Not a dBASE data file"},
      {"avg_array.dbf", text.c_str(), table_error::kNotDbase, "Not a dBASE data file"},
      {"track_id.dbf", "", table_error::kNotDbase, "Not a dBASE data file"},
  };
  const auto library = FolderBytes(cli_.Tables());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " replaced by " +
                 (std::string(c.replacement) == "<folder>" ? "a folder" : "other bytes"));
    const std::string path = cli_.Table(c.file);
    fs::remove(path);
    if (std::string(c.replacement) == "<folder>") {
      fs::create_directory(path);
    } else {
      WriteFileBytes(path, c.replacement);
    }
    const auto before = FolderBytes(cli_.Tables());
    for (const char* command : {"tracks", "check"}) {
      const ProgramRun run = cli_.Run({command});
      if (std::string(command) == "tracks") {
        EXPECT_EQ(run.status, c.status) << Describe(run);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
      } else {
        EXPECT_EQ(run.status, 1) << "check must name the broken file\n" << Describe(run);
        EXPECT_NE(run.out.find(std::string(c.file) + ": "), std::string::npos) << run.out;
      }
      EXPECT_TRUE(FolderBytes(cli_.Tables()) == before) << command << " changed the library";
    }
    // The original file back: the library is as it was.
    fs::remove_all(path);
    WriteFileBytes(path, library.at(c.file));
  }
  ExpectIntactLibrary(3);
}

TEST_F(HostileEnvironmentTest, IndexFileThatIsNotAnIndexIsRebuilt) {
  MakeLibrary(3);
  for (const char* index : {"track_id.mdx", "feature_values.mdx"}) {
    SCOPED_TRACE(index);
    WriteFileBytes(cli_.Table(index), std::string(5000, 'x'));
    ExpectIntactLibrary(3);
    EXPECT_NE(ReadFileBytes(cli_.Table(index)), std::string(5000, 'x'));
  }
}

TEST_F(HostileEnvironmentTest, FullDiskEndsWithDiskWriteErrorAndKeepsEveryStoredTrack) {
  // Large enough that the feature table, not the temporary WAV file of one test file, is the
  // file that meets the limit.
  constexpr int kStored = 60;
  MakeLibrary(kStored);
  FillMusicFolder(music_.File("new"), {"a.mp3", "b.mp3", "c.mp3"});
  fs::permissions(music_.path(), fs::perms::all, fs::perm_options::add);
  const long long features = testing::FileSize(cli_.Table("feature_values.dbf"));
  struct Case {
    const char* name;
    long long limit;
    const char* full_file;  // the file whose write fails
    size_t stored_after;    // tracks in the library afterwards
  };
  // 256 rows of 34 bytes per track: the first limit falls inside the second new track's rows;
  // the second below the track table's size, whose packing at the opening fails.
  for (const Case& c :
       {Case{"during the import", features + 256 * 34 + 1500, "feature_values.dbf", kStored + 1},
        Case{"at the opening", 4096, "track_id.dbf", kStored + 1}}) {
    SCOPED_TRACE(c.name);
    const ProgramRun run = cli_.Run({"import", music_.File("new")}, {.file_size_limit = c.limit});
    EXPECT_EQ(run.status, table_error::kDiskWrite) << Describe(run);
    EXPECT_NE(run.err.find("Disk write error"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.full_file), std::string::npos) << run.err;
    ExpectIntactLibrary(c.stored_after);
  }
  // Without the limit the import completes the files that were left.
  const ProgramRun run = cli_.Run({"import", music_.File("new")});
  EXPECT_EQ(run.status, 0) << Describe(run);
  ExpectIntactLibrary(kStored + 3);
}

TEST_F(HostileEnvironmentTest, SymbolicLinkLoopsInTheMusicFolderEndTheImport) {
  const std::string music = music_.File("music");
  FillMusicFolder(music, {"one.mp3"});
  FillMusicFolder(music + "/sub", {"two.mp3"});
  fs::create_directory_symlink(".", music + "/itself");
  fs::create_directory_symlink("..", music + "/sub/parent");
  fs::create_directory_symlink("../sub", music + "/sub/again");
  fs::create_symlink("self.mp3", music + "/self.mp3");  // a link to itself
  fs::create_symlink("nowhere.mp3", music + "/dangling.mp3");
  const ProgramRun run = cli_.Run({"import", music});
  EXPECT_EQ(run.status, 0) << Describe(run);
  const ProgramRun listing = cli_.Run({"tracks"});
  std::vector<std::string> paths = ListingColumn(listing.out, 6);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{music + "/one.mp3", music + "/sub/two.mp3"}));
  EXPECT_EQ(cli_.Run({"check"}).status, 0);
}

TEST_F(HostileEnvironmentTest, ThousandsOfOtherFilesBesideEmptyMp3FilesAreSkippedOrStoredEmpty) {
  const std::string music = music_.File("music");
  fs::create_directories(music);
  // Names that come close to ".mp3" without being one, and plain others.
  const std::vector<std::string> near = {".mp", ".mp4", ".mp33", ".mp3.txt", ".mp3 ", "mp3", ".m3"};
  for (int i = 0; i < 10000; ++i) {
    WriteFileBytes(
        music + "/other" + std::to_string(i) + near[static_cast<size_t>(i) % near.size()],
        i % 2 == 0 ? "" : "not music");
  }
  std::set<std::string> empty;
  const std::vector<std::string> cases = {".mp3", ".MP3", ".Mp3", ".mP3"};
  for (int i = 0; i < 1000; ++i) {
    const std::string path =
        music + "/empty" + std::to_string(i) + cases[static_cast<size_t>(i) % 4];
    WriteFileBytes(path, "");
    empty.insert(path);
  }
  const ProgramRun run = cli_.Run({"import", music});
  ASSERT_EQ(run.status, 0) << Describe(run);
  EXPECT_NE(run.err.find("Added 1000 tracks (1000 MP3 files found, 1000 logged problems)"),
            std::string::npos)
      << run.err.substr(run.err.size() > 500 ? run.err.size() - 500 : 0);

  const ProgramRun listing = cli_.Run({"tracks"});
  ASSERT_EQ(listing.status, 0);
  const std::vector<std::string> paths = ListingColumn(listing.out, 6);
  EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), empty);
  const std::vector<std::string> seconds = ListingColumn(listing.out, 1);
  EXPECT_EQ(std::count(seconds.begin(), seconds.end(), "-1"), 1000);
  const std::vector<std::string> ids = ListingColumn(listing.out, 0);
  ASSERT_EQ(ids.size(), 1000u);
  for (const std::string& id : {ids.front(), ids.back()}) {
    const ProgramRun features = cli_.Run({"features", id});
    EXPECT_EQ(Lines(features.out), std::vector<std::string>(256, "0")) << "track " << id;
  }
  // Feature values are magnitudes: an average of all zeros means every track's are zero.
  EXPECT_EQ(Lines(cli_.Run({"average"}).out), std::vector<std::string>(256, "0"));
  const ProgramRun log = cli_.Run({"dump", cli_.Table("errors.dbf")});
  std::set<std::string> logged;
  for (const std::string& line : Lines(log.out)) {
    const size_t at = line.find("Invalid MP3 Tag - ");
    if (at != std::string::npos) logged.insert(line.substr(at + 18));
  }
  EXPECT_EQ(logged, empty);
  EXPECT_EQ(cli_.Run({"check"}).status, 0);
}

TEST_F(HostileEnvironmentTest, FileNamesWithEveryByteAreStoredOnceAndListedEscaped) {
  const std::string music = music_.File("music");
  // Bytes 1 to 255 except '/', 40 to a name: invalid UTF-8, line breaks, tabs, backslashes.
  std::vector<std::string> names;
  std::string name;
  for (int byte = 1; byte <= 255; ++byte) {
    if (byte == '/') continue;
    name.push_back(static_cast<char>(byte));
    if (name.size() == 40 || byte == 255) {
      names.push_back(name + ".mp3");
      name.clear();
    }
  }
  FillMusicFolder(music, names);
  std::set<std::string> expected;
  for (const std::string& n : names) expected.insert(music + "/" + n);

  ProgramRun run = cli_.Run({"import", music});
  ASSERT_EQ(run.status, 0) << Describe(run);
  const ProgramRun listing = cli_.Run({"tracks"});
  ASSERT_EQ(listing.status, 0);
  // One line per track: the line breaks inside the names are escaped.
  ASSERT_EQ(Lines(listing.out).size(), names.size() + 1) << listing.out;
  std::set<std::string> listed;
  for (const std::string& path : ListingColumn(listing.out, 6)) listed.insert(Unescape(path));
  EXPECT_EQ(listed, expected);

  run = cli_.Run({"import", music});
  ASSERT_EQ(run.status, 0) << Describe(run);
  EXPECT_NE(run.err.find("Added 0 tracks"), std::string::npos) << run.err;
  EXPECT_EQ(cli_.Run({"tracks"}).out, listing.out) << "a file was stored twice";
  EXPECT_EQ(cli_.Run({"check"}).status, 0);
}

}  // namespace
}  // namespace melodrift
