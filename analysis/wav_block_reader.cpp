#include "analysis/wav_block_reader.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>

namespace melodrift {

namespace {

// Large enough that a four-minute track takes a few dozen reads, small enough to stay in the
// processor's cache.
constexpr int64_t kChunkBytes = 1 << 20;

}  // namespace

WavBlockReader::WavBlockReader(const std::string& path) : chunk_(kChunkBytes) {
  int error = 0;
  fd_ = OpenFile(path, O_RDONLY, error);
}

int64_t WavBlockReader::FileBytes() const {
  if (!fd_) return -1;
  const int64_t size = melodrift::FileBytes(fd_.get());
  return size < 0 ? -1 : size;
}

const uint8_t* WavBlockReader::Bytes(int64_t offset, int64_t length, int64_t available) {
  if (!fd_ || length > kChunkBytes || offset < 0 || offset + length > available) return nullptr;
  const int64_t chunk_end = chunk_offset_ + chunk_bytes_;
  if (offset >= chunk_offset_ && offset + length <= chunk_end) {
    return chunk_.data() + (offset - chunk_offset_);
  }
  // Keep what is already read from `offset` on, then fill the chunk up.
  int64_t kept = 0;
  if (offset >= chunk_offset_ && offset < chunk_end) {
    kept = chunk_end - offset;
    std::memmove(chunk_.data(), chunk_.data() + (offset - chunk_offset_),
                 static_cast<size_t>(kept));
  }
  chunk_offset_ = offset;
  chunk_bytes_ = kept;
  const int64_t wanted = std::min(kChunkBytes, available - offset) - kept;
  if (wanted > 0) {
    const int64_t got =
        ReadAt(fd_.get(), offset + kept, chunk_.data() + kept, static_cast<size_t>(wanted));
    if (got < 0) return nullptr;
    chunk_bytes_ += got;
  }
  if (chunk_bytes_ < length) return nullptr;
  return chunk_.data();
}

}  // namespace melodrift
