// The keys of a fresh build: one per record, collected in one scan of the table and sorted
// in each tag's order (equal keys by ascending record number; a unique tag keeps the first).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "library/mdx_index.h"

namespace melodrift::mdx {

struct SortedKeys {
  uint32_t key_length = 0;
  std::vector<uint8_t> keys;     // key_length bytes per collected record
  std::vector<uint32_t> recnos;  // record number per collected record
  std::vector<uint32_t> order;   // indexes into keys/recnos, in the tag's order

  const uint8_t* KeyAt(uint32_t slot) const { return keys.data() + size_t{slot} * key_length; }
};

// Writes the key of `tag` for the record bytes into out[tag.KeyLength()].
void KeyOfRecordTo(const MdxTagDef& tag, const uint8_t* record, uint8_t* out);

// One SortedKeys per tag. Calls step() every ceil(record_count / 100) records.
std::vector<SortedKeys> CollectSortedKeys(const std::vector<MdxTagDef>& tags, uint32_t record_count,
                                          const MdxRecordScan& scan,
                                          const std::function<void()>& step);

}  // namespace melodrift::mdx
