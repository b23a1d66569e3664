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

for tool in Xvfb openbox xdotool xdpyinfo xprop xwininfo xrandr setsid; do
  if ! command -v "$tool" > /dev/null; then
    echo "$label: $tool is missing; scripts/install-deps installs it" >&2
    exit 77
  fi
done

work=$(mktemp -d)
pids=()     # helpers started here, in start order
app_pid=""

stop_pid() {
  kill -TERM "$1" 2> /dev/null || return 0
  local i
  for i in $(seq 50); do
    kill -0 "$1" 2> /dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$1" 2> /dev/null || true
}

cleanup() {
  local status=$?
  trap - EXIT
  if [ -n "$app_pid" ]; then
    stop_pid "$app_pid"
  fi
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${pids[i]}"
  done
  wait 2> /dev/null || true
  if [ -n "${VELUNOR_E2E_KEEP:-}" ] || { [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; }; then
    echo "$label: logs kept in $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

fail() {
  echo "$label: FAIL: $*" >&2
  exit 1
}

# poll SECONDS COMMAND...: runs the command every 0.1 s until it succeeds; fails after SECONDS.
poll() {
  local tenths=$(($1 * 10))
  shift
  while ! "$@" > /dev/null 2>&1; do
    tenths=$((tenths - 1))
    [ "$tenths" -gt 0 ] || return 1
    sleep 0.1
  done
}

# A display of its own among :90 to :99, with the RandR extension: its size can change later,
# up to the size it starts with. Xvfb writes the number to fd 3 once it accepts connections; a
# number taken meanwhile by another server makes it exit, and the next is tried.
screen_w=1920
screen_h=1080
answered_or_ended() {
  [ -s "$work/display" ] || ! kill -0 "$1"
}
start_display() {
  local n
  for n in $(seq 90 99 | shuf); do
    # shellcheck disable=SC2015
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    : > "$work/display"
    setsid Xvfb ":$n" -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" +extension RANDR \
      -nolisten tcp -noreset 3> "$work/display" 2> "$work/xvfb.log" &
    pids+=($!)
    poll 20 answered_or_ended "${pids[-1]}" || return 1
    if [ -s "$work/display" ]; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  return 1
}
start_display || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"
}
poll 10 xdpyinfo || fail "the display does not answer"
setsid openbox > "$work/openbox.log" 2>&1 &
pids+=($!)
poll 20 wm_ready || fail "openbox did not start"

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
