// Helpers of the media device tests: clocks that run faster than real time or only when told,
// an output that records what it is given, the samples the import's decoder makes of a test
// file, and waiting for a condition.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/audio_output.h"
#include "playback/media_device.h"
#include "playback/output_clock.h"
#include "playback/silent_audio_output.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift::testing {

// Real time, `factor` times faster.
class FastClock final : public OutputClock {
 public:
  explicit FastClock(int factor) : factor_(factor) {}
  std::chrono::nanoseconds Now() const override {
    return (std::chrono::steady_clock::now() - start_) * factor_;
  }
  std::chrono::nanoseconds RealTimeFor(std::chrono::nanoseconds span) const override {
    return span / factor_;
  }

 private:
  const int factor_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Moves only when the test advances it.
class ManualClock final : public OutputClock {
 public:
  std::chrono::nanoseconds Now() const override { return now_.load(); }
  std::chrono::nanoseconds RealTimeFor(std::chrono::nanoseconds) const override {
    return std::chrono::milliseconds(1);
  }
  void Advance(std::chrono::nanoseconds span) { now_ = now_.load() + span; }

 private:
  std::atomic<std::chrono::nanoseconds> now_{std::chrono::nanoseconds(0)};
};

// A silent output that keeps every sample it is given, in segments: a Drop starts a new one.
class RecordingOutput final : public AudioOutput {
 public:
  explicit RecordingOutput(std::shared_ptr<const OutputClock> clock,
                           std::chrono::milliseconds queue = std::chrono::milliseconds(250))
      : silent_(std::move(clock), queue) {}
  void Open(const AudioFormat& format) override { silent_.Open(format); }
  bool Write(std::span<const int16_t> samples, std::stop_token stop) override {
    if (!silent_.Write(samples, stop)) return false;
    std::lock_guard lock(mutex_);
    segments_.back().insert(segments_.back().end(), samples.begin(), samples.end());
    return true;
  }
  void Pause() override { silent_.Pause(); }
  void Resume() override { silent_.Resume(); }
  void Drop() override {
    silent_.Drop();
    std::lock_guard lock(mutex_);
    segments_.emplace_back();
  }
  int64_t PlayedFrames() const override { return silent_.PlayedFrames(); }

  std::vector<std::vector<int16_t>> Segments() const {
    std::lock_guard lock(mutex_);
    return segments_;
  }
  size_t LastSegmentSize() const {
    std::lock_guard lock(mutex_);
    return segments_.back().size();
  }

 private:
  SilentAudioOutput silent_;
  mutable std::mutex mutex_;
  std::vector<std::vector<int16_t>> segments_{1};
};

// A device on recording outputs driven by `clock`; `last` is the output of the open file.
struct RecordingDevice {
  explicit RecordingDevice(std::shared_ptr<const OutputClock> clock,
                           std::chrono::milliseconds queue = std::chrono::milliseconds(250))
      : device([this, clock, queue] {
          auto output = std::make_unique<RecordingOutput>(clock, queue);
          last = output.get();
          return output;
        }) {}
  RecordingOutput* last = nullptr;
  MediaDevice device;
};

// Polls `done` every millisecond for up to `limit`; whether it came true.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The 16-bit samples the import's converter makes of `mp3`: the oracle for what the device
// plays.
inline std::vector<int16_t> ImportSamples(const std::string& mp3) {
  TempDir dir;
  const std::string wav = dir.File("reference.wav");
  EXPECT_TRUE(Convert(mp3, wav)) << mp3;
  return Samples(ReadFileBytes(wav));
}

}  // namespace melodrift::testing
