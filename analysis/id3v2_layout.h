// The byte layout shared by the parts of the ID3v2 reader: sizes, flag bits and the two
// integer codings of the format. Every read takes a pointer to at least four bytes that the
// caller has already checked are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace melodrift::id3v2 {

inline constexpr size_t kTagHeaderSize = 10;
inline constexpr size_t kFrameHeaderSize = 10;

// Tag header flags.
inline constexpr uint8_t kTagUnsynchronised = 0x80;
inline constexpr uint8_t kTagExtendedHeader = 0x40;

// Frame format flags as TFrame holds them, whatever the tag's version.
inline constexpr uint8_t kFrameGrouped = 0x40;
inline constexpr uint8_t kFrameCompressed = 0x08;
inline constexpr uint8_t kFrameEncrypted = 0x04;
inline constexpr uint8_t kFrameUnsynchronised = 0x02;
inline constexpr uint8_t kFrameDataLength = 0x01;

inline uint32_t GetBigEndian32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// 7 bits per byte, most significant first. A byte with its top bit set is not syncsafe: the
// field is damaged and gives no value.
inline std::optional<uint32_t> GetSyncsafe32(const uint8_t* p) {
  if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return std::nullopt;
  return (static_cast<uint32_t>(p[0]) << 21) | (static_cast<uint32_t>(p[1]) << 14) |
         (static_cast<uint32_t>(p[2]) << 7) | static_cast<uint32_t>(p[3]);
}

}  // namespace melodrift::id3v2
