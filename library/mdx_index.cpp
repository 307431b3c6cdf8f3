#include "library/mdx_index.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "library/byte_order.h"
#include "library/mdx_index_impl.h"
#include "library/mdx_key_sort.h"
#include "library/mdx_layout.h"
#include "library/mdx_numeric_key.h"
#include "library/mdx_writer.h"
#include "library/table_error.h"

namespace melodrift {

using mdx::Path;
using mdx::TagState;

int MdxTagDef::KeyLength() const {
  if (key_type == MdxKeyType::kNumeric) return mdx::kNumericKeyLength;
  return std::min(field_length, mdx::kMaxCharKeyLength);
}

struct MdxIndex::Impl : mdx::IndexState {
  using IndexState::IndexState;

  size_t current = 0;
  Path cursor;
  bool cursor_valid = false;
  const uint8_t* cursor_leaf = nullptr;  // the cursor's leaf block, while cursor_valid

  TagState& Current() { return tags[current]; }

  // Runs an operation; damage found on the way makes the object refuse further work and
  // never write again (the owner rebuilds the file).
  template <typename F>
  auto Guarded(F&& f) {
    if (damaged) throw MdxDamaged("index " + path + " is damaged");
    try {
      return f();
    } catch (const MdxDamaged&) {
      damaged = true;
      cursor_valid = false;
      throw;
    }
  }

  bool Commit(Path& candidate) {
    cursor.swap(candidate);
    cursor_leaf = Node(Current(), cursor.back().page);
    cursor_valid = true;
    return true;
  }

  void KeyOf(const TagState& t, const uint8_t* record, uint8_t* out) const {
    mdx::KeyOfRecordTo(t.def, record, out);
  }
};

namespace {

constexpr size_t kMaxKey = mdx::kMaxCharKeyLength;

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string ZeroTerminated(const uint8_t* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::string PageText(uint32_t page) {
  return "page " + std::to_string(page);
}

// Counts a tag's keys by walking its whole tree: every node once, all leaves at one depth.
bool CountKeysByWalk(mdx::IndexState& s, const TagState& t, uint32_t* count, std::string* why) {
  std::vector<bool> seen(s.page_count, false);
  struct Item {
    uint32_t page;
    int depth;
  };
  std::vector<Item> stack{{t.layout.root, 0}};
  int leaf_depth = -1;
  uint64_t keys = 0;
  try {
    while (!stack.empty()) {
      Item item = stack.back();
      stack.pop_back();
      if (item.depth >= mdx::kMaxDepth) throw MdxDamaged("tree too deep");
      if (seen[item.page]) throw MdxDamaged(PageText(item.page) + " is reached twice");
      seen[item.page] = true;
      s.cache.EvictCleanIfLarge();
      const uint8_t* node = s.Node(t, item.page);
      uint32_t n = mdx::NodeCount(node);
      if (mdx::IsLeaf(node, t.shape)) {
        if (leaf_depth == -1) leaf_depth = item.depth;
        if (leaf_depth != item.depth) throw MdxDamaged("leaves at different depths");
        keys += n;
        continue;
      }
      for (uint32_t j = 0; j <= n; ++j)
        stack.push_back({mdx::EntryPointer(node, t.shape, j), item.depth + 1});
    }
  } catch (const MdxDamaged& e) {
    *why = "tag " + t.def.name + ": " + e.what();
    return false;
  }
  *count = static_cast<uint32_t>(keys);
  return true;
}

bool CheckFreeList(mdx::IndexState& s, std::string* why) {
  std::vector<bool> seen(s.page_count, false);
  uint32_t page = s.free_head;
  while (page != 0) {
    if (page < mdx::kHeaderPages || page % mdx::kBlockPages != 0 ||
        uint64_t{page} + mdx::kBlockPages > s.page_count || seen[page]) {
      *why = "free list is damaged at " + PageText(page);
      return false;
    }
    seen[page] = true;
    uint8_t link[4];
    if (s.file->ReadAt(int64_t{page} * mdx::kPageSize + mdx::kFreeLink, link, 4) != 4) {
      *why = "free list cannot be read";
      return false;
    }
    page = GetU32(link);
  }
  return true;
}

}  // namespace

MdxIndex::MdxIndex() = default;

MdxIndex::~MdxIndex() {
  if (!impl_) return;
  try {
    impl_->Flush();
  } catch (...) {
    // The fatal handler has been told already; a destructor must not throw.
  }
}

std::unique_ptr<MdxIndex> MdxIndex::Open(const std::string& path,
                                         const std::vector<MdxTagDef>* expected,
                                         const MdxFieldResolver& resolve, uint32_t record_count,
                                         std::string* why) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  auto refuse = [&](const std::string& reason) {
    *why = reason;
    return std::unique_ptr<MdxIndex>();
  };
  TableFileOpenResult opened = OpenTableFile(path, TableFileFlags{});
  if (!opened.file) return refuse("cannot open " + path + ": " + std::strerror(opened.error));
  int64_t size = opened.file->Size();
  if (size < static_cast<int64_t>(mdx::kHeaderSize))
    return refuse("file is shorter than its header");
  if (size % mdx::kPageSize != 0) return refuse("file length is not a multiple of 512");
  if (size / mdx::kPageSize > UINT32_MAX) return refuse("file is too large");

  auto impl = std::make_unique<Impl>(path, std::move(opened.file));
  mdx::IndexState& s = *impl;
  if (s.file->ReadAt(0, s.header.data(), mdx::kHeaderSize) != mdx::kHeaderSize)
    return refuse("header cannot be read");
  const uint8_t* h = s.header.data();
  if (h[mdx::kHdrVersion] != mdx::kVersion)
    return refuse("index version " + std::to_string(h[mdx::kHdrVersion]));
  if (GetU16(h + mdx::kHdrBlockPages) != mdx::kBlockPages ||
      GetU16(h + mdx::kHdrBlockBytes) != mdx::kBlockSize)
    return refuse("block size is not 1024 bytes");
  const uint32_t tag_count = GetU16(h + mdx::kHdrTagsInUse);
  if (tag_count < 1 || tag_count > mdx::kMaxTags)
    return refuse("number of tags " + std::to_string(tag_count));
  s.page_count = GetU32(h + mdx::kHdrPageCount);
  if (s.page_count < mdx::kHeaderPages || s.page_count > size / mdx::kPageSize)
    return refuse("page count does not fit the file");
  s.free_head = GetU32(h + mdx::kHdrFreeList);
  s.record_count = record_count;
  if (expected != nullptr && expected->size() != tag_count)
    return refuse("the file has " + std::to_string(tag_count) + " tags, the table " +
                  std::to_string(expected->size()));

  auto inside = [&](uint32_t page) {
    return page >= mdx::kHeaderPages && uint64_t{page} + mdx::kBlockPages <= s.page_count;
  };
  for (uint32_t i = 0; i < tag_count; ++i) {
    const uint8_t* entry = h + mdx::kTagTable + mdx::kTagEntryLength * i;
    TagState t;
    t.index = static_cast<int>(i);
    t.layout.header_page = GetU32(entry + mdx::kTeHeaderPage);
    if (!inside(t.layout.header_page))
      return refuse("tag " + std::to_string(i + 1) + ": header outside the file");
    if (s.file->ReadAt(int64_t{t.layout.header_page} * mdx::kPageSize, t.header_block.data(),
                       mdx::kBlockSize) != mdx::kBlockSize)
      return refuse("tag " + std::to_string(i + 1) + ": header cannot be read");
    const uint8_t* th = t.header_block.data();
    t.def.name = ZeroTerminated(entry + mdx::kTeName, mdx::kTagNameField);
    if (t.def.name.empty() || t.def.name.size() > mdx::kMaxTagName)
      return refuse("tag " + std::to_string(i + 1) + ": bad name");
    const std::string& name = t.def.name;
    t.layout.root = GetU32(th + mdx::kThRoot);
    if (!inside(t.layout.root) || t.layout.root % mdx::kBlockPages != 0)
      return refuse("tag " + name + ": root outside the file");
    const uint8_t type = th[mdx::kThKeyType];
    if (type != 'C' && type != 'N') return refuse("tag " + name + ": key type is not C or N");
    if (entry[mdx::kTeKeyType] != type) return refuse("tag " + name + ": key types disagree");
    t.shape.key_length = GetU16(th + mdx::kThKeyLength);
    t.shape.entry_length = GetU16(th + mdx::kThEntryLength);
    t.shape.max_entries = GetU16(th + mdx::kThMaxEntries);
    const bool length_ok =
        type == 'N' ? t.shape.key_length == mdx::kNumericKeyLength
                    : t.shape.key_length >= 1 && t.shape.key_length <= mdx::kMaxCharKeyLength;
    if (!length_ok || t.shape.entry_length != mdx::EntryLengthFor(t.shape.key_length) ||
        t.shape.max_entries != mdx::MaxEntriesFor(t.shape.entry_length))
      return refuse("tag " + name + ": key length, entry length and entries disagree");
    t.def.expression = ZeroTerminated(th + mdx::kThExpression, mdx::kExpressionField);
    if (t.def.expression.size() >= static_cast<size_t>(mdx::kExpressionField))
      return refuse("tag " + name + ": key expression is not terminated");
    t.def.descending = (th[mdx::kThFlags] & mdx::kFlagDescending) != 0;
    t.def.unique = th[mdx::kThUnique] != 0;

    if (expected != nullptr) {
      const MdxTagDef& want = (*expected)[i];
      if (want.name != name) return refuse("tag " + name + " where the table has " + want.name);
      if (!EqualIgnoringCase(want.expression, t.def.expression))
        return refuse("tag " + name + ": key expression " + t.def.expression);
      // A tag of another order or uniqueness would give the table a wrong order.
      if (want.descending != t.def.descending || want.unique != t.def.unique)
        return refuse("tag " + name + ": order or uniqueness differs");
      MdxTagDef def = want;
      def.expression = t.def.expression;
      t.def = def;
    }
    if (resolve) {
      if (!resolve(t.def.expression, t.def))
        return refuse("tag " + name + ": no field " + t.def.expression);
    } else if (expected == nullptr) {
      return refuse("tag " + name + ": the key field cannot be resolved");
    }
    if (static_cast<uint8_t>(t.def.key_type) != type ||
        static_cast<uint32_t>(t.def.KeyLength()) != t.shape.key_length)
      return refuse("tag " + name + ": the key does not fit field " + t.def.expression);
    t.layout.node_pages = GetU32(th + mdx::kThNodePages);
    t.layout.first_leaf = GetU32(th + mdx::kThFirstLeaf);
    t.layout.last_leaf = GetU32(th + mdx::kThLastLeaf);
    s.tags.push_back(std::move(t));
  }
  if (!CheckFreeList(s, why)) return nullptr;

  const bool ours =
      std::memcmp(h + mdx::kHdrSignature, mdx::kSignature, sizeof mdx::kSignature) == 0;
  if (ours && h[mdx::kHdrConsistent] != 1) return refuse("the last flush did not complete");
  for (TagState& t : s.tags) {
    uint32_t count;
    if (ours) {
      count = GetU32(h + mdx::kHdrKeyCounts + 4 * t.index);
      try {
        s.Node(t, t.layout.root);
      } catch (const MdxDamaged& e) {
        return refuse("tag " + t.def.name + ": " + e.what());
      }
    } else if (!CountKeysByWalk(s, t, &count, why)) {
      return nullptr;
    }
    if (!t.def.unique && count != record_count)
      return refuse("tag " + t.def.name + " holds " + std::to_string(count) +
                    " keys, the table has " + std::to_string(record_count) + " records");
    t.layout.key_count = count;
  }
  for (const TagState& t : s.tags) s.defs.push_back(t.def);
  s.disk_consistent = ours;
  std::unique_ptr<MdxIndex> index(new MdxIndex());
  index->impl_ = std::move(impl);
  return index;
}

std::unique_ptr<MdxIndex> MdxIndex::Build(const std::string& path, const std::string& table_name,
                                          const std::vector<MdxTagDef>& tags, uint32_t record_count,
                                          const MdxRecordScan& scan,
                                          const std::function<void()>& step) {
  if (tags.empty() || tags.size() > static_cast<size_t>(mdx::kMaxTags))
    throw std::invalid_argument("an index file holds 1 to 47 tags");
  const std::string failure = "File:  " + path + " [MakeIndex]";
  RemoveFile(path);
  TableFileFlags flags;
  flags.create = true;
  TableFileOpenResult opened = OpenTableFile(path, flags);
  if (!opened.file)
    RaiseTableError(TableErrorCodeFromErrno(opened.error, path, table_error::kDiskWrite), failure);

  std::vector<mdx::SortedKeys> sorted = mdx::CollectSortedKeys(tags, record_count, scan, step);
  uint32_t max_recno = record_count;
  for (uint32_t r : sorted.front().recnos) max_recno = std::max(max_recno, r);
  std::vector<mdx::TagLayout> layouts;
  std::vector<uint8_t> image = mdx::FormatFreshImage(table_name, tags, sorted, &layouts);
  sorted.clear();
  int err = opened.file->WriteAt(0, image.data(), image.size());
  if (err != 0)
    RaiseTableError(TableErrorCodeFromErrno(err, path, table_error::kDiskWrite), failure);

  auto impl = std::make_unique<Impl>(path, std::move(opened.file));
  std::memcpy(impl->header.data(), image.data(), mdx::kHeaderSize);
  impl->page_count = static_cast<uint32_t>(image.size() / mdx::kPageSize);
  impl->record_count = max_recno;
  for (size_t i = 0; i < tags.size(); ++i) {
    TagState t;
    t.def = tags[i];
    t.shape = mdx::ShapeOf(tags[i]);
    t.index = static_cast<int>(i);
    t.layout = layouts[i];
    std::memcpy(t.header_block.data(),
                image.data() + size_t{layouts[i].header_page} * mdx::kPageSize, mdx::kBlockSize);
    impl->tags.push_back(std::move(t));
  }
  impl->defs = tags;
  std::unique_ptr<MdxIndex> index(new MdxIndex());
  index->impl_ = std::move(impl);
  return index;
}

const std::vector<MdxTagDef>& MdxIndex::tags() const {
  return impl_->defs;
}
const std::string& MdxIndex::path() const {
  return impl_->path;
}

void MdxIndex::SetCurrentTag(size_t tag) {
  if (tag >= impl_->tags.size()) throw std::out_of_range("no such tag");
  impl_->current = tag;
  impl_->cursor_valid = false;
}

size_t MdxIndex::current_tag() const {
  return impl_->current;
}

void MdxIndex::InsertRecord(uint32_t recno, const uint8_t* record) {
  Impl& s = *impl_;
  s.Guarded([&] {
    s.cursor_valid = false;
    s.cache.EvictCleanIfLarge();
    s.record_count = std::max(s.record_count, recno);
    uint8_t key[kMaxKey];
    for (TagState& t : s.tags) {
      s.KeyOf(t, record, key);
      s.InsertKey(t, key, recno);
    }
  });
}

void MdxIndex::UpdateRecord(uint32_t recno, const uint8_t* old_record, const uint8_t* new_record) {
  Impl& s = *impl_;
  s.Guarded([&] {
    s.cursor_valid = false;
    s.cache.EvictCleanIfLarge();
    uint8_t old_key[kMaxKey];
    uint8_t new_key[kMaxKey];
    for (TagState& t : s.tags) {
      s.KeyOf(t, old_record, old_key);
      s.KeyOf(t, new_record, new_key);
      if (std::memcmp(old_key, new_key, t.shape.key_length) == 0) continue;
      // A unique tag holds only the first record of a key, so the old entry may be absent.
      if (!s.RemoveKey(t, old_key, recno) && !t.def.unique)
        throw MdxDamaged("tag " + t.def.name + " lacks the key of record " + std::to_string(recno));
      s.InsertKey(t, new_key, recno);
    }
  });
}

void MdxIndex::Clear() {
  Impl& s = *impl_;
  s.Guarded([&] {
    s.cursor_valid = false;
    s.ResetToEmpty();
  });
}

void MdxIndex::Flush() {
  impl_->Flush();
}

std::string MdxIndex::MakeSearchKey(std::string_view text) const {
  const MdxTagDef& def = impl_->tags[impl_->current].def;
  if (def.key_type == MdxKeyType::kNumeric) return EncodeNumericKey(text);
  std::string key(text.substr(0, static_cast<size_t>(def.KeyLength())));
  key.resize(static_cast<size_t>(def.KeyLength()), ' ');
  return key;
}

std::string MdxIndex::KeyOfRecord(const uint8_t* record) const {
  const TagState& t = impl_->tags[impl_->current];
  std::string key(t.shape.key_length, '\0');
  mdx::KeyOfRecordTo(t.def, record, reinterpret_cast<uint8_t*>(key.data()));
  return key;
}

bool MdxIndex::First() {
  Impl& s = *impl_;
  return s.Guarded([&] {
    s.cache.EvictCleanIfLarge();
    s.cursor_valid = false;
    Path p;
    s.DescendEdge(s.Current(), false, p);
    if (!s.Settle(s.Current(), p)) return false;
    return s.Commit(p);
  });
}

bool MdxIndex::Last() {
  Impl& s = *impl_;
  return s.Guarded([&] {
    s.cache.EvictCleanIfLarge();
    s.cursor_valid = false;
    Path p;
    s.DescendEdge(s.Current(), true, p);
    if (mdx::NodeCount(s.Node(s.Current(), p.back().page)) == 0 && !s.PriorLeaf(s.Current(), p))
      return false;
    return s.Commit(p);
  });
}

bool MdxIndex::Next() {
  Impl& s = *impl_;
  if (!s.cursor_valid) return false;
  mdx::PathStep& at = s.cursor.back();
  if (at.index + 1 < mdx::NodeCount(s.cursor_leaf)) {
    ++at.index;
    return true;
  }
  return s.Guarded([&] {
    s.cache.EvictCleanIfLarge();
    bool moved = s.NextLeaf(s.Current(), s.cursor);
    s.cursor_leaf = s.Node(s.Current(), s.cursor.back().page);
    return moved;
  });
}

bool MdxIndex::Prior() {
  Impl& s = *impl_;
  if (!s.cursor_valid) return false;
  mdx::PathStep& at = s.cursor.back();
  if (at.index > 0) {
    --at.index;
    return true;
  }
  return s.Guarded([&] {
    s.cache.EvictCleanIfLarge();
    bool moved = s.PriorLeaf(s.Current(), s.cursor);
    s.cursor_leaf = s.Node(s.Current(), s.cursor.back().page);
    return moved;
  });
}

bool MdxIndex::SeekAtLeast(std::string_view key) {
  Impl& s = *impl_;
  return s.Guarded([&] {
    const TagState& t = s.Current();
    uint8_t sought[kMaxKey];
    std::memset(sought, t.def.key_type == MdxKeyType::kNumeric ? 0 : ' ', sizeof sought);
    std::memcpy(sought, key.data(), std::min<size_t>(key.size(), t.shape.key_length));
    s.cache.EvictCleanIfLarge();
    Path p;
    s.DescendLowerBound(t, sought, p);
    if (!s.Settle(t, p)) return false;
    s.cursor_valid = false;
    return s.Commit(p);
  });
}

bool MdxIndex::SeekEntry(uint32_t recno, const uint8_t* record) {
  Impl& s = *impl_;
  return s.Guarded([&] {
    const TagState& t = s.Current();
    uint8_t key[kMaxKey];
    s.KeyOf(t, record, key);
    s.cache.EvictCleanIfLarge();
    Path p;
    s.DescendPair(t, key, recno, p);
    if (!s.Settle(t, p)) return false;
    const uint8_t* leaf = s.Node(t, p.back().page);
    if (mdx::EntryPointer(leaf, t.shape, p.back().index) != recno ||
        s.Compare(t, mdx::EntryKey(leaf, t.shape, p.back().index), key) != 0)
      return false;
    s.cursor_valid = false;
    return s.Commit(p);
  });
}

bool MdxIndex::CursorValid() const {
  return impl_->cursor_valid;
}

uint32_t MdxIndex::CursorRecNo() const {
  const Impl& s = *impl_;
  return mdx::EntryPointer(s.cursor_leaf, s.tags[s.current].shape, s.cursor.back().index);
}

std::string_view MdxIndex::CursorKey() const {
  const Impl& s = *impl_;
  const mdx::NodeShape& shape = s.tags[s.current].shape;
  return std::string_view(
      reinterpret_cast<const char*>(mdx::EntryKey(s.cursor_leaf, shape, s.cursor.back().index)),
      shape.key_length);
}

uint32_t MdxIndex::KeyCount(size_t tag) const {
  return impl_->tags.at(tag).layout.key_count;
}

}  // namespace melodrift
