// One track's analysis: decoding with the measurement overlapped, the rest of the blocks in
// DoFFT with its random progress points and cancel, and the temporary file's end.
#include "analysis/track_analyser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/wav_spectrum.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::TempDir;
using testing::TestMp3;

class RecordingView : public AnalysisView {
 public:
  void SetLabel(int label, const std::string& text) override {
    labels.push_back(std::to_string(label) + ":" + text);
  }
  void SetProgress(int position) override { progress.push_back(position); }
  void Repaint() override { ++repaints; }

  std::vector<std::string> labels;
  std::vector<int> progress;
  int repaints = 0;
};

class CallbackPump : public EventPump {
 public:
  void ProcessEvents() override {
    ++calls;
    if (on_call) on_call();
  }
  std::function<void()> on_call;
  int calls = 0;
};

// Draws 0 except at the listed draws (counted from 1), which give 999.
class ScriptedRandom : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<int> high_draws = {}) : high_draws_(std::move(high_draws)) {}
  int64_t Draw(int64_t n) override {
    ++draws;
    EXPECT_EQ(n, 1000);
    return std::find(high_draws_.begin(), high_draws_.end(), draws) != high_draws_.end() ? 999 : 0;
  }
  int draws = 0;

 private:
  std::vector<int> high_draws_;
};

class TrackAnalyserTest : public ::testing::Test {
 protected:
  // The result of measuring the finished WAV file of `mp3` in one pass.
  WavMeasurement OnePass(const std::string& mp3) {
    const std::string wav = dir_.File("one-pass.wav");
    testing::Convert(mp3, wav);
    return MeasureWavFile(wav);
  }
  void ExpectSameResult(const TrackAnalyser& analyser, const WavMeasurement& expected) {
    EXPECT_EQ(analyser.FrameCount(), expected.FrameCount);
    EXPECT_EQ(analyser.TrackSeconds(), expected.TrackSeconds);
    EXPECT_EQ(analyser.Finish(), FinishSpectrum(expected.TrackSpectrum, expected.FrameCount));
  }

  TempDir dir_;
  TMP3ToWav converter_;
  ScriptedRandom random_;
  CallbackPump pump_;
  RecordingView view_;
  TrackAnalyser analyser_{converter_, random_, pump_, view_};
  const std::string wav_ = dir_.File("xxxyyzzz.wav");
};

TEST_F(TrackAnalyserTest, ImportOfEachFileGivesTheOnePassMeasurementAndDeletesTheWav) {
  const bool keep_importing = true;
  for (const char* name : {"sine-stereo-44k.mp3", "sine-mono-44k.mp3", "sine-stereo-22k.mp3",
                           "pink-stereo-44k.mp3", "white-mono-22k.mp3", "long-stereo-44k.mp3",
                           "damaged.mp3", "empty.mp3", "not-an-mp3.mp3"}) {
    SCOPED_TRACE(name);
    const WavMeasurement expected = OnePass(TestMp3(name));
    view_.labels.clear();
    view_.progress.clear();

    analyser_.ReadMP3File(TestMp3(name), wav_, "The Artist", "The Song");
    EXPECT_EQ(view_.labels, (std::vector<std::string>{"1:reading", "2:The Artist", "3:The Song"}));
    ASSERT_FALSE(view_.progress.empty());
    EXPECT_EQ(view_.progress.back(), 0);
    EXPECT_TRUE(testing::FileSize(wav_) >= 0);

    EXPECT_TRUE(analyser_.DoFFT(wav_, keep_importing));
    EXPECT_EQ(view_.labels.back(), "1:processing");
    EXPECT_EQ(testing::FileSize(wav_), -1);
    ExpectSameResult(analyser_, expected);
    for (int position : view_.progress) {
      EXPECT_GE(position, 0);
      EXPECT_LE(position, 512);
    }
  }
  // The files without a frame gave no block and a length of -1.
  EXPECT_EQ(analyser_.FrameCount(), 0);
  EXPECT_EQ(analyser_.TrackSeconds(), -1);
}

TEST_F(TrackAnalyserTest, BlocksAreMeasuredWhileTheDecoderStillWrites) {
  const WavMeasurement expected = OnePass(TestMp3("long-stereo-44k.mp3"));
  // A slow decoder (some 5 ms per percent): the main thread must not wait for its end.
  converter_.OnProgress = [](TMP3ToWav&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  std::vector<int32_t> frames_seen;
  pump_.on_call = [&] { frames_seen.push_back(analyser_.FrameCount()); };

  analyser_.ReadMP3File(TestMp3("long-stereo-44k.mp3"), wav_, "a", "s");
  ASSERT_GE(frames_seen.size(), 3u) << "events ran at least every 50 ms";
  // Measured during the decoding: more than nothing, less than all.
  EXPECT_GT(frames_seen.back(), 0);
  EXPECT_LT(frames_seen.front(), expected.FrameCount);
  // The decoding bar moved and never went past full.
  EXPECT_GT(*std::max_element(view_.progress.begin(), view_.progress.end()), 0);

  EXPECT_TRUE(analyser_.DoFFT(wav_, true));
  ExpectSameResult(analyser_, expected);
}

TEST_F(TrackAnalyserTest, CancelIsNoticedAtARandomProgressPoint) {
  // 100 blocks of silence, measured by DoFFT alone; the 10th draw is a progress point.
  constexpr int64_t kBytes = 44 + 2048 * 102;
  struct Case {
    bool keep_importing;
    bool result;
    int32_t frames;
  };
  for (const Case& c : {Case{false, false, 10}, Case{true, true, 100}}) {
    SCOPED_TRACE(c.keep_importing);
    ScriptedRandom random({10});
    TrackAnalyser analyser(converter_, random, pump_, view_);
    testing::WriteFileBytes(wav_, std::string(kBytes, '\0'));
    view_.progress.clear();
    pump_.calls = 0;

    EXPECT_EQ(analyser.DoFFT(wav_, c.keep_importing), c.result);
    EXPECT_EQ(analyser.FrameCount(), c.frames);
    EXPECT_EQ(random.draws, c.frames);
    EXPECT_EQ(testing::FileSize(wav_), -1);
    if (c.keep_importing) {
      // Once at the start, once at the progress point: round(p / B x 512), p after block 10.
      EXPECT_EQ(pump_.calls, 2);
      EXPECT_EQ(view_.progress,
                (std::vector<int>{
                    0, static_cast<int>(std::nearbyint((44.0 + 2048 * 10) / kBytes * 512))}));
    }
  }
}

TEST_F(TrackAnalyserTest, WavThatCannotBeReadCountsAsEmpty) {
  EXPECT_TRUE(analyser_.DoFFT(dir_.File("missing.wav"), true));
  EXPECT_EQ(analyser_.FrameCount(), 0);
  EXPECT_EQ(analyser_.TrackSeconds(), -1);
  EXPECT_EQ(analyser_.Finish(), FeatureValues{});
}

TEST_F(TrackAnalyserTest, FileThatCannotBeOpenedEndsReadingWithItsName) {
  const std::string missing = dir_.File("gone.mp3");
  try {
    analyser_.ReadMP3File(missing, wav_, "a", "s");
    ADD_FAILURE() << "ReadMP3File did not fail";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  EXPECT_EQ(view_.progress.back(), 0);
  // The converter is free for the next file.
  analyser_.ReadMP3File(TestMp3("sine-mono-44k.mp3"), wav_, "a", "s");
  EXPECT_TRUE(analyser_.DoFFT(wav_, true));
  EXPECT_GT(analyser_.FrameCount(), 0);
}

}  // namespace
}  // namespace melodrift
