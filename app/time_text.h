// Times shown to the user as m:ss: minutes without padding, ':', seconds with two digits.
#pragma once

#include <cstdint>
#include <string>

namespace melodrift {

// 245 gives "4:05", 59 "0:59", 3600 "60:00". A negative time (the -1 seconds of a track
// that could not be decoded, a countdown past its end) shows as "0:00".
std::string MinutesSeconds(int64_t seconds);

}  // namespace melodrift
