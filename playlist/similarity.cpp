#include "playlist/similarity.h"

#include <cmath>
#include <limits>

#include "library/rounding.h"

namespace melodrift {

namespace {

constexpr double kStartSum = 100;
constexpr double kHalfWeight = 0.5;
constexpr int kLowFirstBin = 0;
constexpr int kLowLastBin = 6;
constexpr int kHighFirstBin = 24;
constexpr int kHighLastBin = 116;
constexpr double kAutoDivisor = 2;
constexpr int64_t kJitterDraw = 100;  // r and r2 are drawn from 0 to 99
constexpr int64_t kShrinkAbove = 45;  // r above this shrinks the sum
constexpr int64_t kGrowAbove = 10;    // else r2 above this grows it
constexpr double kJitterPercent = 100;

int32_t ClampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace

SeedSpectrum BuildSeed(bool seed_is_average, int32_t seed_unique_id, const LibraryAverage& average,
                       SpectrumCache& spectra) {
  SeedSpectrum seed{};
  if (seed_is_average) {
    for (int bin = 0; bin < kFeatureColumns; ++bin) {
      seed[bin] = ClampToInt32(RoundToInt64(average[bin]));
    }
    return seed;
  }
  for (const FeatureRow& row : spectra.Rows(seed_unique_id)) seed[row.column] = row.value;
  return seed;
}

DistanceCalculator::DistanceCalculator(const SeedSpectrum& seed, const LibraryAverage& average) {
  for (int bin = 0; bin < kFeatureColumns; ++bin) {
    const double s = seed[bin];
    const double a = average[bin];
    Bin& terms = bins_[bin];
    terms.seed = s;
    // Beyond the seed, on the side away from the average, a difference counts half.
    terms.weight[1] = a < s ? kHalfWeight : 1;  // the track's value above the seed
    terms.weight[0] = a > s ? kHalfWeight : 1;  // below (or equal: then d2 is 0)
    auto_factor_[bin] = a == 0 ? std::numeric_limits<double>::quiet_NaN()
                               : ((std::fabs(s - a) + a) / a) / kAutoDivisor;
  }
}

void DistanceCalculator::PrepareBoost(BoostType boost, int boost_weight) const {
  if (boost == boost_type_ && boost_weight == boost_weight_) return;
  const double weight = boost_weight;
  for (int bin = 0; bin < kFeatureColumns; ++bin) {
    double multiplier = 0;
    switch (boost) {
      case BoostType::kOff:
        break;
      case BoostType::kLow:
        if (bin >= kLowFirstBin && bin <= kLowLastBin) multiplier = weight;
        break;
      case BoostType::kHigh:
        if (bin >= kHighFirstBin && bin <= kHighLastBin) multiplier = weight;
        break;
      case BoostType::kAuto:
        multiplier = weight * auto_factor_[bin];
        break;
    }
    bins_[bin].boost = multiplier;
  }
  boost_type_ = boost;
  boost_weight_ = boost_weight;
}

int32_t DistanceCalculator::CalcTotals(const std::vector<FeatureRow>& rows, BoostType boost,
                                       int boost_weight, int random_level, RandomSource& random,
                                       bool* failed) const {
  if (failed != nullptr) *failed = false;
  // The additions stay separate and in order (weighted difference, then boost), so that the
  // sum is rounded exactly as it is computed step by step. Adding the boost of a bin outside
  // Low or High adds 0, which leaves the sum as it is.
  double sum = kStartSum;
  if (boost == BoostType::kOff) {
    for (const FeatureRow& row : rows) {
      const Bin& bin = bins_[row.column];
      const double value = row.value;
      const double difference = bin.seed - value;  // exact: both are 32-bit integers
      const double d2 = difference * difference;
      sum += d2 * bin.weight[value > bin.seed];
    }
  } else {
    PrepareBoost(boost, boost_weight);
    for (const FeatureRow& row : rows) {
      const Bin& bin = bins_[row.column];
      const double value = row.value;
      const double difference = bin.seed - value;
      const double d2 = difference * difference;
      sum += d2 * bin.weight[value > bin.seed];
      sum += d2 * bin.boost;
    }
  }
  // "Auto" over a bin whose average is 0 has no value: the computation fails before any draw.
  if (std::isnan(sum)) {
    if (failed != nullptr) *failed = true;
    return NoDistance;
  }

  const int64_t level = random_level;
  if (random.Draw(kJitterDraw) > kShrinkAbove) {
    const double q = static_cast<double>(random.Draw(level));
    sum = sum - q * sum * static_cast<double>(level) / kJitterPercent;
  } else if (random.Draw(kJitterDraw) > kGrowAbove) {
    const double q = static_cast<double>(random.Draw(level));
    sum = sum + q * sum * static_cast<double>(level) / kJitterPercent;
  }
  // Only a random level beyond 10 could take the sum below 0; the root then has no value.
  if (!(sum >= 0)) {
    if (failed != nullptr) *failed = true;
    return NoDistance;
  }

  const double distance = RoundHalfEven(std::sqrt(sum));
  if (distance >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(distance);
}

}  // namespace melodrift
