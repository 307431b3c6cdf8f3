// The feature measurement on arbitrary WAV bytes: the one-pass measurement in memory, and
// either the block reader of the import while the file grows or the track analyser's DoFFT
// on the same bytes, which must measure the same blocks.
#include <cmath>
#include <cstring>
#include <fstream>
#include <span>
#include <string>

#include "analysis/track_analyser.h"
#include "analysis/wav_block_reader.h"
#include "analysis/wav_spectrum.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace melodrift;  // NOLINT: the target names many of its types

class QuietView final : public AnalysisView {
 public:
  void SetLabel(int, const std::string&) override {}
  void SetProgress(int position) override { FUZZ_CHECK(position >= 0 && position <= 512); }
  void Repaint() override {}
};

// Every draw is a progress point, so DoFFT's progress arithmetic runs at every block.
class AlwaysHighRandom final : public RandomSource {
 public:
  int64_t Draw(int64_t n) override { return n - 1; }
};

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  FUZZ_CHECK(out.good());
}

// Reads the measured blocks as the import does while the decoder appends: the file's bytes
// become available `step` at a time. Returns the number of blocks read.
int32_t ReadGrowingFile(const std::string& path, const uint8_t* data, int64_t size, int64_t step) {
  WavBlockReader reader(path);
  FUZZ_CHECK(reader.Opened());
  int32_t blocks = 0;
  int64_t next = kFirstBlockOffset;
  for (int64_t available = 0;;) {
    if (BlockIsMeasured(next, available)) {
      const uint8_t* block = reader.Bytes(next, kBlockBytes, available);
      FUZZ_CHECK(block != nullptr);
      FUZZ_CHECK(std::memcmp(block, data + next, kBlockBytes) == 0);
      next += kBlockStepBytes;
      ++blocks;
    } else if (available < size) {
      available = std::min(size, available + step);
    } else {
      return blocks;
    }
  }
}

}  // namespace

MELODRIFT_FUZZ_TARGET(fuzz_wav_features) {
  static const melodrift::testing::TempDir dir;
  static TMP3ToWav converter;
  static AlwaysHighRandom random;
  static NoEventPump pump;
  static QuietView view;

  const WavMeasurement expected = MeasureWavBytes(std::span<const uint8_t>(data, size));
  const auto bytes = static_cast<int64_t>(size);
  int32_t blocks = 0;
  for (int64_t p = kFirstBlockOffset; p + kBlockBytes < bytes; p += kBlockStepBytes) ++blocks;
  FUZZ_CHECK(expected.FrameCount == blocks);
  FUZZ_CHECK(expected.TrackSeconds == TrackSecondsOf(bytes));
  const FeatureValues values = FinishSpectrum(expected.TrackSpectrum, expected.FrameCount);
  for (double v : values) FUZZ_CHECK(std::isfinite(v) && v >= 0);

  // The file stages cost a file and a 1 MiB read buffer each: one input in eight takes one.
  for (size_t stage : melodrift::fuzz::StagesOf(data, size, 8)) {
    if (stage > 1) continue;
    const std::string path = dir.File("track.wav");
    WriteFile(path, data, size);
    if (stage == 0) {
      const int64_t step = 1 + (size > 0 ? data[size - 1] : 0) * 61;
      FUZZ_CHECK(ReadGrowingFile(path, data, bytes, step) == blocks);
      continue;
    }
    TrackAnalyser analyser(converter, random, pump, view);
    const bool keep_importing = true;
    FUZZ_CHECK(analyser.DoFFT(path, keep_importing));
    FUZZ_CHECK(analyser.FrameCount() == expected.FrameCount);
    FUZZ_CHECK(analyser.TrackSeconds() == expected.TrackSeconds);
    FUZZ_CHECK(analyser.Finish() == values);
  }
  return 0;
}
