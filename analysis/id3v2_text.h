// The text of a text frame as 8-bit ISO-8859-1 bytes. Characters above U+00FF cannot be held
// and end the text there.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace melodrift::id3v2 {

// Decodes a text frame's data: an encoding byte (0 ISO-8859-1, 1 UTF-16 with byte order mark,
// 2 UTF-16 big-endian, 3 UTF-8) and the text. The text stops at its first terminator:
//  - ISO-8859-1 and UTF-8 keep a stopping 0 (ISO-8859-1 also LF or CR) as their last byte;
//    any other control character makes the whole text empty.
//  - UTF-16 stops before a unit 0; a unit 1 to 31 makes the whole text empty.
//  - A character above U+00FF, or data that is not valid in its encoding, ends the text and
//    keeps what came before.
// Unknown encodings and empty data give "". Does not throw except std::bad_alloc.
std::string DecodeFrameText(std::span<const uint8_t> data);

}  // namespace melodrift::id3v2
