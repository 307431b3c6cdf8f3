#include "playlist/row_pause.h"

#include <time.h>

namespace melodrift {

void ScheduledRowPause::Begin() {
  due_ = std::chrono::steady_clock::now();
}

void ScheduledRowPause::Pause(int ms) {
  due_ += std::chrono::milliseconds(ms);
  if (std::chrono::steady_clock::now() >= due_) return;
  // An absolute wake-up time: an oversleep here shortens the next pause instead of adding up.
  const auto since_epoch = due_.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  timespec until{};
  until.tv_sec = static_cast<time_t>(seconds.count());
  until.tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds).count());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
  }
}

}  // namespace melodrift
