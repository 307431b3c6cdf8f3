// Any dBase table's fields and records as tab-separated text, for `melodrift-cli dump`.
#pragma once

#include <ostream>
#include <string>

namespace melodrift {

// Writes a line "# name type length decimals" per field, a header line "deleted" + the field
// names, then one line per record: "*" or "" for the deletion flag, then the field values
// (character fields with trailing blanks removed, read as code page 850 and written as UTF-8;
// others as stored, blanks at both ends removed). Tabs, line breaks and backslashes in values
// are written as \t, \n, \r and \\. Failures are fatal table errors (not a table: 210).
void DumpTable(const std::string& path, std::ostream& out);

// Text of the program (ISO-8859-1 bytes) as UTF-8.
std::string Latin1ToUtf8(const std::string& text);
// Escapes tabs, line breaks and backslashes so that a value stays in its column.
std::string EscapeField(const std::string& text);

}  // namespace melodrift
