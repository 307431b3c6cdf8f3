// Builds ID3v2 tags byte by byte for the tag reader's tests, damaged ones included: nothing
// here checks what it is given.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace melodrift::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes BigEndian32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

inline Bytes Syncsafe32(uint32_t v) {
  return {static_cast<uint8_t>((v >> 21) & 0x7F), static_cast<uint8_t>((v >> 14) & 0x7F),
          static_cast<uint8_t>((v >> 7) & 0x7F), static_cast<uint8_t>(v & 0x7F)};
}

// Encoding byte 0 and the text.
inline Bytes Latin1Text(const std::string& text) {
  return Concat({{0}, ToBytes(text)});
}

// A frame: header with `size` (default: extras + data), format flags as written in the file's
// version, then the extra bytes and the data.
struct FrameSpec {
  std::string id;
  Bytes data;
  uint8_t format_flags = 0;
  Bytes extras = {};
  int64_t size = -1;
};

inline Bytes Frame(int version, const FrameSpec& f) {
  const uint32_t size = f.size >= 0 ? static_cast<uint32_t>(f.size)
                                    : static_cast<uint32_t>(f.extras.size() + f.data.size());
  return Concat({ToBytes(f.id),
                 version == 3 ? BigEndian32(size) : Syncsafe32(size),
                 {0, f.format_flags},
                 f.extras,
                 f.data});
}

inline Bytes TagHeader(int version, uint8_t flags, uint32_t size, uint8_t revision = 0) {
  return Concat(
      {ToBytes("ID3"), {static_cast<uint8_t>(version), revision, flags}, Syncsafe32(size)});
}

// Header and body, the size taken from the body.
inline Bytes Tag(int version, uint8_t flags, const Bytes& body) {
  return Concat({TagHeader(version, flags, static_cast<uint32_t>(body.size())), body});
}

// A 0x00 after every 0xFF that is followed by 0x00 or a byte of 0xE0 and above, and after a
// final 0xFF.
inline Bytes Unsynchronise(const Bytes& in) {
  Bytes out;
  for (size_t i = 0; i < in.size(); ++i) {
    out.push_back(in[i]);
    if (in[i] == 0xFF && (i + 1 == in.size() || in[i + 1] == 0x00 || in[i + 1] >= 0xE0))
      out.push_back(0x00);
  }
  return out;
}

// A zlib stream; level 0 stores the bytes without compressing them.
inline Bytes Deflate(const Bytes& in, int level = Z_DEFAULT_COMPRESSION) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), level) != Z_OK)
    throw std::runtime_error("compress failed");
  out.resize(size);
  return out;
}

// The usual three frames in ISO-8859-1 for the given version.
inline Bytes ThreeTextFrames(int version, const std::string& song, const std::string& artist,
                             const std::string& album) {
  return Concat({Frame(version, {"TIT2", Latin1Text(song)}),
                 Frame(version, {"TPE1", Latin1Text(artist)}),
                 Frame(version, {"TALB", Latin1Text(album)})});
}

}  // namespace melodrift::testing
