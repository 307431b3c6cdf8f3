#include "analysis/id3v2_header.h"

#include "analysis/id3v2_layout.h"

namespace melodrift::id3v2 {

namespace {
constexpr uint8_t kRefusedRevision = 0xFF;
}

std::optional<TagHeader> ParseTagHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kTagHeaderSize) return std::nullopt;
  if (bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') return std::nullopt;
  const int version = bytes[3];
  if (version != 3 && version != 4) return std::nullopt;
  if (bytes[4] == kRefusedRevision) return std::nullopt;
  const std::optional<uint32_t> size = GetSyncsafe32(&bytes[6]);
  if (!size) return std::nullopt;
  return TagHeader{version, bytes[5], *size};
}

}  // namespace melodrift::id3v2
