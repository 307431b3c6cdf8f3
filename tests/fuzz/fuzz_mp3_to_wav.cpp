// The import's MP3-to-WAV conversion on arbitrary bytes, through the decoding that the
// converter's thread runs, with the WAV file kept in memory.
#include <cstring>
#include <span>
#include <vector>

#include "analysis/mp3_to_wav.h"
#include "analysis/wav_format.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The header is written once, at the first frame, and every frame adds whole 16-bit samples.
void CheckWav(const std::vector<uint8_t>& wav) {
  FUZZ_CHECK(wav.size() >= melodrift::kWavHeaderBytes);
  FUZZ_CHECK(std::memcmp(wav.data(), "RIFF", 4) == 0);
  FUZZ_CHECK(std::memcmp(wav.data() + 36, "data", 4) == 0);
  const uint32_t channels = wav[22] | (wav[23] << 8);
  FUZZ_CHECK(channels == 1 || channels == 2);
  FUZZ_CHECK(Get32(wav, 24) > 0);  // sample rate
  FUZZ_CHECK(Get32(wav, 4) == Get32(wav, 40) + 36);
  FUZZ_CHECK((wav.size() - melodrift::kWavHeaderBytes) % 2 == 0);
}

}  // namespace

MELODRIFT_FUZZ_TARGET(fuzz_mp3_to_wav) {
  std::vector<uint8_t> wav;
  std::vector<int> percents;
  melodrift::Mp3WavSink sink;
  sink.write = [&wav](const void* bytes, size_t n) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    wav.insert(wav.end(), p, p + n);
    return true;
  };
  sink.progress = [&percents](int percent) {
    percents.push_back(percent);
    return true;
  };
  const bool success = melodrift::DecodeMp3ToWav(std::span<const uint8_t>(data, size), sink);
  // Success means a frame was decoded: then there is a header and its samples.
  if (success) {
    CheckWav(wav);
    FUZZ_CHECK(wav.size() > melodrift::kWavHeaderBytes);
  } else {
    FUZZ_CHECK(wav.empty() || wav.size() >= melodrift::kWavHeaderBytes);
  }
  // Progress grows with the output while the estimate is positive (it wraps only for files
  // of hundreds of megabytes).
  if (!wav.empty() && static_cast<int32_t>(Get32(wav, 40)) > 0) {
    for (size_t i = 1; i < percents.size(); ++i) FUZZ_CHECK(percents[i] > percents[i - 1]);
  }

  // A full disk at the first write: the conversion fails, whatever the bytes.
  melodrift::Mp3WavSink full;
  full.write = [](const void*, size_t) { return false; };
  FUZZ_CHECK(!melodrift::DecodeMp3ToWav(std::span<const uint8_t>(data, size), full));
  return 0;
}
