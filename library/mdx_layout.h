// Byte layout of a production index file (.mdx): offsets, magic values and small accessors
// for the 1024-byte node blocks. Pointers inside the file are 512-byte page numbers.
//
//   pages 0-3   file header (bytes 0-543) and tag table (32-byte entries from byte 544)
//   pages 4...  1024-byte blocks: tag headers, tree nodes, free blocks
//
// A node block:  u32 n | u32 unused (free-list link) | n entries | u32 leaf marker / rightmost
// child. An entry is u32 (record number in a leaf, child page in an interior node) then the key,
// zero-padded to the entry length. The u32 after the last entry is 0 in a leaf.
#pragma once

#include <cstdint>
#include <string>

#include "library/byte_order.h"

namespace melodrift::mdx {

inline constexpr uint32_t kPageSize = 512;
inline constexpr uint32_t kBlockSize = 1024;
inline constexpr uint32_t kBlockPages = kBlockSize / kPageSize;
inline constexpr uint32_t kHeaderSize = 2048;
inline constexpr uint32_t kHeaderPages = kHeaderSize / kPageSize;
inline constexpr int kMaxTags = 47;   // tag table entries that fit between 544 and 2048
inline constexpr int kMaxDepth = 64;  // deeper trees are damaged (a loop in the pointers)

// File header.
inline constexpr int kHdrVersion = 0;
inline constexpr int kHdrCreated = 1;  // year - 1900, month, day
inline constexpr int kHdrTableName = 4;
inline constexpr int kTableNameLength = 16;
inline constexpr int kHdrBlockPages = 20;
inline constexpr int kHdrBlockBytes = 22;
inline constexpr int kHdrProductionFlag = 24;
inline constexpr int kHdrTagSlots = 25;
inline constexpr int kHdrTagEntryLength = 26;
inline constexpr int kHdrTagsInUse = 28;
inline constexpr int kHdrTagsPlusOne = 30;
inline constexpr int kHdrByte31 = 31;
inline constexpr int kHdrPageCount = 32;
inline constexpr int kHdrFreeList = 36;
inline constexpr int kHdrRebuilt = 44;
// Our own bookkeeping, in header bytes 48-543 that other readers ignore.
inline constexpr int kHdrSignature = 48;
inline constexpr char kSignature[4] = {'M', 'L', 'D', 'X'};
inline constexpr int kHdrConsistent = 52;  // 1 after a complete flush, 0 while one is under way
inline constexpr int kHdrKeyCounts = 56;   // u32 per tag

inline constexpr uint8_t kVersion = 2;
inline constexpr uint8_t kTagSlots = 48;
inline constexpr uint8_t kTagEntryLength = 32;
inline constexpr uint8_t kReferenceWriterByte = 0x1B;

// Tag table entry.
inline constexpr int kTagTable = 544;
inline constexpr int kTeHeaderPage = 0;
inline constexpr int kTeName = 4;
inline constexpr int kTagNameField = 11;
inline constexpr int kMaxTagName = 10;
inline constexpr int kTeKeyFormat = 15;
inline constexpr int kTeLessThread = 16;
inline constexpr int kTeGreaterThread = 17;
inline constexpr int kTeParentThread = 18;
inline constexpr int kTeByte19 = 19;
inline constexpr int kTeKeyType = 20;
inline constexpr uint8_t kTeByte19Value = 0x02;

// Tag header block.
inline constexpr int kThRoot = 0;
inline constexpr int kThNodePages = 4;
inline constexpr int kThFlags = 8;
inline constexpr int kThKeyType = 9;
inline constexpr int kThByte11 = 11;
inline constexpr int kThKeyLength = 12;
inline constexpr int kThMaxEntries = 14;
inline constexpr int kThSecondaryType = 16;
inline constexpr int kThEntryLength = 18;
inline constexpr int kThChangeCounter = 20;
inline constexpr int kThUnique = 23;
inline constexpr int kThExpression = 24;
inline constexpr int kExpressionField = 221;  // at most 220 characters and a zero
inline constexpr int kThHasKeys = 246;
inline constexpr int kThFirstLeaf = 248;
inline constexpr int kThLastLeaf = 252;
inline constexpr int kThCreated = 257;
inline constexpr int kThSingleField = 480;

inline constexpr uint8_t kFlagField = 0x10;
inline constexpr uint8_t kFlagDescending = 0x08;
inline constexpr uint8_t kFlagUnique = 0x40;

inline constexpr int kMaxCharKeyLength = 100;
inline constexpr int kNumericKeyLength = 12;

// Node block.
inline constexpr uint32_t kNodeEntries = 8;
inline constexpr uint32_t kNodeUsable = kBlockSize - 12;  // room for entries and the marker
inline constexpr int kFreeLink = 4;

inline constexpr uint32_t EntryLengthFor(uint32_t key_length) {
  return (key_length + 4 + 3) / 4 * 4;
}
inline constexpr uint32_t MaxEntriesFor(uint32_t entry_length) {
  return kNodeUsable / entry_length;
}

// Geometry of one tag's nodes.
struct NodeShape {
  uint32_t key_length = 0;
  uint32_t entry_length = 0;
  uint32_t max_entries = 0;
};

inline uint32_t NodeCount(const uint8_t* node) {
  return GetU32(node);
}
inline uint8_t* EntryAt(uint8_t* node, const NodeShape& s, uint32_t j) {
  return node + kNodeEntries + j * s.entry_length;
}
inline const uint8_t* EntryAt(const uint8_t* node, const NodeShape& s, uint32_t j) {
  return node + kNodeEntries + j * s.entry_length;
}
// Record number (leaf) or child page (interior); slot n is the leaf marker / rightmost child.
inline uint32_t EntryPointer(const uint8_t* node, const NodeShape& s, uint32_t j) {
  return GetU32(EntryAt(node, s, j));
}
inline const uint8_t* EntryKey(const uint8_t* node, const NodeShape& s, uint32_t j) {
  return EntryAt(node, s, j) + 4;
}
// Only meaningful once NodeCount(node) <= s.max_entries has been checked.
inline bool IsLeaf(const uint8_t* node, const NodeShape& s) {
  return EntryPointer(node, s, NodeCount(node)) == 0;
}

// Today's local date as year - 1900, month, day.
void PutToday(uint8_t* p);

}  // namespace melodrift::mdx
