// The 16-bit PCM WAV file the converter writes: the 44-byte header with its estimated data
// length, and the conversion of libmad's fixed-point samples to 16 bits.
//
//   0 "RIFF"  4 data+36  8 "WAVE"  12 "fmt "  16 16  20 1 (PCM)  22 channels  24 rate
//   28 rate*channels*2  32 channels*2  34 16 (bits)  36 "data"  40 data length
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace melodrift {

inline constexpr int kWavHeaderBytes = 44;
inline constexpr int kSamplesPerMpegFrame = 1152;

using WavHeader = std::array<uint8_t, kWavHeaderBytes>;

// Bytes of one MPEG frame: ceil(144 x bit rate / sample rate). Rates must be above 0.
double MpegFrameBytes(uint64_t bit_rate, uint32_t sample_rate);

// The data length announced in the header, from the MP3 file's size and its first frame:
// round(file bytes / frame bytes x 1152) x channels x 2, halves to even, then 32-bit
// arithmetic (which wraps for files of hundreds of megabytes; the field is only an estimate).
// Empty when the first frame has no bit rate (free format) or no sample rate.
std::optional<int32_t> EstimatedDataBytes(int64_t mp3_file_bytes, uint64_t bit_rate,
                                          uint32_t sample_rate, int channels);

// The header, written once at the first frame and never corrected.
WavHeader MakeWavHeader(int channels, uint32_t sample_rate, int32_t data_bytes);

// libmad's sample (28 fraction bits) as 16 bits: clipped to [-2^28, 2^28 - 1], then shifted
// right by 13 (rounding towards minus infinity, no dither).
constexpr int16_t MadSampleToInt16(int32_t sample) {
  constexpr int32_t kMin = -(1 << 28);
  constexpr int32_t kMax = (1 << 28) - 1;
  if (sample < kMin) sample = kMin;
  if (sample > kMax) sample = kMax;
  return static_cast<int16_t>(sample >> 13);
}

}  // namespace melodrift
