// Storing one track's feature rows into a large feature table: 256 appends and a flush.
// Baseline: the same 256 records encoded and written with one pwrite each, plus the header.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "bench/bench_tables.h"

namespace melodrift::bench {
namespace {

constexpr int kFixtureTracks = 5000;

struct StoreFixture : IndexedFeatureTable {
  StoreFixture() : IndexedFeatureTable(kFixtureTracks) {}

  std::string baseline_path = folder.File("baseline_rows.bin");
  int64_t next_id = kFixtureTracks + 1;  // every stored track gets a new id
};

StoreFixture& Fixture() {
  static StoreFixture fixture;
  return fixture;
}

void StoreTrackRows(TTzDbf& table, int64_t unique_id) {
  for (int column = 0; column < kFeatureColumns; ++column) {
    table.ClearRecord();
    table.SetFieldInt("unique_id", unique_id);
    table.SetFieldInt("f_column", column);
    table.SetFieldInt("f_value", FeatureValue(unique_id, column));
    table.AppendRec();
  }
  table.FlushDbf();
}

// The least a store can do: encode each record and write it at the end of a file, then
// write the header once.
class RawRowWriter {
 public:
  explicit RawRowWriter(const std::string& path)
      : layout_(FeatureDbfFields()),
        id_(layout_.Field("unique_id")),
        column_(layout_.Field("f_column")),
        value_(layout_.Field("f_value")),
        record_(layout_.BlankRecord()) {
    auto opened = OpenPosixTableFile(path, {.create = true});
    Require(opened.file != nullptr, "baseline file created");
    file_ = std::move(opened.file);
  }

  void WriteTrack(int64_t unique_id) {
    PutInt(record_, id_, unique_id);
    for (int column = 0; column < kFeatureColumns; ++column) {
      PutInt(record_, column_, column);
      PutInt(record_, value_, FeatureValue(unique_id, column));
      Require(file_->WriteAt(end_, record_.data(), record_.size()) == 0, "baseline write");
      end_ += static_cast<int64_t>(record_.size());
    }
    Require(file_->WriteAt(0, header_, sizeof header_) == 0, "baseline header write");
  }

 private:
  TableLayout layout_;
  const DbfField& id_;
  const DbfField& column_;
  const DbfField& value_;
  std::string record_;
  std::unique_ptr<TableFile> file_;
  uint8_t header_[32] = {};
  int64_t end_ = sizeof header_;
};

void StoreOneTrackFeatureRows(benchmark::State& state) {
  RunGuarded(state, [&] {
    StoreFixture& fixture = Fixture();
    TTzDbf table;
    ConfigureFeatureTable(table, fixture.table_path);
    table.Open();
    const int64_t rows_before = table.RecCount();
    RawRowWriter baseline(fixture.baseline_path);
    RatioTimer timer;
    for (auto _ : state) {
      const int64_t unique_id = fixture.next_id++;
      timer.Measure(state, [&] { StoreTrackRows(table, unique_id); });
      timer.Baseline([&] { baseline.WriteTrack(unique_id); });
    }
    timer.Report(state);
    state.SetItemsProcessed(state.iterations() * kFeatureColumns);
    Require(table.RecCount() == rows_before + state.iterations() * kFeatureColumns,
            "every row appended");
    table.Close();
  });
}

// A fixed count keeps the table near its starting size (100 tracks more per repetition).
BENCHMARK(StoreOneTrackFeatureRows)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(100);

}  // namespace
}  // namespace melodrift::bench

int main(int argc, char** argv) {
  return melodrift::bench::RunTableBenchmarks(argc, argv);
}
