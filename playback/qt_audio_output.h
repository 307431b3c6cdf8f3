// The audio output of the window program: Qt Multimedia's audio sink on an output device.
// The sink lives on an audio thread of its own, which moves samples from a queue into it
// every few milliseconds, so that neither a busy interface nor the decoder can starve it, and
// no call of the main thread waits for the sound system. Should the device fail, the audio
// thread goes on taking samples at the real-time rate, so that playback still ends.
#pragma once

#include <QAudioDevice>
#include <QThread>
#include <mutex>

#include "playback/audio_output.h"
#include "playback/pcm_queue.h"

namespace melodrift {

class QtAudioOutput final : public AudioOutput {
 public:
  // Starts the audio thread. Main thread.
  explicit QtAudioOutput(const QAudioDevice& device);
  // Stops the sink, discarding what it holds, and joins the audio thread.
  ~QtAudioOutput() override;

  void Open(const AudioFormat& format) override;
  bool Write(std::span<const int16_t> samples, std::stop_token stop) override;
  void Pause() override;
  void Resume() override;
  void Drop() override;
  int64_t PlayedFrames() const override;

 private:
  class Feeder;
  // What the main thread asks of the audio thread, and what it reports back.
  struct Control {
    bool paused = false;
    uint64_t epoch = 0;  // of the queue since the last Drop
    int64_t played = 0;  // frames heard in that epoch
  };
  bool Paused() const;
  // Ignored when a Drop has come since the audio thread took the samples it counts.
  void Publish(uint64_t epoch, int64_t played);

  PcmQueue queue_;
  mutable std::mutex mutex_;
  Control control_;  // guarded by mutex_
  QThread thread_;
  Feeder* feeder_ = nullptr;  // lives on thread_, which deletes it when it finishes
};

// The Qt output on the default output device when there is one, otherwise (headless, CI) the
// silent output. Asked again for every opened file, so a device plugged in meanwhile is used.
AudioOutputFactory DefaultAudioOutputFactory();

}  // namespace melodrift
