#!/usr/bin/env bash
# Runs the libFuzzer harness over the C interface for a bounded time, starting from the seed
# corpus of every family (tests/fuzz/corpus/*), under a memory ceiling. New inputs go to a
# scratch folder; a crash, a sanitizer report, a broken rule or a breach of the ceiling fails
# the run and leaves the input in build-fuzz/artifacts/ (make it a test row and a seed). The
# library's own lines (reasons of failed draws) go to build-fuzz/fuzz.log with libFuzzer's.
# Usage: scripts/fuzz.sh [SECONDS] (default 180)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
fuzzer=build-fuzz/fuzz_capi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/artifacts
ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64:malloc_context_size=10 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=120 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/artifacts/ "$work" tests/fuzz/corpus/* >/dev/null 2>build-fuzz/fuzz.log \
  || { grep -vE '^(\[|サーフェス作成に失敗)' build-fuzz/fuzz.log | tail -n 80; exit 1; }
grep -E "^#[0-9]+ +DONE|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" build-fuzz/fuzz.log
echo "fuzz_capi: no crash in ${seconds} s"
