#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DDOCCAM_WERROR=ON
cd "${DOCCAM_BUILD_DIR:-$root/build}"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
