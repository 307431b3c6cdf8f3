// One playback of an MP3 file held in memory: a thread that decodes from a start sample to
// the end of the file and writes the sound to an output, at the pace the output takes it.
// Samples are converted as the import converts them (clipped, shifted right by 13). Frames
// that do not decode play as silence of their length, so that what is written always matches
// the frame table: the position reaches the length exactly.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <thread>

#include "analysis/wav_format.h"
#include "playback/audio_output.h"
#include "playback/mp3_source.h"

struct mad_pcm;

namespace melodrift {

class PlaybackWorker {
 public:
  // Starts the thread at once. `output` must outlive the worker; its format is the source's.
  PlaybackWorker(std::shared_ptr<const Mp3Source> source, AudioOutput& output,
                 int64_t start_sample);
  // Stops the thread and waits for it: a waiting Write is woken, and decoding stops before
  // the next frame, so this takes at most one frame's decoding.
  ~PlaybackWorker() = default;
  PlaybackWorker(const PlaybackWorker&) = delete;
  PlaybackWorker& operator=(const PlaybackWorker&) = delete;

  // Whether the sound to the end of the file has all been written. Any thread.
  bool Finished() const { return finished_.load(); }
  // Frames written to the output so far. Any thread.
  int64_t FramesWritten() const { return frames_written_.load(); }

 private:
  // Frames decoded, and thrown away, before the one a playback starts in: layer III takes
  // up to 511 bytes of a frame's data from the frames before it (a dozen frames at the
  // lowest bit rates), and the synthesis overlaps frames. Then a seek plays exactly the
  // samples that a playback from the start has there.
  static constexpr size_t kPrerollFrames = 16;

  void Run(std::stop_token stop);
  void Decode(std::stop_token stop);
  // Writes the part of table frame `index` at or after the start sample: `pcm`, or silence
  // when it is null. False when the playback was stopped meanwhile.
  bool Emit(size_t index, const mad_pcm* pcm, std::stop_token stop);

  const std::shared_ptr<const Mp3Source> source_;
  AudioOutput& output_;
  const int64_t start_sample_;
  std::array<int16_t, kSamplesPerMpegFrame * 2> samples_{};  // one frame, the most of any layer
  std::atomic<int64_t> frames_written_{0};
  std::atomic<bool> finished_{false};
  std::jthread thread_;  // last: starts after the members it uses, stops before they go
};

}  // namespace melodrift
