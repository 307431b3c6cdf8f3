#include "library/mdx_key_sort.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "library/byte_order.h"
#include "library/mdx_layout.h"
#include "library/mdx_numeric_key.h"

namespace melodrift::mdx {

namespace {

constexpr uint32_t kProgressSteps = 100;
constexpr size_t kMaxReservedRecords = size_t{1} << 20;

// A numeric key's value order packed into two integers, so the sort compares integers.
struct NumericItem {
  uint64_t high;
  uint64_t low;
  uint32_t recno;
  uint32_t slot;
};

uint64_t BigEndian(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void SortNumeric(const MdxTagDef& tag, SortedKeys& sorted) {
  size_t count = sorted.recnos.size();
  std::vector<NumericItem> items(count);
  for (size_t i = 0; i < count; ++i) {
    uint8_t form[kNumericSortKeyLength];
    NumericSortKey(sorted.KeyAt(static_cast<uint32_t>(i)), form);
    uint64_t high = BigEndian(form, 8);
    uint64_t low = BigEndian(form + 8, kNumericSortKeyLength - 8);
    if (tag.descending) {  // reverse the keys, keep equal keys in record order
      high = ~high;
      low = ~low;
    }
    items[i] = {high, low, sorted.recnos[i], static_cast<uint32_t>(i)};
  }
  auto less = [](const NumericItem& a, const NumericItem& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return a.recno < b.recno;
  };
  // Tables are usually appended in key order; skip the sort then.
  if (!std::is_sorted(items.begin(), items.end(), less))
    std::sort(items.begin(), items.end(), less);
  sorted.order.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (tag.unique && i > 0 && items[i].high == items[i - 1].high &&
        items[i].low == items[i - 1].low)
      continue;
    sorted.order.push_back(items[i].slot);
  }
}

void SortCharacter(const MdxTagDef& tag, SortedKeys& sorted) {
  size_t count = sorted.recnos.size();
  std::vector<uint32_t> slots(count);
  for (size_t i = 0; i < count; ++i) slots[i] = static_cast<uint32_t>(i);
  const size_t length = sorted.key_length;
  const bool descending = tag.descending;
  auto less = [&](uint32_t a, uint32_t b) {
    int c = std::memcmp(sorted.KeyAt(a), sorted.KeyAt(b), length);
    if (c != 0) return descending ? c > 0 : c < 0;
    return sorted.recnos[a] < sorted.recnos[b];
  };
  if (!std::is_sorted(slots.begin(), slots.end(), less))
    std::sort(slots.begin(), slots.end(), less);
  sorted.order.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (tag.unique && i > 0 &&
        std::memcmp(sorted.KeyAt(slots[i]), sorted.KeyAt(slots[i - 1]), length) == 0)
      continue;
    sorted.order.push_back(slots[i]);
  }
}

}  // namespace

void KeyOfRecordTo(const MdxTagDef& tag, const uint8_t* record, uint8_t* out) {
  const uint8_t* field = record + tag.field_offset;
  if (tag.key_type == MdxKeyType::kNumeric) {
    EncodeNumericKeyTo(std::string_view(reinterpret_cast<const char*>(field),
                                        static_cast<size_t>(tag.field_length)),
                       out);
  } else {
    std::memcpy(out, field, static_cast<size_t>(tag.KeyLength()));
  }
}

std::vector<SortedKeys> CollectSortedKeys(const std::vector<MdxTagDef>& tags, uint32_t record_count,
                                          const MdxRecordScan& scan,
                                          const std::function<void()>& step) {
  std::vector<SortedKeys> sorted(tags.size());
  // The count comes from a table header, which may be damaged (a scan past the records ends
  // in a fatal error): room is made ahead for at most a million records, more grow it.
  const size_t reserved = std::min<size_t>(record_count, kMaxReservedRecords);
  for (size_t t = 0; t < tags.size(); ++t) {
    sorted[t].key_length = static_cast<uint32_t>(tags[t].KeyLength());
    sorted[t].keys.reserve(reserved * sorted[t].key_length);
    sorted[t].recnos.reserve(reserved);
  }
  const uint32_t interval =
      std::max<uint32_t>(1, (record_count + kProgressSteps - 1) / kProgressSteps);
  uint32_t until_step = interval;
  scan([&](uint32_t recno, const uint8_t* record) {
    for (size_t t = 0; t < tags.size(); ++t) {
      SortedKeys& s = sorted[t];
      size_t at = s.keys.size();
      s.keys.resize(at + s.key_length);
      KeyOfRecordTo(tags[t], record, s.keys.data() + at);
      s.recnos.push_back(recno);
    }
    if (--until_step == 0) {
      until_step = interval;
      if (step) step();
    }
  });
  for (size_t t = 0; t < tags.size(); ++t) {
    if (tags[t].key_type == MdxKeyType::kNumeric)
      SortNumeric(tags[t], sorted[t]);
    else
      SortCharacter(tags[t], sorted[t]);
  }
  return sorted;
}

}  // namespace melodrift::mdx
