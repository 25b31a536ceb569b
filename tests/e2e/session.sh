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

# Whether the X display answers a client.
display_answers() { xdpyinfo >/dev/null 2>&1; }

# Starts doccam ($1, its output to the file $2) and waits for its window, setting app_pid and
# doccam_window; fails where no window appears. On a loaded machine the X server has now and then
# refused doccam's connection right after answering another client: that is the display's failure,
# not doccam's, and doccam is started once more.
start_doccam_window() {
  local app=$1 log=$2 attempt
  wait_for 10 display_answers || { echo "the X display $DISPLAY does not answer"; return 1; }
  for attempt in first second; do
    "$app" >"$log" 2>&1 &
    app_pid=$!
    wait_for 30 find_doccam_window "$app_pid" && return 0
    [ "$attempt" = first ] && grep -qF "could not connect to display" "$log" && wait_for 10 display_answers ||
      return 1
    echo "the X display refused doccam's connection; starting it once more. Its output:"
    cat "$log"
  done
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

# Whether the preview shows anything but the empty label's black, rgb(0, 0, 0): a frame, even a still
# one that was there before the first look. The area looked at keeps 30 pixels off the label's
# edges, so a few pixels more or less of bars still keep it inside.
preview_showing() {
  local brightest
  brightest=$(import -window "$doccam_window" -crop "511x381+40+$((40 + DOCCAM_BARS))" +repage png:- 2>/dev/null |
    convert - -format '%[max]' info: 2>/dev/null)
  [ -n "$brightest" ] && awk -v brightest="$brightest" 'BEGIN { exit !(brightest > 0) }'
}

# Waits until the preview shows a frame.
wait_for_preview() {
  wait_for "$1" preview_showing
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
