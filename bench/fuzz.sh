#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# every fuzz target from its committed seed corpus within a total time budget, shared equally, then
# prints per target the executions, executions per second, coverage (edges) and findings. Findings
# (crash-*, timeout-*, oom-* inputs) and the grown corpora are kept in the work folder.
# Usage: bench/fuzz.sh [TOTAL_SECONDS] (default 300). VC_FUZZ_BUILD sets the build folder (build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
total="${1:-300}"
build="${VC_FUZZ_BUILD:-build/fuzz}"
work="$build/runs"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -C fuzz/ClangFuzz.cmake >/dev/null
fi
targets=(report_stream settings_file break_reply telnet_receive emulator_commands network_receive)
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"
seconds=$(( total / ${#targets[@]} ))
[ "$seconds" -ge 1 ] || seconds=1

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
rows=()
status=0
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus"
  findings="$work/$target/findings"
  mkdir -p "$corpus" "$findings"
  log="$work/$target/log.txt"
  echo "== fuzz_$target for ${seconds}s"
  # The grown corpus stays in the work folder; the committed seeds are read, never written.
  set +e
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" -max_len=8192 "$corpus" "fuzz/corpus/$target" >"$log" 2>&1
  rc=$?
  set -e
  executions="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)"
  rate="$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)"
  coverage="$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+')"
  found="$(find "$findings" -type f | wc -l)"
  units="$(find "$corpus" -type f | wc -l)"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then status=1; fi
  rows+=("$(printf '%-18s %11s %8s %9s %7s %9s %s' "$target" "${executions:-?}" "${rate:-?}" "${coverage:-?}" \
    "$units" "$found" "$([ "$rc" -eq 0 ] && echo ok || echo "exit $rc, see $log")")")
done
echo
printf '%-18s %11s %8s %9s %7s %9s %s\n' target executions exec/s coverage corpus findings result
printf '%s\n' "${rows[@]}"
exit "$status"
