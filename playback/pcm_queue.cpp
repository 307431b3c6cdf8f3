#include "playback/pcm_queue.h"

#include <algorithm>

namespace melodrift {

PcmQueue::PcmQueue(size_t capacity_samples) : ring_(std::max<size_t>(capacity_samples, 1)) {}

bool PcmQueue::Push(std::span<const int16_t> samples, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!samples.empty()) {
    if (!room_.wait(lock, stop, [this] { return size_ < ring_.size(); })) return false;
    const size_t n = std::min(samples.size(), ring_.size() - size_);
    const size_t tail = (head_ + size_) % ring_.size();
    const size_t first = std::min(n, ring_.size() - tail);
    std::copy_n(samples.begin(), first, ring_.begin() + static_cast<ptrdiff_t>(tail));
    std::copy_n(samples.begin() + static_cast<ptrdiff_t>(first), n - first, ring_.begin());
    size_ += n;
    samples = samples.subspan(n);
  }
  return true;
}

PcmQueue::Popped PcmQueue::Pop(std::span<int16_t> out) {
  std::lock_guard lock(mutex_);
  const size_t n = std::min(out.size(), size_);
  const size_t first = std::min(n, ring_.size() - head_);
  std::copy_n(ring_.begin() + static_cast<ptrdiff_t>(head_), first, out.begin());
  std::copy_n(ring_.begin(), n - first, out.begin() + static_cast<ptrdiff_t>(first));
  head_ = (head_ + n) % ring_.size();
  size_ -= n;
  if (n > 0) room_.notify_all();
  return {n, epoch_};
}

uint64_t PcmQueue::Clear() {
  std::lock_guard lock(mutex_);
  head_ = size_ = 0;
  room_.notify_all();
  return ++epoch_;
}

}  // namespace melodrift
