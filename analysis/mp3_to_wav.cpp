#include "analysis/mp3_to_wav.h"

#include <fcntl.h>
#include <mad.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <vector>

#include "analysis/wav_format.h"
#include "analysis/wav_io.h"
#include "library/rounding.h"

namespace melodrift {

namespace {

struct MadDecoderFinish {
  void operator()(mad_decoder* decoder) const { mad_decoder_finish(decoder); }
};

// One run of libmad over an MP3 file in memory, writing the WAV file through a sink.
class Mp3WavDecoding {
 public:
  Mp3WavDecoding(std::span<const unsigned char> mp3, const Mp3WavSink& sink)
      : mp3_(mp3), sink_(sink) {}
  Mp3WavDecoding(const Mp3WavDecoding&) = delete;
  Mp3WavDecoding& operator=(const Mp3WavDecoding&) = delete;

  bool Run();

 private:
  static constexpr size_t kFrameBufferBytes = kSamplesPerMpegFrame * 4;

  bool Write(const void* data, size_t n);
  mad_flow Input(mad_stream* stream);
  mad_flow Output(const mad_header* header, const mad_pcm* pcm);
  bool StopAsked() const { return sink_.stop != nullptr && sink_.stop->load(); }
  mad_flow FlowAfterCallback() const { return StopAsked() ? MAD_FLOW_STOP : MAD_FLOW_CONTINUE; }

  std::span<const unsigned char> mp3_;
  const Mp3WavSink& sink_;
  bool input_given_ = false;
  bool header_written_ = false;
  bool FrameSeen = false;
  bool failed_ = false;
  uint32_t sample_rate_ = 0;
  int channels_ = 0;
  uint64_t bit_rate_ = 0;
  int32_t EstimatedDataBytes = 0;
  int64_t output_position_ = 0;
  int PercentDone = 0;
  std::array<unsigned char, kFrameBufferBytes> frame_bytes_{};
};

bool Mp3WavDecoding::Run() {
  mad_decoder decoder;
  mad_decoder_init(
      &decoder, this,
      [](void* data, mad_stream* stream) {
        return static_cast<Mp3WavDecoding*>(data)->Input(stream);
      },
      nullptr, nullptr,
      [](void* data, const mad_header* header, mad_pcm* pcm) {
        return static_cast<Mp3WavDecoding*>(data)->Output(header, pcm);
      },
      // Damaged frames are skipped.
      [](void*, mad_stream*, mad_frame*) { return MAD_FLOW_CONTINUE; }, nullptr);
  std::unique_ptr<mad_decoder, MadDecoderFinish> finish(&decoder);
  const int result = mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
  return result == 0 && FrameSeen && !failed_ && !StopAsked();
}

mad_flow Mp3WavDecoding::Input(mad_stream* stream) {
  // The whole file is one buffer: a second call means libmad has used it up.
  if (input_given_) return MAD_FLOW_STOP;
  // libmad needs a valid pointer also for an empty file.
  static const unsigned char kNoBytes = 0;
  mad_stream_buffer(stream, mp3_.empty() ? &kNoBytes : mp3_.data(),
                    static_cast<unsigned long>(mp3_.size()));
  input_given_ = true;
  return FlowAfterCallback();
}

bool Mp3WavDecoding::Write(const void* data, size_t n) {
  if (!sink_.write(data, n)) {
    failed_ = true;
    return false;
  }
  output_position_ += static_cast<int64_t>(n);
  return true;
}

mad_flow Mp3WavDecoding::Output(const mad_header* header, const mad_pcm* pcm) {
  if (!header_written_) {
    sample_rate_ = pcm->samplerate;
    channels_ = pcm->channels;
    bit_rate_ = header->bitrate;
    const std::optional<int32_t> estimate = melodrift::EstimatedDataBytes(
        static_cast<int64_t>(mp3_.size()), bit_rate_, sample_rate_, channels_);
    if (!estimate) {
      failed_ = true;  // free format: no estimate, so no header and an empty file
      return MAD_FLOW_BREAK;
    }
    EstimatedDataBytes = *estimate;
    const WavHeader wav_header = MakeWavHeader(channels_, sample_rate_, EstimatedDataBytes);
    if (!Write(wav_header.data(), wav_header.size())) return MAD_FLOW_BREAK;
    header_written_ = true;
    FrameSeen = true;
  }

  const unsigned length = std::min<unsigned>(pcm->length, kSamplesPerMpegFrame);
  unsigned char* out = frame_bytes_.data();
  auto put = [&out](mad_fixed_t sample) {
    const auto value = static_cast<uint16_t>(MadSampleToInt16(sample));
    *out++ = static_cast<unsigned char>(value);
    *out++ = static_cast<unsigned char>(value >> 8);
  };
  if (pcm->channels == 2) {
    for (unsigned i = 0; i < length; ++i) {
      put(pcm->samples[0][i]);
      put(pcm->samples[1][i]);
    }
  } else {
    for (unsigned i = 0; i < length; ++i) put(pcm->samples[0][i]);
  }
  if (!Write(frame_bytes_.data(), static_cast<size_t>(out - frame_bytes_.data()))) {
    return MAD_FLOW_BREAK;
  }

  if (EstimatedDataBytes != 0) {
    const int percent = static_cast<int>(
        RoundToInt64(static_cast<double>(output_position_) / EstimatedDataBytes * 100));
    if (percent != PercentDone) {
      PercentDone = percent;
      if (sink_.progress && !sink_.progress(percent)) {
        failed_ = true;
        return MAD_FLOW_BREAK;
      }
    }
  }
  return FlowAfterCallback();
}

}  // namespace

bool DecodeMp3ToWav(std::span<const unsigned char> mp3, const Mp3WavSink& sink) {
  Mp3WavDecoding decoding(mp3, sink);
  return decoding.Run();
}

// One conversion: reads the whole MP3 file, decodes it with DecodeMp3ToWav into the WAV file,
// then reports through OnDone. Created by Start, owned by the converter.
class TMADThread {
 public:
  TMADThread(TMP3ToWav& owner, UniqueFd input, UniqueFd output)
      : owner_(owner),
        input_(std::move(input)),
        output_(std::move(output)),
        OnDone(owner.OnDone),
        OnProgress(owner.OnProgress) {}
  // Asks a running decoding to stop at its next callback and waits for the thread.
  ~TMADThread() {
    terminated_ = true;
    if (thread_.joinable()) thread_.join();
  }
  TMADThread(const TMADThread&) = delete;
  TMADThread& operator=(const TMADThread&) = delete;

  // Starts the thread and lets it run only once thread_ is set, so that IsCurrentThread may
  // be asked on the thread itself.
  void Run() {
    thread_ = std::thread([this] {
      resumed_.acquire();
      Execute();
    });
    resumed_.release();
  }
  bool DecodeDone() const { return DecodeDone_.load(); }
  bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }

 private:
  void Execute();
  bool Decode();

  TMP3ToWav& owner_;
  UniqueFd input_;
  UniqueFd output_;
  TMP3ToWav::TMADDoneEvent OnDone;
  TMP3ToWav::TMADProgressEvent OnProgress;

  std::vector<unsigned char> input_buffer_;
  int64_t output_position_ = 0;

  std::atomic<bool> terminated_{false};
  std::atomic<bool> DecodeDone_{false};
  std::binary_semaphore resumed_{0};
  std::thread thread_;
};

void TMADThread::Execute() {
  bool success = false;
  try {
    success = Decode();
  } catch (...) {
    success = false;  // memory ran out: the conversion fails quietly, like any other failure
  }
  std::vector<unsigned char>().swap(input_buffer_);
  input_.Close();
  if (output_.Close() != 0) success = false;
  // Finished before OnDone, so that a Start right after OnDone never finds the converter busy.
  DecodeDone_ = true;
  if (OnDone) {
    try {
      OnDone(owner_, success);
    } catch (...) {
      // An exception cannot cross the thread; the handler's failure is its own.
    }
  }
  owner_.MarkEnded();
}

bool TMADThread::Decode() {
  const int64_t input_bytes = FileBytes(input_.get());
  if (input_bytes < 0) return false;
  input_buffer_.resize(static_cast<size_t>(input_bytes));
  if (ReadAt(input_.get(), 0, input_buffer_.data(), input_buffer_.size()) != input_bytes) {
    return false;
  }
  Mp3WavSink sink;
  sink.write = [this](const void* data, size_t n) {
    if (WriteAll(output_.get(), data, n) != 0) return false;
    output_position_ += static_cast<int64_t>(n);
    owner_.PublishOutput(output_position_);
    return true;
  };
  sink.progress = [this](int percent) {
    owner_.PublishPercent(percent);
    if (!OnProgress) return true;
    try {
      OnProgress(owner_);
    } catch (...) {
      return false;  // must not unwind through libmad
    }
    return true;
  };
  sink.stop = &terminated_;
  return DecodeMp3ToWav(input_buffer_, sink);
}

TMP3ToWav::TMP3ToWav() = default;

TMP3ToWav::~TMP3ToWav() {
  // Before the mutex and the condition variable go, which the thread uses to its end.
  thread_.reset();
}

void TMP3ToWav::Start() {
  if (thread_) {
    // From inside OnDone the thread is still running: it cannot be joined from itself.
    if (!thread_->DecodeDone() || thread_->IsCurrentThread()) {
      throw std::runtime_error("Component is buisy.");
    }
    thread_.reset();
  }
  if (InputFile.empty()) {
    throw std::runtime_error("Neither input stream not file name is assigned.");
  }
  int error = 0;
  UniqueFd input = OpenFile(InputFile, O_RDONLY, error);
  if (!input) throw FileError(error, "Cannot open", InputFile);
  if (OutputFile.empty()) {
    throw std::runtime_error("Neither output stream not file name is assigned.");
  }
  // Creating the output empties it: never when it is the MP3 file itself.
  if (SameFile(input.get(), OutputFile)) {
    throw std::runtime_error("Cannot create \"" + OutputFile + "\": it is the input file");
  }
  UniqueFd output = OpenFile(OutputFile, O_WRONLY | O_CREAT | O_TRUNC, error);
  if (!output) throw FileError(error, "Cannot create", OutputFile);

  percent_done_ = 0;
  {
    std::lock_guard lock(output_mutex_);
    bytes_written_ = 0;
    ended_ = false;
  }
  thread_ = std::make_unique<TMADThread>(*this, std::move(input), std::move(output));
  try {
    thread_->Run();
  } catch (...) {
    thread_.reset();
    MarkEnded();
    throw;
  }
}

int TMP3ToWav::PercentDone() const {
  return percent_done_.load(std::memory_order_relaxed);
}

int64_t TMP3ToWav::BytesWritten() const {
  return bytes_written_.load();
}

void TMP3ToWav::WaitForOutput(int64_t known_bytes, int timeout_ms) {
  constexpr int64_t kBatchBytes = 64 * 1024;
  std::unique_lock lock(output_mutex_);
  // Published before the predicate reads BytesWritten, and PublishOutput stores before it
  // reads this: one of the two sees the other, so no wake-up is lost.
  wake_at_bytes_ = known_bytes + kBatchBytes;
  output_changed_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)), [&] {
    return ended_ || bytes_written_.load() >= wake_at_bytes_.load();
  });
  wake_at_bytes_ = INT64_MAX;
}

bool TMP3ToWav::Busy() const {
  return thread_ && !thread_->DecodeDone();
}

void TMP3ToWav::PublishOutput(int64_t bytes_written) {
  bytes_written_ = bytes_written;
  if (bytes_written >= wake_at_bytes_.load()) {
    // Taking the mutex waits until the reader is inside wait_for, so the notify reaches it.
    { std::lock_guard lock(output_mutex_); }
    output_changed_.notify_all();
  }
}

void TMP3ToWav::MarkEnded() {
  {
    std::lock_guard lock(output_mutex_);
    ended_ = true;
  }
  output_changed_.notify_all();
}

}  // namespace melodrift
