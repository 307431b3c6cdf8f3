// Inflating a compressed frame's data, a whole zlib stream, in one call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace melodrift::id3v2 {

// The most a frame may inflate to, whatever size it states: no text needs more, and the size
// stated in a damaged file can reach 4 GB.
inline constexpr size_t kMaxInflatedSize = 1 << 20;

// The inflated bytes, or nothing when the data is not a complete zlib stream or inflates to
// more than `stated_size` (0: not stated) or kMaxInflatedSize. Throws only std::bad_alloc.
std::optional<std::vector<uint8_t>> InflateFrameData(std::span<const uint8_t> data,
                                                     uint32_t stated_size);

}  // namespace melodrift::id3v2
