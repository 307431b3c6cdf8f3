// The silent output's bookkeeping on a clock that moves only when told: it plays what is
// queued at the clock's rate, runs dry like a sound card, pauses, drops, and makes the
// decoder wait while its queue is full.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "playback/silent_audio_output.h"
#include "tests/playback/playback_fixtures.h"

namespace melodrift {
namespace {

using std::chrono::milliseconds;
using testing::ManualClock;
using testing::WaitFor;

// At 1000 frames a second a frame lasts a millisecond.
constexpr AudioFormat kOneFramePerMs{1000, 2};

TEST(SilentAudioOutputTest, PlaysWhatIsQueuedAtTheClocksRate) {
  auto clock = std::make_shared<ManualClock>();
  SilentAudioOutput output(clock, milliseconds(1000));
  output.Open(kOneFramePerMs);
  const std::vector<int16_t> hundred_frames(200);
  const auto write = [&] { ASSERT_TRUE(output.Write(hundred_frames, {})); };
  const auto advance = [&](int ms) { clock->Advance(milliseconds(ms)); };

  struct Step {
    const char* what;
    std::function<void()> act;
    int64_t played;
  };
  const Step steps[] = {
      {"queued, no time yet", write, 0},
      {"40 ms", [&] { advance(40); }, 40},
      {"runs dry", [&] { advance(500); }, 100},
      {"more queued later", write, 100},
      {"goes on from the new queue, not from when it ran dry", [&] { advance(30); }, 130},
      {"paused",
       [&] {
         output.Pause();
         advance(1000);
       },
       130},
      {"resumed",
       [&] {
         output.Resume();
         advance(20);
       },
       150},
      {"dropped",
       [&] {
         output.Drop();
         advance(50);
       },
       0},
      {"queued after the drop",
       [&] {
         write();
         advance(10);
       },
       10},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(output.PlayedFrames(), step.played) << step.what;
  }
}

TEST(SilentAudioOutputTest, WriteWaitsForRoomAndGivesUpWhenStopped) {
  auto clock = std::make_shared<ManualClock>();
  SilentAudioOutput output(clock, milliseconds(100));
  output.Open(kOneFramePerMs);
  const std::vector<int16_t> frames(200);  // 100 frames: the whole queue
  ASSERT_TRUE(output.Write(frames, {}));

  std::atomic<int> result{-1};
  {
    std::jthread writer([&](std::stop_token stop) { result = output.Write(frames, stop); });
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(result, -1) << "wrote into a full queue";
    clock->Advance(milliseconds(100));  // the first 100 frames have played
    EXPECT_TRUE(WaitFor([&] { return result != -1; }));
  }
  EXPECT_EQ(result, 1);

  result = -1;
  {
    std::jthread writer([&](std::stop_token stop) { result = output.Write(frames, stop); });
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(result, -1);
  }  // stops and joins the writer
  EXPECT_EQ(result, 0);
  EXPECT_EQ(output.PlayedFrames(), 100);
}

}  // namespace
}  // namespace melodrift
