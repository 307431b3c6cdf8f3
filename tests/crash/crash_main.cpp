// crash_test [--kills N] [--seed S] [--batch N] [--library N] [--keep]: the crash-safety run
// (see crash_test.h). Exit status 0 when every restart found the library intact.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "tests/crash/crash_test.h"

int main(int argc, char** argv) {
  melodrift::crash::CrashTestOptions options;
  options.cli = MELODRIFT_CLI;
  options.mp3_dir = MELODRIFT_TEST_MP3_DIR;
  options.seed = std::random_device()();
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--kills" && has_value) {
      options.kills = std::stoi(argv[++i]);
    } else if (arg == "--seed" && has_value) {
      options.seed = std::stoull(argv[++i]);
    } else if (arg == "--batch" && has_value) {
      options.batch_files = std::stoi(argv[++i]);
    } else if (arg == "--library" && has_value) {
      options.library_files = std::stoi(argv[++i]);
    } else if (arg == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: crash_test [--kills N] [--seed S] [--batch N] [--library N] [--keep]\n");
      return 2;
    }
  }
  std::string work = (std::filesystem::temp_directory_path() / "melodrift-crash-XXXXXX").string();
  if (::mkdtemp(work.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  options.work_dir = work;
  std::printf("crash test: %d kills, seed %llu, in %s\n", options.kills,
              static_cast<unsigned long long>(options.seed), work.c_str());
  std::fflush(stdout);

  melodrift::crash::CrashTest test(options);
  try {
    test.Run();
  } catch (const std::exception& e) {
    std::printf("%s\nFAILED: %s\n", test.Summary().c_str(), e.what());
    return 1;
  }
  std::printf("%s", test.Summary().c_str());
  if (!keep) std::filesystem::remove_all(work);
  std::printf("crash test: passed\n");
  return 0;
}
