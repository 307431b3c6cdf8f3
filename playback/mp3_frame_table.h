// Where every MPEG audio frame of a file in memory starts and which samples it holds, read
// once from the frame headers (no decoding): the length of the file, and the frame a seek
// starts decoding at. Sample counts are per channel, at the first frame's sample rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace melodrift {

struct Mp3Frame {
  size_t offset = 0;         // of the frame header in the buffer
  int64_t first_sample = 0;  // of the stream that this frame starts with
};

struct Mp3FrameTable {
  uint32_t sample_rate = 0;
  int channels = 0;
  int64_t total_samples = 0;
  std::vector<Mp3Frame> frames;  // in file order; empty when the buffer holds no audio

  int64_t LengthMs() const { return SampleToMs(total_samples); }
  // Whole milliseconds before `sample` (rounded down).
  int64_t SampleToMs(int64_t sample) const;
  // The first sample at or after `ms`, so that SampleToMs gives `ms` back.
  int64_t MsToSample(int64_t ms) const;
  // The frame that holds `sample`; the last frame for samples at or past the end. Needs
  // at least one frame.
  size_t FrameAt(int64_t sample) const;
  int64_t FrameSamples(size_t index) const;
};

// Reads the frame headers of `buffer` from `begin` on, skipping what is not a frame (libmad
// resynchronises on garbage). The last MAD_BUFFER_GUARD bytes of `buffer` must be zero: libmad
// reads that far past the last frame.
Mp3FrameTable ReadFrameTable(std::span<const uint8_t> buffer, size_t begin);

// Bytes of the ID3v2 tag at the start of `file` (header, body and footer), or 0 when there
// is none. A size that runs past the end of the file is not trusted: 0.
size_t Id3v2TagBytes(std::span<const uint8_t> file);

// Whether `file` ends in a 128-byte ID3v1 tag.
bool HasId3v1Tag(std::span<const uint8_t> file);

}  // namespace melodrift
