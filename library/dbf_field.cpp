#include "library/dbf_field.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

namespace melodrift {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::optional<int> ParseNonNegative(std::string_view s) {
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || value < 0) return std::nullopt;
  return value;
}

std::string FormatDef(const DbfField& f) {
  return f.name + "," + std::string(1, f.type) + "," + std::to_string(f.length) + "," +
         std::to_string(f.decimals);
}

}  // namespace

std::string NormalizeFieldName(std::string_view name) {
  std::string out(name.substr(0, kMaxFieldNameLength));
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::optional<DbfField> ParseFieldLine(std::string_view line) {
  std::vector<std::string_view> items;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == ',') {
      items.push_back(Trim(line.substr(start, i - start)));
      start = i + 1;
    }
  }
  if (items.size() != 4) return std::nullopt;
  DbfField field;
  field.name = NormalizeFieldName(items[0]);
  if (field.name.empty() || items[1].size() != 1) return std::nullopt;
  field.type = items[1][0];
  if (field.type >= 'a' && field.type <= 'z') field.type = static_cast<char>(field.type - 32);
  auto length = ParseNonNegative(items[2]);
  auto decimals = ParseNonNegative(items[3]);
  if (!length || !decimals || *length == 0) return std::nullopt;
  field.length = *length;
  field.decimals = *decimals;
  return field;
}

std::string CorrectFieldDef(DbfField& field, const std::string& table_name) {
  const DbfField before = field;
  if (field.type == 'C') {
    if (field.length >= 255) field.length = 254;
    field.decimals = 0;
  } else if (field.type == 'N' || field.type == 'F') {
    if (field.length > 20) field.length = 20;
    if (field.decimals > 18) field.decimals = 18;
    if (field.decimals > 0 && field.length - field.decimals < 2) field.decimals = field.length - 2;
    if (field.decimals < 0) field.decimals = 0;
  } else if (field.type == 'L') {
    field.length = 1;
    field.decimals = 0;
  } else if (field.length > 254) {
    field.length = 254;
  }
  if (field.length == before.length && field.decimals == before.decimals) return "";
  return "Invalid field definition for " + table_name + ": " + FormatDef(before) +
         ". Will use corrected definition: " + FormatDef(field);
}

void EncodeText(std::string_view text, char* field, int length) {
  size_t n = std::min(text.size(), static_cast<size_t>(length));
  std::memcpy(field, text.data(), n);
  std::memset(field + n, ' ', static_cast<size_t>(length) - n);
}

void EncodeInteger(int64_t value, int decimals, char* field, int length) {
  std::string text = std::to_string(value);
  if (decimals > 0) {
    text += '.';
    text.append(static_cast<size_t>(decimals), '0');
  }
  if (text.size() > static_cast<size_t>(length)) {
    std::memset(field, '*', static_cast<size_t>(length));
    return;
  }
  size_t pad = static_cast<size_t>(length) - text.size();
  std::memset(field, ' ', pad);
  std::memcpy(field + pad, text.data(), text.size());
}

void EncodeBool(bool value, char* field) {
  *field = value ? 'T' : 'F';
}

int32_t DecodeInteger(std::string_view field) {
  std::string_view s = field;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int64_t value = 0;
  constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

bool DecodeBool(char c) {
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

std::string TrimTrailing(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= ' ') --n;
  return std::string(text.substr(0, n));
}

std::string PadOrCut(std::string_view text, size_t n) {
  std::string out(text.substr(0, n));
  out.resize(n, ' ');
  return out;
}

}  // namespace melodrift
