// What is done to a frame's data before its text is read: unsynchronisation (the whole tag in
// version 3, single frames in version 4), encryption and zlib compression.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/id3v2_tag.h"
#include "analysis/id3v2_unsync.h"
#include "tests/support/id3v2_builder.h"

namespace melodrift {
namespace {

using namespace std::string_literals;
using testing::BigEndian32;
using testing::Bytes;
using testing::Concat;
using testing::Deflate;
using testing::Frame;
using testing::Latin1Text;
using testing::Syncsafe32;
using testing::Tag;
using testing::ToBytes;
using testing::Unsynchronise;

bool Load(Tid3v2tag& reader, const Bytes& tag) {
  return reader.LoadTagFromBytes(tag.data(), tag.size(), tag.size());
}

TEST(Id3v2FrameDataTest, UnsynchronisationRemovesOnlyTheZerosAWriterInserts) {
  struct Case {
    Bytes in, out;
  };
  const std::vector<Case> cases = {
      {{0xFF, 0x00, 0xE0}, {0xFF, 0xE0}},
      {{0xFF, 0x00, 0xFF}, {0xFF, 0xFF}},
      {{0xFF, 0x00, 0x00}, {0xFF, 0x00}},
      {{0xFF, 0x00, 0x00, 0x00}, {0xFF, 0x00, 0x00}},
      {{0xFF, 0x00, 0xDF}, {0xFF, 0x00, 0xDF}},  // never written for 0xDF: stays
      {{0xFF, 0x00}, {0xFF, 0x00}},              // nothing follows: stays
      {{0x00, 0xE0}, {0x00, 0xE0}},
      {{0xFF, 0xFF, 0x00, 0xE0}, {0xFF, 0xFF, 0xE0}},
      {{0xFE, 0x00, 0xE0}, {0xFE, 0x00, 0xE0}},
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(id3v2::UndoUnsynchronisation(c.in), c.out);

  // Whatever a writer produces comes back.
  const Bytes all = [] {
    Bytes b;
    for (int i = 0; i < 256; ++i) b.insert(b.end(), {0xFF, static_cast<uint8_t>(i), 0x41});
    return b;
  }();
  EXPECT_EQ(id3v2::UndoUnsynchronisation(Unsynchronise(all)), all);
}

// Latin-1 texts whose bytes a writer must unsynchronise.
const Bytes kSongData = Concat({{0}, ToBytes("\xFF\xE0 Song \xFF\0"s)});
const std::string kSong = "\xFF\xE0 Song \xFF\0"s;

TEST(Id3v2FrameDataTest, Version3UnsynchronisationIsUndoneOverTheWholeTag) {
  const Bytes body = Concat({Frame(3, {"TIT2", kSongData}), Frame(3, {"TALB", Latin1Text("B")})});
  const Bytes unsynchronised = Unsynchronise(body);
  ASSERT_NE(unsynchronised, body);

  Tid3v2tag reader;
  ASSERT_TRUE(Load(reader, Tag(3, 0x80, unsynchronised)));
  ASSERT_EQ(reader.Frames().size(), 2u);
  EXPECT_EQ(reader.FrameText("TIT2"), kSong);
  EXPECT_EQ(reader.FrameText("TALB"), "B");

  // Without the flag the inserted zero ends the text and the sizes no longer match.
  ASSERT_TRUE(Load(reader, Tag(3, 0x00, unsynchronised)));
  EXPECT_EQ(reader.FrameText("TIT2"), "\xFF\0"s);
}

TEST(Id3v2FrameDataTest, Version4UnsynchronisationIsUndonePerFrameAndOnlyOnce) {
  // "ÿà" in UTF-16 big-endian holds FF 00 E0, which a second undo would change.
  const Bytes utf16 = {2, 0x00, 0xFF, 0x00, 0xE0, 0x00, 'S'};
  const Bytes body =
      Concat({Frame(4, {"TIT2", Unsynchronise(utf16), 0x02}), Frame(4, {"TPE1", utf16, 0x00})});
  ASSERT_NE(Unsynchronise(utf16), utf16);
  Tid3v2tag reader;
  // The header flag of a version 4 tag only summarises the frames' flags.
  ASSERT_TRUE(Load(reader, Tag(4, 0x80, body)));
  EXPECT_EQ(reader.FrameText("TIT2"), "\xFF\xE0S");
  EXPECT_EQ(reader.FrameText("TPE1"), "\xFF\xE0S");
}

TEST(Id3v2FrameDataTest, CompressedFramesInflateWithinTheirStatedSizeAndEncryptedOnesAreEmpty) {
  const Bytes text = Latin1Text("Song");
  const Bytes packed = Deflate(text);
  // Stored without compression, the zlib stream keeps the bytes that need unsynchronising.
  const Bytes packed_raw = Deflate(kSongData, 0);
  const Bytes huge = Deflate(Concat({{0}, Bytes(2 << 20, 'a')}));
  const Bytes cut = Bytes(packed.begin(), packed.end() - 3);
  const Bytes size_v3 = BigEndian32(static_cast<uint32_t>(text.size()));
  const Bytes size_v4 = Syncsafe32(static_cast<uint32_t>(text.size()));
  struct Case {
    const char* name;
    int version;
    uint8_t file_flags;
    Bytes extras;
    Bytes data;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"v3 compressed", 3, 0x80, size_v3, packed, "Song"},
      {"v4 compressed with length", 4, 0x09, size_v4, packed, "Song"},
      {"v4 compressed without length", 4, 0x08, {}, packed, "Song"},
      {"v4 compressed and unsynchronised", 4, 0x0B,
       Syncsafe32(static_cast<uint32_t>(kSongData.size())), Unsynchronise(packed_raw), kSong},
      {"v3 stated size larger than the text", 3, 0x80, BigEndian32(100), packed, "Song"},
      {"v3 stated size 4 GB", 3, 0x80, BigEndian32(0xFFFFFFFF), packed, "Song"},
      {"v3 stated size too small", 3, 0x80, BigEndian32(4), packed, ""},
      {"v4 stated length too small", 4, 0x09, Syncsafe32(1), packed, ""},
      {"v3 more than 1 MiB", 3, 0x80, BigEndian32(0xFFFFFFFF), huge, ""},
      {"v4 more than 1 MiB, no length", 4, 0x08, {}, huge, ""},
      {"not zlib", 3, 0x80, size_v3, text, ""},
      {"zlib stream cut", 3, 0x80, size_v3, cut, ""},
      {"no data", 3, 0x80, size_v3, {}, ""},
      {"v3 encrypted", 3, 0x40, {0x80}, text, ""},
      {"v4 encrypted", 4, 0x04, {0x80}, text, ""},
      {"v3 encrypted and compressed", 3, 0xC0, Concat({size_v3, {0x80}}), packed, ""},
      {"v3 grouped", 3, 0x20, {1}, text, "Song"},
      {"v4 grouped with length", 4, 0x41, Concat({{1}, size_v4}), text, "Song"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes body = Frame(c.version, {"TIT2", c.data, c.file_flags, c.extras});
    Tid3v2tag reader;
    ASSERT_TRUE(Load(reader, Tag(c.version, 0, body)));
    ASSERT_EQ(reader.Frames().size(), 1u);
    EXPECT_EQ(reader.FrameText("TIT2"), c.expected);
  }
}

}  // namespace
}  // namespace melodrift
