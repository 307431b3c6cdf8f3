#include "playlist/playlist_settings.h"

#include <charconv>

namespace melodrift {

std::optional<int32_t> ParseInteger(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && *begin == ' ') ++begin;  // leading blanks are allowed, as when typed
  const bool negative = begin != end && *begin == '-';
  if (begin != end && (*begin == '-' || *begin == '+')) ++begin;
  if (begin == end || *begin == '-' || *begin == '+') return std::nullopt;
  int64_t value = 0;
  auto [stop, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || stop != end) return std::nullopt;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

PlaylistLimits ReadLimits(const PlaylistSettings& settings) {
  auto read = [](const std::string& text) -> int64_t {
    const std::optional<int32_t> value = ParseInteger(text);
    if (!value) throw InvalidIntegerError(text);
    return *value;
  };
  PlaylistLimits limits;
  limits.kind = settings.Limit();
  limits.songs = read(settings.SongsText());
  limits.seconds = read(settings.MinutesText()) * 60;
  limits.kilobytes = read(settings.MegabytesText()) * 1024;
  return limits;
}

}  // namespace melodrift
