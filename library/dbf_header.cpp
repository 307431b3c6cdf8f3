#include "library/dbf_header.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "library/byte_order.h"
#include "library/table_error.h"

namespace melodrift {

namespace {

bool AcceptedVersion(uint8_t version) {
  // dBase III and the related layouts with the same prolog and 32-byte descriptors.
  switch (version) {
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x83:
    case 0x8B:
    case 0x8C:
    case 0xF5:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void NotDbase(const std::string& path, const char* detail) {
  RaiseTableError(table_error::kNotDbase, path + " is not a dBASE database." + detail);
}

[[noreturn]] void UnreadableDescriptors(const std::string& path) {
  RaiseTableError(table_error::kDiskRead, "Error reading " + path + " [Use/OpenDbf]");
}

}  // namespace

DbfHeader ReadDbfHeader(TableFile& file, const std::string& path) {
  DbfHeader h;
  if (file.ReadAt(0, h.prolog, dbf::kPrologSize) < dbf::kPrologSize) {
    NotDbase(path, " (Prolog is less than 32 bytes) [USE/OpenDBF]");
  }
  if (!AcceptedVersion(h.prolog[dbf::kVersionOffset])) {
    NotDbase(path, "(Invalid version byte)+ [USE/OpenDBF]");
  }
  h.header_length = GetU16(h.prolog + dbf::kHeaderLengthOffset);
  h.record_length = GetU16(h.prolog + dbf::kRecordLengthOffset);
  h.stored_record_count = GetU32(h.prolog + dbf::kRecordCountOffset);
  int slots = h.header_length > dbf::kPrologSize
                  ? (h.header_length - dbf::kPrologSize) / dbf::kDescriptorSize
                  : 0;
  if (slots < 1 || slots > 255) {
    NotDbase(path, " (Number of fields is out of range) [Use/OpenDbf]");
  }

  std::vector<uint8_t> descriptors(static_cast<size_t>(h.header_length - dbf::kPrologSize));
  if (file.ReadAt(dbf::kPrologSize, descriptors.data(), descriptors.size()) <
      static_cast<int64_t>(descriptors.size())) {
    UnreadableDescriptors(path);
  }
  int offset = 1;
  for (int i = 0; i < slots; ++i) {
    const uint8_t* d = descriptors.data() + i * dbf::kDescriptorSize;
    if (d[0] == dbf::kHeaderTerminator) break;
    DbfField f;
    size_t name_length = 0;
    while (name_length < 11 && d[name_length] != 0) ++name_length;
    f.name = NormalizeFieldName(std::string(reinterpret_cast<const char*>(d), name_length));
    f.type = static_cast<char>(d[11]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 32);
    f.length = d[16];
    f.decimals = d[17];
    f.offset = offset;
    offset += f.length;
    if (f.name.empty() || f.length == 0 || offset > h.record_length) UnreadableDescriptors(path);
    h.fields.push_back(std::move(f));
  }
  if (h.fields.empty()) NotDbase(path, " (Number of fields is out of range) [Use/OpenDbf]");
  return h;
}

std::vector<uint8_t> BuildDbfHeader(const std::vector<DbfField>& fields, int record_length,
                                    bool production_index) {
  const int header_length =
      dbf::kPrologSize + dbf::kDescriptorSize * static_cast<int>(fields.size()) + 1;
  std::vector<uint8_t> header(static_cast<size_t>(header_length), 0);
  header[dbf::kVersionOffset] = dbf::kVersion;
  PutU16(header.data() + dbf::kHeaderLengthOffset, static_cast<uint16_t>(header_length));
  PutU16(header.data() + dbf::kRecordLengthOffset, static_cast<uint16_t>(record_length));
  header[dbf::kProductionIndexOffset] = production_index ? 1 : 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* d = header.data() + dbf::kPrologSize + i * dbf::kDescriptorSize;
    const DbfField& f = fields[i];
    std::memcpy(d, f.name.data(), std::min<size_t>(f.name.size(), kMaxFieldNameLength));
    d[11] = static_cast<uint8_t>(f.type);
    d[16] = static_cast<uint8_t>(f.length);
    d[17] = static_cast<uint8_t>(f.type == 'N' || f.type == 'F' ? f.decimals : 0);
  }
  header[static_cast<size_t>(header_length - 1)] = dbf::kHeaderTerminator;
  return header;
}

void SetPrologDate(uint8_t* prolog) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  prolog[dbf::kDateOffset] = static_cast<uint8_t>(local.tm_year);
  prolog[dbf::kDateOffset + 1] = static_cast<uint8_t>(local.tm_mon + 1);
  prolog[dbf::kDateOffset + 2] = static_cast<uint8_t>(local.tm_mday);
}

void ReadRecordBlock(TableFile& file, const std::string& path, int header_length, int record_length,
                     int64_t first, int64_t n, std::vector<uint8_t>& block,
                     const std::string& failure_message) {
  block.resize(static_cast<size_t>(n) * static_cast<size_t>(record_length));
  const int64_t offset = header_length + (first - 1) * static_cast<int64_t>(record_length);
  int64_t got = file.ReadAt(offset, block.data(), block.size());
  if (got == static_cast<int64_t>(block.size())) return;
  RaiseTableError(
      got < 0 ? TableErrorCodeFromErrno(static_cast<int>(-got), path, table_error::kDiskRead)
              : table_error::kUnexpectedEof,
      failure_message);
}

int64_t WholeRecords(int64_t file_size, int header_length, int record_length) {
  if (record_length <= 0 || file_size <= header_length) return 0;
  return (file_size - header_length) / record_length;
}

}  // namespace melodrift
