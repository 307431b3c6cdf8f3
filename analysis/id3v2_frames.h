// The frame list of a tag body: the extended header is skipped and the frames are read one
// after the other, each version by its own small parser.
#pragma once

#include <cstdint>
#include <span>

#include "analysis/id3v2_tag.h"

namespace melodrift::id3v2 {

// Appends the frames of `body` (the tag after its header, with a version 3 tag's
// unsynchronisation already undone) to `frames`, in file order. Returns false, with nothing
// appended, when the extended header is damaged; a damaged frame (bad identifier, a size
// past the body, extra bytes that do not fit) only ends the list, keeping the frames before
// it. Nothing outside `body` is read. Throws only std::bad_alloc.
bool ReadFrames(int version, bool has_extended_header, std::span<const uint8_t> body,
                TFrameIndex& frames);

}  // namespace melodrift::id3v2
