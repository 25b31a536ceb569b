#!/usr/bin/env bash
# Configures and builds doccam into build/ (or $DOCCAM_BUILD_DIR). Extra arguments go to cmake's
# configure step. $DOCCAM_BUILD_TARGETS, when set, names the targets to build (space-separated)
# instead of all of them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${DOCCAM_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${DOCCAM_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
targets=()
for target in ${DOCCAM_BUILD_TARGETS:-}; do
  targets+=(--target "$target")
done
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
