// An MP3 file held in memory for playing: its bytes and its frame table. The file itself is
// closed as soon as it is read, so a playing device never holds it open. Immutable once
// loaded: the device and its decoder thread share it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "playback/mp3_frame_table.h"

namespace melodrift {

struct Mp3Source {
  // The file, with an ID3v1 tag at its end blanked, then MAD_BUFFER_GUARD zero bytes.
  std::vector<uint8_t> bytes;
  Mp3FrameTable table;  // offsets into `bytes`
};

// Reads `path` whole and its frame table. Throws MediaError: `Cannot open "<path>": <reason>`
// when the file cannot be read, `Cannot play "<path>": no MPEG audio found` when it holds no
// MPEG audio frame.
std::shared_ptr<const Mp3Source> LoadMp3Source(const std::string& path);

}  // namespace melodrift
