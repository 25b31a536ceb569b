#!/usr/bin/env bash
# Configures and builds doccam into build/ (or $DOCCAM_BUILD_DIR). Extra arguments go to cmake's
# configure step.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${DOCCAM_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${DOCCAM_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
