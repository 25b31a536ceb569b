# Shared by the end-to-end scripts, which source it: waiting, finding doccam's window, clicking at
# the form's coordinates, watching the preview, reading a photo's size and closing the window.

# The form's coordinates are those of the central widget, which sits below the menu bar and the
# tool bar: 17 pixels down with Qt's default style under Xvfb. Clicks aim at the middle of a
# widget, so a few pixels more or less of bars still hit.
DOCCAM_BARS=17
doccam_window=

# Polls a command every 0.2 s for at most $1 seconds.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 5))); do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  return 1
}

# Finds the window of the doccam process $1, or with no argument the one doccam window on the
# display (for an app started through a wrapper process).
find_doccam_window() {
  if [ $# -gt 0 ]; then
    doccam_window=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n 1)
  else
    doccam_window=$(xdotool search --onlyvisible --name '^MainWindow$' 2>/dev/null | head -n 1)
  fi
  [ -n "$doccam_window" ]
}

# Clicks the middle of the form widget at x y with size w h.
click_form() {
  xdotool mousemove --window "$doccam_window" $(($1 + $3 / 2)) $(($2 + $4 / 2 + DOCCAM_BARS)) click 1
}

preview_pixel() {
  import -window "$doccam_window" -crop "1x1+60+$((60 + DOCCAM_BARS))" -depth 8 txt:- 2>/dev/null | tail -n 1
}

# Waits until the preview shows something other than the empty label it started with.
wait_for_preview() {
  local blank
  blank=$(preview_pixel)
  showing_frames() { local pixel; pixel=$(preview_pixel); [ -n "$pixel" ] && [ "$pixel" != "$blank" ]; }
  wait_for "$1" showing_frames
}

# "width height" of a JPEG, decoded in full; empty if it is not a readable JPEG.
jpeg_size() {
  convert "$1" -format '%m %w %h' info: 2>/dev/null | awk '$1 == "JPEG" { print $2, $3 }'
}

photo_written() { [ -f "$1" ] && [ -n "$(jpeg_size "$1")" ]; }

# Asks the window to close as a window manager would, waits for the process and returns its status.
close_doccam_window() {
  local pid=$1
  python3 "$(dirname "${BASH_SOURCE[0]}")/close_window.py" "$doccam_window"
  exited() { ! kill -0 "$pid" 2>/dev/null; }
  wait_for 20 exited || return 124
  wait "$pid"
}
