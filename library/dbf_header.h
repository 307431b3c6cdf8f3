// The header of a dBase III table file: the 32-byte prolog, one 32-byte descriptor per field,
// and the 0x0D terminator.
//
//   offset  size  prolog
//   0       1     version (0x03)
//   1       3     date of the last header write: year - 1900, month, day
//   4       4     number of records, deleted ones included
//   8       2     header length: 32 x fields + 33
//   10      2     record length: 1 + sum of the field lengths
//   28      1     production index flag
//
//   offset  size  descriptor
//   0       11    name, upper case, zero-filled
//   11      1     type letter
//   16      1     length
//   17      1     decimals
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/dbf_field.h"
#include "library/table_file.h"

namespace melodrift {

namespace dbf {
inline constexpr int kPrologSize = 32;
inline constexpr int kDescriptorSize = 32;
inline constexpr uint8_t kVersion = 0x03;
inline constexpr uint8_t kHeaderTerminator = 0x0D;
inline constexpr uint8_t kEndOfFile = 0x1A;
inline constexpr int kVersionOffset = 0;
inline constexpr int kDateOffset = 1;
inline constexpr int kRecordCountOffset = 4;
inline constexpr int kHeaderLengthOffset = 8;
inline constexpr int kRecordLengthOffset = 10;
inline constexpr int kPreservedOffset = 16;  // bytes 16-27 are re-read before a header write
inline constexpr int kPreservedSize = 12;
inline constexpr int kProductionIndexOffset = 28;
}  // namespace dbf

struct DbfHeader {
  uint8_t prolog[dbf::kPrologSize] = {};
  int header_length = 0;
  int record_length = 0;
  uint32_t stored_record_count = 0;  // bytes 4-7
  std::vector<DbfField> fields;
};

// Reads and checks the header of an open table file. Bad headers are fatal table errors
// (210 for a file that is not a dBase table, 100 for unreadable descriptors).
DbfHeader ReadDbfHeader(TableFile& file, const std::string& path);

// Header bytes for a new table (prolog without date and count, descriptors, terminator).
std::vector<uint8_t> BuildDbfHeader(const std::vector<DbfField>& fields, int record_length,
                                    bool production_index);

// Sets prolog bytes 1-3 to today's local date.
void SetPrologDate(uint8_t* prolog);

// Reads `n` whole records from record `first` on into `block` (resized to fit). A short read
// is a fatal table error with `failure_message`: 213, or the system's code.
void ReadRecordBlock(TableFile& file, const std::string& path, int header_length, int record_length,
                     int64_t first, int64_t n, std::vector<uint8_t>& block,
                     const std::string& failure_message);

// Whole records present in a file of `file_size` bytes.
int64_t WholeRecords(int64_t file_size, int header_length, int record_length);

}  // namespace melodrift
