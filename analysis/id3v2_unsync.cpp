#include "analysis/id3v2_unsync.h"

namespace melodrift::id3v2 {

std::vector<uint8_t> UndoUnsynchronisation(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool inserted_zero = bytes[i] == 0x00 && i > 0 && bytes[i - 1] == 0xFF &&
                               i + 1 < bytes.size() &&
                               (bytes[i + 1] == 0x00 || bytes[i + 1] >= 0xE0);
    if (!inserted_zero) out.push_back(bytes[i]);
  }
  return out;
}

}  // namespace melodrift::id3v2
