#include "library/mdx_block_cache.h"

#include <algorithm>
#include <string>

#include "library/mdx_index.h"

namespace melodrift::mdx {

Block* BlockCache::Load(uint32_t page) {
  auto block = std::make_unique<Block>();
  block->page = page;
  int64_t got =
      file_->ReadAt(static_cast<int64_t>(page) * kPageSize, block->data.data(), kBlockSize);
  if (got != static_cast<int64_t>(kBlockSize))
    throw MdxDamaged("block at page " + std::to_string(page) + " cannot be read");
  Block* raw = block.get();
  blocks_[page] = std::move(block);
  return raw;
}

Block* BlockCache::Create(uint32_t page) {
  auto& slot = blocks_[page];
  if (!slot) {
    slot = std::make_unique<Block>();
    slot->page = page;
  } else {
    slot->data.fill(0);
  }
  slot->checked_for_tag = -1;
  MarkDirty(slot.get());
  return slot.get();
}

std::vector<Block*> BlockCache::DirtyBlocks() {
  std::sort(dirty_.begin(), dirty_.end());
  std::vector<Block*> out;
  out.reserve(dirty_.size());
  for (uint32_t page : dirty_) out.push_back(blocks_.at(page).get());
  return out;
}

void BlockCache::MarkAllClean() {
  for (uint32_t page : dirty_) blocks_.at(page)->dirty = false;
  dirty_.clear();
}

void BlockCache::DropAll() {
  blocks_.clear();
  dirty_.clear();
}

void BlockCache::EvictCleanIfLarge() {
  if (blocks_.size() * sizeof(Block) <= kCleanLimitBytes) return;
  for (auto it = blocks_.begin(); it != blocks_.end();) {
    if (it->second->dirty)
      ++it;
    else
      it = blocks_.erase(it);
  }
}

}  // namespace melodrift::mdx
