// ID3v2 tag reader: the song, artist and album texts of an MP3 file from the ID3v2.3 or
// ID3v2.4 tag at its start. Sizes read from the file are never trusted: nothing is read
// outside the file's bytes. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace melodrift {

// One frame of a tag.
struct TFrame {
  std::string id;             // four characters, upper case
  uint8_t flags = 0;          // format flags in the ID3v2.4 layout (0x40 grouping, 0x08
                              // compression, 0x04 encryption, 0x02 unsync, 0x01 length)
  uint32_t data_length = 0;   // decompressed size when given, else 0
  std::vector<uint8_t> data;  // after the frame header and its flag-dependent extra bytes
};

// The frames of one tag in file order.
using TFrameIndex = std::vector<TFrame>;

class Tid3v2tag {
 public:
  // Replaces the frame list with the tag of the file. A missing, unreadable or untagged file
  // (a folder or anything but a regular file included) leaves the list empty; no error is
  // raised for those. Reads the header, then at most the tag, never more than the file holds.
  // Returns whether a tag was loaded. Throws only std::bad_alloc.
  bool LoadTag(const std::string& path);
  // The same on the first `size` bytes of a file whose whole length is `file_size` (tests,
  // fuzzing). A tag that does not fit in both is not loaded; nothing past `size` is read.
  bool LoadTagFromBytes(const uint8_t* bytes, size_t size, uint64_t file_size);

  // The decoded 8-bit (ISO-8859-1) text of the first frame with this identifier, or "" (also
  // for identifiers that are not text frames, encrypted frames and frames that do not
  // inflate). A text may end in the byte that stopped it (0, LF or CR); it holds no other
  // byte below 32. A compressed frame inflates to at most its stated size and 1 MiB.
  // Throws only std::bad_alloc.
  std::string FrameText(const std::string& id) const;

  const TFrameIndex& Frames() const { return frames_; }
  int Version() const { return version_; }  // 3 or 4; 0 when no tag is loaded
  uint8_t HeaderFlags() const { return flags_; }

 private:
  TFrameIndex frames_;
  int version_ = 0;
  uint8_t flags_ = 0;
};

// The three texts of a file as the import stores them.
struct TagTexts {
  std::string song;
  std::string artist;
  std::string album;
  bool usable = false;  // false: all three are "unknown" and the caller reports
                        // "Invalid MP3 Tag - " + path
};

// Loads the tag and takes TIT2, TPE1 and TALB with trailing characters of code 32 and below
// removed; when any of them is empty (or reading failed) all three become "unknown". Does
// not throw.
TagTexts GetIDTag(Tid3v2tag& reader, const std::string& path);

}  // namespace melodrift
