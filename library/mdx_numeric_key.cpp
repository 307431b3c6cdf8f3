#include "library/mdx_numeric_key.h"

#include <algorithm>
#include <cstring>

#include "library/mdx_index.h"
#include "library/mdx_layout.h"

namespace melodrift {

namespace mdx {

namespace {

constexpr uint8_t kExponentBase = 0x34;
constexpr uint8_t kSignBit = 0x80;
constexpr uint8_t kCountLowBits = 0x01;
constexpr int kDigitBytes = 10;
constexpr int kMaxDigits = 2 * kDigitBytes;
// Exponents that still fit in byte 0 (0x34 + e within 0..255).
constexpr int kMinExponent = -static_cast<int>(kExponentBase);
constexpr int kMaxExponent = 255 - kExponentBase;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int DigitAt(const uint8_t* key, int i) {
  uint8_t b = key[2 + i / 2];
  return i % 2 == 0 ? b >> 4 : b & 0x0F;
}

}  // namespace

void EncodeNumericKeyTo(std::string_view text, uint8_t* out) {
  std::memset(out, 0, kNumericKeyLength);
  out[0] = kExponentBase;
  out[1] = kCountLowBits;
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  if (text.empty() || text.front() == '*') return;  // blank or overflowed field: 0

  bool negative = false;
  size_t i = 0;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    ++i;
  }
  size_t int_begin = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::string_view int_part = text.substr(int_begin, i - int_begin);
  std::string_view frac_part;
  if (i < text.size() && text[i] == '.') {
    size_t frac_begin = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    frac_part = text.substr(frac_begin, i - frac_begin);
  }
  while (!int_part.empty() && int_part.front() == '0') int_part.remove_prefix(1);
  while (!frac_part.empty() && frac_part.back() == '0') frac_part.remove_suffix(1);

  long exponent;
  if (!int_part.empty()) {
    exponent = static_cast<long>(int_part.size());
  } else {
    size_t zeros = 0;
    while (zeros < frac_part.size() && frac_part[zeros] == '0') ++zeros;
    if (zeros == frac_part.size()) return;  // the value is zero
    exponent = -static_cast<long>(zeros);
    frac_part.remove_prefix(zeros);
  }
  exponent = std::clamp<long>(exponent, kMinExponent, kMaxExponent);

  int count = 0;
  for (std::string_view part : {int_part, frac_part}) {
    for (char c : part) {
      if (count == kMaxDigits) break;
      int digit = c - '0';
      out[2 + count / 2] |= static_cast<uint8_t>(count % 2 == 0 ? digit << 4 : digit);
      ++count;
    }
  }
  out[0] = static_cast<uint8_t>(kExponentBase + exponent);
  out[1] = static_cast<uint8_t>((negative ? kSignBit : 0) | (count << 2) | kCountLowBits);
}

void NumericSortKey(const uint8_t* key, uint8_t* out) {
  std::memset(out, 0, kNumericSortKeyLength);
  int first = 0;
  while (first < kMaxDigits && DigitAt(key, first) == 0) ++first;
  if (first == kMaxDigits) {  // all digits 0: zero, whatever bytes 0-1 say
    out[0] = 1;
    return;
  }
  bool negative = (key[1] & kSignBit) != 0;
  out[0] = negative ? 0 : 2;
  // Leading zero digits (other writers) move into the exponent.
  int exponent = static_cast<int>(key[0]) - kExponentBase - first + 0x8000;
  out[1] = static_cast<uint8_t>(exponent >> 8);
  out[2] = static_cast<uint8_t>(exponent);
  for (int i = first; i < kMaxDigits; ++i) {
    int k = i - first;
    out[3 + k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? DigitAt(key, i) << 4 : DigitAt(key, i));
  }
  if (negative) {
    for (int i = 1; i < kNumericSortKeyLength; ++i) out[i] = static_cast<uint8_t>(~out[i]);
  }
}

}  // namespace mdx

std::string EncodeNumericKey(std::string_view decimal_text) {
  std::string key(static_cast<size_t>(mdx::kNumericKeyLength), '\0');
  mdx::EncodeNumericKeyTo(decimal_text, reinterpret_cast<uint8_t*>(key.data()));
  return key;
}

int CompareNumericKeys(const uint8_t* a, const uint8_t* b) {
  // Canonical non-zero keys (a first digit above 0) compare without normalising: sign, then
  // exponent, then digits. This is the path every key of our own writer takes.
  if ((a[2] & 0xF0) != 0 && (b[2] & 0xF0) != 0) {
    bool neg_a = (a[1] & 0x80) != 0;
    bool neg_b = (b[1] & 0x80) != 0;
    if (neg_a != neg_b) return neg_a ? -1 : 1;
    int c = static_cast<int>(a[0]) - static_cast<int>(b[0]);
    if (c == 0) c = std::memcmp(a + 2, b + 2, 10);
    if (c != 0) c = c < 0 ? -1 : 1;
    return neg_a ? -c : c;
  }
  uint8_t sa[mdx::kNumericSortKeyLength];
  uint8_t sb[mdx::kNumericSortKeyLength];
  mdx::NumericSortKey(a, sa);
  mdx::NumericSortKey(b, sb);
  int c = std::memcmp(sa, sb, sizeof sa);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace melodrift
