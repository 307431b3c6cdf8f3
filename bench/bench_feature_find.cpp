// Reading one track's features through the index: FindExact on its unique_id, then 255 Next,
// reading f_value on every row. Baseline: a binary search over the same keys in memory, one
// pread of the track's 256 records and decoding their values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kFixtureTracks = 5000;

struct FindFixture : IndexedFeatureTable {
  FindFixture() : IndexedFeatureTable(kFixtureTracks) {}
};

FindFixture& Fixture() {
  static FindFixture fixture;
  return fixture;
}

int64_t ReadTrackThroughIndex(TTzDbf& table, int64_t unique_id, int64_t& last_row_id) {
  if (!table.FindExact(std::to_string(unique_id))) return -1;
  int64_t sum = table.FieldInt("f_value");
  for (int row = 1; row < kFeatureColumns; ++row) {
    table.Next();
    sum += table.FieldInt("f_value");
  }
  last_row_id = table.FieldInt("unique_id");
  return sum;
}

// The same lookup without the layer: keys in a sorted array, records read in one call.
class PlainLookup {
 public:
  explicit PlainLookup(const std::string& table_path)
      : layout_(FeatureDbfFields()), value_(layout_.Field("f_value")) {
    auto opened = OpenPosixTableFile(table_path, {.read_only = true});
    Require(opened.file != nullptr, "table opened for the baseline");
    file_ = std::move(opened.file);
    // Record order is key order in this table, so the array maps straight to record numbers.
    keys_.reserve(size_t{kFixtureTracks} * kFeatureColumns);
    for (int32_t id = 1; id <= kFixtureTracks; ++id) keys_.insert(keys_.end(), kFeatureColumns, id);
    block_.resize(size_t{kFeatureColumns} * static_cast<size_t>(layout_.record_length()));
  }

  int64_t ReadTrack(int64_t unique_id) {
    const auto hit = std::lower_bound(keys_.begin(), keys_.end(), unique_id);
    if (hit == keys_.end() || *hit != unique_id) return -1;
    const int64_t length = layout_.record_length();
    const int64_t at = layout_.header_length() + (hit - keys_.begin()) * length;
    Require(file_->ReadAt(at, block_.data(), block_.size()) == static_cast<int64_t>(block_.size()),
            "baseline read");
    int64_t sum = 0;
    for (int row = 0; row < kFeatureColumns; ++row) {
      const char* field = block_.data() + row * length + value_.offset;
      sum += DecodeInteger(std::string_view(field, static_cast<size_t>(value_.length)));
    }
    return sum;
  }

 private:
  TableLayout layout_;
  const DbfField& value_;
  std::unique_ptr<TableFile> file_;
  std::vector<int32_t> keys_;
  std::vector<char> block_;
};

void FindExactAnd255Next(benchmark::State& state) {
  RunGuarded(state, [&] {
    FindFixture& fixture = Fixture();
    TTzDbf table;
    ConfigureFeatureTable(table, fixture.table_path);
    table.Open();
    PlainLookup baseline(fixture.table_path);
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> any_track(1, kFixtureTracks);
    RatioTimer timer;
    for (auto _ : state) {
      const int64_t unique_id = any_track(random);
      int64_t through_index = 0, plain = 0, last_row_id = 0;
      timer.Measure(state,
                    [&] { through_index = ReadTrackThroughIndex(table, unique_id, last_row_id); });
      timer.Baseline([&] { plain = baseline.ReadTrack(unique_id); });
      Require(plain >= 0 && through_index == plain && last_row_id == unique_id,
              "the index returns the track's 256 rows");
    }
    timer.Report(state);
    state.SetItemsProcessed(state.iterations() * kFeatureColumns);
    table.Close();
  });
}

BENCHMARK(FindExactAnd255Next)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
