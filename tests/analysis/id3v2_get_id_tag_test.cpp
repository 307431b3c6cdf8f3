// GetIDTag on files: the three texts as the import stores them, and "unknown" for every file
// whose tag cannot be used.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "analysis/id3v2_tag.h"
#include "tests/support/id3v2_builder.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using namespace std::string_literals;
using testing::Bytes;
using testing::Concat;
using testing::Frame;
using testing::Latin1Text;
using testing::Tag;
using testing::TempDir;
using testing::ThreeTextFrames;
using testing::ToBytes;

// A few bytes of MPEG audio after the tag, as in a real file.
const Bytes kAudio = {0xFF, 0xFB, 0x90, 0x64, 0x00, 0x00, 0xFF, 0xE0, 0x00, 0x00};

void WriteFile(const std::string& path, const Bytes& bytes) {
  testing::WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

void ExpectUnknown(const TagTexts& texts) {
  EXPECT_FALSE(texts.usable);
  EXPECT_EQ(texts.song, "unknown");
  EXPECT_EQ(texts.artist, "unknown");
  EXPECT_EQ(texts.album, "unknown");
}

TEST(Id3v2GetIDTagTest, ReadsTheThreeTextsOrUnknownForAnUnusableTag) {
  struct Case {
    const char* name;
    Bytes file;
    std::string song, artist, album;  // all empty: "unknown"
  };
  const Bytes utf16_artist = {1, 0xFF, 0xFE, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0, 0, 0};
  const Bytes v22 = Concat({ToBytes("ID3"),
                            {2, 0, 0, 0, 0, 0, 30},
                            ToBytes("TT2"),
                            {0, 0, 5},
                            Latin1Text("Song"),
                            ToBytes("TP1"),
                            {0, 0, 3},
                            Latin1Text("Ar"),
                            ToBytes("TAL"),
                            {0, 0, 3},
                            Latin1Text("Al")});
  const Bytes v3_oversized = [] {
    Bytes tag = Tag(3, 0, ThreeTextFrames(3, "Song", "Artist", "Album"));
    tag[9] += 20;  // 20 bytes past the end of the file
    return tag;
  }();
  const std::vector<Case> cases = {
      {"v3 texts ending in 0", Tag(3, 0, ThreeTextFrames(3, "Song\0"s, "Artist\0"s, "Album\0"s)),
       "Song", "Artist", "Album"},
      {"v4 TPE1 with two values", Tag(4, 0, ThreeTextFrames(4, "Song", "One\0Two"s, "Album")),
       "Song", "One", "Album"},
      {"trailing blanks and a line break removed",
       Tag(3, 0, ThreeTextFrames(3, "Song  \n", "Artist\r", "Album \0"s)), "Song", "Artist",
       "Album"},
      {"two lines: the first", Tag(3, 0, ThreeTextFrames(3, "Line one\nLine two", "A", "B")),
       "Line one", "A", "B"},
      {"utf16 artist",
       Tag(3, 0,
           Concat({Frame(3, {"TIT2", Latin1Text("Song")}), Frame(3, {"TPE1", utf16_artist}),
                   Frame(3, {"TALB", Latin1Text("Album")})})),
       "Song", "Caf\xE9", "Album"},
      {"TIT2 of blanks only", Tag(3, 0, ThreeTextFrames(3, "   ", "Artist", "Album")), "", "", ""},
      {"TALB missing",
       Tag(3, 0,
           Concat({Frame(3, {"TIT2", Latin1Text("S")}), Frame(3, {"TPE1", Latin1Text("A")})})),
       "", "", ""},
      {"TPE1 encrypted",
       Tag(3, 0,
           Concat({Frame(3, {"TIT2", Latin1Text("S")}),
                   Frame(3, {"TPE1", Latin1Text("A"), 0x40, {0x80}}),
                   Frame(3, {"TALB", Latin1Text("B")})})),
       "", "", ""},
      {"ID3v2.2 tag", v22, "", "", ""},
      {"tag past the end of the file", v3_oversized, "", "", ""},
      {"no tag", {}, "", "", ""},
  };
  TempDir dir;
  Tid3v2tag reader;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("track.mp3");
    WriteFile(path, Concat({c.file, kAudio}));
    const TagTexts texts = GetIDTag(reader, path);
    if (c.song.empty()) {
      ExpectUnknown(texts);
    } else {
      EXPECT_TRUE(texts.usable);
      EXPECT_EQ(texts.song, c.song);
      EXPECT_EQ(texts.artist, c.artist);
      EXPECT_EQ(texts.album, c.album);
    }
  }
}

TEST(Id3v2GetIDTagTest, UntaggedFileAfterATaggedOneIsUnknown) {
  TempDir dir;
  WriteFile(dir.File("tagged.mp3"),
            Concat({Tag(3, 0, ThreeTextFrames(3, "Song", "Artist", "Album")), kAudio}));
  WriteFile(dir.File("plain.mp3"), kAudio);
  Tid3v2tag reader;
  ASSERT_TRUE(GetIDTag(reader, dir.File("tagged.mp3")).usable);
  ExpectUnknown(GetIDTag(reader, dir.File("plain.mp3")));
  EXPECT_TRUE(reader.Frames().empty());
  EXPECT_EQ(reader.Version(), 0);
}

TEST(Id3v2GetIDTagTest, FilesThatCannotBeReadGiveUnknownWithoutAnError) {
  TempDir dir;
  const Bytes tagged = Concat({Tag(3, 0, ThreeTextFrames(3, "S", "A", "B")), kAudio});
  WriteFile(dir.File("cut.mp3"), Bytes(tagged.begin(), tagged.begin() + 15));
  WriteFile(dir.File("empty.mp3"), {});
  ASSERT_EQ(::mkdir(dir.File("folder.mp3").c_str(), 0755), 0);
  // Opening a FIFO for reading would wait for a writer that never comes.
  ASSERT_EQ(::mkfifo(dir.File("fifo.mp3").c_str(), 0644), 0);
  for (const char* name : {"missing.mp3", "cut.mp3", "empty.mp3", "folder.mp3", "fifo.mp3"}) {
    SCOPED_TRACE(name);
    Tid3v2tag reader;
    EXPECT_FALSE(reader.LoadTag(dir.File(name)));
    ExpectUnknown(GetIDTag(reader, dir.File(name)));
  }
}

TEST(Id3v2GetIDTagTest, LoadTagReadsTheTagOfAFileWithAudioAfterIt) {
  TempDir dir;
  const Bytes tag = Tag(4, 0, Concat({ThreeTextFrames(4, "S", "A", "B"), Bytes(100, 0)}));
  WriteFile(dir.File("track.mp3"), Concat({tag, Bytes(100000, 0xAA)}));
  Tid3v2tag from_file, from_bytes;
  ASSERT_TRUE(from_file.LoadTag(dir.File("track.mp3")));
  ASSERT_TRUE(from_bytes.LoadTagFromBytes(tag.data(), tag.size(), tag.size() + 100000));
  EXPECT_EQ(from_file.Version(), 4);
  ASSERT_EQ(from_file.Frames().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(from_file.Frames()[i].id, from_bytes.Frames()[i].id);
    EXPECT_EQ(from_file.Frames()[i].data, from_bytes.Frames()[i].data);
  }
}

}  // namespace
}  // namespace melodrift
