// Damaged tags: every truncation and many random byte changes of tags that use every feature
// of the format. Nothing may be read outside the given bytes (the sanitizer build checks
// that); the checks here hold the reader to what it may return from any input.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "analysis/id3v2_tag.h"
#include "tests/support/id3v2_builder.h"

namespace melodrift {
namespace {

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

const Bytes kUtf16 = {1, 0xFF, 0xFE, 'C', 0, 0xE9, 0, 0xAC, 0x20, 0, 0};
const Bytes kUtf8 = Concat({{3}, ToBytes("Caf\xC3\xA9 \xC0\x80")});

// A tag as its pieces, so that a test knows where each frame ends.
struct TagPieces {
  Bytes extended_header;
  std::vector<Bytes> frames;
  Bytes padding;
  Bytes Body() const {
    Bytes body = extended_header;
    for (const Bytes& f : frames) body.insert(body.end(), f.begin(), f.end());
    return Concat({body, padding});
  }
};

TagPieces RichVersion3Tag() {
  const Bytes text = Latin1Text("Compressed \xFF\xE0 text");
  return {Concat({BigEndian32(10), {0x80, 0}, BigEndian32(0), {1, 2, 3, 4}}),
          {Frame(3, {"TIT2", Latin1Text("Song \xFF\xE0")}),
           Frame(3, {"TPE1", Deflate(text), 0xA0,
                     Concat({BigEndian32(static_cast<uint32_t>(text.size())), {7}})}),
           Frame(3, {"TALB", kUtf16}), Frame(3, {"TCON", kUtf8, 0x40, {0x80}})},
          Bytes(12, 0)};
}

TagPieces RichVersion4Tag() {
  const Bytes text = Latin1Text("Compressed text");
  const Bytes packed = Unsynchronise(Deflate(text, 0));
  return {Concat({Syncsafe32(12), {1, 0x20, 5, 1, 2, 3, 4, 5}}),
          {Frame(4, {"TIT2", Unsynchronise(Latin1Text("Song \xFF\xE0")), 0x02}),
           Frame(4, {"TPE1", packed, 0x4B,
                     Concat({{7}, Syncsafe32(static_cast<uint32_t>(text.size()))})}),
           Frame(4, {"TALB", kUtf8}), Frame(4, {"TCON", kUtf16, 0x05, {0x80, 0, 0, 0, 9}})},
          Concat({ToBytes("MP3e"), Bytes(6, 0)})};
}

// What every text may look like: no character below 32 except a final 0, LF or CR.
void ExpectWellFormedText(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    const bool allowed_end = i + 1 == text.size() && (c == 0 || c == '\n' || c == '\r');
    EXPECT_TRUE(c >= 32 || allowed_end) << "byte " << int(c) << " at " << i;
  }
}

void ExpectSaneResult(const Tid3v2tag& reader, size_t tag_size) {
  for (const TFrame& frame : reader.Frames()) {
    EXPECT_LE(frame.data.size(), tag_size);
    EXPECT_EQ(frame.id.size(), 4u);
    ExpectWellFormedText(reader.FrameText(frame.id));
  }
  for (const char* id : {"TIT2", "TPE1", "TALB", "TCON"})
    ExpectWellFormedText(reader.FrameText(id));
}

void ExpectSameFrame(const TFrame& got, const TFrame& want) {
  EXPECT_EQ(got.id, want.id);
  EXPECT_EQ(got.flags, want.flags);
  EXPECT_EQ(got.data_length, want.data_length);
  EXPECT_EQ(got.data, want.data);
}

TEST(Id3v2DamagedTagTest, EveryTruncationKeepsExactlyTheWholeFramesBeforeTheCut) {
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    const TagPieces pieces = version == 3 ? RichVersion3Tag() : RichVersion4Tag();
    const Bytes full = Tag(version, 0x40, pieces.Body());
    Tid3v2tag complete;
    ASSERT_TRUE(complete.LoadTagFromBytes(full.data(), full.size(), full.size()));
    ASSERT_EQ(complete.Frames().size(), pieces.frames.size());
    ASSERT_EQ(complete.FrameText("TPE1").substr(0, 10), "Compressed");
    std::vector<size_t> frame_ends;
    size_t end = 10 + pieces.extended_header.size();
    for (const Bytes& f : pieces.frames) frame_ends.push_back(end += f.size());

    for (size_t n = 0; n <= full.size(); ++n) {
      SCOPED_TRACE(n);
      Bytes cut(full.begin(), full.begin() + n);
      Tid3v2tag reader;
      // A file cut inside its tag has no tag.
      EXPECT_EQ(reader.LoadTagFromBytes(cut.data(), cut.size(), cut.size()), n == full.size());
      if (n < 10) continue;

      // The same cut with a header that agrees: the frames that end before the cut are read
      // exactly as from the whole tag, and nothing else.
      const Bytes size = Syncsafe32(static_cast<uint32_t>(n - 10));
      std::copy(size.begin(), size.end(), cut.begin() + 6);
      const bool loaded = reader.LoadTagFromBytes(cut.data(), cut.size(), cut.size());
      EXPECT_EQ(loaded, n >= 10 + pieces.extended_header.size());
      const auto whole = static_cast<size_t>(
          std::count_if(frame_ends.begin(), frame_ends.end(), [n](size_t e) { return e <= n; }));
      ASSERT_EQ(reader.Frames().size(), whole);
      for (size_t i = 0; i < whole; ++i) ExpectSameFrame(reader.Frames()[i], complete.Frames()[i]);
      ExpectSaneResult(reader, n);
    }
  }
}

TEST(Id3v2DamagedTagTest, RandomByteChangesNeverBreakTheReader) {
  const std::vector<Bytes> tags = {
      Tag(3, 0xC0, Unsynchronise(RichVersion3Tag().Body())),
      Tag(4, 0xC0, RichVersion4Tag().Body()),
  };
  constexpr uint32_t kSeeds = 3000;
  for (size_t t = 0; t < tags.size(); ++t) {
    uint32_t read_some_text = 0;  // enough changed tags must stay readable to reach the texts
    for (uint32_t seed = 0; seed < kSeeds; ++seed) {
      SCOPED_TRACE(::testing::Message() << "tag " << t << " seed " << seed);
      std::mt19937 random(seed);
      Bytes tag = tags[t];
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < changes; ++i) {
        // Mostly in the first bytes, where the headers and sizes are.
        const size_t range = random() % 2 ? 32 : tag.size();
        tag[random() % range] ^= static_cast<uint8_t>(1 + random() % 255);
      }
      Tid3v2tag reader;
      reader.LoadTagFromBytes(tag.data(), tag.size(), tag.size());
      ExpectSaneResult(reader, tag.size());
      if (::testing::Test::HasFailure()) return;
      if (!reader.FrameText("TALB").empty()) ++read_some_text;
    }
    EXPECT_GT(read_some_text, kSeeds / 10) << "tag " << t;
  }
}

}  // namespace
}  // namespace melodrift
