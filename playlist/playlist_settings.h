// The settings that shape a playlist, as the parameter window holds them. Other parts read them
// at the moments they need them (the filters once per ranking run, the boost and random level
// for every distance, the limits when Test, Write or Copy starts), so a change in the window
// during a run applies from then on. The window program reads its controls; the command line
// and tests use FixedPlaylistSettings.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace melodrift {

enum class LimitKind { kCount, kTime, kSize };
enum class ArtistFilter { kOff = 0, kSame = 1, kDifferent = 2 };
enum class BoostType { kOff = 0, kLow = 1, kHigh = 2, kAuto = 3 };

class PlaylistSettings {
 public:
  virtual ~PlaylistSettings() = default;
  // Seconds Filter and its bounds (exclusive), as read: a spin field whose text is not an
  // integer reads as its minimum.
  virtual bool FilterOn() const = 0;
  virtual int SpinMin() const = 0;
  virtual int SpinMax() const = 0;
  virtual melodrift::ArtistFilter ArtistFilter() const = 0;
  virtual melodrift::BoostType BoostType() const = 0;
  virtual int BoostWeight() const = 0;  // 1 to 5
  virtual int RandomLevel() const = 0;  // 1 to 5
  // Which limit is in force, and the texts of the three limit fields (songs, minutes, MB).
  virtual LimitKind Limit() const = 0;
  virtual std::string SongsText() const = 0;
  virtual std::string MinutesText() const = 0;
  virtual std::string MegabytesText() const = 0;
};

// Settings held as plain values, with the window's defaults.
struct FixedPlaylistSettings final : PlaylistSettings {
  bool filter_on = false;
  int spin_min = 135;
  int spin_max = 285;
  melodrift::ArtistFilter artist_filter = melodrift::ArtistFilter::kOff;
  melodrift::BoostType boost_type = melodrift::BoostType::kAuto;
  int boost_weight = 3;
  int random_level = 3;
  LimitKind limit = LimitKind::kCount;
  std::string songs = "40";
  std::string minutes = "80";
  std::string megabytes = "700";

  bool FilterOn() const override { return filter_on; }
  int SpinMin() const override { return spin_min; }
  int SpinMax() const override { return spin_max; }
  melodrift::ArtistFilter ArtistFilter() const override { return artist_filter; }
  melodrift::BoostType BoostType() const override { return boost_type; }
  int BoostWeight() const override { return boost_weight; }
  int RandomLevel() const override { return random_level; }
  LimitKind Limit() const override { return limit; }
  std::string SongsText() const override { return songs; }
  std::string MinutesText() const override { return minutes; }
  std::string MegabytesText() const override { return megabytes; }
};

// A limit text that is not an integer: "'%s' is not a valid integer value".
class InvalidIntegerError : public std::runtime_error {
 public:
  explicit InvalidIntegerError(const std::string& text)
      : std::runtime_error("'" + text + "' is not a valid integer value") {}
};

// An optionally signed decimal integer in the 32-bit range, or nothing.
std::optional<int32_t> ParseInteger(const std::string& text);

// The three limits read at the start of Test, Write or Copy: all three are converted, whichever
// is in force. Throws InvalidIntegerError for the first text that is not an integer.
struct PlaylistLimits {
  LimitKind kind = LimitKind::kCount;
  int64_t songs = 0;
  int64_t seconds = 0;    // minutes x 60
  int64_t kilobytes = 0;  // megabytes x 1024
};
PlaylistLimits ReadLimits(const PlaylistSettings& settings);

}  // namespace melodrift
