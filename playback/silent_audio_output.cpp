#include "playback/silent_audio_output.h"

#include <algorithm>

namespace melodrift {

namespace {

using std::chrono::nanoseconds;

// Frames that play in `span` at `rate`, rounded down; split so that long spans cannot
// overflow.
int64_t FramesIn(nanoseconds span, uint32_t rate) {
  constexpr int64_t kNanosPerSecond = 1'000'000'000;
  const int64_t ns = std::max<int64_t>(span.count(), 0);
  return ns / kNanosPerSecond * rate + ns % kNanosPerSecond * rate / kNanosPerSecond;
}

nanoseconds DurationOf(int64_t frames, uint32_t rate) {
  return nanoseconds(frames * 1'000'000'000 / std::max<uint32_t>(rate, 1));
}

}  // namespace

SilentAudioOutput::SilentAudioOutput(std::shared_ptr<const OutputClock> clock,
                                     std::chrono::milliseconds queue)
    : clock_(std::move(clock)), queue_(queue), anchor_time_(clock_->Now()) {}

void SilentAudioOutput::Open(const AudioFormat& format) {
  std::lock_guard lock(mutex_);
  format_ = format;
}

int64_t SilentAudioOutput::QueueFramesLocked() const {
  return std::max<int64_t>(queue_.count() * format_.sample_rate / 1000, 1);
}

void SilentAudioOutput::ConsumeLocked() const {
  if (paused_) return;
  const nanoseconds now = clock_->Now();
  const int64_t due = anchor_played_ + FramesIn(now - anchor_time_, format_.sample_rate);
  if (due < written_) {
    played_ = due;
    return;
  }
  // The queue has run dry: playback goes on from the next Write, as a sound card's would.
  played_ = written_;
  anchor_played_ = written_;
  anchor_time_ = now;
}

bool SilentAudioOutput::Write(std::span<const int16_t> samples, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  const int64_t frames = static_cast<int64_t>(samples.size()) / std::max(format_.channels, 1);
  while (!stop.stop_requested()) {
    ConsumeLocked();
    const int64_t queued = written_ - played_;
    if (queued == 0 || queued + frames <= QueueFramesLocked()) {
      written_ += frames;
      return true;
    }
    if (paused_) {
      changed_.wait(lock, stop, [this] { return !paused_; });
    } else {
      // Until enough has been played to make room; at most a while, then look again.
      const nanoseconds wait =
          std::clamp<nanoseconds>(clock_->RealTimeFor(DurationOf(
                                      queued + frames - QueueFramesLocked(), format_.sample_rate)),
                                  std::chrono::milliseconds(1), std::chrono::milliseconds(100));
      changed_.wait_for(lock, stop, wait, [this] { return paused_; });
    }
  }
  return false;
}

void SilentAudioOutput::Pause() {
  std::lock_guard lock(mutex_);
  ConsumeLocked();
  paused_ = true;
  changed_.notify_all();
}

void SilentAudioOutput::Resume() {
  std::lock_guard lock(mutex_);
  if (!paused_) return;
  paused_ = false;
  anchor_played_ = played_;
  anchor_time_ = clock_->Now();
  changed_.notify_all();
}

void SilentAudioOutput::Drop() {
  std::lock_guard lock(mutex_);
  written_ = played_ = anchor_played_ = 0;
  anchor_time_ = clock_->Now();
  changed_.notify_all();
}

int64_t SilentAudioOutput::PlayedFrames() const {
  std::lock_guard lock(mutex_);
  ConsumeLocked();
  return played_;
}

}  // namespace melodrift
