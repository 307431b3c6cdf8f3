#include "analysis/id3v2_text.h"

namespace melodrift::id3v2 {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr uint8_t kFirstPrintable = 32;

enum class Encoding : uint8_t { kLatin1 = 0, kUtf16WithBom = 1, kUtf16BigEndian = 2, kUtf8 = 3 };

// What a character below 32 does to an 8-bit text: 0, and for ISO-8859-1 also LF and CR,
// end it and stay as its last byte; any other makes the text empty.
std::string EndAtControl(std::string text, uint8_t c, bool line_breaks_stop) {
  if (c == 0 || (line_breaks_stop && (c == '\n' || c == '\r'))) {
    text.push_back(static_cast<char>(c));
    return text;
  }
  return {};
}

std::string DecodeLatin1(Bytes text) {
  std::string out;
  for (uint8_t c : text) {
    if (c < kFirstPrintable) return EndAtControl(std::move(out), c, true);
    out.push_back(static_cast<char>(c));
  }
  return out;
}

// An odd last byte cannot form a unit and is ignored.
std::string DecodeUtf16(Bytes text, bool big_endian) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const uint8_t high = big_endian ? text[i] : text[i + 1];
    const uint8_t low = big_endian ? text[i + 1] : text[i];
    if (high != 0) break;
    if (low == 0) break;
    if (low < kFirstPrintable) return {};
    out.push_back(static_cast<char>(low));
  }
  return out;
}

std::string DecodeUtf16WithBom(Bytes text) {
  if (text.size() < 2) return {};
  if (text[0] == 0xFF && text[1] == 0xFE) return DecodeUtf16(text.subspan(2), false);
  if (text[0] == 0xFE && text[1] == 0xFF) return DecodeUtf16(text.subspan(2), true);
  return {};
}

// Only U+0000 to U+00FF fit: one byte, or a lead byte 0xC0 to 0xC3 with one continuation
// byte. Anything else ends the text. The overlong forms that lead bytes 0xC0 and 0xC1 allow
// are held to the rules of the plain byte, so they cannot slip a control character into the
// middle of a text.
std::string DecodeUtf8(Bytes text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t c = text[i];
    if (c >= 0x80) {
      const bool two_byte_latin1 =
          c >= 0xC0 && c <= 0xC3 && i + 1 < text.size() && (text[i + 1] & 0xC0) == 0x80;
      if (!two_byte_latin1) break;
      c = static_cast<uint8_t>((c & 0x03) << 6 | (text[i + 1] & 0x3F));
      ++i;
    }
    if (c < kFirstPrintable) return EndAtControl(std::move(out), c, false);
    out.push_back(static_cast<char>(c));
  }
  return out;
}

}  // namespace

std::string DecodeFrameText(std::span<const uint8_t> data) {
  if (data.empty()) return {};
  const Bytes text = data.subspan(1);
  switch (static_cast<Encoding>(data[0])) {
    case Encoding::kLatin1:
      return DecodeLatin1(text);
    case Encoding::kUtf16WithBom:
      return DecodeUtf16WithBom(text);
    case Encoding::kUtf16BigEndian:
      return DecodeUtf16(text, true);
    case Encoding::kUtf8:
      return DecodeUtf8(text);
  }
  return {};
}

}  // namespace melodrift::id3v2
