// An output for machines without sound (headless, CI): it discards the samples but consumes
// them at the real-time rate of its clock, so positions, lengths and the end-of-track
// countdown behave as with sound. Nothing runs in the background: what has been played is
// worked out from the clock whenever it is asked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "playback/audio_output.h"
#include "playback/output_clock.h"

namespace melodrift {

class SilentAudioOutput final : public AudioOutput {
 public:
  // Holds at most `queue` of sound ahead of what has been played.
  explicit SilentAudioOutput(std::shared_ptr<const OutputClock> clock = RealTimeClock(),
                             std::chrono::milliseconds queue = std::chrono::milliseconds(250));

  void Open(const AudioFormat& format) override;
  bool Write(std::span<const int16_t> samples, std::stop_token stop) override;
  void Pause() override;
  void Resume() override;
  void Drop() override;
  int64_t PlayedFrames() const override;

 private:
  // Moves what the clock says has been heard since the last call from queued to played.
  void ConsumeLocked() const;
  int64_t QueueFramesLocked() const;

  const std::shared_ptr<const OutputClock> clock_;
  const std::chrono::milliseconds queue_;
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  // Guarded by mutex_. Playback runs at the format's rate from `anchor_time_`, when
  // `anchor_played_` frames had been played, for as long as frames are queued.
  AudioFormat format_;
  bool paused_ = false;
  int64_t written_ = 0;
  mutable int64_t played_ = 0;
  mutable int64_t anchor_played_ = 0;
  mutable std::chrono::nanoseconds anchor_time_{0};
};

}  // namespace melodrift
