#include "library/mdx_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "library/byte_order.h"

namespace melodrift::mdx {

namespace {

// Number of node blocks per level, leaves first, for `entries` keys.
std::vector<uint32_t> LevelSizes(size_t entries, const NodeShape& shape) {
  std::vector<uint32_t> sizes;
  uint32_t m = static_cast<uint32_t>(
      std::max<size_t>(1, (entries + shape.max_entries - 1) / shape.max_entries));
  sizes.push_back(m);
  while (m > 1) {
    m = (m + shape.max_entries) / (shape.max_entries + 1);
    sizes.push_back(m);
  }
  return sizes;
}

struct BuiltNode {
  uint32_t page;
  uint32_t last_slot;  // slot of the last key in the node's subtree
};

// Hangs each tag into a binary search tree by name, in table order (bytes 16-18).
void PutThreads(const std::vector<MdxTagDef>& tags, uint8_t* header) {
  auto entry = [&](size_t i) { return header + kTagTable + kTagEntryLength * i; };
  for (size_t i = 1; i < tags.size(); ++i) {
    size_t node = 0;
    for (;;) {
      bool less = tags[i].name.substr(0, kMaxTagName) < tags[node].name.substr(0, kMaxTagName);
      uint8_t* link = entry(node) + (less ? kTeLessThread : kTeGreaterThread);
      if (*link == 0) {
        *link = static_cast<uint8_t>(i + 1);
        entry(i)[kTeParentThread] = static_cast<uint8_t>(node + 1);
        break;
      }
      node = *link - 1u;
    }
  }
}

}  // namespace

NodeShape ShapeOf(const MdxTagDef& tag) {
  NodeShape s;
  s.key_length = static_cast<uint32_t>(tag.KeyLength());
  s.entry_length = EntryLengthFor(s.key_length);
  s.max_entries = MaxEntriesFor(s.entry_length);
  return s;
}

void FormatTagHeader(const MdxTagDef& tag, const TagLayout& layout, uint8_t* block) {
  std::memset(block, 0, kBlockSize);
  NodeShape shape = ShapeOf(tag);
  block[kThFlags] = static_cast<uint8_t>(kFlagField | (tag.descending ? kFlagDescending : 0) |
                                         (tag.unique ? kFlagUnique : 0));
  block[kThKeyType] = static_cast<uint8_t>(tag.key_type);
  block[kThByte11] = kReferenceWriterByte;
  PutU16(block + kThKeyLength, static_cast<uint16_t>(shape.key_length));
  PutU16(block + kThMaxEntries, static_cast<uint16_t>(shape.max_entries));
  PutU16(block + kThEntryLength, static_cast<uint16_t>(shape.entry_length));
  block[kThChangeCounter] = 1;
  block[kThUnique] = tag.unique ? 1 : 0;
  // Upper case: other readers look the field name up case-sensitively.
  std::string expression = tag.expression.substr(0, kExpressionField - 1);
  for (size_t i = 0; i < expression.size(); ++i)
    block[kThExpression + i] =
        static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(expression[i])));
  PutToday(block + kThCreated);
  block[kThSingleField] = 1;
  UpdateTagHeader(layout, block);
}

void UpdateTagHeader(const TagLayout& layout, uint8_t* block) {
  PutU32(block + kThRoot, layout.root);
  PutU32(block + kThNodePages, layout.node_pages);
  block[kThHasKeys] = layout.key_count > 0 ? 1 : 0;
  PutU32(block + kThFirstLeaf, layout.first_leaf);
  PutU32(block + kThLastLeaf, layout.last_leaf);
}

void PutTagHeaderPage(size_t tag, uint32_t page, uint8_t* header) {
  PutU32(header + kTagTable + kTagEntryLength * tag + kTeHeaderPage, page);
}

void PutBookkeeping(const std::vector<TagLayout>& layouts, uint32_t page_count, uint32_t free_head,
                    bool consistent, uint8_t* header) {
  PutU32(header + kHdrPageCount, page_count);
  PutU32(header + kHdrFreeList, free_head);
  std::memcpy(header + kHdrSignature, kSignature, sizeof kSignature);
  header[kHdrConsistent] = consistent ? 1 : 0;
  for (size_t i = 0; i < layouts.size(); ++i)
    PutU32(header + kHdrKeyCounts + 4 * i, layouts[i].key_count);
}

void FormatFileHeader(const std::string& table_name, const std::vector<MdxTagDef>& tags,
                      const std::vector<TagLayout>& layouts, uint32_t page_count, uint8_t* header) {
  std::memset(header, 0, kHeaderSize);
  header[kHdrVersion] = kVersion;
  PutToday(header + kHdrCreated);
  std::memcpy(header + kHdrTableName, table_name.data(),
              std::min<size_t>(table_name.size(), kTableNameLength));
  PutU16(header + kHdrBlockPages, kBlockPages);
  PutU16(header + kHdrBlockBytes, kBlockSize);
  header[kHdrProductionFlag] = 1;
  header[kHdrTagSlots] = kTagSlots;
  header[kHdrTagEntryLength] = kTagEntryLength;
  PutU16(header + kHdrTagsInUse, static_cast<uint16_t>(tags.size()));
  header[kHdrTagsPlusOne] = static_cast<uint8_t>(tags.size() + 1);
  header[kHdrByte31] = kReferenceWriterByte;
  PutToday(header + kHdrRebuilt);
  for (size_t i = 0; i < tags.size(); ++i) {
    uint8_t* entry = header + kTagTable + kTagEntryLength * i;
    PutTagHeaderPage(i, layouts[i].header_page, header);
    std::string name = tags[i].name.substr(0, kMaxTagName);
    std::memcpy(entry + kTeName, name.data(), name.size());
    entry[kTeKeyFormat] = kFlagField;
    entry[kTeByte19] = kTeByte19Value;
    entry[kTeKeyType] = static_cast<uint8_t>(tags[i].key_type);
  }
  PutThreads(tags, header);
  PutBookkeeping(layouts, page_count, 0, true, header);
}

std::vector<uint8_t> FormatFreshImage(const std::string& table_name,
                                      const std::vector<MdxTagDef>& tags,
                                      const std::vector<SortedKeys>& sorted,
                                      std::vector<TagLayout>* layouts) {
  std::vector<NodeShape> shapes;
  std::vector<std::vector<uint32_t>> levels;
  uint64_t pages = kHeaderPages;
  for (size_t t = 0; t < tags.size(); ++t) {
    shapes.push_back(ShapeOf(tags[t]));
    levels.push_back(LevelSizes(sorted[t].order.size(), shapes.back()));
    pages += kBlockPages;
    for (uint32_t m : levels.back()) pages += uint64_t{m} * kBlockPages;
  }
  std::vector<uint8_t> image(pages * kPageSize, 0);
  layouts->assign(tags.size(), TagLayout{});

  uint32_t next_page = kHeaderPages;
  auto block_at = [&](uint32_t page) { return image.data() + size_t{page} * kPageSize; };
  for (size_t t = 0; t < tags.size(); ++t) {
    const NodeShape& shape = shapes[t];
    const SortedKeys& keys = sorted[t];
    TagLayout& layout = (*layouts)[t];
    layout.header_page = next_page;
    next_page += kBlockPages;

    // Leaves, packed full.
    std::vector<BuiltNode> level;
    const size_t entries = keys.order.size();
    for (uint32_t leaf = 0; leaf < levels[t][0]; ++leaf) {
      uint8_t* node = block_at(next_page);
      size_t begin = size_t{leaf} * shape.max_entries;
      size_t end = std::min(entries, begin + shape.max_entries);
      PutU32(node, static_cast<uint32_t>(end - begin));
      for (size_t i = begin; i < end; ++i) {
        uint8_t* entry = EntryAt(node, shape, static_cast<uint32_t>(i - begin));
        uint32_t slot = keys.order[i];
        PutU32(entry, keys.recnos[slot]);
        std::memcpy(entry + 4, keys.KeyAt(slot), shape.key_length);
      }
      level.push_back({next_page, end > begin ? keys.order[end - 1] : 0});
      next_page += kBlockPages;
    }
    layout.first_leaf = level.front().page;
    layout.last_leaf = level.back().page;

    // Parents of at most max + 1 children, spread evenly so that none has a single child.
    while (level.size() > 1) {
      size_t m = level.size();
      size_t parents = (m + shape.max_entries) / (shape.max_entries + 1);
      size_t base = m / parents;
      size_t extra = m % parents;
      std::vector<BuiltNode> upper;
      size_t child = 0;
      for (size_t p = 0; p < parents; ++p) {
        size_t children = base + (p < extra ? 1 : 0);
        uint8_t* node = block_at(next_page);
        PutU32(node, static_cast<uint32_t>(children - 1));
        for (size_t j = 0; j < children; ++j) {
          const BuiltNode& c = level[child + j];
          uint8_t* entry = EntryAt(node, shape, static_cast<uint32_t>(j));
          PutU32(entry, c.page);
          if (j + 1 < children) std::memcpy(entry + 4, keys.KeyAt(c.last_slot), shape.key_length);
        }
        upper.push_back({next_page, level[child + children - 1].last_slot});
        child += children;
        next_page += kBlockPages;
      }
      level = std::move(upper);
    }
    layout.root = level.front().page;
    layout.key_count = static_cast<uint32_t>(entries);
    layout.node_pages = next_page - layout.header_page - kBlockPages;
    FormatTagHeader(tags[t], layout, block_at(layout.header_page));
  }
  FormatFileHeader(table_name, tags, *layouts, next_page, image.data());
  return image;
}

}  // namespace melodrift::mdx
