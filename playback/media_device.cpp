#include "playback/media_device.h"

#include <algorithm>
#include <utility>

#include "playback/mp3_source.h"
#include "playback/playback_worker.h"

namespace melodrift {

// Positions are kept in samples of the stream and turned into milliseconds when asked.
struct MediaDevice::Impl {
  explicit Impl(AudioOutputFactory factory) : make_output(std::move(factory)) {}

  const Mp3FrameTable& Table() const { return source->table; }
  // Where the running playback has got to: its start and what the output has played.
  int64_t PlayedPosition() const {
    return std::min(Table().total_samples, start + output->PlayedFrames());
  }
  // The playback has written its last frame and the output has played it.
  bool Ended() const {
    return mode == Mode::kPlaying && worker->Finished() &&
           output->PlayedFrames() >= worker->FramesWritten();
  }
  // A playback that has run to its end becomes a stopped device at the end.
  void SettleEnd() {
    if (Ended()) HaltPlayback();
  }
  // Stops the decoder thread and discards what the output still holds; the position stays.
  void HaltPlayback() {
    worker.reset();
    position = mode == Mode::kPaused ? paused_at : PlayedPosition();
    output->Drop();
    if (mode == Mode::kPaused) output->Resume();
    mode = Mode::kStopped;
  }
  // Starts a decoder thread at `from`. False, with nothing running, when the system has no
  // thread to give: Play and Seek report no failures, the device then stays stopped.
  bool StartPlayback(int64_t from) {
    start = from;
    try {
      worker = std::make_unique<PlaybackWorker>(source, *output, from);
      return true;
    } catch (const std::exception&) {
      worker.reset();
      output->Drop();
      return false;
    }
  }

  AudioOutputFactory make_output;
  std::shared_ptr<const Mp3Source> source;
  std::unique_ptr<AudioOutput> output;
  std::unique_ptr<PlaybackWorker> worker;  // after `output`, which it writes to
  Mode mode = Mode::kNotOpen;
  int64_t position = 0;    // while stopped
  int64_t start = 0;       // of the running or paused playback
  int64_t paused_at = 0;   // while paused
  bool start_set = false;  // a Seek came since the last Play
};

MediaDevice::MediaDevice(AudioOutputFactory output)
    : impl_(std::make_unique<Impl>(std::move(output))) {}

MediaDevice::~MediaDevice() {
  Close();
}

void MediaDevice::Open() {
  Close();
  std::shared_ptr<const Mp3Source> source = LoadMp3Source(FileName);
  std::unique_ptr<AudioOutput> output;
  try {
    if (impl_->make_output) output = impl_->make_output();
  } catch (const std::exception& e) {
    throw MediaError("Cannot play \"" + FileName + "\": " + e.what());
  }
  if (!output) throw MediaError("Cannot play \"" + FileName + "\": no audio output");
  output->Open({source->table.sample_rate, source->table.channels});
  impl_->source = std::move(source);
  impl_->output = std::move(output);
  impl_->mode = Mode::kStopped;
  impl_->position = 0;
  impl_->start_set = false;
}

void MediaDevice::Close() {
  impl_->worker.reset();  // before the output and the file it uses
  impl_->output.reset();
  impl_->source.reset();
  impl_->mode = Mode::kNotOpen;
  impl_->position = impl_->start = impl_->paused_at = 0;
  impl_->start_set = false;
}

void MediaDevice::Play() {
  Impl& d = *impl_;
  d.SettleEnd();
  const bool start_set = std::exchange(d.start_set, false);
  switch (d.mode) {
    case Mode::kNotOpen:
    case Mode::kPlaying:
      return;
    case Mode::kPaused:
      d.output->Resume();
      d.mode = Mode::kPlaying;
      return;
    case Mode::kStopped:
      if (d.Table().SampleToMs(d.position) >= d.Table().LengthMs() && !start_set) d.position = 0;
      if (d.StartPlayback(d.position)) d.mode = Mode::kPlaying;
      return;
  }
}

void MediaDevice::Stop() {
  Impl& d = *impl_;
  d.SettleEnd();
  d.start_set = false;  // a start position counts for the Play right after its Seek only
  if (d.mode == Mode::kPlaying || d.mode == Mode::kPaused) d.HaltPlayback();
}

void MediaDevice::PauseToggle() {
  Impl& d = *impl_;
  if (d.mode == Mode::kNotOpen) throw MediaError("No MCI device open");
  d.SettleEnd();
  if (d.mode == Mode::kPlaying) {
    d.output->Pause();
    d.paused_at = d.PlayedPosition();
    d.mode = Mode::kPaused;
  } else if (d.mode == Mode::kPaused) {
    d.output->Resume();
    d.mode = Mode::kPlaying;
  }
}

void MediaDevice::Seek(int64_t ms) {
  Impl& d = *impl_;
  if (d.mode == Mode::kNotOpen) return;
  d.SettleEnd();
  const int64_t target = d.Table().MsToSample(std::clamp<int64_t>(ms, 0, Length()));
  d.start_set = true;
  switch (d.mode) {
    case Mode::kNotOpen:
      return;
    case Mode::kStopped:
      d.position = target;
      return;
    case Mode::kPlaying:
    case Mode::kPaused:
      // The paused output stays paused: the new playback fills its queue and waits.
      d.worker.reset();
      d.output->Drop();
      d.paused_at = d.position = target;
      if (!d.StartPlayback(target)) {
        if (d.mode == Mode::kPaused) d.output->Resume();
        d.mode = Mode::kStopped;
      }
      return;
  }
}

int64_t MediaDevice::Length() const {
  return impl_->source ? impl_->Table().LengthMs() : 0;
}

int64_t MediaDevice::Position() const {
  const Impl& d = *impl_;
  switch (d.mode) {
    case Mode::kNotOpen:
      return 0;
    case Mode::kStopped:
      return d.Table().SampleToMs(d.position);
    case Mode::kPaused:
      return d.Table().SampleToMs(d.paused_at);
    case Mode::kPlaying:
      return d.Table().SampleToMs(d.PlayedPosition());
  }
  return 0;
}

MediaDevice::Mode MediaDevice::GetMode() const {
  return impl_->Ended() ? Mode::kStopped : impl_->mode;
}

}  // namespace melodrift
