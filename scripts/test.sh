#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in four stages:
#   plain  the whole suite, built with warnings as errors
#   asan   the whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan   the camera library's tests (with its V4L2 source's) and the app's frame thread tests,
#          built with ThreadSanitizer
#   fuzz   the libFuzzer targets (clang): their kept inputs, then a bounded fuzzing pass each
# Usage: scripts/test.sh [STAGE...]   (no stage: all four, in that order)
# Build folders: $DOCCAM_BUILD_DIR (default build/) for plain, the same name with -asan, -tsan and
# -fuzz appended for the others. $DOCCAM_FUZZ_SECONDS sets each fuzz target's time (default 45).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${DOCCAM_BUILD_DIR:-$root/build}"
jobs="$(nproc)"
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(plain asan tsan fuzz)

"$root/scripts/install-deps.sh"

sanitizers="$root/tests/sanitizers"
# Full stacks for every allocation, so that the leak suppressions can name the caller that owns it.
export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$sanitizers/tsan.supp:print_suppressions=0"

run_ctest() {
  local dir=$1
  shift
  (cd "$dir" && ctest --output-on-failure --timeout 300 -j "$jobs" "$@")
}

stage_plain() {
  DOCCAM_BUILD_DIR="$build" "$root/scripts/build.sh" -DDOCCAM_WERROR=ON
  run_ctest "$build"
}

stage_asan() {
  DOCCAM_BUILD_DIR="$build-asan" "$root/scripts/build.sh" -DDOCCAM_WERROR=ON -DDOCCAM_SANITIZE=address,undefined
  run_ctest "$build-asan"
}

# The numbers of the registered tests that run one of the named executables, comma-separated.
tests_running() {
  local dir=$1
  shift
  (cd "$dir" && ctest -N -V) | sed -n 's/^\([0-9]*\): Test command: \([^ ]*\).*/\1 \2/p' |
    while read -r number command; do
      for name in "$@"; do
        if [ "${command##*/}" = "$name" ]; then echo "$number"; fi
      done
    done | paste -sd, -
}

# Only what runs threads of ours: the camera library (with its V4L2 source) and the app's frame
# thread and switching. The app's other suites and the crop stage's are single-threaded (the crop
# stage's threads are OpenCV's, which is not instrumented).
stage_tsan() {
  local executables=(qirmel_tests qirmel_export_tests tst_v4l2 tst_framethread tst_switching)
  DOCCAM_BUILD_DIR="$build-tsan" DOCCAM_BUILD_TARGETS="${executables[*]}" \
    "$root/scripts/build.sh" -DDOCCAM_WERROR=ON -DDOCCAM_SANITIZE=thread
  run_ctest "$build-tsan" -I "0,0,0,$(tests_running "$build-tsan" "${executables[@]}")"
}

stage_fuzz() {
  CC=clang CXX=clang++ DOCCAM_BUILD_DIR="$build-fuzz" DOCCAM_BUILD_TARGETS=fuzzers \
    "$root/scripts/build.sh" -DDOCCAM_WERROR=ON -DDOCCAM_SANITIZE=address,undefined -DDOCCAM_FUZZ=ON
  run_ctest "$build-fuzz" -L fuzz
  "$root/fuzz/run-fuzzers.sh" "$build-fuzz" "${DOCCAM_FUZZ_SECONDS:-45}"
}

summary=()
for stage in "${stages[@]}"; do
  case "$stage" in
    plain | asan | tsan | fuzz) ;;
    *) echo "test.sh: unknown stage \"$stage\" (plain, asan, tsan, fuzz)" >&2; exit 2 ;;
  esac
  echo "=== test.sh: stage $stage"
  start=$SECONDS
  "stage_$stage"
  summary+=("$stage $((SECONDS - start)) s")
  echo "=== test.sh: stage $stage passed in $((SECONDS - start)) s"
done
printf '=== test.sh: all passed (%s)\n' "$(IFS=,; echo "${summary[*]}" | sed 's/,/, /g')"
