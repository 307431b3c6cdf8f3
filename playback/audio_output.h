// Where the media device's decoded sound goes: the plug-in point between the decoder and a
// sound system. An output plays one stream of 16-bit interleaved PCM at a time and counts what
// it has played, which is the device's position.
//
// Threads: the media device calls Open, Pause, Resume, Drop and PlayedFrames on the main
// thread and Write on its decoder thread. None of them blocks the main thread; only Write
// waits, and only for room in the output's queue. Drop is never called while a Write runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>

namespace melodrift {

struct AudioFormat {
  uint32_t sample_rate = 44100;  // frames per second
  int channels = 2;              // 1 or 2; a frame is one sample per channel
};

class AudioOutput {
 public:
  AudioOutput() = default;
  virtual ~AudioOutput() = default;  // stops at once, discarding what is queued
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Sets the format of the stream before the first Write. Returns at once; a sound system
  // that cannot play it is the output's own trouble (it must still consume in real time).
  virtual void Open(const AudioFormat& format) = 0;
  // Queues whole frames (samples.size() is a multiple of the channel count), waiting while
  // the queue is full or the output is paused. False when `stop` was requested before all
  // of them were queued.
  virtual bool Write(std::span<const int16_t> samples, std::stop_token stop) = 0;
  // Halts and continues playing; PlayedFrames stands still in between.
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // Discards what is queued and not yet heard; PlayedFrames starts again from 0. The paused
  // state is kept.
  virtual void Drop() = 0;
  // Frames heard since Open or the last Drop.
  virtual int64_t PlayedFrames() const = 0;
};

// Makes a fresh output; the media device calls it once per opened file.
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

}  // namespace melodrift
