#include "playback/mp3_frame_table.h"

#include <algorithm>

#include "analysis/id3v2_layout.h"
#include "playback/mad_handles.h"

namespace melodrift {

int64_t Mp3FrameTable::SampleToMs(int64_t sample) const {
  return sample_rate == 0 ? 0 : sample * 1000 / sample_rate;
}

int64_t Mp3FrameTable::MsToSample(int64_t ms) const {
  return (ms * sample_rate + 999) / 1000;
}

size_t Mp3FrameTable::FrameAt(int64_t sample) const {
  const auto after =
      std::upper_bound(frames.begin(), frames.end(), sample,
                       [](int64_t s, const Mp3Frame& frame) { return s < frame.first_sample; });
  return after == frames.begin() ? 0 : static_cast<size_t>(after - frames.begin()) - 1;
}

int64_t Mp3FrameTable::FrameSamples(size_t index) const {
  const int64_t end = index + 1 < frames.size() ? frames[index + 1].first_sample : total_samples;
  return end - frames[index].first_sample;
}

Mp3FrameTable ReadFrameTable(std::span<const uint8_t> buffer, size_t begin) {
  Mp3FrameTable table;
  if (begin + MAD_BUFFER_GUARD >= buffer.size()) return table;
  MadStream stream;
  mad_stream_buffer(stream.get(), buffer.data() + begin, buffer.size() - begin);
  mad_header header;
  mad_header_init(&header);
  while (true) {
    if (mad_header_decode(&header, stream.get()) == -1) {
      if (MAD_RECOVERABLE(stream.get()->error)) continue;  // garbage: libmad resynchronises
      break;                                               // the end of the buffer
    }
    if (table.frames.empty()) {
      table.sample_rate = header.samplerate;
      table.channels = MAD_NCHANNELS(&header);
    }
    table.frames.push_back(
        {static_cast<size_t>(stream.get()->this_frame - buffer.data()), table.total_samples});
    table.total_samples += 32 * MAD_NSBSAMPLES(&header);
  }
  return table;
}

size_t Id3v2TagBytes(std::span<const uint8_t> file) {
  // "ID3", major version, revision, flags, syncsafe size of what follows the 10-byte header.
  constexpr size_t kHeaderBytes = id3v2::kTagHeaderSize;
  constexpr uint8_t kFooterFlag = 0x10;
  if (file.size() < kHeaderBytes || file[0] != 'I' || file[1] != 'D' || file[2] != '3' ||
      file[3] == 0xFF || file[4] == 0xFF) {
    return 0;
  }
  const std::optional<uint32_t> size = id3v2::GetSyncsafe32(file.data() + 6);
  if (!size) return 0;
  const bool footer = file[3] >= 4 && (file[5] & kFooterFlag) != 0;
  const size_t total = kHeaderBytes + *size + (footer ? kHeaderBytes : 0);
  return total <= file.size() ? total : 0;
}

bool HasId3v1Tag(std::span<const uint8_t> file) {
  constexpr size_t kTagBytes = 128;
  return file.size() >= kTagBytes && file[file.size() - kTagBytes] == 'T' &&
         file[file.size() - kTagBytes + 1] == 'A' && file[file.size() - kTagBytes + 2] == 'G';
}

}  // namespace melodrift
