#!/usr/bin/env bash
# Packs the build with CPack, unpacks the tar.gz into a fresh folder, moves that folder elsewhere,
# and under Xvfb starts doccam from it, takes a photo, closes the window and checks that the photo
# lies beside that copy's executable and that the app ended cleanly. Also registers and removes the
# desktop entry. With DOCCAM_SCREENSHOT=FILE set, saves a picture of the window there; a relative
# FILE is taken from the folder the script is started in (under CTest, the build folder).
#
# Usage: package_e2e.sh BUILD_FOLDER
set -euo pipefail

build=$(cd "${1:?usage: package_e2e.sh BUILD_FOLDER}" && pwd)
# The script changes folders before it takes the picture.
if [ -n "${DOCCAM_SCREENSHOT:-}" ]; then
  DOCCAM_SCREENSHOT=$(realpath -m -- "$DOCCAM_SCREENSHOT")
  export DOCCAM_SCREENSHOT
fi
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/session.sh"

for tool in xvfb-run xdpyinfo xdotool import convert python3 desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "package_e2e: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

if [ -z "${DOCCAM_PACKAGE_IN_XVFB:-}" ]; then
  # The X server's own output goes to a file that a failure shows; xvfb-run writes to it until it ends.
  xvfb_log=$(mktemp)
  status=0
  env DOCCAM_PACKAGE_IN_XVFB=1 DOCCAM_XVFB_LOG="$xvfb_log" \
    xvfb-run -a -e "$xvfb_log" -s '-screen 0 1024x768x24' "$0" "$build" || status=$?
  rm -f "$xvfb_log"
  exit "$status"
fi

work=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill -9 "$app_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "package_e2e: FAIL: $*"
  [ -f "$work/doccam.log" ] && { echo "--- doccam's output:"; cat "$work/doccam.log"; }
  [ -s "${DOCCAM_XVFB_LOG:-}" ] && { echo "--- the X server's output:"; cat "$DOCCAM_XVFB_LOG"; }
  exit 1
}

# Pack, unpack, and move the unpacked folder, so that nothing can point back at the build or at
# the place it was unpacked.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pack" >/dev/null) || fail "cpack failed"
archive=$(find "$work/pack" -maxdepth 1 -name 'doccam-*.tar.gz' | head -n 1)
[ -n "$archive" ] || fail "cpack made no doccam tar.gz"
mkdir "$work/unpacked"
tar -xzf "$archive" -C "$work/unpacked"
mv "$work/unpacked/$(basename "$archive" .tar.gz)" "$work/doccam moved"
app="$work/doccam moved"
for file in doccam libQirmelLib.so CameraConf.ini doccam.svg doccam.desktop.in doccam-desktop-entry.sh; do
  [ -e "$app/$file" ] || fail "the package lacks $file"
done
rm -rf "$work/pack" "$work/unpacked"

# The desktop entry points at the moved folder and validates.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
"$app/doccam-desktop-entry.sh" install >/dev/null || fail "registering the desktop entry failed"
entry="$XDG_DATA_HOME/applications/doccam.desktop"
desktop-file-validate "$entry" || fail "the registered desktop entry does not validate"
grep -qxF "Exec=\"$app/doccam\"" "$entry" || fail "the desktop entry does not start $app/doccam"
"$app/doccam-desktop-entry.sh" uninstall >/dev/null
[ ! -e "$entry" ] || fail "the desktop entry was not removed"

# Start from another working directory, as a desktop launcher might.
cd "$work"
start_doccam_window "$app/doccam" "$work/doccam.log" || fail "no doccam window appeared"
wait_for_preview 30 || fail "the preview never showed a frame"
if [ -n "${DOCCAM_SCREENSHOT:-}" ]; then
  # At the largest sizes the virtual camera's first frames show a soft draft of its scene for a
  # moment: the picture is of the sharp one.
  sleep 3
  import -window "$doccam_window" "$DOCCAM_SCREENSHOT" || fail "the picture of the window could not be saved as $DOCCAM_SCREENSHOT"
fi

click_form 620 480 101 41
wait_for 20 photo_written "$app/00000.jpg" || fail "no 00000.jpg beside the moved executable"
[ "$(jpeg_size "$app/00000.jpg")" = "3264 2448" ] || fail "00000.jpg is $(jpeg_size "$app/00000.jpg"), not 3264 2448"

# Close the window as a window manager would, and expect a clean exit.
status=0
close_doccam_window "$app_pid" || status=$?
[ "$status" -ne 124 ] || fail "doccam did not exit after its window was closed"
app_pid=
[ "$status" -eq 0 ] || fail "doccam exited with status $status"
grep -q "QThread: Destroyed" "$work/doccam.log" && fail "the frame thread outlived the window"
for line in "find count = 2 camera" "open camera ret = 0" "thread start run" "视频线程退出！"; do
  grep -qxF "$line" "$work/doccam.log" || fail "the log lacks the line: $line"
done
echo "package_e2e: passed"
