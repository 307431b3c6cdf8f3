#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build (MELODRIFT_FUZZ) one after the other, each for
# FUZZ_SECONDS seconds (default 60), on its corpus. The seeds and regression files of
# tests/fuzz/corpus/<target>/ are only read; new inputs go to <build>/fuzz-corpus/<target>/,
# and a crash, hang, leak or failed check to <build>/fuzz-findings/. Each run's executions
# are added to <build>/fuzz-logs/executions.tsv. Exits 1 when a target failed.
#   tests/fuzz/run-fuzzers.sh FUZZ_BUILD_DIR [TARGET...]
set -uo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 FUZZ_BUILD_DIR [TARGET...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$here"/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p "$build/fuzz-corpus" "$build/fuzz-findings" "$build/fuzz-logs"

# Inputs longer than these add time per run, not paths: a small tag, a table of a few records,
# the seed index, one measured block, a few frames.
max_len() {
  case $1 in
    fuzz_id3v2_tag) echo 2048 ;;
    fuzz_dbf_table) echo 1024 ;;
    fuzz_mdx_index) echo 8192 ;;
    fuzz_wav_features) echo 4608 ;;
    *) echo 4096 ;;
  esac
}
# Short allocation stacks: collecting them is much of a run's time.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=5}
# The targets that write files (tables, WAV files) write them to memory where there is some.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

failed=0
for t in "${targets[@]}"; do
  program=$build/fuzz/$t
  if [ ! -x "$program" ]; then
    echo "$t: not built ($program)" >&2
    failed=1
    continue
  fi
  mkdir -p "$build/fuzz-corpus/$t"
  # A log per run, so that runs of one target side by side (one per core) keep theirs.
  log=$build/fuzz-logs/$t-$(date -u +%Y%m%dT%H%M%S)-$$.log
  nice -n 10 "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$t-" \
    "$build/fuzz-corpus/$t" "$here/corpus/$t" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  result=passed
  if [ $status -ne 0 ]; then
    result=FAILED
    failed=1
  fi
  printf '%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$seconds" "${runs:-0}" "$result" \
    >>"$build/fuzz-logs/executions.tsv"
  echo "$t: ${runs:-0} executions in ${seconds}s, $result"
  if [ $status -ne 0 ]; then
    grep -E 'ERROR|fuzz check failed|SUMMARY|Test unit written' "$log" | head -5
  fi
done
exit $failed
