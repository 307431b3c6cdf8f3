// The frame table read at Open: lengths of the test files against an independent walk over
// the frame headers, and tags and garbage around the audio that must not count as frames.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "playback/media_device.h"
#include "playback/mp3_source.h"
#include "playback/silent_audio_output.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestMp3;
using testing::WriteFileBytes;

struct WalkedFrames {
  std::vector<size_t> offsets;
  int64_t total_samples = 0;
  uint32_t sample_rate = 0;
};

// Walks layer III frame headers one after the other from `offset`, sizing each from its own
// bit rate, sample rate and padding bit: what the encoder wrote, without libmad.
WalkedFrames WalkLayer3Frames(const std::string& file, size_t offset) {
  static constexpr int kMpeg1Kbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                       112, 128, 160, 192, 224, 256, 320};
  static constexpr int kMpeg2Kbps[] = {0,  8,  16, 24,  32,  40,  48, 56,
                                       64, 80, 96, 112, 128, 144, 160};
  static constexpr int kMpeg1Rates[] = {44100, 48000, 32000};
  WalkedFrames walked;
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(file[i]); };
  while (offset + 4 <= file.size()) {
    EXPECT_TRUE(byte(offset) == 0xFF && (byte(offset + 1) & 0xE0) == 0xE0)
        << "no frame header at " << offset;
    const int version = (byte(offset + 1) >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int bitrate_index = byte(offset + 2) >> 4;
    const int rate_index = (byte(offset + 2) >> 2) & 3;
    const int padding = (byte(offset + 2) >> 1) & 1;
    const bool mpeg1 = version == 3;
    const int rate = kMpeg1Rates[rate_index] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    const int kbps = (mpeg1 ? kMpeg1Kbps : kMpeg2Kbps)[bitrate_index];
    const size_t bytes = (mpeg1 ? 144 : 72) * kbps * 1000 / rate + padding;
    if (offset + bytes > file.size()) break;
    if (walked.offsets.empty()) walked.sample_rate = rate;
    walked.offsets.push_back(offset);
    walked.total_samples += mpeg1 ? 1152 : 576;
    offset += bytes;
  }
  return walked;
}

size_t TagBytes(const std::string& file) {
  return Id3v2TagBytes(std::span(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
}

TEST(Mp3FrameTableTest, LengthsAndOffsetsMatchTheFrameHeaders) {
  struct Case {
    const char* file;
    int64_t synthesised_ms;  // what sox made; the encoder adds its delay and padding
  };
  for (const Case& c : {Case{"sine-stereo-44k.mp3", 2000}, Case{"sine-mono-44k.mp3", 1000},
                        Case{"sine-stereo-22k.mp3", 2000}, Case{"pink-stereo-44k.mp3", 3000},
                        Case{"white-mono-22k.mp3", 2000}, Case{"long-stereo-44k.mp3", 10000}}) {
    SCOPED_TRACE(c.file);
    const std::string bytes = ReadFileBytes(TestMp3(c.file));
    const WalkedFrames walked = WalkLayer3Frames(bytes, TagBytes(bytes));
    const auto source = LoadMp3Source(TestMp3(c.file));
    const Mp3FrameTable& table = source->table;

    ASSERT_EQ(table.frames.size(), walked.offsets.size());
    for (size_t i = 0; i < walked.offsets.size(); ++i) {
      ASSERT_EQ(table.frames[i].offset, walked.offsets[i]) << "frame " << i;
    }
    EXPECT_EQ(table.total_samples, walked.total_samples);
    EXPECT_EQ(table.sample_rate, walked.sample_rate);

    MediaDevice device([] { return std::make_unique<SilentAudioOutput>(); });
    device.FileName = TestMp3(c.file);
    device.Open();
    EXPECT_EQ(device.Length(), walked.total_samples * 1000 / walked.sample_rate);
    EXPECT_GE(device.Length(), c.synthesised_ms);
    EXPECT_LE(device.Length(), c.synthesised_ms + 150);
  }
}

// Bytes before, inside and after the audio that look like frames, or are garbage, must
// leave the table as the bare audio has it.
TEST(Mp3FrameTableTest, TagsAndGarbageAroundTheAudioAreNotFrames) {
  const std::string tagged = ReadFileBytes(TestMp3("sine-mono-44k.mp3"));
  const std::string audio = tagged.substr(TagBytes(tagged));
  const WalkedFrames bare = WalkLayer3Frames(audio, 0);
  ASSERT_GT(bare.offsets.size(), 10u);

  // An ID3v2.3 tag whose body is a copy of the first three frames.
  const std::string three_frames = audio.substr(0, bare.offsets[3]);
  const size_t body = three_frames.size();
  std::string id3v2 = std::string("ID3\x03\x00\x00", 6);
  for (int shift : {21, 14, 7, 0}) id3v2 += static_cast<char>((body >> shift) & 0x7F);
  id3v2 += three_frames;

  // An ID3v1 tag holding two headers of 96-byte frames (MPEG-1 layer III, 32 kbit/s, 48 kHz).
  std::string id3v1(128, '\0');
  id3v1.replace(0, 3, "TAG");
  id3v1.replace(3, 4, "\xFF\xFB\x14\xC4");
  id3v1.replace(99, 4, "\xFF\xFB\x14\xC4");

  struct Case {
    const char* name;
    std::string prefix, suffix;
  };
  const Case cases[] = {
      {"ID3v2 tag holding frames", id3v2, ""},
      {"text before the first frame", std::string(1000, 'x'), ""},
      {"ID3v1 tag with frame headers", "", id3v1},
      {"both tags", id3v2, id3v1},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("case.mp3");
    WriteFileBytes(path, c.prefix + audio + c.suffix);
    const auto source = LoadMp3Source(path);
    ASSERT_EQ(source->table.frames.size(), bare.offsets.size());
    EXPECT_EQ(source->table.frames.front().offset, c.prefix.size());
    EXPECT_EQ(source->table.total_samples, bare.total_samples);
  }
}

}  // namespace
}  // namespace melodrift
