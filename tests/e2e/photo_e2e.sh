#!/usr/bin/env bash
# Runs doccam from a copy of the given bin folder under Xvfb, clicks the photo button, checks that a
# JPEG of the opened size (3264x2448: the app asks for 6000x6000) appears beside the executable as
# 00000.jpg, then turns the picture right, takes another photo and checks that 00001.jpg has width
# and height swapped. Then it ticks auto crop and checks that 00002.jpg is the virtual camera's page
# alone: an A4 page turned on its side, so width over height within 3 % of the square root of 2.
#
# Usage: photo_e2e.sh BIN_FOLDER
set -euo pipefail

bin=${1:?usage: photo_e2e.sh BIN_FOLDER}
bin=$(cd "$bin" && pwd)
source "$(cd "$(dirname "$0")" && pwd)/session.sh"

for tool in xvfb-run xdpyinfo xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "photo_e2e: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

# Start again inside a private X server on a free display.
if [ -z "${DOCCAM_E2E_IN_XVFB:-}" ]; then
  exec env DOCCAM_E2E_IN_XVFB=1 xvfb-run -a -s '-screen 0 1024x768x24' "$0" "$bin"
fi

# A copy of the bin folder, so that the photos land there and not in the build.
work=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null || true
    for _ in $(seq 20); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$app_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$bin/." "$work/"

fail() {
  echo "photo_e2e: FAIL: $*"
  echo "--- doccam's output:"
  cat "$work/doccam.log" 2>/dev/null || true
  exit 1
}

cd "$work"
start_doccam_window ./doccam doccam.log || fail "no doccam window appeared"
click_photo() { click_form 620 480 101 41; }
click_turn_right() { click_form 630 410 80 26; }
click_auto_crop() { click_form 630 270 82 24; }
# A photo needs a frame: wait until the preview shows the desk instead of the empty label.
wait_for_preview 30 || fail "the preview never showed a frame"

click_photo
wait_for 20 photo_written 00000.jpg || fail "no 00000.jpg beside the executable"
size=$(jpeg_size 00000.jpg)
[ "$size" = "3264 2448" ] || fail "00000.jpg is $size, expected 3264 2448"
echo "photo_e2e: 00000.jpg is a 3264x2448 JPEG"

click_turn_right
click_photo
wait_for 20 photo_written 00001.jpg || fail "no 00001.jpg beside the executable"
size=$(jpeg_size 00001.jpg)
[ "$size" = "2448 3264" ] || fail "00001.jpg is $size, expected 2448 3264 after turning right"
echo "photo_e2e: 00001.jpg is a 2448x3264 JPEG"

click_auto_crop
click_photo
wait_for 20 photo_written 00002.jpg || fail "no 00002.jpg beside the executable"
size=$(jpeg_size 00002.jpg)
echo "$size" | awk '{ a = $1 / $2; exit !(a > 1.4142 * 0.97 && a < 1.4142 * 1.03) }' ||
  fail "00002.jpg is $size, expected the page alone, turned: width over height near 1.414"
echo "photo_e2e: 00002.jpg is the page alone, $size"

leftovers=$(find . -maxdepth 1 -name '.*.tmp' | wc -l)
[ "$leftovers" -eq 0 ] || fail "temporary files were left behind"
echo "photo_e2e: passed"
