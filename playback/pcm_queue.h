// A bounded queue of 16-bit samples between the decoder thread, which waits for room, and an
// audio thread, which takes what it can without waiting. Clear starts a new epoch, and every
// Pop says which epoch its samples belong to, so that the audio thread can tell samples
// queued after a Clear from those before it, even when the two meet within one of its turns.
// One short lock, held only to copy samples.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <stop_token>
#include <vector>

namespace melodrift {

class PcmQueue {
 public:
  explicit PcmQueue(size_t capacity_samples);
  PcmQueue(const PcmQueue&) = delete;
  PcmQueue& operator=(const PcmQueue&) = delete;

  // Appends all of `samples`, waiting while the queue is full. False when `stop` was
  // requested before all were queued. One thread at a time.
  bool Push(std::span<const int16_t> samples, std::stop_token stop);

  struct Popped {
    size_t samples = 0;  // moved into the buffer
    uint64_t epoch = 0;  // in which they were queued: the current one
  };
  // Moves up to out.size() samples into `out`; never waits.
  Popped Pop(std::span<int16_t> out);

  // Discards everything queued, wakes a waiting Push and starts a new epoch, which it returns.
  uint64_t Clear();

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any room_;
  std::vector<int16_t> ring_;  // guarded by mutex_, as are the three below
  size_t head_ = 0;            // of the oldest sample
  size_t size_ = 0;
  uint64_t epoch_ = 0;
};

}  // namespace melodrift
