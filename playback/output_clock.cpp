#include "playback/output_clock.h"

namespace melodrift {

namespace {

class SteadyOutputClock final : public OutputClock {
 public:
  std::chrono::nanoseconds Now() const override {
    return std::chrono::steady_clock::now().time_since_epoch();
  }
  std::chrono::nanoseconds RealTimeFor(std::chrono::nanoseconds span) const override {
    return span;
  }
};

}  // namespace

std::shared_ptr<const OutputClock> RealTimeClock() {
  static const auto clock = std::make_shared<const SteadyOutputClock>();
  return clock;
}

}  // namespace melodrift
