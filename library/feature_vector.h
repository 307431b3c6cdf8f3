// A track's spectrum as the library stores it: 256 feature values, value k being the average
// FFT magnitude of frequency bin k.
#pragma once

#include <array>
#include <cstdint>

namespace melodrift {

inline constexpr int kFeatureColumns = 256;

// Stored values (f_value of feature columns 0 to 255).
using FeatureVector = std::array<int32_t, kFeatureColumns>;

// Values before storing; StoreTrack rounds them (halves to even).
using FeatureValues = std::array<double, kFeatureColumns>;

}  // namespace melodrift
