// What every fuzz target shares: the entry point and the checks of its oracles.
//
// Built for libFuzzer (MELODRIFT_LIBFUZZER defined), MELODRIFT_FUZZ_TARGET(name) opens the
// definition of LLVMFuzzerTestOneInput; otherwise it defines a function registered under
// `name`, so that one replay program can run every target on its corpus with any compiler.
// The body sees the input as `data` and `size` and returns 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace melodrift::fuzz {

// The input being replayed, named in a failed check's message ("" under libFuzzer, which
// saves the input itself).
inline std::string& CurrentInputName() {
  static std::string name;
  return name;
}

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s (input: %s)\n", file, line, condition,
               CurrentInputName().empty() ? "see libFuzzer's report" : CurrentInputName().c_str());
  std::abort();
}

using FuzzFunction = int (*)(const uint8_t* data, size_t size);

struct FuzzTarget {
  const char* name;  // also the name of its corpus folder
  FuzzFunction run;
};

inline std::vector<FuzzTarget>& RegisteredFuzzTargets() {
  static std::vector<FuzzTarget> targets;
  return targets;
}

inline bool RegisterFuzzTarget(const char* name, FuzzFunction run) {
  RegisteredFuzzTargets().push_back({name, run});
  return true;
}

}  // namespace melodrift::fuzz

// An oracle of a target: a failure aborts, which libFuzzer reports as a crash with its input.
#define FUZZ_CHECK(condition) \
  ((condition) ? void(0) : ::melodrift::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

#if defined(MELODRIFT_LIBFUZZER)
#define MELODRIFT_FUZZ_TARGET(name) \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#else
#define MELODRIFT_FUZZ_TARGET(name)                                    \
  static int name##_one_input(const uint8_t* data, size_t size);       \
  [[maybe_unused]] static const bool name##_registered =               \
      ::melodrift::fuzz::RegisterFuzzTarget(#name, &name##_one_input); \
  static int name##_one_input(const uint8_t* data, size_t size)
#endif

namespace melodrift::fuzz {

// Picks one of `n` ways to run an input, the same way every time for the same bytes (so that
// a saved input replays as it failed) and often another way after a mutation. Targets with
// costly stages run one per input rather than all, for more inputs per second.
inline size_t StageOf(const uint8_t* data, size_t size, size_t n) {
  // FNV-1a over the size and at most 256 bytes spread over the input: hashing all of a
  // large input would cost more than some stages.
  uint32_t hash = (2166136261u ^ static_cast<uint32_t>(size)) * 16777619u;
  const size_t stride = size / 256 + 1;
  for (size_t i = 0; i < size; i += stride) hash = (hash ^ data[i]) * 16777619u;
  return hash % n;
}

// The stages to run for an input: under libFuzzer the one StageOf picks, in a replay all of
// them, so that every corpus file goes through every stage.
inline std::vector<size_t> StagesOf(const uint8_t* data, size_t size, size_t n) {
#if defined(MELODRIFT_LIBFUZZER)
  return {StageOf(data, size, n)};
#else
  (void)data;
  (void)size;
  std::vector<size_t> all(n);
  for (size_t i = 0; i < n; ++i) all[i] = i;
  return all;
#endif
}

}  // namespace melodrift::fuzz
