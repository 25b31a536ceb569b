#!/usr/bin/env bash
# Installs what is missing, builds, and starts doccam from the build folder, where the camera
# library and CameraConf.ini sit beside the executable.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "${DOCCAM_BUILD_DIR:-$root/build}/bin"
exec ./doccam "$@"
