// The MP3 converter (TMP3ToWav): decodes an MP3 file with libmad on its own decoder thread
// (TMADThread) into a 16-bit PCM WAV file. Start returns at once; OnDone is called on the
// decoder thread when the conversion has ended, after both files are closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace melodrift {

// Where one conversion's output goes. `write` gets the WAV file's bytes in order, header
// first, and returns false when they could not be written; `progress` (may be empty) gets
// each new percentage of the estimated output and returns false to end the conversion;
// `stop` (may be null) is read at every frame. Neither call may throw: they run inside libmad.
struct Mp3WavSink {
  std::function<bool(const void* data, size_t n)> write;
  std::function<bool(int percent)> progress;
  const std::atomic<bool>* stop = nullptr;
};

// Decodes a whole MP3 file held in memory into a 16-bit PCM WAV file through `sink`: the
// conversion that TMP3ToWav runs on its decoder thread, without the thread and the files.
// Damaged frames are skipped. Returns whether a frame was decoded, every write and progress
// call succeeded and no stop was asked. Any thread; does not throw.
bool DecodeMp3ToWav(std::span<const unsigned char> mp3, const Mp3WavSink& sink);

class TMADThread;

class TMP3ToWav {
 public:
  using TMADDoneEvent = std::function<void(TMP3ToWav& sender, bool success)>;
  using TMADProgressEvent = std::function<void(TMP3ToWav& sender)>;

  TMP3ToWav();
  // Asks a running conversion to stop and waits for its thread.
  ~TMP3ToWav();
  TMP3ToWav(const TMP3ToWav&) = delete;
  TMP3ToWav& operator=(const TMP3ToWav&) = delete;

  std::string InputFile;
  std::string OutputFile;        // an existing file is overwritten
  TMADDoneEvent OnDone;          // called on the decoder thread; Success = a frame was decoded
  TMADProgressEvent OnProgress;  // called on the decoder thread when PercentDone changes

  // Begins a conversion of InputFile into OutputFile on a new decoder thread. Main thread.
  // Throws std::runtime_error with "Component is buisy." (a conversion still runs),
  // "Neither input stream not file name is assigned." or "Neither output stream not file
  // name is assigned.", and std::system_error naming the file when the input cannot be opened
  // or the output cannot be created (std::runtime_error when the output is the input file
  // itself, which creating it would empty). Once OnDone has been called, Start never finds
  // the converter busy.
  void Start();

  // Progress of the running conversion in percent of the estimated output (may pass 100).
  int PercentDone() const;
  // Bytes of the output file written so far, header included; those bytes can be read from
  // the file by another thread.
  int64_t BytesWritten() const;
  // Waits until more output is written, the conversion ends or `timeout_ms` passes. "More"
  // is a batch of 64 KiB beyond `known_bytes`, so that a reader keeping pace with the decoder
  // is not woken for every frame. Any thread except the decoder thread.
  void WaitForOutput(int64_t known_bytes, int timeout_ms);
  bool Busy() const;

 private:
  friend class TMADThread;
  // Called on the decoder thread.
  void PublishOutput(int64_t bytes_written);
  void PublishPercent(int percent) { percent_done_.store(percent, std::memory_order_relaxed); }
  void MarkEnded();

  // The last conversion's thread, kept until the next Start or the destructor.
  std::unique_ptr<TMADThread> thread_;
  std::atomic<int> percent_done_{0};
  std::atomic<int64_t> bytes_written_{0};
  // BytesWritten at which a thread in WaitForOutput wants waking (none: the largest value).
  // The decoder thread takes the mutex only then, not at every frame.
  std::atomic<int64_t> wake_at_bytes_{INT64_MAX};
  mutable std::mutex output_mutex_;
  std::condition_variable output_changed_;
  bool ended_ = true;  // guarded by output_mutex_: the thread has done all its work, OnDone too
};

}  // namespace melodrift
