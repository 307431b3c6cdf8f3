// The program's one random generator: every random choice draws from it. Seeded from the
// clock at start-up; tests seed it or script its draws by overriding Draw. Main thread only.
#pragma once

#include <cstdint>
#include <random>

namespace melodrift {

class RandomSource {
 public:
  RandomSource() { SeedFromClock(); }
  virtual ~RandomSource() = default;
  RandomSource(const RandomSource&) = delete;
  RandomSource& operator=(const RandomSource&) = delete;

  void SeedFromClock();
  void Seed(uint64_t seed) { engine_.seed(seed); }

  // A uniform whole number from 0 to n - 1; 0 when n is 1 or less.
  virtual int64_t Draw(int64_t n);

 private:
  std::mt19937_64 engine_;
};

}  // namespace melodrift
