// What every table benchmark needs besides its fixture: a temporary folder, a timer that puts
// the measured operation next to its baseline, error reporting and the main function.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "library/table_error.h"

namespace melodrift::bench {

// A fresh folder under /tmp, removed with everything in it at destruction.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = "/tmp/melodrift-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // A subfolder, created on first use; tables that must not share a folder get one each.
  std::string Subfolder(const std::string& name) const {
    std::string sub = File(name);
    std::filesystem::create_directories(sub);
    return sub;
  }

 private:
  std::string path_;
};

// Times the operation and its baseline one after the other in every iteration, so both see
// the same load on a shared machine. The operation's time becomes the iteration time (the
// benchmark must use UseManualTime); the baseline shows up as counters.
class RatioTimer {
 public:
  template <typename Operation>
  void Measure(benchmark::State& state, Operation&& operation) {
    const double seconds = Seconds(operation);
    measured_seconds_ += seconds;
    state.SetIterationTime(seconds);
  }

  template <typename Operation>
  void Baseline(Operation&& operation) {
    baseline_seconds_ += Seconds(operation);
  }

  void Report(benchmark::State& state) const {
    if (state.iterations() == 0 || baseline_seconds_ <= 0) return;
    const double iterations = static_cast<double>(state.iterations());
    state.counters["baseline_us"] = baseline_seconds_ / iterations * 1e6;
    state.counters["ratio_to_baseline"] = measured_seconds_ / baseline_seconds_;
  }

 private:
  template <typename Operation>
  static double Seconds(Operation& operation) {
    const auto start = std::chrono::steady_clock::now();
    operation();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
  }

  double measured_seconds_ = 0;
  double baseline_seconds_ = 0;
};

// Set when a benchmark failed, so the program ends with a failure status for `make bench`.
inline bool& AnyBenchmarkFailed() {
  static bool failed = false;
  return failed;
}

// Runs a benchmark body; a table error (thrown, see main below) or a failed check marks the
// benchmark as failed instead of ending the process without a word.
template <typename Body>
void RunGuarded(benchmark::State& state, Body&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    AnyBenchmarkFailed() = true;
    state.SkipWithError(e.what());
  }
}

inline void Require(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error("check failed: " + what);
}

inline int RunTableBenchmarks(int argc, char** argv) {
  ScopedThrowingTableErrors throwing;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return AnyBenchmarkFailed() ? 1 : 0;
}

}  // namespace melodrift::bench
