#include "library/table_dump.h"

#include "library/code_page.h"
#include "library/dbf_source.h"

namespace melodrift {

std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string EscapeField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

void DumpTable(const std::string& path, std::ostream& out) {
  DbfSource source(path, -1);
  for (const DbfField& f : source.fields()) {
    out << "# " << f.name << ' ' << f.type << ' ' << f.length << ' ' << f.decimals << '\n';
  }
  out << "deleted";
  for (const DbfField& f : source.fields()) out << '\t' << f.name;
  out << '\n';
  source.Scan([&](int64_t, const uint8_t* record) {
    out << (record[0] == '*' ? "*" : "");
    for (const DbfField& f : source.fields()) {
      std::string value(reinterpret_cast<const char*>(record) + f.offset,
                        static_cast<size_t>(f.length));
      if (f.type == 'C') {
        value = Latin1ToUtf8(OemToAnsi(TrimTrailing(value)));
      } else {
        const size_t first = value.find_first_not_of(' ');
        value = first == std::string::npos ? "" : TrimTrailing(value.substr(first));
      }
      out << '\t' << EscapeField(value);
    }
    out << '\n';
  });
}

}  // namespace melodrift
