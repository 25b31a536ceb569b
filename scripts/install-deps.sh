#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing doccam need. Idempotent: it
# touches apt only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qtbase5-dev libqt5svg5
  libturbojpeg0-dev libinih-dev
  libopencv-core-dev libopencv-imgproc-dev
  libgtest-dev
  xvfb xauth xdotool x11-utils imagemagick fonts-wqy-microhei
  clang libclang-rt-14-dev
  desktop-file-utils python3
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
