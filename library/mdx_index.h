// Production index file (.mdx, dBase IV layout): a B+-tree per tag over the records of one
// table file.
//
// The index is derived data. Open() refuses (returns null) a file that is missing, damaged,
// of another version, or whose key counts do not match the table, and the owner then builds a
// new one with Build(). Changes are made block by block in a write-back cache of 1024-byte
// blocks; Flush() writes the dirty blocks and the header. The header keeps, in bytes that
// other readers ignore, a key count per tag and a "consistent" mark that is cleared on disk
// before the first block of a flush is written and set again after the last, so a process
// killed between a table write and the next flush leaves a file that Open() refuses.
//
// Damage found later, while walking nodes, throws MdxDamaged; the owner rebuilds and retries.
// Write failures are fatal table errors (RaiseTableError). Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "library/table_file.h"

namespace melodrift {

enum class MdxKeyType : char { kCharacter = 'C', kNumeric = 'N' };

// One tag, with the table field its key is taken from.
struct MdxTagDef {
  std::string name;        // upper case, at most 10 characters
  std::string expression;  // the key field's name as stored in the table (upper case)
  bool descending = false;
  bool unique = false;
  // The key field, resolved against the table:
  MdxKeyType key_type = MdxKeyType::kCharacter;  // N fields give numeric keys, others character
  int field_offset = 0;  // offset of the field in the record (the deletion flag is byte 0)
  int field_length = 0;  // field length in bytes
  // Character keys are the first min(field_length, 100) bytes of the field; numeric keys 12.
  int KeyLength() const;
};

// Thrown when a node turns out damaged while the tree is read.
class MdxDamaged : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Resolves a key expression read from a file (a field name, any letter case) to the field.
// Fills key_type, field_offset and field_length; false when no field has that name.
using MdxFieldResolver = std::function<bool(const std::string& expression, MdxTagDef& tag)>;

// Calls visit(recno, record) for every record of the table, recno from 1 to the record count,
// with the record's bytes as stored in the file (deletion flag first). The record pointer is
// valid only during the call.
using MdxRecordVisitor = std::function<void(uint32_t recno, const uint8_t* record)>;
using MdxRecordScan = std::function<void(const MdxRecordVisitor& visit)>;

class MdxIndex {
 public:
  ~MdxIndex();  // flushes
  MdxIndex(const MdxIndex&) = delete;
  MdxIndex& operator=(const MdxIndex&) = delete;

  // Opens an existing file. `expected`: the tags the table's IndexList names (names and
  // expressions must match, in order), or null to take the file's tags as they are (resolved
  // with `resolve`). Returns null, with the reason in *why, when the file is missing,
  // unreadable, damaged, of another version, or when a non-unique tag's key count differs
  // from record_count. Never a fatal error.
  static std::unique_ptr<MdxIndex> Open(const std::string& path,
                                        const std::vector<MdxTagDef>* expected,
                                        const MdxFieldResolver& resolve, uint32_t record_count,
                                        std::string* why);

  // Deletes any old file and writes a new one with `tags`, one key per record from `scan`
  // (a unique tag keeps only the first record of each key). `table_name` goes into the
  // header (file name without folder and extension). `step` is called at progress steps
  // (about 100 per build). Write failures are fatal table errors.
  static std::unique_ptr<MdxIndex> Build(const std::string& path, const std::string& table_name,
                                         const std::vector<MdxTagDef>& tags, uint32_t record_count,
                                         const MdxRecordScan& scan,
                                         const std::function<void()>& step);

  const std::vector<MdxTagDef>& tags() const;
  const std::string& path() const;

  // The tag that navigation and seeks use (0 after opening).
  void SetCurrentTag(size_t tag);
  size_t current_tag() const;

  // Keys of a record, all tags. `record` is the stored bytes (deletion flag first).
  void InsertRecord(uint32_t recno, const uint8_t* record);
  // A record's bytes changed: moves its keys in every tag whose key changed.
  void UpdateRecord(uint32_t recno, const uint8_t* old_record, const uint8_t* new_record);
  // Empties every tag (Zap).
  void Clear();
  // Writes dirty blocks and the header (key counts, consistent mark). Fatal on failure.
  void Flush();

  // Key in the current tag for a search text given in stored form (a character key: the text
  // cut or filled with blanks to the key length; a numeric key: the value of the text).
  std::string MakeSearchKey(std::string_view text) const;
  // Key in the current tag of a record's stored bytes.
  std::string KeyOfRecord(const uint8_t* record) const;

  // Cursor over the current tag, in its order. Each returns false when there is no such
  // entry (empty tag, or the end); the cursor then stays where it was. Any change of the
  // index (Insert/Update/Clear) invalidates the cursor: call SeekEntry before moving on.
  bool First();
  bool Last();
  bool Next();
  bool Prior();
  // First entry whose key is not less than `key` (in the tag's order). False when none.
  bool SeekAtLeast(std::string_view key);
  // The entry of (key of record, recno). False when the tag does not hold it.
  bool SeekEntry(uint32_t recno, const uint8_t* record);
  bool CursorValid() const;
  uint32_t CursorRecNo() const;        // requires CursorValid()
  std::string_view CursorKey() const;  // requires CursorValid()

  // Number of keys in a tag.
  uint32_t KeyCount(size_t tag) const;

 private:
  MdxIndex();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// dBase IV numeric keys (12 bytes, packed decimal with exponent).
std::string EncodeNumericKey(std::string_view decimal_text);  // "-42", "20.5", "" (0)
int CompareNumericKeys(const uint8_t* a, const uint8_t* b);   // by value: <0, 0, >0

}  // namespace melodrift
