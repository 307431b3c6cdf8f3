#include "app/time_text.h"

namespace melodrift {

std::string MinutesSeconds(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t minutes = seconds / 60;
  const int64_t rest = seconds % 60;
  return std::to_string(minutes) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
}

}  // namespace melodrift
