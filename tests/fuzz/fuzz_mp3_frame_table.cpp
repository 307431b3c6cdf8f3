// The media device's frame table on arbitrary bytes, read as LoadMp3Source reads a file: an
// ID3v1 tag at the end blanked, the ID3v2 tag at the start skipped, libmad's guard bytes
// after the data. Then the lookups the player makes for the length, a position and a seek.
#include <mad.h>

#include <algorithm>
#include <span>
#include <vector>

#include "playback/mp3_frame_table.h"
#include "tests/fuzz/fuzz_target.h"

MELODRIFT_FUZZ_TARGET(fuzz_mp3_frame_table) {
  using melodrift::Mp3FrameTable;
  std::vector<uint8_t> bytes(data, data + size);
  bytes.resize(size + MAD_BUFFER_GUARD, 0);
  const std::span<uint8_t> file(bytes.data(), size);
  if (melodrift::HasId3v1Tag(file)) std::fill(file.end() - 128, file.end(), uint8_t{0});
  const size_t tag_bytes = melodrift::Id3v2TagBytes(file);
  FUZZ_CHECK(tag_bytes <= size);
  const Mp3FrameTable table = melodrift::ReadFrameTable(bytes, tag_bytes);
  if (table.frames.empty()) return 0;

  // Frames lie in the file after the tag, in order, each with samples of its own.
  for (size_t i = 0; i < table.frames.size(); ++i) {
    const melodrift::Mp3Frame& frame = table.frames[i];
    FUZZ_CHECK(frame.offset >= tag_bytes && frame.offset < size);
    if (i > 0) FUZZ_CHECK(frame.offset > table.frames[i - 1].offset);
    FUZZ_CHECK(table.FrameSamples(i) > 0);
    FUZZ_CHECK(table.FrameAt(frame.first_sample) == i);
  }
  FUZZ_CHECK(table.FrameAt(-1) == 0);
  FUZZ_CHECK(table.FrameAt(table.total_samples) == table.frames.size() - 1);
  FUZZ_CHECK(table.channels == 1 || table.channels == 2);
  if (table.sample_rate == 0) return 0;  // LoadMp3Source refuses such a file
  // A seek to a whole millisecond shows that millisecond again.
  const int64_t length_ms = table.LengthMs();
  for (const int64_t ms : {int64_t{0}, length_ms / 3, length_ms / 2, length_ms}) {
    const int64_t sample = table.MsToSample(ms);
    FUZZ_CHECK(table.SampleToMs(sample) == ms);
    FUZZ_CHECK(table.FrameAt(sample) < table.frames.size());
  }
  return 0;
}
