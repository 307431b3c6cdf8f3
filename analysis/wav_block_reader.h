// Reads the measurement blocks of a WAV file in large chunks with pread, also while the
// decoder thread is still appending to it: the caller says how many bytes exist. Blocks
// overlap by half, so the unread tail of a chunk is kept for the next one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/wav_io.h"

namespace melodrift {

class WavBlockReader {
 public:
  // Opens `path` for reading; Opened() tells whether that worked.
  explicit WavBlockReader(const std::string& path);

  bool Opened() const { return static_cast<bool>(fd_); }
  // Size of the file now, or -1 when it cannot be taken.
  int64_t FileBytes() const;

  // The `length` bytes at `offset`, which must lie within the first `available` bytes of the
  // file. Null when the read fails or comes back short. Valid until the next call.
  const uint8_t* Bytes(int64_t offset, int64_t length, int64_t available);

 private:
  UniqueFd fd_;
  std::vector<uint8_t> chunk_;
  int64_t chunk_offset_ = 0;  // file offset of chunk_[0]
  int64_t chunk_bytes_ = 0;   // valid bytes in chunk_
};

}  // namespace melodrift
