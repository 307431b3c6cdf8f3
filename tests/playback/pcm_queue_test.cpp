// The queue between the decoder and the audio thread: order across the ring's wrap, waiting
// for room, stopping a waiting writer, and the epoch that tells a Clear apart.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "playback/pcm_queue.h"
#include "tests/playback/playback_fixtures.h"

namespace melodrift {
namespace {

using testing::WaitFor;

TEST(PcmQueueTest, KeepsOrderAcrossTheWrapAndWaitsForRoom) {
  PcmQueue queue(10);
  std::vector<int16_t> in(1000);
  std::iota(in.begin(), in.end(), 0);
  std::vector<int16_t> out;
  std::jthread writer([&](std::stop_token stop) { EXPECT_TRUE(queue.Push(in, stop)); });
  // Takes in odd-sized bites, so that reads and writes wrap at every place in the ring.
  std::vector<int16_t> bite(7);
  ASSERT_TRUE(WaitFor([&] {
    const PcmQueue::Popped popped = queue.Pop(bite);
    out.insert(out.end(), bite.begin(), bite.begin() + static_cast<ptrdiff_t>(popped.samples));
    return out.size() == in.size();
  }));
  EXPECT_EQ(out, in);
}

TEST(PcmQueueTest, StopAndClearWakeAWaitingWriter) {
  PcmQueue queue(4);
  const std::vector<int16_t> six{1, 2, 3, 4, 5, 6};
  std::atomic<int> result{-1};
  {
    std::jthread writer([&](std::stop_token stop) { result = queue.Push(six, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(result, -1) << "pushed more than fits";
  }  // requests the stop and joins
  EXPECT_EQ(result, 0);

  // Clear makes room: the rest of a waiting Push goes into the new epoch.
  const uint64_t before = queue.Clear();
  result = -1;
  std::jthread writer([&](std::stop_token stop) { result = queue.Push(six, stop); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // four queued, two waiting
  EXPECT_EQ(result, -1);
  const uint64_t after = queue.Clear();
  EXPECT_EQ(after, before + 1);
  ASSERT_TRUE(WaitFor([&] { return result == 1; }));
  std::vector<int16_t> out(6);
  const PcmQueue::Popped popped = queue.Pop(out);
  EXPECT_EQ(popped.epoch, after);
  EXPECT_EQ(popped.samples, 2u);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[1], 6);
}

}  // namespace
}  // namespace melodrift
