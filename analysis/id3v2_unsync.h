// Undoing unsynchronisation, the scheme that keeps a tag's bytes from looking like an MPEG
// frame sync: the writer puts a 0x00 after every 0xFF that is followed by 0x00 or a byte of
// 0xE0 and above.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace melodrift::id3v2 {

// The bytes with every 0x00 removed that follows a 0xFF and is itself followed by 0x00 or a
// byte of 0xE0 and above. Only a 0x00 that the writer can have inserted goes, so data that
// was never unsynchronised passes almost unchanged. Does not throw except std::bad_alloc.
std::vector<uint8_t> UndoUnsynchronisation(std::span<const uint8_t> bytes);

}  // namespace melodrift::id3v2
