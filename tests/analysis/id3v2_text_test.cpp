// Text frames as FrameText reads them: the four encodings with their stopping rules, and
// which frames count as text frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/id3v2_tag.h"
#include "tests/support/id3v2_builder.h"

namespace melodrift {
namespace {

using namespace std::string_literals;
using testing::Bytes;
using testing::Concat;
using testing::Frame;
using testing::Tag;
using testing::ToBytes;

Bytes Utf16(const std::u16string& text, bool big_endian) {
  Bytes out;
  for (char16_t unit : text) {
    const auto high = static_cast<uint8_t>(unit >> 8), low = static_cast<uint8_t>(unit);
    out.insert(out.end(), big_endian ? std::initializer_list<uint8_t>{high, low}
                                     : std::initializer_list<uint8_t>{low, high});
  }
  return out;
}

// The text of a TIT2 frame with this data in a version 4 tag.
std::string TextOfFrameData(const Bytes& data) {
  const Bytes tag = Tag(4, 0, Frame(4, {"TIT2", data}));
  Tid3v2tag reader;
  EXPECT_TRUE(reader.LoadTagFromBytes(tag.data(), tag.size(), tag.size()));
  return reader.FrameText("TIT2");
}

struct TextCase {
  const char* name;
  Bytes data;
  std::string expected;
};

TEST(Id3v2TextTest, DecodesEveryEncodingWithItsStoppingRules) {
  const Bytes kLittleEndianBom = {0xFF, 0xFE}, kBigEndianBom = {0xFE, 0xFF};
  const std::vector<TextCase> cases = {
      // ISO-8859-1: a stopping 0, LF or CR stays; any other control byte empties the text.
      {"latin1 ending in 0", Concat({{0}, ToBytes("Song\0"s)}), "Song\0"s},
      {"latin1 without terminator", Concat({{0}, ToBytes("Song")}), "Song"},
      {"latin1 two values: the first", Concat({{0}, ToBytes("One\0Two"s)}), "One\0"s},
      {"latin1 two lines by LF: the first", Concat({{0}, ToBytes("One\nTwo")}), "One\n"},
      {"latin1 two lines by CR: the first", Concat({{0}, ToBytes("One\rTwo")}), "One\r"},
      {"latin1 tab empties the text", Concat({{0}, ToBytes("One\tTwo")}), ""},
      {"latin1 high bytes kept", Concat({{0}, ToBytes("Caf\xE9 \xFF")}), "Caf\xE9 \xFF"},
      {"latin1 encoding byte only", {0}, ""},
      // UTF-16 with a byte order mark.
      {"utf16 FF FE", Concat({{1}, kLittleEndianBom, Utf16(u"Café", false)}), "Caf\xE9"},
      {"utf16 FE FF", Concat({{1}, kBigEndianBom, Utf16(u"Café", true)}), "Caf\xE9"},
      {"utf16 above U+00FF ends", Concat({{1}, kLittleEndianBom, Utf16(u"Ab€c", false)}), "Ab"},
      {"utf16 surrogate pair ends", Concat({{1}, kLittleEndianBom, Utf16(u"Ab😀c", false)}), "Ab"},
      {"utf16 unit 0 ends", Concat({{1}, kLittleEndianBom, Utf16(u"One"s + u'\0' + u"Two", false)}),
       "One"},
      {"utf16 LF empties the text", Concat({{1}, kLittleEndianBom, Utf16(u"One\nTwo", false)}), ""},
      {"utf16 other mark", Concat({{1}, {0xFE, 0xFE}, Utf16(u"Song", false)}), ""},
      {"utf16 without mark", Concat({{1}, Utf16(u"Song", false)}), ""},
      {"utf16 mark cut", {1, 0xFF}, ""},
      {"utf16 odd last byte ignored", Concat({{1}, kLittleEndianBom, Utf16(u"AB", false), {'C'}}),
       "AB"},
      // UTF-16 big-endian without a mark.
      {"utf16be", Concat({{2}, Utf16(u"Café ÿ", true)}), "Caf\xE9 \xFF"},
      {"utf16be above U+00FF ends", Concat({{2}, Utf16(u"AĀB", true)}), "A"},
      // UTF-8: only U+0000 to U+00FF, as one byte or as lead 0xC0 to 0xC3 and continuation.
      {"utf8 two-byte letters", Concat({{3}, ToBytes("Café ÿ")}), "Caf\xE9 \xFF"},
      {"utf8 ending in 0", Concat({{3}, ToBytes("Song\0more"s)}), "Song\0"s},
      {"utf8 LF empties the text", Concat({{3}, ToBytes("One\nTwo")}), ""},
      {"utf8 lead 0xC4 ends", Concat({{3}, ToBytes("AbĀz")}), "Ab"},
      {"utf8 three bytes end", Concat({{3}, ToBytes("Ab€z")}), "Ab"},
      {"utf8 stray continuation ends", Concat({{3}, ToBytes("Ab\x80z")}), "Ab"},
      {"utf8 lead without continuation ends", Concat({{3}, ToBytes("Ab\xC3z")}), "Ab"},
      {"utf8 lead cut by the frame end", Concat({{3}, ToBytes("Ab\xC3")}), "Ab"},
      {"utf8 overlong letter", Concat({{3}, ToBytes("Ab\xC1\x81")}), "AbA"},
      {"utf8 overlong LF is an LF", Concat({{3}, ToBytes("Ab"), {0xC0, 0x8A}, ToBytes("cd")}), ""},
      {"utf8 overlong 0 is a 0", Concat({{3}, ToBytes("Ab\xC0\x80")}), "Ab\0"s},
      // Anything else.
      {"unknown encoding", Concat({{4}, ToBytes("Song")}), ""},
      {"no data", {}, ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextOfFrameData(c.data), c.expected);
  }
}

TEST(Id3v2TextTest, OnlyFourCharacterTFramesOtherThanTxxxAreText) {
  const Bytes song = testing::Latin1Text("Song");
  const Bytes body = Concat({Frame(3, {"TXXX", song}), Frame(3, {"COMM", song}),
                             Frame(3, {"tpe1", testing::Latin1Text("Artist")}),
                             Frame(3, {"TIT2", song}), Frame(3, {"TIT2", ToBytes("\0Second"s)})});
  const Bytes tag = Tag(3, 0, body);
  Tid3v2tag reader;
  ASSERT_TRUE(reader.LoadTagFromBytes(tag.data(), tag.size(), tag.size()));

  EXPECT_EQ(reader.FrameText("TIT2"), "Song");    // the first of two
  EXPECT_EQ(reader.FrameText("TPE1"), "Artist");  // written in lower case
  EXPECT_EQ(reader.FrameText("TXXX"), "");
  EXPECT_EQ(reader.FrameText("COMM"), "");
  EXPECT_EQ(reader.FrameText("tit2"), "");
  EXPECT_EQ(reader.FrameText("TIT"), "");
  EXPECT_EQ(reader.FrameText("TALB"), "");  // absent
}

}  // namespace
}  // namespace melodrift
