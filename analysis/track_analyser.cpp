#include "analysis/track_analyser.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "analysis/wav_block_reader.h"
#include "analysis/wav_spectrum.h"
#include "library/rounding.h"

namespace melodrift {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr int kProgressMax = 512;

// The decoding bar is full once 80 % of the estimate is written.
int DecodeBarPosition(int percent_done) {
  const int64_t position = RoundToInt64(512.0 * percent_done / 80);
  return static_cast<int>(std::clamp<int64_t>(position, 0, kProgressMax));
}

// Puts the bar back to 0 however ReadMP3File ends.
class ProgressReset {
 public:
  explicit ProgressReset(AnalysisView& view) : view_(view) {}
  ~ProgressReset() { view_.SetProgress(0); }
  ProgressReset(const ProgressReset&) = delete;
  ProgressReset& operator=(const ProgressReset&) = delete;

 private:
  AnalysisView& view_;
};

}  // namespace

struct TrackAnalyser::Impl {
  Impl(TMP3ToWav& converter, RandomSource& random, EventPump& pump, AnalysisView& view)
      : converter(converter), random(random), pump(pump), view(view) {}

  // Starts a measurement of the file at `path` from its first block.
  void BeginMeasuring(const std::string& path) {
    spectrum.Clear();
    TrackSeconds = -1;
    measured_path = path;
    reader = std::make_unique<WavBlockReader>(path);
    read_failed = !reader->Opened();
    next_block = kFirstBlockOffset;
  }

  void EndMeasuring() {
    reader.reset();
    measured_path.clear();
  }

  // Measures the next block if the first `available` bytes of the file hold it.
  bool MeasureNextBlock(int64_t available) {
    if (read_failed || !BlockIsMeasured(next_block, available)) return false;
    const uint8_t* block = reader->Bytes(next_block, kBlockBytes, available);
    if (block == nullptr) {
      read_failed = true;
      return false;
    }
    spectrum.AddBlock(block);
    next_block += kBlockStepBytes;
    return true;
  }

  TMP3ToWav& converter;
  RandomSource& random;
  EventPump& pump;
  AnalysisView& view;

  // Cleared by the converter's OnDone on the decoder thread. Shared with the handler so that
  // a conversion outliving this object writes to live memory.
  std::shared_ptr<std::atomic<bool>> DecodeRunning = std::make_shared<std::atomic<bool>>(false);

  WavSpectrum spectrum;
  int32_t TrackSeconds = -1;
  std::string measured_path;  // the WAV file whose blocks `spectrum` holds so far
  std::unique_ptr<WavBlockReader> reader;
  int64_t next_block = kFirstBlockOffset;
  bool read_failed = false;
};

TrackAnalyser::TrackAnalyser(TMP3ToWav& converter, RandomSource& random, EventPump& pump,
                             AnalysisView& view)
    : impl_(std::make_unique<Impl>(converter, random, pump, view)) {}

TrackAnalyser::~TrackAnalyser() = default;

void TrackAnalyser::ReadMP3File(const std::string& mp3_path, const std::string& wav_path,
                                const std::string& artist, const std::string& song) {
  Impl& d = *impl_;
  d.EndMeasuring();  // a measurement left by a cancelled import is not continued
  d.view.SetLabel(1, "reading");
  d.view.SetLabel(2, artist);
  d.view.SetLabel(3, song);

  ProgressReset reset(d.view);
  d.converter.InputFile = mp3_path;
  d.converter.OutputFile = wav_path;
  d.converter.OnDone = [running = d.DecodeRunning](TMP3ToWav&, bool) { *running = false; };
  *d.DecodeRunning = true;
  try {
    d.converter.Start();
  } catch (...) {
    *d.DecodeRunning = false;
    throw;
  }
  d.view.SetProgress(0);

  // The blocks already written are measured while the decoder writes the rest; events run
  // and the bar moves at least every 50 ms.
  d.BeginMeasuring(wav_path);
  Clock::time_point next_pump = Clock::now();
  while (*d.DecodeRunning) {
    const Clock::time_point now = Clock::now();
    if (now >= next_pump) {
      d.view.SetProgress(DecodeBarPosition(d.converter.PercentDone()));
      d.view.Repaint();
      d.pump.ProcessEvents();
      next_pump = Clock::now() + kPollInterval;
      continue;
    }
    const int64_t written = d.converter.BytesWritten();
    if (d.MeasureNextBlock(written)) continue;
    const auto until_pump =
        std::chrono::duration_cast<std::chrono::milliseconds>(next_pump - now).count() + 1;
    d.converter.WaitForOutput(written, static_cast<int>(std::min<int64_t>(until_pump, 50)));
  }
}

bool TrackAnalyser::DoFFT(const std::string& wav_path, const bool& keep_importing) {
  Impl& d = *impl_;
  // The temporary file goes however this ends.
  struct Cleanup {
    Impl& d;
    const std::string& path;
    ~Cleanup() {
      d.EndMeasuring();
      ::unlink(path.c_str());
    }
  } cleanup{d, wav_path};

  d.view.SetProgress(0);
  d.view.SetLabel(1, "processing");
  d.view.Repaint();
  d.pump.ProcessEvents();

  // After ReadMP3File of the same file, its blocks are measured already.
  if (d.measured_path != wav_path || !d.reader) d.BeginMeasuring(wav_path);
  const int64_t size = d.read_failed ? 0 : std::max<int64_t>(d.reader->FileBytes(), 0);
  d.TrackSeconds = TrackSecondsOf(size);

  bool cancelled = false;
  while (d.MeasureNextBlock(size)) {
    if (d.random.Draw(1000) > 975) {
      if (!keep_importing) {
        cancelled = true;
        break;
      }
      d.view.SetProgress(
          static_cast<int>(RoundToInt64(static_cast<double>(d.next_block) / size * kProgressMax)));
      d.pump.ProcessEvents();
    }
  }
  if (d.read_failed) {
    // A file that cannot be read counts as empty.
    d.spectrum.Clear();
    d.TrackSeconds = TrackSecondsOf(0);
  }
  return !cancelled;
}

FeatureValues TrackAnalyser::Finish() const {
  return FinishSpectrum(impl_->spectrum.TrackSpectrum(), impl_->spectrum.FrameCount());
}

int32_t TrackAnalyser::FrameCount() const {
  return impl_->spectrum.FrameCount();
}

int32_t TrackAnalyser::TrackSeconds() const {
  return impl_->TrackSeconds;
}

}  // namespace melodrift
