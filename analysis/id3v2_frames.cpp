#include "analysis/id3v2_frames.h"

#include <algorithm>
#include <optional>

#include "analysis/id3v2_layout.h"

namespace melodrift::id3v2 {

namespace {

using Bytes = std::span<const uint8_t>;

// Version 3 extended header:
//
//   offset  size  content
//   0       4     size after this field, big-endian: 6, or 10 with the checksum
//   4       2     flags: 0x80 of the first byte, checksum present
//   6       4     padding size
//   10      4     checksum, when flagged and the size is 10
//
// Returns the bytes to skip, or nothing when the header is damaged.
std::optional<size_t> ExtendedHeaderSizeV3(Bytes body) {
  constexpr size_t kBaseSize = 10;
  constexpr size_t kChecksumSize = 4;
  constexpr uint8_t kChecksumFlag = 0x80;
  if (body.size() < kBaseSize) return std::nullopt;
  const uint32_t size = GetBigEndian32(&body[0]);
  // Any other size leaves no way to know where the frames start.
  if (size != 6 && size != 10) return std::nullopt;
  size_t skip = kBaseSize;
  if ((body[4] & kChecksumFlag) && size == 10) skip += kChecksumSize;
  if (body.size() < skip) return std::nullopt;
  return skip;
}

// Version 4 extended header:
//
//   offset  size  content
//   0       4     size of the whole extended header, syncsafe, at least 6
//   4       1     number of flag bytes, at least 1
//   5       ...   flag bytes and the data they announce
std::optional<size_t> ExtendedHeaderSizeV4(Bytes body) {
  constexpr size_t kMinimumSize = 6;
  if (body.size() < kMinimumSize) return std::nullopt;
  const std::optional<uint32_t> size = GetSyncsafe32(&body[0]);
  if (!size || *size < kMinimumSize || *size > body.size()) return std::nullopt;
  if (body[4] == 0) return std::nullopt;
  return *size;
}

// Padding fills the rest of the tag with zeros; some encoders write "MP3e" into it.
bool IsPadding(Bytes rest) {
  const Bytes head = rest.first(std::min(rest.size(), kFrameHeaderSize));
  if (std::all_of(head.begin(), head.end(), [](uint8_t b) { return b == 0; })) return true;
  return rest.size() >= 4 && rest[0] == 'M' && rest[1] == 'P' && rest[2] == '3' && rest[3] == 'e';
}

// The identifier in upper case, or nothing unless all four are letters or digits.
std::optional<std::string> FrameIdentifier(Bytes header) {
  std::string id(4, ' ');
  for (size_t i = 0; i < 4; ++i) {
    uint8_t c = header[i];
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return std::nullopt;
    id[i] = static_cast<char>(c);
  }
  return id;
}

// Takes `n` extra bytes from the front of a frame's content, or fails when it is too short.
struct ContentReader {
  Bytes content;
  bool Take(size_t n, Bytes& out) {
    if (content.size() < n) return false;
    out = content.first(n);
    content = content.subspan(n);
    return true;
  }
};

// Version 3 frame:
//
//   offset  size  content
//   0       4     identifier
//   4       4     size after the header, big-endian
//   8       1     status flags (not used)
//   9       1     format flags: 0x80 compression, 0x40 encryption, 0x20 grouping
//   10      ...   as the flags announce: decompressed size (4, big-endian), encryption
//                 method (1), group (1); then the data
//
// Fills `frame` except its identifier and returns the frame's size after the header, or
// nothing when the frame is damaged.
std::optional<size_t> ReadFrameV3(Bytes rest, TFrame& frame) {
  constexpr uint8_t kCompression = 0x80, kEncryption = 0x40, kGrouping = 0x20;
  const uint32_t size = GetBigEndian32(&rest[4]);
  if (size > rest.size() - kFrameHeaderSize) return std::nullopt;
  const uint8_t flags = rest[9];
  ContentReader reader{rest.subspan(kFrameHeaderSize, size)};
  Bytes extra;
  if (flags & kCompression) {
    if (!reader.Take(4, extra)) return std::nullopt;
    frame.flags |= kFrameCompressed;
    frame.data_length = GetBigEndian32(extra.data());
  }
  if (flags & kEncryption) {
    if (!reader.Take(1, extra)) return std::nullopt;
    frame.flags |= kFrameEncrypted;
  }
  if (flags & kGrouping) {
    if (!reader.Take(1, extra)) return std::nullopt;
    frame.flags |= kFrameGrouped;
  }
  frame.data.assign(reader.content.begin(), reader.content.end());
  return size;
}

// Version 4 frame:
//
//   offset  size  content
//   0       4     identifier
//   4       4     size after the header, syncsafe
//   8       1     status flags (not used)
//   9       1     format flags: 0x40 grouping, 0x08 compression, 0x04 encryption,
//                 0x02 unsynchronisation, 0x01 data length indicator
//   10      ...   as the flags announce: group (1), encryption method (1), data length
//                 (4, syncsafe); then the data
std::optional<size_t> ReadFrameV4(Bytes rest, TFrame& frame) {
  constexpr uint8_t kKnownFlags =
      kFrameGrouped | kFrameCompressed | kFrameEncrypted | kFrameUnsynchronised | kFrameDataLength;
  const std::optional<uint32_t> size = GetSyncsafe32(&rest[4]);
  if (!size || *size > rest.size() - kFrameHeaderSize) return std::nullopt;
  frame.flags = rest[9] & kKnownFlags;
  ContentReader reader{rest.subspan(kFrameHeaderSize, *size)};
  Bytes extra;
  if ((frame.flags & kFrameGrouped) && !reader.Take(1, extra)) return std::nullopt;
  if ((frame.flags & kFrameEncrypted) && !reader.Take(1, extra)) return std::nullopt;
  if (frame.flags & kFrameDataLength) {
    if (!reader.Take(4, extra)) return std::nullopt;
    const std::optional<uint32_t> length = GetSyncsafe32(extra.data());
    if (!length) return std::nullopt;
    frame.data_length = *length;
  }
  frame.data.assign(reader.content.begin(), reader.content.end());
  return *size;
}

}  // namespace

bool ReadFrames(int version, bool has_extended_header, std::span<const uint8_t> body,
                TFrameIndex& frames) {
  size_t pos = 0;
  if (has_extended_header) {
    const std::optional<size_t> skip =
        version == 3 ? ExtendedHeaderSizeV3(body) : ExtendedHeaderSizeV4(body);
    if (!skip) return false;
    pos = *skip;
  }
  while (pos < body.size()) {
    const Bytes rest = body.subspan(pos);
    if (IsPadding(rest) || rest.size() < kFrameHeaderSize) break;
    std::optional<std::string> id = FrameIdentifier(rest);
    if (!id) break;
    TFrame frame;
    frame.id = std::move(*id);
    const std::optional<size_t> size =
        version == 3 ? ReadFrameV3(rest, frame) : ReadFrameV4(rest, frame);
    if (!size) break;
    frames.push_back(std::move(frame));
    pos += kFrameHeaderSize + *size;
  }
  return true;
}

}  // namespace melodrift::id3v2
