// The ID3v2 reader on arbitrary bytes: the tag header, the frame list of both versions with
// their extended headers, unsynchronisation, compressed and encrypted frames, and the text
// decoding of every text frame found, as the import reads song, artist and album.
#include <algorithm>
#include <set>
#include <string>

#include "analysis/id3v2_tag.h"
#include "library/dbf_field.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using melodrift::TFrame;
using melodrift::Tid3v2tag;

// What FrameText promises of any text: no byte below 32, except that the byte which stopped
// the text (0, LF or CR) may end it; and no more than a frame can inflate to.
void CheckText(const std::string& text) {
  FUZZ_CHECK(text.size() <= (size_t{1} << 20));
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 32) continue;
    FUZZ_CHECK(i + 1 == text.size());
    FUZZ_CHECK(c == 0 || c == '\n' || c == '\r');
  }
}

void CheckTag(const Tid3v2tag& tag, bool loaded, size_t size) {
  FUZZ_CHECK(loaded == (tag.Version() != 0));
  if (!loaded) {
    FUZZ_CHECK(tag.Frames().empty());
    return;
  }
  FUZZ_CHECK(tag.Version() == 3 || tag.Version() == 4);
  std::set<std::string> ids;
  for (const TFrame& frame : tag.Frames()) {
    FUZZ_CHECK(frame.id.size() == 4);
    // The frames' data comes from the tag (undoing unsynchronisation only removes bytes).
    FUZZ_CHECK(frame.data.size() <= size);
    ids.insert(frame.id);
  }
  // FrameText reads the first frame of an identifier.
  for (const std::string& id : ids) CheckText(tag.FrameText(id));
  // What the import stores: the three texts with trailing blanks and stops removed.
  for (const char* id : {"TIT2", "TPE1", "TALB"}) {
    const std::string text = melodrift::TrimTrailing(tag.FrameText(id));
    CheckText(text);
    FUZZ_CHECK(text.empty() || static_cast<unsigned char>(text.back()) > 32);
  }
}

bool SameFrames(const Tid3v2tag& a, const Tid3v2tag& b) {
  return std::equal(a.Frames().begin(), a.Frames().end(), b.Frames().begin(), b.Frames().end(),
                    [](const TFrame& x, const TFrame& y) {
                      return x.id == y.id && x.flags == y.flags && x.data_length == y.data_length &&
                             x.data == y.data;
                    });
}

}  // namespace

MELODRIFT_FUZZ_TARGET(fuzz_id3v2_tag) {
  Tid3v2tag tag;
  const bool loaded = tag.LoadTagFromBytes(data, size, size);
  CheckTag(tag, loaded, size);
  // In front of more audio the tag reads the same: nothing after it is looked at.
  Tid3v2tag longer;
  FUZZ_CHECK(longer.LoadTagFromBytes(data, size, uint64_t{size} + 4096) == loaded);
  FUZZ_CHECK(SameFrames(tag, longer));
  return 0;
}
