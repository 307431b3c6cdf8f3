// Field definitions of a dBase table and the encoding of field values in record bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace melodrift {

inline constexpr int kMaxFieldNameLength = 10;

struct DbfField {
  std::string name;  // upper case, at most 10 characters
  char type = 'C';   // C, N, L (D, F, M and others read as text)
  int length = 0;    // bytes in the record
  int decimals = 0;
  int offset = 0;  // offset in the record; byte 0 is the deletion flag
};

// Parses a definition line "name, type, length, decimals" (items trimmed). Null when the
// line does not have exactly three commas or its items are unusable (no name, no length).
std::optional<DbfField> ParseFieldLine(std::string_view line);

// Applies the definition corrections (C 255 -> 254; N at most 20 long with at most 18
// decimals and at least 2 places before the point). Returns the message to show when the
// definition changed, else an empty text.
std::string CorrectFieldDef(DbfField& field, const std::string& table_name);

// Field names are matched without regard to case and cut to 10 characters.
std::string NormalizeFieldName(std::string_view name);

// Encodings of values in a field's bytes (ANSI text; the code page is applied per record).
// C: cut or filled with blanks. N: right-aligned decimal, all '*' when too long.
// L: 'T' or 'F'.
void EncodeText(std::string_view text, char* field, int length);
void EncodeInteger(int64_t value, int decimals, char* field, int length);
void EncodeBool(bool value, char* field);

// N: blanks at both ends removed, optional sign and the digits that follow; blank or
// '*'-filled is 0. Saturates at the 32-bit range.
int32_t DecodeInteger(std::string_view field);
// L: 'T', 't', 'Y', 'y' are true; every other byte is false.
bool DecodeBool(char c);

// Text with trailing characters of code 32 and below removed.
std::string TrimTrailing(std::string_view text);
// Text filled with blanks on the right or cut to exactly n characters.
std::string PadOrCut(std::string_view text, size_t n);

}  // namespace melodrift
