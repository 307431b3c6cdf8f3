#include "playback/playback_worker.h"

#include <mad.h>

#include <algorithm>

#include "analysis/wav_format.h"
#include "playback/mad_handles.h"

namespace melodrift {

namespace {

// Errors of the frame header: libmad found no frame where it looked. Errors from 0x0200 on
// concern a frame whose header was read.
bool IsHeaderError(mad_error error) {
  return error < 0x0200;
}

}  // namespace

PlaybackWorker::PlaybackWorker(std::shared_ptr<const Mp3Source> source, AudioOutput& output,
                               int64_t start_sample)
    : source_(std::move(source)),
      output_(output),
      start_sample_(start_sample),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

void PlaybackWorker::Run(std::stop_token stop) {
  try {
    Decode(stop);
  } catch (...) {
    // Nothing in the decoding allocates or throws; should it, the playback ends here rather
    // than the program.
    finished_ = true;
  }
}

void PlaybackWorker::Decode(std::stop_token stop) {
  const Mp3FrameTable& table = source_->table;
  const size_t count = table.frames.size();
  if (count == 0 || start_sample_ >= table.total_samples) {
    finished_ = true;
    return;
  }
  const size_t target = table.FrameAt(std::max<int64_t>(start_sample_, 0));
  size_t next = target - std::min(target, kPrerollFrames);  // the table frame due next

  MadStream stream;
  MadFrame frame;
  MadSynth synth;
  const uint8_t* base = source_->bytes.data();
  const size_t begin = table.frames[next].offset;
  mad_stream_buffer(stream.get(), base + begin, source_->bytes.size() - begin);

  while (next < count && !stop.stop_requested()) {
    const bool decoded = mad_frame_decode(frame.get(), stream.get()) == 0;
    if (!decoded) {
      const mad_error error = stream.get()->error;
      if (error == MAD_ERROR_BUFLEN || !MAD_RECOVERABLE(error)) break;
      if (IsHeaderError(error)) continue;  // garbage: libmad resynchronises
    }
    const auto offset = static_cast<size_t>(stream.get()->this_frame - base);
    // Frames that libmad passed over while resynchronising play as silence.
    while (next < count && table.frames[next].offset < offset) {
      if (!Emit(next++, nullptr, stop)) return;
    }
    if (next == count || table.frames[next].offset != offset) continue;  // not in the table
    // Frames before the start are synthesised too: that primes the synthesis.
    const mad_pcm* pcm = nullptr;
    if (decoded) {
      mad_synth_frame(synth.get(), frame.get());
      pcm = &synth.get()->pcm;
    }
    if (!Emit(next++, pcm, stop)) return;
  }
  while (next < count) {
    if (!Emit(next++, nullptr, stop)) return;
  }
  finished_ = true;
}

bool PlaybackWorker::Emit(size_t index, const mad_pcm* pcm, std::stop_token stop) {
  const Mp3FrameTable& table = source_->table;
  const int64_t first = table.frames[index].first_sample;
  const int64_t length = std::min<int64_t>(table.FrameSamples(index), kSamplesPerMpegFrame);
  const int64_t skip = std::max<int64_t>(start_sample_ - first, 0);
  if (skip >= length) return !stop.stop_requested();
  const int channels = table.channels;
  const auto frames = static_cast<size_t>(length - skip);
  int16_t* out = samples_.data();
  for (size_t i = static_cast<size_t>(skip); i < static_cast<size_t>(length); ++i) {
    int32_t left = 0;
    int32_t right = 0;
    if (pcm != nullptr && i < pcm->length) {
      left = pcm->samples[0][i];
      right = pcm->channels == 2 ? pcm->samples[1][i] : left;
    }
    if (channels == 2) {
      *out++ = MadSampleToInt16(left);
      *out++ = MadSampleToInt16(right);
    } else if (pcm != nullptr && pcm->channels == 2) {
      // A stereo frame in a mono stream: both channels, halved first so the sum cannot overflow.
      *out++ = MadSampleToInt16(left / 2 + right / 2);
    } else {
      *out++ = MadSampleToInt16(left);
    }
  }
  if (!output_.Write(std::span<const int16_t>(samples_.data(), frames * channels), stop)) {
    return false;
  }
  frames_written_ += static_cast<int64_t>(frames);
  return true;
}

}  // namespace melodrift
