// The state behind MdxIndex: the file, its header, the tags and the block cache, with the
// tree operations (search, insert, remove) on 1024-byte node blocks.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library/mdx_block_cache.h"
#include "library/mdx_index.h"
#include "library/mdx_layout.h"
#include "library/mdx_writer.h"
#include "library/table_file.h"

namespace melodrift::mdx {

struct TagState {
  MdxTagDef def;
  NodeShape shape;
  int index = 0;
  TagLayout layout;
  std::array<uint8_t, kBlockSize> header_block{};
  bool header_dirty = false;
};

// One step of a path from the root: the node and the child slot (interior) or entry (leaf).
struct PathStep {
  uint32_t page = 0;
  uint32_t index = 0;
};
using Path = std::vector<PathStep>;

class IndexState {
 public:
  IndexState(std::string path, std::unique_ptr<TableFile> file);

  // Set up by Open and Build.
  std::string path;
  std::unique_ptr<TableFile> file;
  std::array<uint8_t, kHeaderSize> header{};
  std::vector<MdxTagDef> defs;
  std::vector<TagState> tags;
  BlockCache cache;
  uint32_t page_count = 0;
  uint32_t free_head = 0;
  uint32_t record_count = 0;
  bool disk_consistent = true;  // the consistent mark as it is on disk
  bool header_dirty = false;
  bool truncate_pending = false;
  bool damaged = false;       // MdxDamaged was thrown: never write again
  bool write_failed = false;  // a flush failed: the destructor does not retry

  // Node of a tag, read and checked once. Throws MdxDamaged.
  const uint8_t* Node(const TagState& t, uint32_t page);
  uint8_t* MutableNode(const TagState& t, uint32_t page);
  void CheckNodePage(uint32_t page) const;

  int Compare(const TagState& t, const uint8_t* a, const uint8_t* b) const;
  // Index of the first of a node's n entries whose key is not less than key (n when none).
  uint32_t FirstNotLess(const TagState& t, const uint8_t* node, uint32_t n,
                        const uint8_t* key) const;

  // Path to the first entry not less than key; the leaf index may be past its end.
  void DescendLowerBound(const TagState& t, const uint8_t* key, Path& path);
  // Path to the first entry not less than (key, recno).
  void DescendPair(const TagState& t, const uint8_t* key, uint32_t recno, Path& path);
  void DescendEdge(const TagState& t, bool rightmost, Path& path);
  // Moves a path to the first entry of the next non-empty leaf / the last entry of the
  // previous one. False (path unchanged) when there is none.
  bool NextLeaf(const TagState& t, Path& path);
  bool PriorLeaf(const TagState& t, Path& path);
  // If the leaf index is past the end of its leaf, moves on to the next entry.
  bool Settle(const TagState& t, Path& path);

  void InsertKey(TagState& t, const uint8_t* key, uint32_t recno);
  bool RemoveKey(TagState& t, const uint8_t* key, uint32_t recno);
  void ResetToEmpty();

  void Flush();

 private:
  uint32_t LastRecNo(const TagState& t, uint32_t page, size_t depth);
  void InsertIntoNode(TagState& t, Path& path, size_t level, uint32_t pos, const uint8_t* entry,
                      uint32_t right_child);
  void FixSeparatorsAbove(const TagState& t, const Path& path, size_t level, const uint8_t* key);
  void RemoveChild(TagState& t, Path& path, size_t level);
  void CollapseRoot(TagState& t);
  uint32_t AllocateBlock(TagState& t);
  void FreeBlock(TagState& t, uint32_t page);
  void RefreshLeafEnds(TagState& t);
  void WriteOrDie(int64_t offset, const void* data, size_t n);

  std::vector<uint8_t> scratch_;
  std::vector<uint8_t> staging_;
};

}  // namespace melodrift::mdx
