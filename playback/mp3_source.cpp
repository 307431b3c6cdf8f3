#include "playback/mp3_source.h"

#include <fcntl.h>
#include <mad.h>

#include <algorithm>
#include <new>
#include <system_error>

#include "analysis/wav_io.h"
#include "playback/media_error.h"

namespace melodrift {

namespace {

MediaError OpenError(const std::string& path, const std::string& reason) {
  return MediaError("Cannot open \"" + path + "\": " + reason);
}

std::string Reason(int error) {
  return std::generic_category().message(error);
}

}  // namespace

std::shared_ptr<const Mp3Source> LoadMp3Source(const std::string& path) {
  int error = 0;
  UniqueFd fd = OpenFile(path, O_RDONLY, error);
  if (!fd) throw OpenError(path, Reason(error));
  const int64_t size = FileBytes(fd.get());
  if (size < 0) throw OpenError(path, Reason(static_cast<int>(-size)));

  auto source = std::make_shared<Mp3Source>();
  try {
    source->bytes.resize(static_cast<size_t>(size) + MAD_BUFFER_GUARD);
  } catch (const std::bad_alloc&) {
    throw OpenError(path, "not enough memory to hold the file");
  } catch (const std::length_error&) {
    throw OpenError(path, "not enough memory to hold the file");
  }
  const int64_t read = ReadAt(fd.get(), 0, source->bytes.data(), static_cast<size_t>(size));
  if (read < 0) throw OpenError(path, Reason(static_cast<int>(-read)));
  fd.Close();
  // A file that shrank while being read ends early; the rest stays zero.
  const std::span<uint8_t> file(source->bytes.data(), static_cast<size_t>(read));
  if (HasId3v1Tag(file)) std::fill(file.end() - 128, file.end(), uint8_t{0});

  source->table = ReadFrameTable(source->bytes, Id3v2TagBytes(file));
  if (source->table.frames.empty() || source->table.sample_rate == 0) {
    throw MediaError("Cannot play \"" + path + "\": no MPEG audio found");
  }
  return source;
}

}  // namespace melodrift
