#include "analysis/id3v2_inflate.h"

#include <zlib.h>

#include <algorithm>

namespace melodrift::id3v2 {

std::optional<std::vector<uint8_t>> InflateFrameData(std::span<const uint8_t> data,
                                                     uint32_t stated_size) {
  const size_t limit =
      stated_size == 0 ? kMaxInflatedSize : std::min<size_t>(stated_size, kMaxInflatedSize);
  std::vector<uint8_t> out(limit);
  uLongf out_size = static_cast<uLongf>(out.size());
  uLong in_size = static_cast<uLong>(data.size());
  // A stream that is cut, damaged or longer than the limit does not reach its end: refused.
  if (uncompress2(out.data(), &out_size, data.data(), &in_size) != Z_OK) return std::nullopt;
  out.resize(out_size);
  return out;
}

}  // namespace melodrift::id3v2
