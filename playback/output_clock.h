// The time base of the silent output. The program uses the real, monotonic clock; tests
// inject a faster one so that a track plays in a fraction of its length.
#pragma once

#include <chrono>
#include <memory>

namespace melodrift {

class OutputClock {
 public:
  virtual ~OutputClock() = default;
  // Monotonic time of this clock. Any thread.
  virtual std::chrono::nanoseconds Now() const = 0;
  // How long to wait in real time for `span` of this clock to pass. Any thread.
  virtual std::chrono::nanoseconds RealTimeFor(std::chrono::nanoseconds span) const = 0;
};

// std::chrono::steady_clock.
std::shared_ptr<const OutputClock> RealTimeClock();

}  // namespace melodrift
