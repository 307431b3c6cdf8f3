// melodrift-cli's commands, run in-process on a library in a temporary folder.
#include "app/cli_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "library/error_log.h"
#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

using testing::LibraryFolder;
using testing::MakeTrack;

class CliTest : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunCli(args, folder_.program_folder(), out_, err_, false);
  }

  // A library of two tracks, closed again.
  void StoreTwoTracks() {
    LibraryTables tables;
    tables.SetFileNames(folder_.program_folder());
    ScopedThrowingTableErrors throwing;
    LibraryFolder::OpenTables(tables);
    NewTrack zappa = MakeTrack("Zappa", "Peaches", 10);
    zappa.features.fill(7);
    tables.StoreTrack(zappa);
    NewTrack abba = MakeTrack("abba\xE9", "Waterloo", 20);
    abba.filepath = "/music/with\ttab.mp3";
    abba.features.fill(8);
    tables.StoreTrack(abba);
    tables.CloseAll();
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  LibraryFolder folder_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(CliTest, BadArgumentsPrintTheUsageAndExitWith2) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"frobnicate"},
                                               {"import"},
                                               {"tracks", "extra"},
                                               {"features"},
                                               {"features", "x"},
                                               {"features", "-1"},
                                               {"features", "12abc"},
                                               {"dump"}}) {
    EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
    EXPECT_NE(err_.str().find("Usage: melodrift-cli"), std::string::npos);
  }
}

TEST_F(CliTest, TracksFeaturesAndAverageOfAStoredLibrary) {
  StoreTwoTracks();
  // The first opening builds the average (7 + 8) / 2 from the features and stores it; later
  // ones read it back, rounded half to even.
  ASSERT_EQ(Run({"average"}), 0) << err_.str();
  EXPECT_EQ(Lines(), std::vector<std::string>(256, "7.5"));
  ASSERT_EQ(Run({"average"}), 0);
  EXPECT_EQ(Lines(), std::vector<std::string>(256, "8"));

  ASSERT_EQ(Run({"tracks"}), 0) << err_.str();
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "unique_id\tseconds\tartist\talbum\tsong\tinclude\tfilepath",
                         "0\t200\tZappa\tAlbum of Zappa\tPeaches\tT\t/music/Zappa/Peaches.mp3",
                         "1\t200\tabba\xC3\xA9\tAlbum of abba\xC3\xA9\tWaterloo\tT\t"
                         "/music/with\\ttab.mp3"}));

  ASSERT_EQ(Run({"features", "1"}), 0) << err_.str();
  EXPECT_EQ(Lines(), std::vector<std::string>(256, "8"));
  EXPECT_EQ(Run({"features", "5"}), 1);
  EXPECT_NE(err_.str().find("no track has unique_id 5"), std::string::npos);
}

TEST_F(CliTest, CheckPassesOnAGoodLibraryAndNamesWhatIsBroken) {
  StoreTwoTracks();
  ASSERT_EQ(Run({"tracks"}), 0);  // opens and closes: indexes flushed, average stored
  const std::string before = testing::ReadFileBytes(folder_.Table("feature_values.mdx"));
  EXPECT_EQ(Run({"check"}), 0) << out_.str();
  EXPECT_NE(out_.str().find("check: OK"), std::string::npos);
  EXPECT_EQ(testing::ReadFileBytes(folder_.Table("feature_values.mdx")), before);  // read only

  // Feature rows whose track is missing, and an average table of the wrong size.
  {
    LibraryTables tables;
    tables.SetFileNames(folder_.program_folder());
    ScopedThrowingTableErrors throwing;
    LibraryFolder::OpenTables(tables);
    tables.FeatureDBF.ClearRecord();
    tables.FeatureDBF.SetFieldInt("unique_id", 9);
    tables.FeatureDBF.AppendRec();
    tables.AvgDBF.Go(256);
    tables.AvgDBF.DeleteRec();
    tables.AvgDBF.Pack();
    tables.CloseAll();
  }
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_NE(out_.str().find("feature rows of unique_id 9 belong to no track"), std::string::npos)
      << out_.str();
  EXPECT_NE(out_.str().find("avg_array.dbf holds 255 rows"), std::string::npos) << out_.str();
}

TEST_F(CliTest, CheckFindsAnIndexThatDoesNotMatchItsTable) {
  StoreTwoTracks();
  ASSERT_EQ(Run({"tracks"}), 0);
  // One more track row appended behind the index's back.
  const std::string path = folder_.Table("track_id.dbf");
  std::string bytes = testing::ReadFileBytes(path);
  const std::string record = bytes.substr(321, 1392);
  bytes.insert(bytes.size() - 1, record);
  testing::WriteFileBytes(path, bytes);
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_NE(out_.str().find("track_id.mdx"), std::string::npos) << out_.str();
}

TEST_F(CliTest, LibraryInUseIsRefusedWithTheSharingViolation) {
  LibraryTables tables;
  tables.SetFileNames(folder_.program_folder());
  ScopedThrowingTableErrors throwing;
  LibraryFolder::OpenTables(tables);
  const std::string before = testing::ReadFileBytes(folder_.Table("track_id.dbf"));
  for (const char* command : {"tracks", "average", "check"}) {
    EXPECT_EQ(Run({command}), 32) << command;
    EXPECT_NE(err_.str().find("File sharing violation"), std::string::npos) << err_.str();
  }
  EXPECT_EQ(testing::ReadFileBytes(folder_.Table("track_id.dbf")), before);
}

TEST_F(CliTest, ImportAddsAFolderAndReportsWhatItDid) {
  testing::TempDir music;
  std::filesystem::copy_file(std::string(MELODRIFT_TEST_MP3_DIR) + "/sine-stereo-44k.mp3",
                             music.File("a.mp3"));
  std::filesystem::copy_file(std::string(MELODRIFT_TEST_MP3_DIR) + "/empty.mp3",
                             music.File("b.mp3"));
  ASSERT_EQ(Run({"import", music.path()}), 0) << err_.str();
  EXPECT_NE(err_.str().find("Invalid MP3 Tag - " + music.File("b.mp3")), std::string::npos)
      << err_.str();
  EXPECT_NE(err_.str().find("Added 2 tracks"), std::string::npos) << err_.str();
  EXPECT_EQ(out_.str(), "");

  ASSERT_EQ(Run({"tracks"}), 0);
  ASSERT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Lines()[1],
            "0	1	Test Signals	Sines	Two Tones	T	" + music.File("a.mp3"));
  EXPECT_EQ(Run({"check"}), 0) << out_.str();

  // The failure went to the error log as well.
  LibraryTables tables;
  tables.SetFileNames(folder_.program_folder());
  ScopedThrowingTableErrors throwing;
  tables.ErrorDBF.Open();
  ASSERT_EQ(tables.ErrorDBF.RecCount(), 1);
  EXPECT_EQ(TrimTrailing(tables.ErrorDBF.FieldTextAt(1, "errmsg")),
            "Invalid MP3 Tag - " + music.File("b.mp3"));
  tables.CloseAll();

  EXPECT_EQ(Run({"import", music.File("missing")}), 1);
  EXPECT_NE(err_.str().find("Folder not found"), std::string::npos) << err_.str();
}

TEST_F(CliTest, RankAndPlaylistOptionsAreChecked) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"rank"},
        {"rank", "--seed"},
        {"rank", "--seed", "x"},
        {"rank", "--seed", "1", "--average"},
        {"rank", "--average", "--random", "6"},
        {"rank", "--average", "--boost", "max"},
        {"rank", "--average", "--artist", "Same"},
        {"rank", "--average", "--seconds-filter", "10"},
        {"rank", "--average", "--count", "3"},
        {"playlist", "--average", "--output", "x.m3u"},
        {"playlist", "--average", "--count", "3"},
        {"playlist", "--average", "--count", "x", "--output", "x.m3u"},
        {"playlist", "--average", "--count", "3", "--minutes", "4", "--output", "x.m3u"}}) {
    EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
  }
}

// The demo files come in three groups of similar sound; each group's members rank nearest to
// one another.
TEST_F(CliTest, NearestNeighboursOfADemoTrackAreItsOwnGroup) {
  ASSERT_EQ(Run({"import", MELODRIFT_DEMO_DIR}), 0) << err_.str();
  ASSERT_EQ(Run({"tracks"}), 0);
  std::map<std::string, std::string> artist_of;  // unique_id -> artist
  std::map<std::string, std::vector<std::string>> ids_of;
  for (size_t i = 1; i < Lines().size(); ++i) {
    std::istringstream row(Lines()[i]);
    std::string id, seconds, artist;
    std::getline(row, id, '\t');
    std::getline(row, seconds, '\t');
    std::getline(row, artist, '\t');
    artist_of[id] = artist;
    ids_of[artist].push_back(id);
  }
  ASSERT_EQ(ids_of.size(), 3u);
  for (const auto& [artist, ids] : ids_of) {
    for (const std::string& seed : ids) {
      ASSERT_EQ(Run({"rank", "--seed", seed, "--random", "1"}), 0) << err_.str();
      const std::vector<std::string> lines = Lines();
      ASSERT_EQ(lines.size(), 9u);
      EXPECT_EQ(lines[0], "unique_id\tidist\tseconds\tartist\tsong\tpath");
      for (size_t rank = 1; rank <= ids.size(); ++rank) {
        const std::string id = lines[rank].substr(0, lines[rank].find('\t'));
        EXPECT_EQ(artist_of[id], artist) << "seed " << seed << ", place " << rank;
      }
    }
  }
}

TEST_F(CliTest, PlaylistWritesTheTopOfTheRankingAsExtendedM3u) {
  ASSERT_EQ(Run({"import", MELODRIFT_DEMO_DIR}), 0) << err_.str();
  testing::TempDir out;
  ASSERT_EQ(
      Run({"playlist", "--average", "--random", "1", "--count", "3", "--output", out.File("mix")}),
      0)
      << err_.str();
  const std::string m3u = testing::ReadFileBytes(out.File("mix.m3u"));
  EXPECT_EQ(m3u.rfind("#EXTM3U\r\n#EXTINF:", 0), 0u) << m3u;
  EXPECT_EQ(std::count(m3u.begin(), m3u.end(), '\n'), 7);
  EXPECT_EQ(std::count(m3u.begin(), m3u.end(), '\r'), 7);
  EXPECT_NE(err_.str().find("Wrote 3 entries"), std::string::npos) << err_.str();

  EXPECT_EQ(Run({"playlist", "--seed", "99", "--count", "3", "--output", out.File("x")}), 1);
  EXPECT_NE(err_.str().find("no track has unique_id 99"), std::string::npos);
}

TEST_F(CliTest, DumpShowsFieldsAndRecordsOfAnyTable) {
  StoreTwoTracks();
  ASSERT_EQ(Run({"dump", folder_.Table("track_id.dbf")}), 0) << err_.str();
  std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "# UNIQUE_ID N 10 0");
  EXPECT_EQ(lines[9].substr(0, 17), "deleted\tUNIQUE_ID");
  EXPECT_NE(lines[11].find("abba\xC3\xA9"), std::string::npos);  // stored in CP850, shown as UTF-8

  EXPECT_EQ(Run({"dump", folder_.Table("nothing.dbf")}), 1);
  EXPECT_NE(err_.str().find("no such file"), std::string::npos);
  testing::WriteFileBytes(folder_.Table("junk.dbf"), "not a table at all, just some text");
  EXPECT_EQ(Run({"dump", folder_.Table("junk.dbf")}), 210);
  EXPECT_NE(err_.str().find("Not a dBASE data file"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace melodrift
