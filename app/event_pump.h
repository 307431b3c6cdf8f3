// Long operations let pending user-interface events run at chosen points through this
// interface. The window program passes one that runs the Qt event loop once; tests pass one
// that, say, presses Cancel at the n-th call. Main thread only.
#pragma once

namespace melodrift {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Lets pending user-interface events run once. Handlers may run inside this call.
  virtual void ProcessEvents() = 0;
};

// For work without a user interface (command-line tools, benchmarks).
class NoEventPump final : public EventPump {
 public:
  void ProcessEvents() override {}
};

}  // namespace melodrift
