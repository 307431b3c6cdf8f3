// Helpers of the decoding and spectrum tests: the MP3 files made at build time, a blocking
// conversion, the WAV header's fields, WAV files of a chosen size, and an independent
// reference for the feature values.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/mp3_to_wav.h"
#include "library/feature_vector.h"

namespace melodrift::testing {

// A file made by tests/fixtures/make-test-mp3s.sh.
inline std::string TestMp3(const std::string& name) {
  return std::string(MELODRIFT_TEST_MP3_DIR) + "/" + name;
}

// Records OnDone calls of a converter and lets the test thread wait for them.
class DoneWaiter {
 public:
  explicit DoneWaiter(TMP3ToWav& converter) {
    converter.OnDone = [this](TMP3ToWav&, bool success) {
      std::lock_guard lock(mutex_);
      success_ = success;
      ++calls_;
      done_.notify_all();
    };
  }
  // Waits for the next OnDone and returns its Success.
  bool Wait() {
    std::unique_lock lock(mutex_);
    const bool arrived =
        done_.wait_for(lock, std::chrono::seconds(60), [&] { return calls_ > seen_; });
    EXPECT_TRUE(arrived) << "OnDone never came";
    seen_ = calls_;
    return success_;
  }
  int Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool success_ = false;
  int calls_ = 0;
  int seen_ = 0;
};

// Converts mp3 into wav and returns OnDone's Success.
inline bool Convert(const std::string& mp3, const std::string& wav) {
  TMP3ToWav converter;
  DoneWaiter waiter(converter);
  converter.InputFile = mp3;
  converter.OutputFile = wav;
  converter.Start();
  return waiter.Wait();
}

inline uint32_t LittleEndian(const std::string& bytes, size_t offset, int size) {
  uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(offset + i));
  return v;
}

struct WavFields {
  std::string riff, wave, fmt, data;
  uint32_t riff_size, fmt_size, format, channels, rate, byte_rate, block_align, bits, data_size;
};

inline WavFields ReadWavFields(const std::string& b) {
  return {b.substr(0, 4),         b.substr(8, 4),         b.substr(12, 4),
          b.substr(36, 4),        LittleEndian(b, 4, 4),  LittleEndian(b, 16, 4),
          LittleEndian(b, 20, 2), LittleEndian(b, 22, 2), LittleEndian(b, 24, 4),
          LittleEndian(b, 28, 4), LittleEndian(b, 32, 2), LittleEndian(b, 34, 2),
          LittleEndian(b, 40, 4)};
}

// The signed 16-bit samples after the 44-byte header.
inline std::vector<int16_t> Samples(const std::string& wav) {
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < wav.size(); i += 2) {
    samples.push_back(static_cast<int16_t>(LittleEndian(wav, i, 2)));
  }
  return samples;
}

// Root mean square of one channel over the middle half of the file, away from the
// encoder's silent start and end.
inline double MiddleRms(const std::vector<int16_t>& samples, size_t channel, size_t channels) {
  const size_t instants = samples.size() / channels;
  double sum = 0;
  size_t n = 0;
  for (size_t i = instants / 4; i < instants * 3 / 4; ++i, ++n) {
    const double v = samples[i * channels + channel];
    sum += v * v;
  }
  return n == 0 ? 0 : std::sqrt(sum / n);
}

// The feature values computed straight from their definition, in double precision and
// without any FFT: for every block of 1024 sample pairs (read unsigned) starting at
// 44 + 2048 b below B - 4096, the DFT of each channel for bins 0 to 255, |X_0| / 2048 and
// |X_k| / 512, averaged over the channels and the blocks, rounded.
inline FeatureValues ReferenceFeatures(const std::string& wav) {
  constexpr int kN = 1024;
  std::vector<double> cos_table(kN), sin_table(kN);
  for (int i = 0; i < kN; ++i) {
    cos_table[i] = std::cos(2 * std::numbers::pi * i / kN);
    sin_table[i] = std::sin(2 * std::numbers::pi * i / kN);
  }
  std::vector<double> sums(kFeatureColumns, 0.0);
  std::vector<double> left(kN), right(kN);
  const auto b = static_cast<int64_t>(wav.size());
  int64_t blocks = 0;
  for (int64_t p = 44; p < b - 4096; p += 2048, ++blocks) {
    for (int i = 0; i < kN; ++i) {
      left[i] = LittleEndian(wav, p + 4 * i, 2);
      right[i] = LittleEndian(wav, p + 4 * i + 2, 2);
    }
    for (int k = 0; k < kFeatureColumns; ++k) {
      double lr = 0, li = 0, rr = 0, ri = 0;
      for (int n = 0; n < kN; ++n) {
        const int t = (n * k) % kN;
        lr += left[n] * cos_table[t];
        li += left[n] * sin_table[t];
        rr += right[n] * cos_table[t];
        ri += right[n] * sin_table[t];
      }
      const double divisor = k == 0 ? 2048 : 512;
      sums[k] += (std::hypot(lr, li) + std::hypot(rr, ri)) / divisor / 2;
    }
  }
  FeatureValues values{};
  if (blocks > 0) {
    for (int k = 0; k < kFeatureColumns; ++k) values[k] = std::nearbyint(sums[k] / blocks);
  }
  return values;
}

}  // namespace melodrift::testing
