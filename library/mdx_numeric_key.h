// Internal helpers for dBase IV numeric keys (12 bytes of packed decimal with an exponent).
// The public EncodeNumericKey / CompareNumericKeys are declared in mdx_index.h.
#pragma once

#include <cstdint>
#include <string_view>

namespace melodrift::mdx {

inline constexpr int kNumericSortKeyLength = 13;

// Canonical key of a decimal text ("  -42", "20.5", blank or '*'-filled = 0) into out[12].
void EncodeNumericKeyTo(std::string_view text, uint8_t* out);

// A form of the key whose byte order (memcmp) is its value order: class (negative, zero,
// positive), normalised exponent, normalised digits; inverted for negative values. Works for
// keys of other writers too (leading zero digits, any digit count).
void NumericSortKey(const uint8_t* key, uint8_t* out);

}  // namespace melodrift::mdx
