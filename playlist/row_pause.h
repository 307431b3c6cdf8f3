// The short pause at the end of every row of a ranking run (0 or 1 ms), so that the run never
// hogs the processor. The pauses are kept on a schedule: each one lasts until the sum of the
// pauses asked for since the run began has passed, so the run's own work is absorbed by them
// instead of adding to them.
#pragma once

#include <chrono>
#include <cstdint>

namespace melodrift {

class RowPause {
 public:
  virtual ~RowPause() = default;
  // A run begins: the schedule starts now.
  virtual void Begin() = 0;
  // Pauses `ms` milliseconds on the schedule.
  virtual void Pause(int ms) = 0;
};

class ScheduledRowPause final : public RowPause {
 public:
  void Begin() override;
  void Pause(int ms) override;

 private:
  std::chrono::steady_clock::time_point due_{};
};

// No pause at all (the command line, tests).
class NoRowPause final : public RowPause {
 public:
  void Begin() override {}
  void Pause(int) override {}
};

}  // namespace melodrift
