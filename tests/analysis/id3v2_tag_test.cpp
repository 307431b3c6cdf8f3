// The tag's structure: header checks, extended headers of both versions, the frame walk with
// its padding and damage rules, and the frame flags with their extra bytes.
#include "analysis/id3v2_tag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/id3v2_builder.h"

namespace melodrift {
namespace {

using namespace std::string_literals;
using testing::BigEndian32;
using testing::Bytes;
using testing::Concat;
using testing::Frame;
using testing::Latin1Text;
using testing::Syncsafe32;
using testing::Tag;
using testing::ThreeTextFrames;
using testing::ToBytes;

std::vector<std::string> Ids(const Tid3v2tag& reader) {
  std::vector<std::string> ids;
  for (const TFrame& f : reader.Frames()) ids.push_back(f.id);
  return ids;
}

const std::vector<std::string> kThreeIds = {"TIT2", "TPE1", "TALB"};

bool Load(Tid3v2tag& reader, const Bytes& tag) {
  return reader.LoadTagFromBytes(tag.data(), tag.size(), tag.size());
}

TEST(Id3v2TagTest, HeaderChecksDecideWhetherATagIsRead) {
  const Bytes v3 = Tag(3, 0, ThreeTextFrames(3, "Song", "Artist", "Album"));
  const Bytes v4 = Tag(4, 0, ThreeTextFrames(4, "Song", "Artist", "Album"));
  auto with = [](Bytes tag, size_t offset, uint8_t value) {
    tag[offset] = value;
    return tag;
  };
  struct Case {
    const char* name;
    Bytes tag;
    uint64_t file_size;
    int version;  // 0: no tag
  };
  const std::vector<Case> cases = {
      {"version 3", v3, v3.size(), 3},
      {"version 4", v4, v4.size(), 4},
      {"audio after the tag", v3, v3.size() + 5000, 3},
      {"version 2", with(v3, 3, 2), v3.size(), 0},
      {"version 5", with(v4, 3, 5), v4.size(), 0},
      {"revision 0xFE", with(v3, 4, 0xFE), v3.size(), 3},
      {"revision 0xFF", with(v3, 4, 0xFF), v3.size(), 0},
      {"size byte not syncsafe", with(v3, 9, static_cast<uint8_t>(v3[9] | 0x80)), v3.size(), 0},
      {"not ID3", with(v3, 2, '4'), v3.size(), 0},
      {"lower-case id3", with(v3, 0, 'i'), v3.size(), 0},
      {"tag one byte past the file", v3, v3.size() - 1, 0},
      {"header cut", Bytes(v3.begin(), v3.begin() + 9), 9, 0},
      {"experimental and footer flags ignored", with(v4, 5, 0x30), v4.size(), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tid3v2tag reader;
    ASSERT_TRUE(Load(reader, v3));  // a failed load must also drop the previous tag
    EXPECT_EQ(reader.LoadTagFromBytes(c.tag.data(), c.tag.size(), c.file_size), c.version != 0);
    EXPECT_EQ(reader.Version(), c.version);
    EXPECT_EQ(Ids(reader), c.version ? kThreeIds : std::vector<std::string>{});
  }
}

TEST(Id3v2TagTest, HeaderFlagsAreKept) {
  const Bytes tag = Tag(4, 0x30, ThreeTextFrames(4, "S", "A", "B"));
  Tid3v2tag reader;
  ASSERT_TRUE(Load(reader, tag));
  EXPECT_EQ(reader.HeaderFlags(), 0x30);
}

TEST(Id3v2TagTest, ExtendedHeadersAreSkippedOrRefused) {
  struct Case {
    const char* name;
    int version;
    Bytes extended_header;
    bool loaded;
  };
  const Bytes kPadding = BigEndian32(0);
  const std::vector<Case> cases = {
      {"v3 size 6", 3, Concat({BigEndian32(6), {0, 0}, kPadding}), true},
      {"v3 size 10 with checksum", 3, Concat({BigEndian32(10), {0x80, 0}, kPadding, {1, 2, 3, 4}}),
       true},
      {"v3 checksum flag on size 6 has no checksum", 3,
       Concat({BigEndian32(6), {0x80, 0}, kPadding}), true},
      {"v3 size 7", 3, Concat({BigEndian32(7), {0, 0}, kPadding, {0}}), false},
      {"v3 size 0", 3, Concat({BigEndian32(0), {0, 0}, kPadding}), false},
      {"v4 size 6", 4, Concat({Syncsafe32(6), {1, 0}}), true},
      {"v4 with checksum data", 4, Concat({Syncsafe32(12), {1, 0x20, 5, 1, 2, 3, 4, 5}}), true},
      {"v4 size 5", 4, Concat({Syncsafe32(5), {1}}), false},
      {"v4 no flag bytes", 4, Concat({Syncsafe32(6), {0, 0}}), false},
      {"v4 size not syncsafe", 4, Concat({{0, 0, 0, 0x86}, {1, 0}}), false},
      {"v4 size past the tag", 4, Concat({Syncsafe32(100000), {1, 0}}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes body =
        Concat({c.extended_header, ThreeTextFrames(c.version, "Song", "Artist", "Album")});
    Tid3v2tag reader;
    EXPECT_EQ(Load(reader, Tag(c.version, 0x40, body)), c.loaded);
    EXPECT_EQ(Ids(reader), c.loaded ? kThreeIds : std::vector<std::string>{});
    EXPECT_EQ(reader.FrameText("TIT2"), c.loaded ? "Song" : "");
  }
}

TEST(Id3v2TagTest, ExtendedHeaderCutByTheTagEndIsRefused) {
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    Tid3v2tag reader;
    EXPECT_FALSE(Load(reader, Tag(version, 0x40, Bytes{0, 0, 0, 6, 0})));
  }
}

TEST(Id3v2TagTest, FrameWalkEndsAtPaddingOrDamageAndKeepsEarlierFrames) {
  struct Case {
    const char* name;
    int version;
    Bytes after_three_frames;
    std::vector<std::string> ids;
  };
  const Bytes txxx = Frame(3, {"TXXX", Latin1Text("x")});
  const std::vector<std::string> kFour = {"TIT2", "TPE1", "TALB", "TXXX"};
  const std::vector<Case> cases = {
      {"nothing after", 3, {}, kThreeIds},
      {"frame after", 3, txxx, kFour},
      {"zero padding", 3, Bytes(20, 0), kThreeIds},
      {"frame after ten zero bytes", 3, Concat({Bytes(10, 0), txxx}), kThreeIds},
      {"short zero padding", 3, Bytes(3, 0), kThreeIds},
      // Read as a frame, "MP3e" and six zeros would be an empty frame before TXXX.
      {"MP3e padding", 3, Concat({ToBytes("MP3e"), Bytes(6, 0), txxx}), kThreeIds},
      {"bad identifier", 3, Frame(3, {"TX-X", Latin1Text("x")}), kThreeIds},
      {"bad identifier then a frame", 3, Concat({Frame(3, {"T XX", {0}}), txxx}), kThreeIds},
      {"lower case taken as upper", 3, Frame(3, {"txxx", Latin1Text("x")}), kFour},
      {"frame past the tag end", 3, Frame(3, {"TXXX", Latin1Text("x"), 0, {}, 3}), kThreeIds},
      {"frame size near 4 GB", 3, Frame(3, {"TXXX", Latin1Text("x"), 0, {}, 0xFFFFFFFF}),
       kThreeIds},
      {"frame exactly to the end", 3, Frame(3, {"TXXX", Latin1Text("x"), 0, {}, 2}), kFour},
      {"empty frame", 3, Frame(3, {"TXXX", {}}), kFour},
      {"header cut by the tag end", 3, ToBytes("TXXX\0"s), kThreeIds},
      {"v4 frame size not syncsafe", 4,
       Concat({ToBytes("TXXX"), {0, 0, 0, 0x82}, {0, 0}, Latin1Text("x")}), kThreeIds},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes body =
        Concat({ThreeTextFrames(c.version, "Song", "Artist", "Album"), c.after_three_frames});
    Tid3v2tag reader;
    EXPECT_TRUE(Load(reader, Tag(c.version, 0, body)));
    EXPECT_EQ(Ids(reader), c.ids);
    EXPECT_EQ(reader.FrameText("TALB"), "Album");
  }
}

TEST(Id3v2TagTest, FrameFlagsAreHeldInTheVersion4LayoutAndTheirExtraBytesSkipped) {
  struct Case {
    const char* name;
    int version;
    uint8_t file_flags;
    Bytes extras;
    uint8_t flags;  // as held
    uint32_t data_length;
  };
  const std::vector<Case> cases = {
      {"v3 none", 3, 0x00, {}, 0x00, 0},
      {"v3 compression, encryption, grouping", 3, 0xE0, Concat({BigEndian32(1234), {0x81, 7}}),
       0x4C, 1234},
      {"v3 grouping", 3, 0x20, {7}, 0x40, 0},
      {"v3 encryption", 3, 0x40, {0x81}, 0x04, 0},
      {"v3 other bits ignored", 3, 0x1F, {}, 0x00, 0},
      {"v4 grouping, encryption, length", 4, 0x45, Concat({{7, 0x81}, Syncsafe32(300)}), 0x45, 300},
      {"v4 compression and unsynchronisation", 4, 0x0A, {}, 0x0A, 0},
      {"v4 other bits ignored", 4, 0xB0, {}, 0x00, 0},
  };
  const Bytes data = Latin1Text("Data");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes body = Concat({Frame(c.version, {"TIT2", data, c.file_flags, c.extras}),
                               Frame(c.version, {"TALB", Latin1Text("Album")})});
    Tid3v2tag reader;
    ASSERT_TRUE(Load(reader, Tag(c.version, 0, body)));
    ASSERT_EQ(Ids(reader), (std::vector<std::string>{"TIT2", "TALB"}));
    const TFrame& frame = reader.Frames()[0];
    EXPECT_EQ(frame.flags, c.flags);
    EXPECT_EQ(frame.data_length, c.data_length);
    EXPECT_EQ(frame.data, data);
  }
}

TEST(Id3v2TagTest, ExtraBytesThatDoNotFitTheFrameEndTheWalk) {
  struct Case {
    const char* name;
    int version;
    uint8_t file_flags;
    Bytes content;  // extras and data together
  };
  const std::vector<Case> cases = {
      {"v3 compression in 3 bytes", 3, 0x80, {0, 0, 1}},
      {"v3 all three in 5 bytes", 3, 0xE0, {0, 0, 0, 1, 0x81}},
      {"v4 grouping in 0 bytes", 4, 0x40, {}},
      {"v4 length in 3 bytes", 4, 0x01, {0, 0, 1}},
      {"v4 length not syncsafe", 4, 0x01, {0, 0, 0, 0x81, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes body = Concat({Frame(c.version, {"TIT2", Latin1Text("Song")}),
                               Frame(c.version, {"TPE1", c.content, c.file_flags}),
                               Frame(c.version, {"TALB", Latin1Text("Album")})});
    Tid3v2tag reader;
    ASSERT_TRUE(Load(reader, Tag(c.version, 0, body)));
    EXPECT_EQ(Ids(reader), std::vector<std::string>{"TIT2"});
  }
}

}  // namespace
}  // namespace melodrift
