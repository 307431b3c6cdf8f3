#include "analysis/wav_format.h"

#include <cmath>
#include <cstring>

#include "library/byte_order.h"
#include "library/rounding.h"

namespace melodrift {

double MpegFrameBytes(uint64_t bit_rate, uint32_t sample_rate) {
  return std::ceil(144.0 * static_cast<double>(bit_rate) / static_cast<double>(sample_rate));
}

std::optional<int32_t> EstimatedDataBytes(int64_t mp3_file_bytes, uint64_t bit_rate,
                                          uint32_t sample_rate, int channels) {
  if (bit_rate == 0 || sample_rate == 0) return std::nullopt;
  const double frames = static_cast<double>(mp3_file_bytes) / MpegFrameBytes(bit_rate, sample_rate);
  // Unsigned arithmetic wraps like the 32-bit integers the field is made of, without the
  // undefined behaviour of a signed overflow.
  const auto samples = static_cast<uint32_t>(RoundToInt64(frames * kSamplesPerMpegFrame));
  return static_cast<int32_t>(samples * static_cast<uint32_t>(channels) * 2u);
}

WavHeader MakeWavHeader(int channels, uint32_t sample_rate, int32_t data_bytes) {
  WavHeader h{};
  const auto data = static_cast<uint32_t>(data_bytes);
  const auto block_align = static_cast<uint16_t>(channels * 2);
  std::memcpy(&h[0], "RIFF", 4);
  PutU32(&h[4], data + 36u);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  PutU32(&h[16], 16);
  PutU16(&h[20], 1);
  PutU16(&h[22], static_cast<uint16_t>(channels));
  PutU32(&h[24], sample_rate);
  PutU32(&h[28], sample_rate * block_align);
  PutU16(&h[32], block_align);
  PutU16(&h[34], 16);
  std::memcpy(&h[36], "data", 4);
  PutU32(&h[40], data);
  return h;
}

}  // namespace melodrift
