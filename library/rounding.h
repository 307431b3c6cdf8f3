// The one rounding rule of the program: to the nearest integer, halves to the even neighbour.
#pragma once

#include <cmath>
#include <cstdint>

namespace melodrift {

// Rounds under the default floating-point rounding mode (nearest, ties to even).
inline double RoundHalfEven(double value) {
  return std::nearbyint(value);
}

// The rounded value as a 64-bit integer (values beyond its range saturate; NaN gives 0).
inline int64_t RoundToInt64(double value) {
  if (std::isnan(value)) return 0;
  const double r = RoundHalfEven(value);
  if (r >= 9.2233720368547758e18) return INT64_MAX;
  if (r <= -9.2233720368547758e18) return INT64_MIN;
  return static_cast<int64_t>(r);
}

}  // namespace melodrift
