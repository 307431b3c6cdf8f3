#include "analysis/wav_spectrum.h"

#include <fcntl.h>

#include <vector>

#include "analysis/wav_io.h"
#include "library/rounding.h"

namespace melodrift {

namespace {

constexpr int kFFTPower = 10;
constexpr int kPairsPerBlock = 1024;

}  // namespace

int32_t TrackSecondsOf(int64_t file_bytes) {
  return static_cast<int32_t>(RoundToInt64(static_cast<double>(file_bytes) / 4 / 44000)) - 1;
}

WavSpectrum::WavSpectrum() {
  FFTLeft.SetPower(kFFTPower);
  FFTRight.SetPower(kFFTPower);
  Clear();
}

void WavSpectrum::Clear() {
  TrackSpectrum_.fill(0);
  FrameCount_ = 0;
  FFTLeft.ClearBuffers();
  FFTRight.ClearBuffers();
}

void WavSpectrum::AddBlock(const uint8_t* block) {
  float* const left = FFTLeft.InRe().data();
  float* const right = FFTRight.InRe().data();
  for (int i = 0; i < kPairsPerBlock; ++i) {
    const uint8_t* pair = block + 4 * i;
    left[i] = static_cast<float>(pair[0] | (pair[1] << 8));
    right[i] = static_cast<float>(pair[2] | (pair[3] << 8));
  }
  FFTLeft.ForwardTransform();
  FFTLeft.ToMagnitudes();
  FFTRight.ForwardTransform();
  FFTRight.ToMagnitudes();
  const float* const left_bins = FFTLeft.OutRe().data();
  const float* const right_bins = FFTRight.OutRe().data();
  for (int k = 0; k < kFeatureColumns; ++k) {
    TrackSpectrum_[k] += (static_cast<double>(left_bins[k]) + right_bins[k]) / 2;
  }
  ++FrameCount_;
}

FeatureValues FinishSpectrum(const TrackSpectrumValues& sums, int32_t frame_count) {
  FeatureValues values{};
  if (frame_count < 1) return values;
  for (int k = 0; k < kFeatureColumns; ++k) values[k] = RoundHalfEven(sums[k] / frame_count);
  return values;
}

WavMeasurement MeasureWavBytes(std::span<const uint8_t> wav) {
  WavMeasurement result;
  const auto size = static_cast<int64_t>(wav.size());
  WavSpectrum spectrum;
  for (int64_t p = kFirstBlockOffset; BlockIsMeasured(p, size); p += kBlockStepBytes) {
    spectrum.AddBlock(wav.data() + p);
  }
  result.TrackSpectrum = spectrum.TrackSpectrum();
  result.FrameCount = spectrum.FrameCount();
  result.TrackSeconds = TrackSecondsOf(size);
  return result;
}

WavMeasurement MeasureWavFile(const std::string& path) {
  WavMeasurement result;
  int error = 0;
  UniqueFd fd = OpenFile(path, O_RDONLY, error);
  const int64_t size = fd ? FileBytes(fd.get()) : -1;
  if (size <= 0) {
    result.TrackSeconds = TrackSecondsOf(0);
    return result;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (ReadAt(fd.get(), 0, bytes.data(), bytes.size()) != size) {
    result.TrackSeconds = TrackSecondsOf(0);
    return result;
  }
  return MeasureWavBytes(bytes);
}

}  // namespace melodrift
