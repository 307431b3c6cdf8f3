#include "playback/qt_audio_output.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimerEvent>
#include <algorithm>
#include <vector>

#include "playback/silent_audio_output.h"

namespace melodrift {

namespace {

constexpr int kFeedIntervalMs = 10;
// Samples queued ahead of the sink, so that the decoder runs in bursts: half a second of
// 48 kHz stereo.
constexpr size_t kQueueSamples = 48000;

}  // namespace

// Runs on the audio thread: owns the sink and feeds it from the queue on a timer.
class QtAudioOutput::Feeder final : public QObject {
 public:
  Feeder(QtAudioOutput& owner, const QAudioDevice& device) : owner_(owner), device_(device) {}

  // Makes the sink for `format` and starts feeding. On the audio thread.
  void Start(const AudioFormat& format) {
    format_ = format;
    QAudioFormat qt_format;
    qt_format.setSampleRate(static_cast<int>(format.sample_rate));
    qt_format.setChannelCount(format.channels);
    qt_format.setSampleFormat(QAudioFormat::Int16);
    if (device_.isFormatSupported(qt_format)) {
      sink_ = new QAudioSink(device_, qt_format, this);
      io_ = sink_->start();
    }
    chunk_.resize(static_cast<size_t>(format.sample_rate / 10) * format.channels);
    tick_clock_.start();
    startTimer(kFeedIntervalMs, Qt::PreciseTimer);
  }

 protected:
  void timerEvent(QTimerEvent*) override { Feed(); }

 private:
  bool SinkWorks() const {
    return sink_ != nullptr && io_ != nullptr && sink_->error() != QAudio::OpenError &&
           sink_->error() != QAudio::IOError && sink_->error() != QAudio::FatalError;
  }

  // After a Drop: what the sink still holds belongs to the old position.
  void Restart(uint64_t epoch) {
    epoch_ = epoch;
    frames_to_sink_ = 0;
    credit_frames_ = 0;
    pending_.clear();
    if (SinkWorks()) {
      sink_->reset();
      io_ = sink_->start();
      sink_paused_ = false;
    }
  }

  // Writes what the sink takes of `samples`; keeps the rest for the next turn.
  void WriteToSink(std::span<const int16_t> samples) {
    const qint64 bytes = io_->write(reinterpret_cast<const char*>(samples.data()),
                                    static_cast<qint64>(samples.size_bytes()));
    const size_t frame_samples = static_cast<size_t>(format_.channels);
    const size_t taken = static_cast<size_t>(std::max<qint64>(bytes, 0)) / sizeof(int16_t) /
                         frame_samples * frame_samples;
    frames_to_sink_ += static_cast<int64_t>(taken / frame_samples);
    pending_.assign(samples.begin() + static_cast<ptrdiff_t>(taken), samples.end());
  }

  void Feed() {
    const int64_t tick_ns = tick_clock_.nsecsElapsed();
    tick_clock_.restart();
    const size_t frame_samples = static_cast<size_t>(format_.channels);
    const uint64_t epoch = owner_.queue_.Pop({}).epoch;
    if (epoch != epoch_) Restart(epoch);
    const bool paused = owner_.Paused();
    if (SinkWorks() && paused != sink_paused_) {
      paused ? sink_->suspend() : sink_->resume();
      sink_paused_ = paused;
    }

    if (!paused && SinkWorks()) {
      if (!pending_.empty()) WriteToSink(std::vector<int16_t>(pending_));
      if (pending_.empty()) {
        size_t room = static_cast<size_t>(std::max<qsizetype>(sink_->bytesFree(), 0)) / 2;
        room = std::min(room - room % frame_samples, chunk_.size());
        const PcmQueue::Popped popped = owner_.queue_.Pop(std::span(chunk_.data(), room));
        if (popped.epoch != epoch_) Restart(popped.epoch);  // a Drop came meanwhile
        WriteToSink(std::span<const int16_t>(chunk_.data(), popped.samples));
      }
    } else if (!paused) {
      // No sound: take samples at the real-time rate, as the silent output does.
      credit_frames_ += static_cast<double>(tick_ns) * format_.sample_rate / 1e9;
      const size_t due = static_cast<size_t>(credit_frames_) * frame_samples;
      const PcmQueue::Popped popped =
          owner_.queue_.Pop(std::span(chunk_.data(), std::min(due, chunk_.size())));
      if (popped.epoch != epoch_) Restart(popped.epoch);
      const auto frames = static_cast<int64_t>(popped.samples / frame_samples);
      frames_to_sink_ += frames;
      // Ran dry: no credit for the silence, as a sound card gives none.
      credit_frames_ = popped.samples < due ? 0 : credit_frames_ - static_cast<double>(frames);
    }

    int64_t played = frames_to_sink_;
    if (SinkWorks()) {
      // The sink counts whole microseconds; to the nearest frame, that is exact again.
      played = std::min<int64_t>(
          played, (sink_->processedUSecs() * format_.sample_rate + 500000) / 1000000);
    }
    owner_.Publish(epoch_, played);
  }

  QtAudioOutput& owner_;
  const QAudioDevice device_;
  AudioFormat format_;
  QAudioSink* sink_ = nullptr;  // a child: deleted with the feeder
  QIODevice* io_ = nullptr;     // the sink's, valid until its next start
  bool sink_paused_ = false;
  uint64_t epoch_ = 0;
  int64_t frames_to_sink_ = 0;    // in this epoch
  double credit_frames_ = 0;      // frames due, without a working sink
  std::vector<int16_t> pending_;  // taken from the queue, not yet by the sink
  QElapsedTimer tick_clock_;
  std::vector<int16_t> chunk_;
};

QtAudioOutput::QtAudioOutput(const QAudioDevice& device) : queue_(kQueueSamples) {
  feeder_ = new Feeder(*this, device);
  feeder_->moveToThread(&thread_);
  QObject::connect(&thread_, &QThread::finished, feeder_, &QObject::deleteLater);
  thread_.setObjectName("melodrift audio");
  thread_.start();
}

QtAudioOutput::~QtAudioOutput() {
  thread_.quit();
  thread_.wait();
}

void QtAudioOutput::Open(const AudioFormat& format) {
  QMetaObject::invokeMethod(feeder_, [feeder = feeder_, format] { feeder->Start(format); });
}

bool QtAudioOutput::Write(std::span<const int16_t> samples, std::stop_token stop) {
  return queue_.Push(samples, stop);
}

void QtAudioOutput::Pause() {
  std::lock_guard lock(mutex_);
  control_.paused = true;
}

void QtAudioOutput::Resume() {
  std::lock_guard lock(mutex_);
  control_.paused = false;
}

void QtAudioOutput::Drop() {
  const uint64_t epoch = queue_.Clear();
  std::lock_guard lock(mutex_);
  control_.epoch = epoch;
  control_.played = 0;
}

int64_t QtAudioOutput::PlayedFrames() const {
  std::lock_guard lock(mutex_);
  return control_.played;
}

bool QtAudioOutput::Paused() const {
  std::lock_guard lock(mutex_);
  return control_.paused;
}

void QtAudioOutput::Publish(uint64_t epoch, int64_t played) {
  std::lock_guard lock(mutex_);
  if (epoch == control_.epoch) control_.played = played;
}

AudioOutputFactory DefaultAudioOutputFactory() {
  return []() -> std::unique_ptr<AudioOutput> {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return std::make_unique<SilentAudioOutput>();
    return std::make_unique<QtAudioOutput>(device);
  };
}

}  // namespace melodrift
