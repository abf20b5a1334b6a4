#!/usr/bin/env bash
# Runs every libFuzzer harness of tests/fuzz for a bounded time, as many at once as there are
# cores, each from its seed corpus (tests/fuzz/corpus/<name>/; the C interface's has a folder
# per family under corpus/capi/) with its dictionary (tests/fuzz/dict/), under a memory
# ceiling. New inputs go to a scratch folder; a crash, a sanitizer report, a broken property or
# a breach of the ceiling fails the run and leaves the input in build-fuzz/artifacts/<name>/
# (make it a test row and a seed). Each harness's log, the library's own lines (reasons of
# failed draws) included, is build-fuzz/logs/<name>.log.
#
# Usage: scripts/fuzz.sh [CAPI_SECONDS [EACH_SECONDS]]
#   CAPI_SECONDS  time of fuzz_capi, the C interface (default 180)
#   EACH_SECONDS  time of each other harness (default 60)
# On 2 cores the default run takes about 6 minutes: fuzz_capi on one core while the other
# harnesses take turns on the other, then the last ones two at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
capi_seconds=${1:-180}
each_seconds=${2:-60}
jobs=$(nproc)
fuzzers=(capi compact_png row_deflater gs1_128 databar_expanded sjis_conversion tool_csv tool_cli tool_gs1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/logs

run() {
  local name=$1 seconds=$2
  local corpus=(tests/fuzz/corpus/"$name")
  [ "$name" = capi ] && corpus=(tests/fuzz/corpus/capi/*)
  local options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=120 -print_final_stats=1
                 -artifact_prefix=build-fuzz/artifacts/"$name"/)
  [ -f tests/fuzz/dict/fuzz_"$name".dict ] && options+=(-dict=tests/fuzz/dict/fuzz_"$name".dict)
  mkdir -p "$work/$name" build-fuzz/artifacts/"$name"
  local status=0
  ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64:malloc_context_size=10 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build-fuzz/fuzz_"$name" "${options[@]}" "$work/$name" "${corpus[@]}" \
    >/dev/null 2>build-fuzz/logs/"$name".log || status=$?
  echo "$status" >"$work/$name.status"
}

running=0
for name in "${fuzzers[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  seconds=$each_seconds
  [ "$name" = capi ] && seconds=$capi_seconds
  run "$name" "$seconds" &
  running=$((running + 1))
done
wait

# One line per harness: the figures of its last run, from libFuzzer's final lines.
failed=0
for name in "${fuzzers[@]}"; do
  log=build-fuzz/logs/$name.log
  status=$(cat "$work/$name.status" 2>/dev/null || echo 1)
  figure() { grep -m1 "^stat::$1:" "$log" | awk '{print $2}' || true; }
  seeded=$(grep -m1 -oE 'INITED cov: [0-9]+ ft: [0-9]+' "$log" | awk '{print $3 "/" $5}' || true)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n1 || true)
  cov=$(echo "$done_line" | grep -oE 'cov: [0-9]+' | awk '{print $2}' || true)
  ft=$(echo "$done_line" | grep -oE 'ft: [0-9]+' | awk '{print $2}' || true)
  corp=$(echo "$done_line" | grep -oE 'corp: [0-9]+' | awk '{print $2}' || true)
  printf 'fuzz_%s: %s runs (%s/s), cov %s ft %s (seeds alone %s), corpus %s, peak %s MB' "$name" \
    "$(figure number_of_executed_units)" "$(figure average_exec_per_sec)" "${cov:-?}" "${ft:-?}" "${seeded:-?}" \
    "${corp:-?}" "$(figure peak_rss_mb)"
  if [ "$status" = 0 ] && [ -n "$done_line" ]; then
    echo ": no failure"
  else
    echo ": FAILED (exit $status), see $log and build-fuzz/artifacts/$name/"
    failed=1
  fi
done
if [ "$failed" != 0 ]; then
  for name in "${fuzzers[@]}"; do
    if [ "$(cat "$work/$name.status" 2>/dev/null || echo 1)" != 0 ]; then
      echo "--- fuzz_$name"
      grep -vE '^(\[|サーフェス作成に失敗|ERROR: サーフェス)' build-fuzz/logs/"$name".log | tail -n 60
    fi
  done
  exit 1
fi
echo "fuzzers: no failure (fuzz_capi ${capi_seconds} s, the other $((${#fuzzers[@]} - 1)) ${each_seconds} s each)"
