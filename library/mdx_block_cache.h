// Write-back cache of the 1024-byte blocks of one index file.
//
// Blocks stay at the same address while they are cached, so callers may hold a Block* during
// one operation. EvictCleanIfLarge() is the only call that drops blocks: call it between
// operations, never while pointers to blocks are held. Nothing is written before the owner
// asks for the dirty blocks (DirtyBlocks) and marks them clean.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "library/mdx_layout.h"
#include "library/table_file.h"

namespace melodrift::mdx {

struct Block {
  std::array<uint8_t, kBlockSize> data{};
  uint32_t page = 0;
  bool dirty = false;
  int checked_for_tag = -1;  // the tag whose node checks this block passed, -1 none yet
};

class BlockCache {
 public:
  static constexpr size_t kCleanLimitBytes = size_t{64} << 20;

  explicit BlockCache(TableFile* file) : file_(file) {}

  Block* Find(uint32_t page) {
    auto it = blocks_.find(page);
    return it == blocks_.end() ? nullptr : it->second.get();
  }
  // Reads the block from the file. Throws MdxDamaged when it cannot be read in full.
  Block* Load(uint32_t page);
  // A zero-filled dirty block, replacing any cached copy.
  Block* Create(uint32_t page);
  void MarkDirty(Block* block) {
    if (block->dirty) return;
    block->dirty = true;
    dirty_.push_back(block->page);
  }
  // Dirty blocks by ascending page.
  std::vector<Block*> DirtyBlocks();
  void MarkAllClean();
  bool HasDirty() const { return !dirty_.empty(); }
  void DropAll();
  void EvictCleanIfLarge();

 private:
  TableFile* file_;
  std::unordered_map<uint32_t, std::unique_ptr<Block>> blocks_;
  std::vector<uint32_t> dirty_;
};

}  // namespace melodrift::mdx
