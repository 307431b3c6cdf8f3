// The WAV header the converter writes and its conversion of libmad's samples.
#include "analysis/wav_format.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/analysis/decoding_fixtures.h"

namespace melodrift {
namespace {

using testing::ReadWavFields;

std::string HeaderBytes(const WavHeader& h) {
  return std::string(reinterpret_cast<const char*>(h.data()), h.size());
}

TEST(WavHeaderTest, FiveMillionByteStereoFileAt128Kbits) {
  EXPECT_EQ(MpegFrameBytes(128000, 44100), 418);
  const std::optional<int32_t> estimate = EstimatedDataBytes(5'000'000, 128000, 44100, 2);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(*estimate, 55'119'616);

  const testing::WavFields f = ReadWavFields(HeaderBytes(MakeWavHeader(2, 44100, *estimate)));
  EXPECT_EQ(f.riff, "RIFF");
  EXPECT_EQ(f.riff_size, 55'119'652u);
  EXPECT_EQ(f.wave, "WAVE");
  EXPECT_EQ(f.fmt, "fmt ");
  EXPECT_EQ(f.fmt_size, 16u);
  EXPECT_EQ(f.format, 1u);
  EXPECT_EQ(f.channels, 2u);
  EXPECT_EQ(f.rate, 44100u);
  EXPECT_EQ(f.byte_rate, 176'400u);
  EXPECT_EQ(f.block_align, 4u);
  EXPECT_EQ(f.bits, 16u);
  EXPECT_EQ(f.data, "data");
  EXPECT_EQ(f.data_size, 55'119'616u);
}

TEST(WavHeaderTest, ChannelsAndRateShapeTheFormatFields) {
  struct Case {
    int channels;
    uint32_t rate;
    uint32_t byte_rate;
    uint32_t block_align;
  };
  for (const Case& c : {Case{1, 44100, 88200, 2}, Case{2, 22050, 88200, 4},
                        Case{1, 22050, 44100, 2}, Case{2, 48000, 192000, 4}}) {
    SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
    const testing::WavFields f =
        ReadWavFields(HeaderBytes(MakeWavHeader(c.channels, c.rate, 1000)));
    EXPECT_EQ(f.channels, static_cast<uint32_t>(c.channels));
    EXPECT_EQ(f.rate, c.rate);
    EXPECT_EQ(f.byte_rate, c.byte_rate);
    EXPECT_EQ(f.block_align, c.block_align);
    EXPECT_EQ(f.riff_size, 1036u);
  }
}

TEST(WavHeaderTest, EstimateRoundsHalvesToEvenAndNeedsABitRate) {
  // 144 x 352000 / 22000 = 2304-byte frames: a file of 5 bytes is 2.5 samples, 7 bytes 3.5.
  EXPECT_EQ(EstimatedDataBytes(5, 352000, 22000, 2), 2 * 2 * 2);
  EXPECT_EQ(EstimatedDataBytes(7, 352000, 22000, 2), 4 * 2 * 2);
  EXPECT_EQ(EstimatedDataBytes(7, 352000, 22000, 1), 4 * 2);
  // A free-format first frame carries no bit rate: there is nothing to estimate from.
  EXPECT_FALSE(EstimatedDataBytes(5'000'000, 0, 44100, 2).has_value());
}

TEST(MadSampleTest, ClipsAndShiftsArithmetically) {
  struct Case {
    int32_t in;
    int16_t out;
  };
  for (const Case& c :
       {Case{1 << 28, 32767}, Case{-(1 << 28), -32768}, Case{-1, -1}, Case{0, 0}, Case{8191, 0},
        Case{8192, 1}, Case{-8192, -1}, Case{-8193, -2}, Case{(1 << 28) - 1, 32767},
        Case{INT32_MAX, 32767}, Case{INT32_MIN, -32768}}) {
    EXPECT_EQ(MadSampleToInt16(c.in), c.out) << "sample " << c.in;
  }
}

}  // namespace
}  // namespace melodrift
