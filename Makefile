# Front door: `make run` and `make test` set everything up on a fresh Debian 12 machine.
BUILD_DIR  ?= build
ASAN_DIR   ?= build-asan
BENCH_DIR  ?= build-bench
FUZZ_DIR   ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build run test test-core test-asan bench fuzz format clean crash-test

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	cd $(BUILD_DIR) && ./melodrift

test-core: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

$(ASAN_DIR)/build.ninja: | deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DMELODRIFT_SANITIZE=ON -DMELODRIFT_WITH_UI=OFF -DMELODRIFT_WITH_BENCH=OFF

test-asan: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

test: test-core test-asan

# The crash-safety test with more kills than `make test` runs (CRASH_KILLS=n to choose).
CRASH_KILLS ?= 1000
crash-test: build
	$(BUILD_DIR)/crash_test --kills $(CRASH_KILLS)

$(BENCH_DIR)/build.ninja: | deps
	cmake -S . -B $(BENCH_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

bench: deps $(BENCH_DIR)/build.ninja
	cmake --build $(BENCH_DIR) -j $(JOBS)
	cd $(BENCH_DIR) && for b in bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true || exit 1; done

# The libFuzzer targets of tests/fuzz (clang, ASan and UBSan), each run FUZZ_SECONDS seconds.
$(FUZZ_DIR)/build.ninja: | deps
	cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DMELODRIFT_WITH_UI=OFF -DMELODRIFT_WITH_BENCH=OFF -DMELODRIFT_FUZZ=ON

fuzz: deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash tests/fuzz/run-fuzzers.sh $(FUZZ_DIR)

format:
	find app library analysis playlist playback viz tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(BENCH_DIR) $(FUZZ_DIR)
