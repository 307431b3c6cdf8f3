// The MP3 converter on the test files: the WAV files it writes, what it does with files that
// do not decode, its errors, and its thread's completion.
#include "analysis/mp3_to_wav.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "analysis/wav_format.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::DoneWaiter;
using testing::TempDir;
using testing::TestMp3;

TEST(MP3ToWavTest, WritesTheMp3sOwnFormatWithoutResampling) {
  struct Case {
    const char* name;
    uint32_t channels;
    uint32_t rate;
    double seconds;
    bool constant_128k;  // the header's estimate is known from the file size
  };
  for (const Case& c : {Case{"sine-stereo-44k.mp3", 2, 44100, 2, true},
                        Case{"sine-mono-44k.mp3", 1, 44100, 1, true},
                        Case{"sine-stereo-22k.mp3", 2, 22050, 2, true},
                        Case{"pink-stereo-44k.mp3", 2, 44100, 3, false},
                        Case{"white-mono-22k.mp3", 1, 22050, 2, false}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string wav_path = dir.File("out.wav");
    TMP3ToWav converter;
    DoneWaiter waiter(converter);
    std::vector<int> percents;
    converter.OnProgress = [&](TMP3ToWav& sender) { percents.push_back(sender.PercentDone()); };
    converter.InputFile = TestMp3(c.name);
    converter.OutputFile = wav_path;
    converter.Start();
    ASSERT_TRUE(waiter.Wait());

    const std::string wav = testing::ReadFileBytes(wav_path);
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(converter.BytesWritten(), static_cast<int64_t>(wav.size()));
    const testing::WavFields f = testing::ReadWavFields(wav);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(f.rate, c.rate);
    EXPECT_EQ(f.byte_rate, c.rate * c.channels * 2);
    EXPECT_EQ(f.block_align, c.channels * 2);
    EXPECT_EQ(f.bits, 16u);
    EXPECT_EQ(f.riff_size, f.data_size + 36);
    if (c.constant_128k) {
      const int64_t mp3_bytes = testing::FileSize(TestMp3(c.name));
      EXPECT_EQ(static_cast<int32_t>(f.data_size),
                EstimatedDataBytes(mp3_bytes, 128000, c.rate, static_cast<int>(c.channels)));
    }

    // One sample per channel and instant, at the file's own rate: the length in samples is
    // the signal's, give or take the encoder's few frames of delay and padding.
    const double frames_per_channel = (wav.size() - 44.0) / (2.0 * c.channels);
    EXPECT_EQ((wav.size() - 44) % (2 * c.channels), 0u);
    EXPECT_GT(frames_per_channel, c.seconds * c.rate - 1152);
    EXPECT_LT(frames_per_channel, c.seconds * c.rate + 4 * 1152);

    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    if (c.constant_128k) {
      EXPECT_NEAR(percents.back(), 100, 5);
    }
  }
}

TEST(MP3ToWavTest, SamplesKeepTheirLevelAndChannelOrder) {
  TempDir dir;
  // Sines of RMS amplitude 0.3536 (half scale) left and 0.0707 right; the encoder keeps
  // about 95 % of the level, a wrong shift would halve or double it.
  ASSERT_TRUE(testing::Convert(TestMp3("sine-stereo-44k.mp3"), dir.File("stereo.wav")));
  const std::vector<int16_t> stereo =
      testing::Samples(testing::ReadFileBytes(dir.File("stereo.wav")));
  EXPECT_NEAR(testing::MiddleRms(stereo, 0, 2), 0.3536 * 32768, 0.1 * 0.3536 * 32768);
  EXPECT_NEAR(testing::MiddleRms(stereo, 1, 2), 0.0707 * 32768, 0.1 * 0.0707 * 32768);

  ASSERT_TRUE(testing::Convert(TestMp3("sine-mono-44k.mp3"), dir.File("mono.wav")));
  const std::vector<int16_t> mono = testing::Samples(testing::ReadFileBytes(dir.File("mono.wav")));
  EXPECT_NEAR(testing::MiddleRms(mono, 0, 1), 0.3536 * 32768, 0.1 * 0.3536 * 32768);
}

TEST(MP3ToWavTest, InputWithoutFramesGivesAnEmptyFileAndNoSuccess) {
  for (const char* name : {"empty.mp3", "not-an-mp3.mp3"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    testing::WriteFileBytes(dir.File("out.wav"), "old contents");
    TMP3ToWav converter;
    DoneWaiter waiter(converter);
    converter.InputFile = TestMp3(name);
    converter.OutputFile = dir.File("out.wav");
    converter.Start();
    EXPECT_FALSE(waiter.Wait());
    EXPECT_EQ(testing::FileSize(dir.File("out.wav")), 0);
    EXPECT_EQ(converter.BytesWritten(), 0);
  }
}

TEST(MP3ToWavTest, DamagedFramesAreSkipped) {
  TempDir dir;
  ASSERT_TRUE(testing::Convert(TestMp3("pink-stereo-44k.mp3"), dir.File("good.wav")));
  ASSERT_TRUE(testing::Convert(TestMp3("damaged.mp3"), dir.File("damaged.wav")));
  const long long good = testing::FileSize(dir.File("good.wav"));
  const long long damaged = testing::FileSize(dir.File("damaged.wav"));
  // 6000 bytes of some 32 KB are gone; the frames before and after the damage decode.
  EXPECT_LT(damaged, good);
  EXPECT_GT(damaged, good / 2);
  EXPECT_EQ((damaged - 44) % 4, 0);
}

TEST(MP3ToWavTest, StartReportsMissingNamesAndFilesThatCannotBeOpened) {
  TempDir dir;
  const std::string good = TestMp3("sine-mono-44k.mp3");
  const std::string mp3_copy = dir.File("copy.mp3");
  testing::WriteFileBytes(mp3_copy, testing::ReadFileBytes(good));
  struct Case {
    std::string input;
    std::string output;
    std::string message;  // the exact text, or a part naming the file
    bool system_error;
  };
  for (const Case& c :
       {Case{"", dir.File("a.wav"), "Neither input stream not file name is assigned.", false},
        Case{good, "", "Neither output stream not file name is assigned.", false},
        Case{dir.File("missing.mp3"), dir.File("a.wav"), "\"" + dir.File("missing.mp3") + "\"",
             true},
        Case{dir.path(), dir.File("a.wav"), "\"" + dir.path() + "\"", true},
        Case{good, dir.File("no/such/folder.wav"), "\"" + dir.File("no/such/folder.wav") + "\"",
             true},
        Case{good, dir.path(), "\"" + dir.path() + "\"", true},
        Case{mp3_copy, mp3_copy, "Cannot create \"" + mp3_copy + "\": it is the input file",
             false}}) {
    SCOPED_TRACE(c.message);
    TMP3ToWav converter;
    converter.InputFile = c.input;
    converter.OutputFile = c.output;
    try {
      converter.Start();
      ADD_FAILURE() << "Start did not fail";
    } catch (const std::system_error& e) {
      EXPECT_TRUE(c.system_error);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    } catch (const std::runtime_error& e) {
      EXPECT_FALSE(c.system_error);
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_FALSE(converter.Busy());
  }
  EXPECT_EQ(testing::ReadFileBytes(mp3_copy), testing::ReadFileBytes(good)) << "input kept";
  // A failed Start leaves nothing behind: the next one runs.
  TMP3ToWav converter;
  DoneWaiter waiter(converter);
  converter.InputFile = "";
  EXPECT_THROW(converter.Start(), std::runtime_error);
  converter.InputFile = good;
  converter.OutputFile = dir.File("a.wav");
  converter.Start();
  EXPECT_TRUE(waiter.Wait());
}

TEST(MP3ToWavTest, StartDuringAConversionIsBuisy) {
  TempDir dir;
  TMP3ToWav converter;
  DoneWaiter waiter(converter);
  std::atomic<bool> release{false};
  // The decoder thread waits in its first progress report until the test lets it go.
  converter.OnProgress = [&](TMP3ToWav&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  converter.InputFile = TestMp3("sine-stereo-44k.mp3");
  converter.OutputFile = dir.File("a.wav");
  converter.Start();
  EXPECT_TRUE(converter.Busy());
  try {
    converter.Start();
    ADD_FAILURE() << "second Start did not fail";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Component is buisy.");
  }
  release = true;
  EXPECT_TRUE(waiter.Wait());
  EXPECT_EQ(waiter.Calls(), 1);
}

TEST(MP3ToWavTest, StartRightAfterOnDoneIsNeverBusy) {
  TempDir dir;
  TMP3ToWav converter;
  DoneWaiter waiter(converter);
  converter.InputFile = TestMp3("sine-mono-44k.mp3");
  converter.OutputFile = dir.File("a.wav");
  for (int round = 0; round < 50; ++round) {
    ASSERT_NO_THROW(converter.Start()) << "round " << round;
    ASSERT_TRUE(waiter.Wait());
  }
  EXPECT_EQ(waiter.Calls(), 50);
}

TEST(MP3ToWavTest, DestroyingTheConverterStopsItsConversion) {
  TempDir dir;
  const std::string wav = dir.File("a.wav");
  std::atomic<bool> started{false};
  std::atomic<int> done_calls{0};
  std::atomic<bool> success{true};
  {
    TMP3ToWav converter;
    converter.OnProgress = [&](TMP3ToWav&) {
      started = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // 100 reports: 2 s in all
    };
    converter.OnDone = [&](TMP3ToWav&, bool s) {
      success = s;
      ++done_calls;
    };
    converter.InputFile = TestMp3("long-stereo-44k.mp3");
    converter.OutputFile = wav;
    converter.Start();
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(done_calls, 1);
  EXPECT_FALSE(success);
  // Stopped after a frame or two of the 10 seconds, and the file is closed and complete.
  EXPECT_LT(testing::FileSize(wav), 176400);
  EXPECT_EQ((testing::FileSize(wav) - 44) % 4, 0);
}

}  // namespace
}  // namespace melodrift
