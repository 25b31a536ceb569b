#!/usr/bin/env bash
# The bounded fuzzing pass: every fuzz target for SECONDS each, as many at once as there are cores,
# starting from its seeds, its regression inputs and what earlier runs in this build folder found.
# Prints each target's executions and coverage; fails if any target found a crash, a leak or a hang,
# whose input is then in BUILD/fuzz/artifacts/NAME.
#
# Usage: fuzz/run-fuzzers.sh BUILD_FOLDER [SECONDS]
set -euo pipefail
build=$(cd "${1:?usage: run-fuzzers.sh BUILD_FOLDER [SECONDS]}" && pwd)
seconds=${2:-45}
here="$(cd "$(dirname "$0")" && pwd)"
targets=(cameraconfig mjpegframe framethread)
# One input taking longer than this on a loaded machine is a hang, not slowness.
per_input_limit=25
# A damaged input must not make a target's memory grow without bound: this is well above what the
# largest legitimate inputs take with the sanitizers (under 900 MiB), and also limits any single
# allocation.
rss_limit_mb=1536

run_target() {
  local name=$1 work="$build/fuzz/work/$1" artifacts="$build/fuzz/artifacts/$1"
  local options=(-max_total_time="$seconds" -timeout="$per_input_limit" -rss_limit_mb="$rss_limit_mb"
                 -print_final_stats=1 -artifact_prefix="$artifacts/")
  [ -f "$here/$name.dict" ] && options+=(-dict="$here/$name.dict")
  local inputs=("$here/corpus/$name")
  [ -d "$here/regressions/$name" ] && inputs+=("$here/regressions/$name")
  mkdir -p "$work" "$artifacts"
  "$build/fuzz/${name}_fuzzer" "${options[@]}" "$work" "${inputs[@]}" >"$build/fuzz/$name.log" 2>&1
}

summary() {
  local log="$build/fuzz/$1.log"
  local runs cov ft corpus
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  corpus=$(find "$build/fuzz/work/$1" -type f | wc -l)
  printf 'fuzz %-13s %9s runs in %s s, coverage %s edges (%s features), %s inputs in the work corpus\n' \
    "$1" "${runs:-?}" "$seconds" "${cov:-?}" "${ft:-?}" "$corpus"
}

# Whole allocation stacks, which the leak suppressions need, cost every allocation an unwinding;
# the harnesses keep what they allocate reachable, so fuzzing goes without.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:fast_unwind_on_malloc=1"

slots=$(nproc)
pids=()
names=()
failed=()
wait_oldest() {
  if ! wait "${pids[0]}"; then failed+=("${names[0]}"); fi
  pids=("${pids[@]:1}")
  names=("${names[@]:1}")
}
for name in "${targets[@]}"; do
  [ ${#pids[@]} -lt "$slots" ] || wait_oldest
  run_target "$name" &
  pids+=($!)
  names+=("$name")
done
while [ ${#pids[@]} -gt 0 ]; do wait_oldest; done

for name in "${targets[@]}"; do summary "$name"; done
for name in "${failed[@]}"; do
  echo "fuzz $name: FAILED; the end of its log ($build/fuzz/$name.log):"
  tail -n 60 "$build/fuzz/$name.log"
  echo "the input is in $build/fuzz/artifacts/$name"
done
[ ${#failed[@]} -eq 0 ]
