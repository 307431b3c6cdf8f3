// Building the feature table's index from scratch: Open() of a table whose index file is
// missing, then Close(). Baseline: read the table, sort its (unique_id, record) pairs with
// std::sort and write as many bytes as the index file holds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kFixtureTracks = 5000;
constexpr int64_t kFixtureRows = int64_t{kFixtureTracks} * kFeatureColumns;

struct IndexFixture {
  IndexFixture() { WriteFeatureTable(table_path, kFixtureTracks); }

  BenchFolder folder;
  std::string table_path = folder.File("feature_values.dbf");
  std::string index_path = IndexPathOf(table_path);
  std::string baseline_path = folder.File("baseline_index.bin");
};

IndexFixture& Fixture() {
  static IndexFixture fixture;
  return fixture;
}

// The work any index build must do at least, done the plain way.
void ReadSortAndWrite(const std::string& table_path, const std::string& output_path,
                      int64_t output_bytes) {
  const TableLayout layout(FeatureDbfFields());
  const DbfField& id = layout.Field("unique_id");
  auto table = OpenPosixTableFile(table_path, {.read_only = true});
  Require(table.file != nullptr, "table opened for the baseline");
  const size_t length = static_cast<size_t>(layout.record_length());
  std::vector<std::pair<int32_t, uint32_t>> keys;
  keys.reserve(static_cast<size_t>(kFixtureRows));
  std::vector<uint8_t> block((1 << 20) / length * length);
  uint32_t recno = 0;
  for (int64_t at = layout.header_length();; at += static_cast<int64_t>(block.size())) {
    const int64_t got = table.file->ReadAt(at, block.data(), block.size());
    Require(got >= 0, "baseline read");
    const size_t records = static_cast<size_t>(got) / length;
    for (size_t r = 0; r < records; ++r) {
      const char* field = reinterpret_cast<const char*>(block.data()) + r * length + id.offset;
      keys.emplace_back(DecodeInteger(std::string_view(field, static_cast<size_t>(id.length))),
                        ++recno);
    }
    if (got < static_cast<int64_t>(block.size())) break;
  }
  std::sort(keys.begin(), keys.end());
  benchmark::DoNotOptimize(keys.data());

  auto output = OpenPosixTableFile(output_path, {.create = true});
  Require(output.file != nullptr, "baseline output created");
  const std::vector<uint8_t> bytes(1 << 20, 0);
  for (int64_t at = 0; at < output_bytes; at += static_cast<int64_t>(bytes.size())) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(output_bytes - at, bytes.size()));
    Require(output.file->WriteAt(at, bytes.data(), n) == 0, "baseline write");
  }
}

void BuildFeatureIndex(benchmark::State& state) {
  RunGuarded(state, [&] {
    IndexFixture& fixture = Fixture();
    RatioTimer timer;
    for (auto _ : state) {
      Require(RemoveFile(fixture.index_path) == 0, "old index removed");
      timer.Measure(state, [&] {
        TTzDbf table;
        ConfigureFeatureTable(table, fixture.table_path);
        table.Open();
        Require(table.RecCount() == kFixtureRows, "all rows present");
        table.Close();
      });
      const auto index_bytes = static_cast<int64_t>(std::filesystem::file_size(fixture.index_path));
      timer.Baseline(
          [&] { ReadSortAndWrite(fixture.table_path, fixture.baseline_path, index_bytes); });
      state.counters["index_mb"] = static_cast<double>(index_bytes) / (1 << 20);
    }
    timer.Report(state);
    state.SetItemsProcessed(state.iterations() * kFixtureRows);
  });
}

// One build per repetition: each takes long enough to time on its own.
BENCHMARK(BuildFeatureIndex)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
