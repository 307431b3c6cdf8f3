#include <algorithm>
#include <cstring>

#include "library/byte_order.h"
#include "library/mdx_index_impl.h"
#include "library/table_error.h"

namespace melodrift::mdx {

namespace {

constexpr size_t kMaxEntryLength = EntryLengthFor(kMaxCharKeyLength);
// An expanded node: one entry more than fits, and the rightmost pointer.
constexpr size_t kScratchSize = kNodeEntries + (kNodeUsable / 4 + 2) * kMaxEntryLength + 4;
constexpr size_t kMaxWriteRun = size_t{4} << 20;

[[noreturn]] void Damaged(const std::string& what) {
  throw MdxDamaged(what);
}

}  // namespace

IndexState::IndexState(std::string p, std::unique_ptr<TableFile> f)
    : path(std::move(p)), file(std::move(f)), cache(file.get()), scratch_(kScratchSize) {}

void IndexState::CheckNodePage(uint32_t page) const {
  if (page < kHeaderPages || page % kBlockPages != 0 ||
      uint64_t{page} + kBlockPages > uint64_t{page_count})
    Damaged("node page " + std::to_string(page) + " lies outside the file");
  for (const TagState& t : tags)
    if (t.layout.header_page == page)
      Damaged("node page " + std::to_string(page) + " is a tag header");
}

const uint8_t* IndexState::Node(const TagState& t, uint32_t page) {
  Block* block = cache.Find(page);
  if (block == nullptr) {
    CheckNodePage(page);
    block = cache.Load(page);
  }
  if (block->checked_for_tag != t.index) {
    const uint8_t* b = block->data.data();
    uint32_t n = NodeCount(b);
    if (n > t.shape.max_entries)
      Damaged("node at page " + std::to_string(page) + " holds " + std::to_string(n) + " entries");
    if (IsLeaf(b, t.shape)) {
      for (uint32_t j = 0; j < n; ++j) {
        uint32_t recno = EntryPointer(b, t.shape, j);
        if (recno < 1 || recno > record_count)
          Damaged("leaf at page " + std::to_string(page) + " names record " +
                  std::to_string(recno));
      }
    } else {
      for (uint32_t j = 0; j <= n; ++j) CheckNodePage(EntryPointer(b, t.shape, j));
    }
    block->checked_for_tag = t.index;
  }
  return block->data.data();
}

uint8_t* IndexState::MutableNode(const TagState& t, uint32_t page) {
  Node(t, page);
  Block* block = cache.Find(page);
  cache.MarkDirty(block);
  return block->data.data();
}

int IndexState::Compare(const TagState& t, const uint8_t* a, const uint8_t* b) const {
  int c = t.def.key_type == MdxKeyType::kNumeric ? CompareNumericKeys(a, b)
                                                 : std::memcmp(a, b, t.shape.key_length);
  return t.def.descending ? -c : c;
}

uint32_t IndexState::FirstNotLess(const TagState& t, const uint8_t* node, uint32_t n,
                                  const uint8_t* key) const {
  uint32_t lo = 0, hi = n;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (Compare(t, EntryKey(node, t.shape, mid), key) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

void IndexState::DescendLowerBound(const TagState& t, const uint8_t* key, Path& path) {
  path.clear();
  uint32_t page = t.layout.root;
  for (;;) {
    if (path.size() >= kMaxDepth) Damaged("tree deeper than " + std::to_string(kMaxDepth));
    const uint8_t* node = Node(t, page);
    uint32_t lo = FirstNotLess(t, node, NodeCount(node), key);
    path.push_back({page, lo});
    if (IsLeaf(node, t.shape)) return;
    page = EntryPointer(node, t.shape, lo);
  }
}

uint32_t IndexState::LastRecNo(const TagState& t, uint32_t page, size_t depth) {
  for (;;) {
    if (depth++ >= kMaxDepth) Damaged("tree deeper than " + std::to_string(kMaxDepth));
    const uint8_t* node = Node(t, page);
    uint32_t n = NodeCount(node);
    if (IsLeaf(node, t.shape)) return n == 0 ? 0 : EntryPointer(node, t.shape, n - 1);
    page = EntryPointer(node, t.shape, n);
  }
}

void IndexState::DescendPair(const TagState& t, const uint8_t* key, uint32_t recno, Path& path) {
  path.clear();
  uint32_t page = t.layout.root;
  for (;;) {
    if (path.size() >= kMaxDepth) Damaged("tree deeper than " + std::to_string(kMaxDepth));
    const uint8_t* node = Node(t, page);
    uint32_t n = NodeCount(node);
    if (IsLeaf(node, t.shape)) {
      uint32_t lo = 0, hi = n;
      while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        int c = Compare(t, EntryKey(node, t.shape, mid), key);
        if (c < 0 || (c == 0 && EntryPointer(node, t.shape, mid) < recno))
          lo = mid + 1;
        else
          hi = mid;
      }
      path.push_back({page, lo});
      return;
    }
    // First separator not less than the key; among separators equal to it, the first child
    // whose last record number is not below recno.
    uint32_t lo = FirstNotLess(t, node, n, key);
    uint32_t end = lo, hi;
    while (end < n && Compare(t, EntryKey(node, t.shape, end), key) == 0) ++end;
    hi = end;
    while (lo < hi) {
      uint32_t mid = (lo + hi) / 2;
      uint32_t child = EntryPointer(node, t.shape, mid);
      if (LastRecNo(t, child, path.size() + 1) < recno)
        lo = mid + 1;
      else
        hi = mid;
      node = Node(t, page);
    }
    path.push_back({page, lo});
    page = EntryPointer(node, t.shape, lo);
  }
}

void IndexState::DescendEdge(const TagState& t, bool rightmost, Path& path) {
  path.clear();
  uint32_t page = t.layout.root;
  for (;;) {
    if (path.size() >= kMaxDepth) Damaged("tree deeper than " + std::to_string(kMaxDepth));
    const uint8_t* node = Node(t, page);
    uint32_t n = NodeCount(node);
    bool leaf = IsLeaf(node, t.shape);
    uint32_t index = rightmost ? (leaf ? (n == 0 ? 0 : n - 1) : n) : 0;
    path.push_back({page, index});
    if (leaf) return;
    page = EntryPointer(node, t.shape, index);
  }
}

bool IndexState::NextLeaf(const TagState& t, Path& path) {
  Path saved = path;
  // A tree cannot have more leaves than the file has blocks.
  for (uint32_t skipped = 0; skipped <= page_count; ++skipped) {
    path.pop_back();
    while (!path.empty()) {
      const uint8_t* node = Node(t, path.back().page);
      if (path.back().index < NodeCount(node)) {
        ++path.back().index;
        break;
      }
      path.pop_back();
    }
    if (path.empty()) {
      path = std::move(saved);
      return false;
    }
    uint32_t page = EntryPointer(Node(t, path.back().page), t.shape, path.back().index);
    for (;;) {
      if (path.size() >= kMaxDepth) Damaged("tree deeper than " + std::to_string(kMaxDepth));
      const uint8_t* node = Node(t, page);
      path.push_back({page, 0});
      if (IsLeaf(node, t.shape)) break;
      page = EntryPointer(node, t.shape, 0);
    }
    if (NodeCount(Node(t, path.back().page)) > 0) return true;
  }
  Damaged("endless chain of empty leaves");
}

bool IndexState::PriorLeaf(const TagState& t, Path& path) {
  Path saved = path;
  for (uint32_t skipped = 0; skipped <= page_count; ++skipped) {
    path.pop_back();
    while (!path.empty() && path.back().index == 0) path.pop_back();
    if (path.empty()) {
      path = std::move(saved);
      return false;
    }
    --path.back().index;
    uint32_t page = EntryPointer(Node(t, path.back().page), t.shape, path.back().index);
    for (;;) {
      if (path.size() >= kMaxDepth) Damaged("tree deeper than " + std::to_string(kMaxDepth));
      const uint8_t* node = Node(t, page);
      uint32_t n = NodeCount(node);
      if (IsLeaf(node, t.shape)) {
        path.push_back({page, n == 0 ? 0 : n - 1});
        if (n > 0) return true;
        break;
      }
      path.push_back({page, n});
      page = EntryPointer(node, t.shape, n);
    }
  }
  Damaged("endless chain of empty leaves");
}

bool IndexState::Settle(const TagState& t, Path& path) {
  if (path.back().index < NodeCount(Node(t, path.back().page))) return true;
  return NextLeaf(t, path);
}

// ---------------------------------------------------------------- changes

void IndexState::FixSeparatorsAbove(const TagState& t, const Path& path, size_t level,
                                    const uint8_t* key) {
  // The key of a child in its parent is the last key of the child's subtree; a rightmost
  // child has none there, so the change goes up to the first ancestor where it has one.
  for (size_t l = level; l > 0; --l) {
    const PathStep& parent = path[l - 1];
    const uint8_t* node = Node(t, parent.page);
    if (parent.index < NodeCount(node)) {
      if (std::memcmp(EntryKey(node, t.shape, parent.index), key, t.shape.key_length) != 0) {
        uint8_t* m = MutableNode(t, parent.page);
        std::memcpy(EntryAt(m, t.shape, parent.index) + 4, key, t.shape.key_length);
      }
      return;
    }
  }
}

uint32_t IndexState::AllocateBlock(TagState& t) {
  uint32_t page;
  Block* block;
  if (free_head != 0) {
    page = free_head;
    CheckNodePage(page);
    block = cache.Find(page);
    if (block == nullptr) block = cache.Load(page);
    uint32_t next = GetU32(block->data.data() + kFreeLink);
    if (next != 0) CheckNodePage(next);
    free_head = next;
    block = cache.Create(page);
  } else {
    page = page_count;
    if (page > UINT32_MAX - kBlockPages) Damaged("index file is full");
    page_count += kBlockPages;
    block = cache.Create(page);
  }
  block->checked_for_tag = t.index;
  t.layout.node_pages += kBlockPages;
  t.header_dirty = true;
  header_dirty = true;
  return page;
}

void IndexState::FreeBlock(TagState& t, uint32_t page) {
  Block* block = cache.Create(page);
  PutU32(block->data.data() + kFreeLink, free_head);
  block->checked_for_tag = -1;
  free_head = page;
  t.layout.node_pages -= kBlockPages;
  t.header_dirty = true;
  header_dirty = true;
}

void IndexState::InsertIntoNode(TagState& t, Path& path, size_t level, uint32_t pos,
                                const uint8_t* entry, uint32_t right_child) {
  const NodeShape& s = t.shape;
  const uint32_t L = s.entry_length;
  const bool leaf = level + 1 == path.size();
  const uint32_t page = path[level].page;
  uint8_t* node = MutableNode(t, page);
  const uint32_t n = NodeCount(node);

  // The node as if it had room: entries shifted up from pos, the new one at pos, and for an
  // interior node the right half of the split child in the slot after it.
  uint8_t* x = scratch_.data();
  std::memset(x, 0, scratch_.size());
  std::memcpy(x, node, kNodeEntries + n * L + 4);
  uint8_t* at = EntryAt(x, s, pos);
  std::memmove(at + L, at, (n - pos) * L + 4);
  std::memcpy(at, entry, L);
  if (!leaf) PutU32(EntryAt(x, s, pos + 1), right_child);
  const uint32_t total = n + 1;
  PutU32(x, total);
  if (total <= s.max_entries) {
    std::memcpy(node, x, kBlockSize);
    return;
  }

  // Split. An insertion at the very end (appending) leaves the left node full and moves only
  // the new entry to the right, so ascending appends give packed nodes.
  const bool at_end = pos == n;
  uint32_t left_count, right_begin;
  std::array<uint8_t, kMaxEntryLength> promoted{};
  if (leaf) {
    left_count = at_end ? s.max_entries : (total + 1) / 2;
    right_begin = left_count;
    std::memcpy(promoted.data() + 4, EntryKey(x, s, left_count - 1), s.key_length);
  } else {
    // Slot `left_count` gives the left node's rightmost child and the separator to promote.
    left_count = at_end ? s.max_entries - 1 : total / 2;
    right_begin = left_count + 1;
    std::memcpy(promoted.data() + 4, EntryKey(x, s, left_count), s.key_length);
  }
  const uint32_t right_count = total - right_begin;
  const uint32_t right_page = AllocateBlock(t);
  uint8_t* right = cache.Find(right_page)->data.data();
  node = cache.Find(page)->data.data();  // still cached: nothing is evicted within an operation

  std::memset(node, 0, kBlockSize);
  PutU32(node, left_count);
  std::memcpy(EntryAt(node, s, 0), EntryAt(x, s, 0), left_count * L);
  if (!leaf) PutU32(EntryAt(node, s, left_count), EntryPointer(x, s, left_count));
  PutU32(right, right_count);
  std::memcpy(EntryAt(right, s, 0), EntryAt(x, s, right_begin), right_count * L);
  if (!leaf) PutU32(EntryAt(right, s, right_count), EntryPointer(x, s, total));
  if (leaf && t.layout.last_leaf == page) t.layout.last_leaf = right_page;

  PutU32(promoted.data(), page);
  if (level == 0) {
    uint32_t root = AllocateBlock(t);
    uint8_t* r = cache.Find(root)->data.data();
    PutU32(r, 1);
    std::memcpy(EntryAt(r, s, 0), promoted.data(), L);
    PutU32(EntryAt(r, s, 1), right_page);
    t.layout.root = root;
    t.header_dirty = true;
    return;
  }
  InsertIntoNode(t, path, level - 1, path[level - 1].index, promoted.data(), right_page);
}

void IndexState::InsertKey(TagState& t, const uint8_t* key, uint32_t recno) {
  Path path;
  if (t.def.unique) {
    DescendLowerBound(t, key, path);
    if (Settle(t, path)) {
      const uint8_t* leaf = Node(t, path.back().page);
      if (Compare(t, EntryKey(leaf, t.shape, path.back().index), key) == 0) {
        // The key belongs to the first record that has it.
        if (recno < EntryPointer(leaf, t.shape, path.back().index))
          PutU32(EntryAt(MutableNode(t, path.back().page), t.shape, path.back().index), recno);
        return;
      }
    }
  }
  DescendPair(t, key, recno, path);
  std::array<uint8_t, kMaxEntryLength> entry{};
  PutU32(entry.data(), recno);
  std::memcpy(entry.data() + 4, key, t.shape.key_length);
  const size_t leaf_level = path.size() - 1;
  const uint32_t pos = path.back().index;
  if (pos == NodeCount(Node(t, path.back().page))) FixSeparatorsAbove(t, path, leaf_level, key);
  InsertIntoNode(t, path, leaf_level, pos, entry.data(), 0);
  ++t.layout.key_count;
  t.header_dirty = true;
  header_dirty = true;
}

void IndexState::RemoveChild(TagState& t, Path& path, size_t level) {
  const NodeShape& s = t.shape;
  const uint32_t L = s.entry_length;
  const uint32_t page = path[level].page;
  const uint32_t j = path[level].index;
  uint8_t* node = MutableNode(t, page);
  const uint32_t n = NodeCount(node);
  if (n == 0) {  // its only child is gone
    if (level == 0) {
      std::memset(node, 0, kBlockSize);  // the root becomes an empty leaf
      return;
    }
    FreeBlock(t, page);
    RemoveChild(t, path, level - 1);
    return;
  }
  if (j < n) {
    uint8_t* at = EntryAt(node, s, j);
    std::memmove(at, at + L, (n - j - 1) * L + 4);
    std::memset(EntryAt(node, s, n - 1) + 4, 0, L);
    PutU32(node, n - 1);
  } else {
    // The rightmost child went: the child before it takes its place and its key leaves.
    std::array<uint8_t, kMaxEntryLength> last_key{};
    std::memcpy(last_key.data(), EntryKey(node, s, n - 1), s.key_length);
    uint32_t child = EntryPointer(node, s, n - 1);
    std::memset(EntryAt(node, s, n - 1), 0, L + 4);
    PutU32(EntryAt(node, s, n - 1), child);
    PutU32(node, n - 1);
    if (level > 0) FixSeparatorsAbove(t, path, level, last_key.data());
  }
  if (level == 0) CollapseRoot(t);
}

void IndexState::CollapseRoot(TagState& t) {
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const uint8_t* root = Node(t, t.layout.root);
    if (IsLeaf(root, t.shape) || NodeCount(root) > 0) return;
    uint32_t child = EntryPointer(root, t.shape, 0);
    FreeBlock(t, t.layout.root);
    t.layout.root = child;
  }
  Damaged("tree deeper than " + std::to_string(kMaxDepth));
}

void IndexState::RefreshLeafEnds(TagState& t) {
  Path path;
  DescendEdge(t, false, path);
  t.layout.first_leaf = path.back().page;
  DescendEdge(t, true, path);
  t.layout.last_leaf = path.back().page;
}

bool IndexState::RemoveKey(TagState& t, const uint8_t* key, uint32_t recno) {
  Path path;
  DescendPair(t, key, recno, path);
  if (!Settle(t, path)) return false;
  const NodeShape& s = t.shape;
  const uint8_t* found = Node(t, path.back().page);
  const uint32_t pos = path.back().index;
  if (EntryPointer(found, s, pos) != recno || Compare(t, EntryKey(found, s, pos), key) != 0)
    return false;

  const size_t leaf_level = path.size() - 1;
  uint8_t* leaf = MutableNode(t, path.back().page);
  const uint32_t n = NodeCount(leaf);
  uint8_t* at = EntryAt(leaf, s, pos);
  std::memmove(at, at + s.entry_length, (n - pos - 1) * s.entry_length);
  std::memset(EntryAt(leaf, s, n - 1), 0, s.entry_length + 4);
  PutU32(leaf, n - 1);
  --t.layout.key_count;
  t.header_dirty = true;
  header_dirty = true;
  if (leaf_level > 0) {
    if (n == 1) {
      FreeBlock(t, path.back().page);
      RemoveChild(t, path, leaf_level - 1);
      RefreshLeafEnds(t);
    } else if (pos == n - 1) {
      FixSeparatorsAbove(t, path, leaf_level, EntryKey(leaf, s, n - 2));
    }
  }
  return true;
}

void IndexState::ResetToEmpty() {
  cache.DropAll();
  free_head = 0;
  record_count = 0;
  uint32_t next = kHeaderPages;
  for (size_t i = 0; i < tags.size(); ++i) {
    TagState& t = tags[i];
    t.layout = TagLayout{};
    t.layout.header_page = next;
    t.layout.root = t.layout.first_leaf = t.layout.last_leaf = next + kBlockPages;
    t.layout.node_pages = kBlockPages;
    FormatTagHeader(t.def, t.layout, t.header_block.data());
    t.header_dirty = true;
    PutTagHeaderPage(i, t.layout.header_page, header.data());
    next += 2 * kBlockPages;
  }
  page_count = next;
  for (TagState& t : tags) cache.Create(t.layout.root)->checked_for_tag = t.index;
  truncate_pending = true;
  header_dirty = true;
}

// ---------------------------------------------------------------- flush

void IndexState::WriteOrDie(int64_t offset, const void* data, size_t n) {
  int err = file->WriteAt(offset, data, n);
  if (err != 0) {
    write_failed = true;
    RaiseTableError(TableErrorCodeFromErrno(err, path, table_error::kDiskWrite),
                    "File:  " + path + " [WriteIndex]");
  }
}

void IndexState::Flush() {
  if (damaged || write_failed) return;
  bool tag_headers_dirty = false;
  for (const TagState& t : tags) tag_headers_dirty |= t.header_dirty;
  if (!cache.HasDirty() && !header_dirty && !tag_headers_dirty) return;

  // Clear the mark first: a process that dies before the header below is written leaves a
  // file that the next Open refuses.
  if (disk_consistent) {
    const uint8_t cleared = 0;
    WriteOrDie(kHdrConsistent, &cleared, 1);
    disk_consistent = false;
  }

  struct Piece {
    uint32_t page;
    const uint8_t* data;
  };
  std::vector<Piece> pieces;
  for (Block* b : cache.DirtyBlocks()) pieces.push_back({b->page, b->data.data()});
  for (TagState& t : tags) {
    if (!t.header_dirty) continue;
    UpdateTagHeader(t.layout, t.header_block.data());
    pieces.push_back({t.layout.header_page, t.header_block.data()});
  }
  std::sort(pieces.begin(), pieces.end(),
            [](const Piece& a, const Piece& b) { return a.page < b.page; });
  // Adjacent blocks go out in one write.
  for (size_t i = 0; i < pieces.size();) {
    size_t j = i + 1;
    while (j < pieces.size() && pieces[j].page == pieces[j - 1].page + kBlockPages &&
           (j - i + 1) * kBlockSize <= kMaxWriteRun)
      ++j;
    int64_t offset = int64_t{pieces[i].page} * kPageSize;
    if (j == i + 1) {
      WriteOrDie(offset, pieces[i].data, kBlockSize);
    } else {
      staging_.resize((j - i) * kBlockSize);
      for (size_t k = i; k < j; ++k)
        std::memcpy(staging_.data() + (k - i) * kBlockSize, pieces[k].data, kBlockSize);
      WriteOrDie(offset, staging_.data(), staging_.size());
    }
    i = j;
  }
  if (truncate_pending) {
    int err = file->Truncate(int64_t{page_count} * kPageSize);
    if (err != 0) {
      write_failed = true;
      RaiseTableError(TableErrorCodeFromErrno(err, path, table_error::kDiskWrite),
                      "File:  " + path + " [WriteIndex]");
    }
    truncate_pending = false;
  }
  std::vector<TagLayout> layouts;
  for (const TagState& t : tags) layouts.push_back(t.layout);
  PutBookkeeping(layouts, page_count, free_head, true, header.data());
  WriteOrDie(0, header.data(), kHeaderSize);
  disk_consistent = true;
  cache.MarkAllClean();
  for (TagState& t : tags) t.header_dirty = false;
  header_dirty = false;
}

}  // namespace melodrift::mdx
