#!/usr/bin/env bash
# The panel follows the primary screen, with the built program on a display of its own (Xvfb with
# RandR, and openbox):
#   - it starts at the top-right corner of the screen;
#   - the screen's size changes: the panel moves to the new top-right corner, and back;
#   - the screen is split into two monitors and another one becomes the primary one, also one
#     that does not start at the top-left of the screen: the panel moves to its top-right corner.
#
# Usage: screen_change_test.sh PROGRAM
# Exit status 0: passed; 77: a tool is missing (reported as skipped); anything else: failed.
# The logs are kept when it fails, or always with VELUNOR_E2E_KEEP set.
set -euo pipefail

program=$1
label=screen_change_test
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
# shellcheck source=tests/e2e/session.sh
source "$here/session.sh"

cleanup() {
  local status=$?
  trap - EXIT
  session_cleanup 5
  finish_work "$status" logs
}
trap cleanup EXIT
require Xvfb openbox xdotool xdpyinfo xprop xwininfo xrandr setsid

# A display of its own among :90 to :99, with the RandR extension: its size can change later,
# up to the size it starts with; and openbox.
display_range=90-99
start_wm "$screen_w" "$screen_h" +extension RANDR

# The program on an empty data file: its panel is the time area alone, 300 x 112.
app_dir="$work/app"
mkdir "$app_dir"
cp "$program" "$app_dir/velunor"
"$app_dir/velunor" > "$work/velunor.log" 2>&1 &
app_pid=$!
panel_of() {
  xdotool search --all --onlyvisible --pid "$app_pid" --name '^Velunorv0\.7$'
}
poll 20 panel_of || fail "the panel did not appear"
panel=$(panel_of | head -n 1)

# geometry: X Y WIDTH HEIGHT of the panel on the screen.
geometry() {
  xwininfo -id "$panel" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}
expect_geometry() {
  [ "$(geometry)" = "$1" ]
}
# expect_place X Y WHAT: the panel reaches X, Y within 5 s, keeping its size.
expect_place() {
  poll 5 expect_geometry "$1 $2 300 112" || fail "$3: panel at $(geometry), expected $1 $2 300 112"
}
expect_place $((screen_w - 300)) 0 "at start"

# A smaller screen, then the first size again.
xrandr --newmode 1280x1024 108.00 1280 1328 1440 1688 1024 1025 1028 1066 +hsync +vsync
xrandr --addmode screen 1280x1024
xrandr --output screen --mode 1280x1024
expect_place $((1280 - 300)) 0 "screen at 1280x1024"
xrandr --output screen --mode "${screen_w}x${screen_h}"
expect_place $((screen_w - 300)) 0 "screen back at ${screen_w}x${screen_h}"

# Two monitors side by side, the left one primary: its corner is inside the screen.
xrandr --setmonitor '*left' 1280/338x1080/286+0+0 none
xrandr --setmonitor right 640/169x1080/286+1280+0 none
expect_place $((1280 - 300)) 0 "left monitor primary"

# The right one becomes primary: a monitor that starts at 1280, 540 and ends short of the
# screen's right edge, so both parts of its origin count.
xrandr --delmonitor right
xrandr --setmonitor '*right' 500/132x540/143+1280+540 none
expect_place $((1280 + 500 - 300)) 540 "right monitor primary"

kill -0 "$app_pid" 2> /dev/null || fail "the program ended"
echo "$label: passed"
