// Every file of every fuzz target's corpus (tests/fuzz/corpus/<target>/: our seeds and the
// inputs that once made a target fail) run through the target, built with this build's
// compiler and sanitizers instead of libFuzzer. A failed check of a target aborts the
// program, naming the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_target.h"
#include "tests/support/temp_dir.h"

namespace melodrift::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = MELODRIFT_FUZZ_CORPUS_DIR;

std::vector<fs::path> CorpusFiles(const std::string& target) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(kCorpus / target, ec)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class FuzzCorpusReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzCorpusReplay, EveryCorpusFileRunsCleanly) {
  const FuzzTarget& target = GetParam();
  const std::vector<fs::path> files = CorpusFiles(target.name);
  ASSERT_FALSE(files.empty()) << "no corpus in " << (kCorpus / target.name);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const std::string bytes = testing::ReadFileBytes(file.string());
    CurrentInputName() = file.string();
    EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
  CurrentInputName().clear();
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplay, ::testing::ValuesIn(RegisteredFuzzTargets()),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                           return std::string(info.param.name);
                         });

// A corpus without its target would silently never run.
TEST(FuzzCorpusReplayTest, EveryCorpusFolderHasItsTarget) {
  for (const fs::directory_entry& e : fs::directory_iterator(kCorpus)) {
    if (!e.is_directory()) continue;
    const std::string name = e.path().filename().string();
    const auto& targets = RegisteredFuzzTargets();
    EXPECT_TRUE(std::any_of(targets.begin(), targets.end(),
                            [&](const FuzzTarget& t) { return name == t.name; }))
        << "corpus " << name << " has no target";
  }
}

}  // namespace
}  // namespace melodrift::fuzz
