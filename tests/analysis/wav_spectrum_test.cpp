// The feature values of a WAV file: block counts and lengths at the edges, fixed sample
// patterns, unreadable files, and decoded test MP3s against a plain double-precision DFT.
#include "analysis/wav_spectrum.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::TempDir;

// A file of `size` bytes, all `fill`; zero-filled files are made sparse, so that a
// four-minute file costs no disk space.
std::string MakeFile(const TempDir& dir, int64_t size, char fill) {
  const std::string path = dir.File("track.wav");
  if (fill == 0) {
    testing::WriteFileBytes(path, "");
    EXPECT_EQ(::truncate(path.c_str(), size), 0);
  } else {
    testing::WriteFileBytes(path, std::string(static_cast<size_t>(size), fill));
  }
  return path;
}

TEST(WavSpectrumTest, BlockCountAndSecondsFollowTheFileSize) {
  struct Case {
    int64_t size;
    int32_t blocks;
    int32_t seconds;
  };
  for (const Case& c :
       {Case{0, 0, -1}, Case{44, 0, -1}, Case{4140, 0, -1}, Case{4141, 1, -1}, Case{6188, 1, -1},
        Case{6189, 2, -1}, Case{1'764'044, 860, 9}, Case{42'336'044, 20'670, 240}}) {
    SCOPED_TRACE("B = " + std::to_string(c.size));
    TempDir dir;
    const WavMeasurement m = MeasureWavFile(MakeFile(dir, c.size, 0));
    EXPECT_EQ(m.FrameCount, c.blocks);
    EXPECT_EQ(m.TrackSeconds, c.seconds);
    const FeatureValues values = FinishSpectrum(m.TrackSpectrum, m.FrameCount);
    for (double v : values) ASSERT_EQ(v, 0);
  }
}

TEST(WavSpectrumTest, SamplesOfMinusOneReadAsUnsignedFillOnlyTheDcBin) {
  TempDir dir;
  const WavMeasurement m = MeasureWavFile(MakeFile(dir, 44 + 4096 * 3, '\xff'));
  ASSERT_EQ(m.FrameCount, 4);
  const FeatureValues values = FinishSpectrum(m.TrackSpectrum, m.FrameCount);
  // 65535 everywhere: |X_0| / 2048 = 32767.5 in every block, rounded to even.
  EXPECT_EQ(values[0], 32768);
  for (int k = 1; k < kFeatureColumns; ++k) ASSERT_EQ(values[k], 0) << "bin " << k;
}

TEST(WavSpectrumTest, FileThatCannotBeReadCountsAsEmpty) {
  TempDir dir;
  for (const std::string& path : {dir.File("missing.wav"), dir.path()}) {
    const WavMeasurement m = MeasureWavFile(path);
    EXPECT_EQ(m.FrameCount, 0) << path;
    EXPECT_EQ(m.TrackSeconds, -1) << path;
  }
}

TEST(WavSpectrumTest, DecodedFilesMatchADoubleDftWithinOne) {
  for (const char* name : {"sine-stereo-44k.mp3", "sine-mono-44k.mp3", "sine-stereo-22k.mp3",
                           "pink-stereo-44k.mp3", "white-mono-22k.mp3"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string wav = dir.File("decoded.wav");
    ASSERT_TRUE(testing::Convert(testing::TestMp3(name), wav));
    const WavMeasurement m = MeasureWavFile(wav);
    ASSERT_GT(m.FrameCount, 20);
    const FeatureValues values = FinishSpectrum(m.TrackSpectrum, m.FrameCount);
    const FeatureValues expected = testing::ReferenceFeatures(testing::ReadFileBytes(wav));
    for (int k = 0; k < kFeatureColumns; ++k) {
      ASSERT_NEAR(values[k], expected[k], 1) << "bin " << k;
    }
    // The tones and noise leave something in the bins besides DC.
    EXPECT_GT(*std::max_element(values.begin() + 1, values.end()), 50);
  }
}

}  // namespace
}  // namespace melodrift
