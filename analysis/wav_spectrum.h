// The spectrum of a WAV file written by the converter, as the library stores it. The file is
// taken as raw bytes: the first 44 are skipped unread, the rest are little-endian 16-bit
// sample pairs, left first, read as UNSIGNED numbers (a negative sample s enters as
// s + 65536). Blocks of 1024 pairs start every 512 pairs; each channel's block goes through a
// 1024-point TdspFFT, and the 256 lowest magnitude bins of both channels, averaged, are
// summed over the blocks. Every constant here shapes the stored feature values.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "analysis/dsp_fft.h"
#include "library/feature_vector.h"

namespace melodrift {

inline constexpr int64_t kFirstBlockOffset = 44;
inline constexpr int64_t kBlockBytes = 4096;
inline constexpr int64_t kBlockStepBytes = 2048;

// Whether the block starting at byte `offset` is measured in a file of `file_bytes` bytes.
constexpr bool BlockIsMeasured(int64_t offset, int64_t file_bytes) {
  return offset < file_bytes - kBlockBytes;
}

// round(B / 4 / 44000) - 1, halves to even (44000, not 44100; B counts the header).
int32_t TrackSecondsOf(int64_t file_bytes);

// Per-bin sums of the block magnitudes (the averages once divided by FrameCount).
using TrackSpectrumValues = std::array<double, kFeatureColumns>;

// Sums the blocks of one track, one block at a time.
class WavSpectrum {
 public:
  WavSpectrum();

  // Zero sums, no block, cleared transform buffers (the imaginary inputs stay 0).
  void Clear();
  // Adds the block of kBlockBytes bytes at `block`.
  void AddBlock(const uint8_t* block);

  const TrackSpectrumValues& TrackSpectrum() const { return TrackSpectrum_; }
  int32_t FrameCount() const { return FrameCount_; }

 private:
  TdspFFT FFTLeft;
  TdspFFT FFTRight;
  TrackSpectrumValues TrackSpectrum_{};
  int32_t FrameCount_ = 0;
};

// The finishing step: sums / frame_count (0 without a block), rounded halves to even.
FeatureValues FinishSpectrum(const TrackSpectrumValues& sums, int32_t frame_count);

struct WavMeasurement {
  TrackSpectrumValues TrackSpectrum{};  // sums
  int32_t FrameCount = 0;
  int32_t TrackSeconds = -1;
};

// Measures a whole WAV file held in memory: every block BlockIsMeasured admits, and
// TrackSecondsOf its size. Any bytes are accepted.
WavMeasurement MeasureWavBytes(std::span<const uint8_t> wav);

// Measures the whole file in one pass, read into memory at once. A file that cannot be
// opened or read counts as empty: no block and TrackSeconds -1. Does not delete the file.
WavMeasurement MeasureWavFile(const std::string& path);

}  // namespace melodrift
