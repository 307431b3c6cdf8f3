#include "app/random_source.h"

#include <chrono>

namespace melodrift {

void RandomSource::SeedFromClock() {
  engine_.seed(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

int64_t RandomSource::Draw(int64_t n) {
  if (n <= 1) return 0;
  return std::uniform_int_distribution<int64_t>(0, n - 1)(engine_);
}

}  // namespace melodrift
