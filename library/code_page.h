// Conversion of table text between the "ANSI" code page (ISO-8859-1) and the "OEM" code page
// (CP850). The conversion is a bijection on the 256 byte values, so every byte string
// round-trips: 0x00-0x7F stay, 0xA0-0xFF go to the CP850 byte of the same character, and
// 0x80-0x9F (no CP850 character) take, in order, the 32 CP850 bytes outside ISO-8859-1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace melodrift {

uint8_t AnsiToOem(uint8_t c);
uint8_t OemToAnsi(uint8_t c);
void AnsiToOemInPlace(uint8_t* bytes, size_t n);
void OemToAnsiInPlace(uint8_t* bytes, size_t n);
std::string AnsiToOem(const std::string& text);
std::string OemToAnsi(const std::string& text);

// Upper case of one ISO-8859-1 character (a-z and the accented letters; ß and ÿ stay).
uint8_t AnsiUpper(uint8_t c);

}  // namespace melodrift
