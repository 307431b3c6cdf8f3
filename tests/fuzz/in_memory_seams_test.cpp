// The in-memory decoding that the MP3 fuzz target goes through: it is what the converter's
// thread runs (the same bytes), and its sink's answers end a conversion as a failed file
// write or a stop would.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "analysis/mp3_to_wav.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FileBytes(const std::string& path) {
  const std::string s = testing::ReadFileBytes(path);
  return Bytes(s.begin(), s.end());
}

// The WAV bytes of an in-memory decoding, and its result.
bool DecodeInMemory(const Bytes& mp3, Bytes& wav) {
  Mp3WavSink sink;
  sink.write = [&wav](const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    wav.insert(wav.end(), p, p + n);
    return true;
  };
  return DecodeMp3ToWav(mp3, sink);
}

TEST(DecodeMp3ToWavTest, GivesTheBytesAndResultOfTheConverter) {
  for (const char* name : {"sine-stereo-44k.mp3", "white-mono-22k.mp3", "damaged.mp3",
                           "not-an-mp3.mp3", "empty.mp3"}) {
    SCOPED_TRACE(name);
    testing::TempDir dir;
    const std::string wav_path = dir.File("out.wav");
    const bool converted = testing::Convert(testing::TestMp3(name), wav_path);
    Bytes wav;
    EXPECT_EQ(DecodeInMemory(FileBytes(testing::TestMp3(name)), wav), converted);
    EXPECT_EQ(wav, FileBytes(wav_path));
  }
}

TEST(DecodeMp3ToWavTest, ARefusedWriteOrProgressOrAStopFailsTheConversion) {
  const Bytes mp3 = FileBytes(testing::TestMp3("sine-mono-44k.mp3"));
  struct Case {
    const char* what;
    int writes_allowed;  // -1: every write succeeds
    bool refuse_progress;
    bool stop;
    size_t bytes_written;  // 0: some beyond the header
  };
  for (const Case& c :
       {Case{"full disk at the header", 0, false, false, 0},
        Case{"full disk after the header", 1, false, false, 44},
        Case{"progress refused", -1, true, false, 0}, Case{"stop asked", -1, false, true, 0}}) {
    SCOPED_TRACE(c.what);
    Bytes wav;
    int writes_left = c.writes_allowed;
    std::atomic<bool> stop{c.stop};
    Mp3WavSink sink;
    sink.write = [&](const void* data, size_t n) {
      if (writes_left == 0) return false;
      if (writes_left > 0) --writes_left;
      const auto* p = static_cast<const uint8_t*>(data);
      wav.insert(wav.end(), p, p + n);
      return true;
    };
    if (c.refuse_progress) sink.progress = [](int) { return false; };
    sink.stop = &stop;
    EXPECT_FALSE(DecodeMp3ToWav(mp3, sink));
    if (c.writes_allowed >= 0) {
      EXPECT_EQ(wav.size(), c.bytes_written);
    }
    if (c.stop) {
      EXPECT_TRUE(wav.empty());
    }
  }
  Bytes wav;
  EXPECT_TRUE(DecodeInMemory(mp3, wav));
}

}  // namespace
}  // namespace melodrift
