#include "analysis/id3v2_tag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <optional>

#include "analysis/id3v2_frames.h"
#include "analysis/id3v2_header.h"
#include "analysis/id3v2_inflate.h"
#include "analysis/id3v2_layout.h"
#include "analysis/id3v2_text.h"
#include "analysis/id3v2_unsync.h"
#include "library/dbf_field.h"

namespace melodrift {

namespace {

using id3v2::kTagHeaderSize;

constexpr const char* kUnknown = "unknown";

class ReadOnlyFile {
 public:
  // Non-blocking, so that a FIFO named like an MP3 file cannot hang the import.
  explicit ReadOnlyFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // The size of a regular file, or nothing for anything else or a failure.
  std::optional<uint64_t> RegularFileSize() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
  }

  // Reads exactly out.size() bytes from offset 0; false on an error or a short file.
  bool ReadFromStart(std::vector<uint8_t>& out) const {
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t r =
          ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      done += static_cast<size_t>(r);
    }
    return true;
  }

 private:
  int fd_;
};

bool IsTextFrameId(const std::string& id) {
  return id.size() == 4 && id[0] == 'T' && id != "TXXX";
}

}  // namespace

bool Tid3v2tag::LoadTag(const std::string& path) {
  frames_.clear();
  version_ = 0;
  flags_ = 0;
  ReadOnlyFile file(path);
  const std::optional<uint64_t> file_size = file.RegularFileSize();
  if (!file_size) return false;
  std::vector<uint8_t> tag(kTagHeaderSize);
  if (*file_size < tag.size() || !file.ReadFromStart(tag)) return false;
  const std::optional<id3v2::TagHeader> header = id3v2::ParseTagHeader(tag);
  if (!header || *file_size < kTagHeaderSize + header->tag_size) return false;
  // The size now fits in the file, so this allocates no more than the file holds.
  tag.resize(kTagHeaderSize + header->tag_size);
  if (!file.ReadFromStart(tag)) return false;
  return LoadTagFromBytes(tag.data(), tag.size(), *file_size);
}

bool Tid3v2tag::LoadTagFromBytes(const uint8_t* bytes, size_t size, uint64_t file_size) {
  frames_.clear();
  version_ = 0;
  flags_ = 0;
  const std::span<const uint8_t> available(bytes, size);
  const std::optional<id3v2::TagHeader> header = id3v2::ParseTagHeader(available);
  if (!header) return false;
  const uint64_t tag_end = kTagHeaderSize + uint64_t{header->tag_size};
  if (file_size < tag_end || size < tag_end) return false;

  std::span<const uint8_t> body = available.subspan(kTagHeaderSize, header->tag_size);
  std::vector<uint8_t> resynchronised;
  // A version 4 tag marks unsynchronisation on each frame instead; its header flag only
  // summarises them.
  if (header->version == 3 && (header->flags & id3v2::kTagUnsynchronised)) {
    resynchronised = id3v2::UndoUnsynchronisation(body);
    body = resynchronised;
  }
  const bool extended = header->flags & id3v2::kTagExtendedHeader;
  if (!id3v2::ReadFrames(header->version, extended, body, frames_)) return false;
  version_ = header->version;
  flags_ = header->flags;
  return true;
}

std::string Tid3v2tag::FrameText(const std::string& id) const {
  if (!IsTextFrameId(id)) return {};
  const TFrame* frame = nullptr;
  for (const TFrame& f : frames_) {
    if (f.id == id) {
      frame = &f;
      break;
    }
  }
  if (frame == nullptr) return {};

  // Undone in the reverse order of writing: unsynchronisation was applied last.
  std::vector<uint8_t> data = frame->flags & id3v2::kFrameUnsynchronised
                                  ? id3v2::UndoUnsynchronisation(frame->data)
                                  : frame->data;
  if (frame->flags & id3v2::kFrameEncrypted) return {};
  if (frame->flags & id3v2::kFrameCompressed) {
    std::optional<std::vector<uint8_t>> inflated =
        id3v2::InflateFrameData(data, frame->data_length);
    if (!inflated) return {};
    data = std::move(*inflated);
  }
  return id3v2::DecodeFrameText(data);
}

TagTexts GetIDTag(Tid3v2tag& reader, const std::string& path) {
  TagTexts texts;
  try {
    reader.LoadTag(path);
    texts.song = reader.FrameText("TIT2");
    texts.artist = reader.FrameText("TPE1");
    texts.album = reader.FrameText("TALB");
    texts.artist = TrimTrailing(texts.artist);
    texts.song = TrimTrailing(texts.song);
    texts.album = TrimTrailing(texts.album);
    texts.usable = !texts.song.empty() && !texts.artist.empty() && !texts.album.empty();
  } catch (const std::exception&) {
    // Running out of memory on one file's tag must not end the import.
    texts.usable = false;
  }
  if (!texts.usable) texts.song = texts.artist = texts.album = kUnknown;
  return texts;
}

}  // namespace melodrift
