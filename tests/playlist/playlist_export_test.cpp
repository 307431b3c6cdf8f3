// The playlist under its limits: the limit walk, Test's cursor, the M3U file Write makes and
// the files Copy makes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "playlist/playlist_export.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::FileSize;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

PlaylistLimits Count(int64_t songs) {
  return {LimitKind::kCount, songs, 80 * 60, 700 * 1024};
}
PlaylistLimits Minutes(int64_t minutes) {
  return {LimitKind::kTime, 40, minutes * 60, 700 * 1024};
}
PlaylistLimits Kilobytes(int64_t kilobytes) {
  return {LimitKind::kSize, 40, 80 * 60, kilobytes};
}

// Rows with IDist 1, 2, 3, ... in the order given.
void Fill(TCandidateTable& table, const std::vector<int32_t>& seconds,
          const std::vector<std::string>& paths = {}) {
  for (size_t i = 0; i < seconds.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    table.Insert({static_cast<int32_t>(100 + i), static_cast<int64_t>(i + 1), "Artist " + n,
                  "Song " + n, i < paths.size() ? paths[i] : "/music/" + n + ".mp3", seconds[i]});
  }
}

struct WalkCase {
  const char* what;
  PlaylistLimits limits;
  std::vector<int32_t> seconds;
  int64_t taken;
  int64_t test_cursor;  // row number Test leaves the cursor on; 0 for an empty table
};

TEST(PlaylistWalkTest, TakesTheLongestRunFromTheTopWithinTheLimit) {
  const std::vector<WalkCase> cases = {
      {"count 40 of 100 rows", Count(40), std::vector<int32_t>(100, 200), 40, 40},
      {"count 3 of exactly 3 rows", Count(3), {200, 200, 200}, 3, 3},
      {"count 0", Count(0), {200, 200}, 0, 1},
      {"count -5", Count(-5), {200, 200}, 0, 1},
      {"time 10 min: totals 300, 600, 612", Minutes(10), {298, 298, 10}, 2, 2},
      {"time: the first row alone is beyond", Minutes(1), {59, 10}, 0, 1},
      {"an empty table", Count(40), {}, 0, 0},
      {"an empty table is not measured", Kilobytes(1), {}, 0, 0},
  };
  for (const WalkCase& c : cases) {
    TCandidateTable table("PlayList");
    Fill(table, c.seconds);
    std::vector<int32_t> visited;
    EXPECT_EQ(WalkPlaylist(table, c.limits,
                           [&](const CandidateRow& row) { visited.push_back(row.Unique_ID); }),
              c.taken)
        << c.what;
    ASSERT_EQ(static_cast<int64_t>(visited.size()), c.taken) << c.what;
    for (size_t i = 0; i < visited.size(); ++i) {
      EXPECT_EQ(visited[i], static_cast<int32_t>(100 + i)) << c.what << ": rows in dist order";
    }

    if (table.RecordCount() > 0) table.MoveTo(table.RecordCount());
    EXPECT_EQ(TestPlaylist(table, c.limits), c.taken) << c.what;
    EXPECT_EQ(table.RecNo(), c.test_cursor) << c.what;
  }
}

TEST(PlaylistWalkTest, NegativeDistancesComeFirst) {
  TCandidateTable table("PlayList");
  for (auto [id, dist] : {std::pair{1, 12}, {2, -40}, {3, 9999999}, {4, 10}}) {
    table.Insert({id, dist, "A", "S", "/m/" + std::to_string(id) + ".mp3", 100});
  }
  std::vector<int32_t> ids;
  WalkPlaylist(table, Count(3), [&](const CandidateRow& row) { ids.push_back(row.Unique_ID); });
  EXPECT_EQ(ids, (std::vector<int32_t>{2, 4, 1}));
}

struct SizeCase {
  const char* what;
  std::vector<size_t> bytes;
  int64_t kilobytes;
  int64_t taken;
};

TEST(PlaylistWalkTest, SizeLimitCountsRoundedKilobytesOfEachFile) {
  const std::vector<SizeCase> cases = {
      {"1 MB: 586 KB fits, 586 + 439 does not", {600000, 450000}, 1024, 1},
      {"512 bytes count 0 KB", {512, 512, 512}, 0, 3},
      {"1536 bytes count 2 KB (half to even)", {1536, 1536}, 3, 1},
      {"2560 bytes count 2 KB (half to even)", {2560, 2560}, 4, 2},
      {"1535 bytes count 1 KB", {1535, 1535, 1535}, 2, 2},
  };
  for (const SizeCase& c : cases) {
    TempDir dir;
    std::vector<std::string> paths;
    for (size_t i = 0; i < c.bytes.size(); ++i) {
      paths.push_back(dir.File(std::to_string(i) + ".mp3"));
      WriteFileBytes(paths.back(), std::string(c.bytes[i], 'x'));
    }
    TCandidateTable table("PlayList");
    Fill(table, std::vector<int32_t>(c.bytes.size(), 200), paths);
    EXPECT_EQ(WalkPlaylist(table, Kilobytes(c.kilobytes)), c.taken) << c.what;
  }
}

TEST(PlaylistWalkTest, SizeLimitStopsOnAFileThatCannotBeMeasured) {
  TempDir dir;
  WriteFileBytes(dir.File("a.mp3"), "abc");
  std::filesystem::create_directory(dir.File("folder.mp3"));
  for (const auto& [path, reason] : {std::pair{dir.File("missing.mp3"), "File not found"},
                                     {dir.File("no-such-folder/b.mp3"), "Path not found"},
                                     {dir.File("folder.mp3"), "File access denied"}}) {
    TCandidateTable table("PlayList");
    // Trailing blanks, as the library's text columns hold them, are dropped before opening.
    Fill(table, {200, 200, 200}, {dir.File("a.mp3") + "   ", path, dir.File("a.mp3")});
    std::vector<int32_t> taken;
    try {
      WalkPlaylist(table, Kilobytes(1024),
                   [&](const CandidateRow& row) { taken.push_back(row.Unique_ID); });
      ADD_FAILURE() << path << " was measured";
    } catch (const PlaylistFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + ": " + reason);
    }
    EXPECT_EQ(taken, std::vector<int32_t>{100}) << "the row before was taken";
  }
  // The count and time limits never open the files.
  TCandidateTable table("PlayList");
  Fill(table, {200}, {dir.File("missing.mp3")});
  EXPECT_EQ(WalkPlaylist(table, Count(1)), 1);
  EXPECT_EQ(WalkPlaylist(table, Minutes(10)), 1);
}

TEST(PlaylistWriteTest, WritesExtendedM3uWithCrLfAndWithoutTrailingBlanks) {
  TempDir dir;
  TCandidateTable table("PlayList");
  table.Insert({7, 25, "Artist A   ", "Song One ", "/music/a/one.mp3   ", 215});
  table.Insert({3, -4, "Bj\xF6rk", "J\xF3ga", "/music/b/two.mp3", 187});
  table.Insert({9, 30, "Cut", "Off", "/music/c.mp3", 100});
  const std::string path = dir.File("list.m3u");
  WriteFileBytes(path, "an older, longer playlist file that is replaced without a question");

  EXPECT_EQ(WritePlaylist(table, Count(2), path), 2);
  EXPECT_EQ(ReadFileBytes(path),
            "#EXTM3U\r\n"
            "#EXTINF:187,Bj\xF6rk - J\xF3ga\r\n"
            "/music/b/two.mp3\r\n"
            "#EXTINF:215,Artist A - Song One\r\n"
            "/music/a/one.mp3\r\n");

  EXPECT_EQ(WritePlaylist(table, Count(0), path), 0);
  EXPECT_EQ(ReadFileBytes(path), "#EXTM3U\r\n");
}

TEST(PlaylistWriteTest, LineBreaksInsideTagsCannotSplitAnEntry) {
  CandidateRow row{1, 10, "Two\r\nLines", "Song\n", "/m/a.mp3", 61};
  EXPECT_EQ(ExtInfLine(row), "#EXTINF:61,Two  Lines - Song");
}

TEST(PlaylistWriteTest, FortyOfAHundredRowsMakeEightyOneLines) {
  TempDir dir;
  TCandidateTable table("PlayList");
  Fill(table, std::vector<int32_t>(100, 200));
  const std::string path = dir.File("forty.m3u");
  ASSERT_EQ(WritePlaylist(table, Count(40), path), 40);
  const std::string text = ReadFileBytes(path);
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 81u);
  EXPECT_EQ(text.size() >= 2 ? text.substr(text.size() - 2) : "", "\r\n");
  EXPECT_NE(text.find("/music/40.mp3\r\n"), std::string::npos);
  EXPECT_EQ(text.find("/music/41.mp3"), std::string::npos);
}

TEST(PlaylistWriteTest, FailuresAreReportedAndKeepWhatWasWritten) {
  TempDir dir;
  TCandidateTable table("PlayList");
  WriteFileBytes(dir.File("a.mp3"), "abc");
  Fill(table, {200, 200}, {dir.File("a.mp3"), dir.File("gone.mp3")});

  const std::string path = dir.File("list.m3u");
  EXPECT_THROW(WritePlaylist(table, Kilobytes(1024), path), PlaylistFileError);
  EXPECT_EQ(ReadFileBytes(path),
            "#EXTM3U\r\n#EXTINF:200,Artist 1 - Song 1\r\n" + dir.File("a.mp3") + "\r\n");

  try {
    WritePlaylist(table, Count(40), dir.File("no-such-folder/list.m3u"));
    ADD_FAILURE() << "a playlist in a missing folder was reported as written";
  } catch (const PlaylistFileError& e) {
    EXPECT_EQ(std::string(e.what()), dir.File("no-such-folder/list.m3u") + ": Path not found");
  }
}

TEST(PlaylistWriteTest, NameWithoutExtensionGetsM3u) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/u/mix", "/home/u/mix.m3u"},     {"/home/u/mix.m3u", "/home/u/mix.m3u"},
      {"/home/u/mix.txt", "/home/u/mix.txt"}, {"/home/u.d/mix", "/home/u.d/mix.m3u"},
      {"/home/u/.mix", "/home/u/.mix.m3u"},   {"mix", "mix.m3u"},
  };
  for (const auto& [given, expected] : cases) {
    EXPECT_EQ(WithPlaylistExtension(given), expected) << given;
  }
}

class PlaylistCopyTest : public ::testing::Test {
 protected:
  std::string Track(const std::string& name, const std::string& content) {
    const std::string path = music_.File(name);
    WriteFileBytes(path, content);
    return path;
  }
  std::vector<std::string> FolderEntries() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(target_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir music_;
  TempDir target_;
  TCandidateTable table_{"PlayList"};
};

TEST_F(PlaylistCopyTest, CopiesThePlaylistReplacingFilesOfTheSameName) {
  Fill(table_, {200, 200, 200},
       {Track("one.mp3", "first track") + "  ", Track("two.mp3", std::string(3 << 20, 'z')),
        Track("three.mp3", "not in the playlist")});
  WriteFileBytes(target_.File("one.mp3"), "an older copy, longer than the track");

  const CopyOutcome outcome = CopyPlaylistFiles(table_, Count(2), target_.path());
  EXPECT_EQ(outcome.copied, 2);
  EXPECT_TRUE(outcome.failures.empty());
  EXPECT_EQ(ReadFileBytes(target_.File("one.mp3")), "first track");
  EXPECT_EQ(ReadFileBytes(target_.File("two.mp3")), std::string(3 << 20, 'z'));
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"one.mp3", "two.mp3"}))
      << "nothing beyond the limit and no leftover files";

  const CopyOutcome none = CopyPlaylistFiles(table_, Count(0), target_.path() + "/");
  EXPECT_EQ(none.copied, 0);
  EXPECT_TRUE(none.failures.empty());
}

TEST_F(PlaylistCopyTest, AnUnreadableTrackLeavesTheDestinationAsItWasAndTheCopyGoesOn) {
  Fill(table_, {200, 200, 200},
       {music_.File("gone.mp3"), Track("unreadable.mp3", "secret"), Track("ok.mp3", "fine")});
  ::chmod(music_.File("unreadable.mp3").c_str(), 0);
  WriteFileBytes(target_.File("gone.mp3"), "a good copy from before");
  const bool root = ::geteuid() == 0;  // root reads a file without read permission

  const CopyOutcome outcome = CopyPlaylistFiles(table_, Count(3), target_.path());
  EXPECT_EQ(ReadFileBytes(target_.File("gone.mp3")), "a good copy from before")
      << "a missing track must not wipe the copy that is there";
  EXPECT_EQ(ReadFileBytes(target_.File("ok.mp3")), "fine");
  EXPECT_EQ(outcome.copied, root ? 2 : 1);
  ASSERT_EQ(outcome.failures.size(), root ? 1u : 2u);
  EXPECT_EQ(outcome.failures[0], music_.File("gone.mp3") + ": File not found");
  if (!root) {
    EXPECT_EQ(outcome.failures[1], music_.File("unreadable.mp3") + ": File access denied");
    EXPECT_EQ(FileSize(target_.File("unreadable.mp3")), -1);
  }
  EXPECT_EQ(FolderEntries().size(), root ? 3u : 2u) << "no leftover partial files";
}

TEST_F(PlaylistCopyTest, AnUncreatableDestinationIsPassedOverAndListed) {
  Fill(table_, {200, 200}, {Track("a.mp3", "A"), Track("b.mp3", "B")});
  const std::string missing = target_.File("not-there");
  const CopyOutcome outcome = CopyPlaylistFiles(table_, Count(2), missing);
  EXPECT_EQ(outcome.copied, 0);
  EXPECT_EQ(outcome.failures, (std::vector<std::string>{missing + "/a.mp3: Path not found",
                                                        missing + "/b.mp3: Path not found"}));
  EXPECT_EQ(ReadFileBytes(music_.File("a.mp3")), "A");
}

}  // namespace
}  // namespace melodrift
