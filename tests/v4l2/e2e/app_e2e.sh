#!/usr/bin/env bash
# The real doccam and libQirmelLib.so on two fake USB cameras (libfakev4l2.so for the device nodes,
# umockdev for sysfs) under Xvfb: both cameras are listed with their names and ids, the preview
# shows the document camera's frames (sent without Huffman tables, some of them broken), a photo
# has the camera's largest size, and closing the window ends the app cleanly.
#
# Usage: app_e2e.sh BIN_FOLDER FAKEV4L2_LIBRARY
set -euo pipefail

bin=$(cd "${1:?usage: app_e2e.sh BIN_FOLDER FAKEV4L2_LIBRARY}" && pwd)
fake=$(realpath "${2:?usage: app_e2e.sh BIN_FOLDER FAKEV4L2_LIBRARY}")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../e2e/session.sh"

for tool in xvfb-run xdotool import convert python3 umockdev-run; do
  command -v "$tool" >/dev/null || { echo "v4l2 app_e2e: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

if [ -z "${DOCCAM_V4L2_IN_XVFB:-}" ]; then
  exec env DOCCAM_V4L2_IN_XVFB=1 xvfb-run -a -s '-screen 0 1024x768x24' "$0" "$@"
fi

work=$(mktemp -d)
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$bin/." "$work/"
# The real cameras only: without them the test must fail, not fall back to the virtual ones.
printf '[library]\nbackend = v4l2\n' > "$work/CameraConf.ini"

fail() {
  echo "v4l2 app_e2e: FAIL: $*"
  echo "--- doccam's output:"
  cat "$work/doccam.log" 2>/dev/null || true
  exit 1
}

cd "$work"
# umockdev-run puts its own preload after ours, the order the fake device needs. A sanitizer
# runtime insists on coming first; here the preloaded libraries must.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
LD_PRELOAD="$fake" FAKEV4L2_CONFIG="$here/doccams.ini" \
  umockdev-run -d "$here/doccams.umockdev" -- ./doccam >doccam.log 2>&1 &
app_pid=$!

wait_for 30 find_doccam_window || fail "no doccam window appeared"
wait_for_preview 30 || fail "the preview never showed a frame"
click_form 620 480 101 41
wait_for 20 photo_written 00000.jpg || fail "no 00000.jpg beside the executable"
[ "$(jpeg_size 00000.jpg)" = "1920 1080" ] || fail "00000.jpg is $(jpeg_size 00000.jpg), not the camera's largest 1920 1080"

status=0
close_doccam_window "$app_pid" || status=$?
[ "$status" -ne 124 ] || fail "doccam did not exit after its window was closed"
app_pid=
[ "$status" -eq 0 ] || fail "doccam exited with status $status"
for line in "find count = 2 camera" \
            "camera 0 name is USB Document Camera" "iDev = 0, pid = a01, vid = 1209" \
            "camera 1 name is USB Side Camera" "iDev = 1, pid = b02, vid = 1209" \
            "main_camera = 0, aux_camera = 1" "open camera ret = 0"; do
  grep -qxF "$line" doccam.log || fail "the log lacks the line: $line"
done
echo "v4l2 app_e2e: passed"
