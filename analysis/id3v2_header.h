// The 10-byte header at the start of a tagged MP3 file.
//
//   offset  size  content
//   0       3     "ID3"
//   3       1     major version: 3 or 4 are read
//   4       1     revision: any value but 0xFF
//   5       1     flags: 0x80 unsynchronisation, 0x40 extended header, 0x20 experimental,
//                 0x10 footer (version 4); other bits are ignored
//   6       4     size of the tag after this header, syncsafe
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace melodrift::id3v2 {

struct TagHeader {
  int version = 0;  // 3 or 4
  uint8_t flags = 0;
  uint32_t tag_size = 0;  // bytes after the header, below 2^28
};

// The header at the start of `bytes`, or nothing when it is missing, damaged or of a version
// the reader does not handle (2 included). Does not throw.
std::optional<TagHeader> ParseTagHeader(std::span<const uint8_t> bytes);

}  // namespace melodrift::id3v2
