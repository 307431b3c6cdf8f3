// Formatting of index files: the file header with its tag table, the tag header blocks, and
// the image of a fresh build (trees packed full, leaves first, parents level by level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/mdx_index.h"
#include "library/mdx_key_sort.h"
#include "library/mdx_layout.h"

namespace melodrift::mdx {

// Where a tag lives in the file, and what its header block records about the tree.
struct TagLayout {
  uint32_t header_page = 0;
  uint32_t root = 0;
  uint32_t first_leaf = 0;
  uint32_t last_leaf = 0;
  uint32_t node_pages = 0;  // 2 per node block
  uint32_t key_count = 0;
};

NodeShape ShapeOf(const MdxTagDef& tag);

// A new tag header block (1024 bytes) with today's date.
void FormatTagHeader(const MdxTagDef& tag, const TagLayout& layout, uint8_t* block);
// The tree fields of a tag header block: root, node pages, "has keys", first and last leaf.
void UpdateTagHeader(const TagLayout& layout, uint8_t* block);

// A new file header and tag table (2048 bytes), bookkeeping included and marked consistent.
void FormatFileHeader(const std::string& table_name, const std::vector<MdxTagDef>& tags,
                      const std::vector<TagLayout>& layouts, uint32_t page_count, uint8_t* header);
// Page count, free list, signature, key counts and consistent mark of a header.
void PutBookkeeping(const std::vector<TagLayout>& layouts, uint32_t page_count, uint32_t free_head,
                    bool consistent, uint8_t* header);
// The tag table's header page of tag i.
void PutTagHeaderPage(size_t tag, uint32_t page, uint8_t* header);

// The whole file of a fresh build. Fills *layouts (one per tag).
std::vector<uint8_t> FormatFreshImage(const std::string& table_name,
                                      const std::vector<MdxTagDef>& tags,
                                      const std::vector<SortedKeys>& sorted,
                                      std::vector<TagLayout>* layouts);

}  // namespace melodrift::mdx
