#!/usr/bin/env bash
# The built program run as a user runs it, on a display of its own (Xvfb with the openbox window
# manager and a trayer notification area):
#   - the panel sits at the top-right corner, as tall as the time area plus the list;
#   - where the panel has only its key colour, the window beneath shows and gets the clicks;
#   - a click on a tab switches the list and resizes the panel;
#   - a right click on the tray icon opens a menu;
#   - SIGTERM ends the program with status 0, and data.db reads back with the same rows.
#
# Usage: desktop_test.sh PROGRAM CLICK_TARGET
# Exit status 0: passed; 77: a tool is missing (reported as skipped); anything else: failed.
# The logs and screenshots are kept when it fails, or always with VELUNOR_E2E_KEEP set.
set -euo pipefail

program=$1
click_target=$2

for tool in Xvfb openbox trayer xdotool xdpyinfo xwininfo xprop import convert sqlite3 setsid; do
  if ! command -v "$tool" > /dev/null; then
    echo "desktop_test: $tool is missing; scripts/install-deps installs it" >&2
    exit 77
  fi
done

work=$(mktemp -d)
pids=()  # everything started here, in start order
app_pid=""

stop_pid() {
  kill -TERM "$1" 2> /dev/null || return 0
  local i
  for i in $(seq 30); do
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
    echo "desktop_test: logs and screenshots kept in $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

fail() {
  echo "desktop_test: FAIL: $*" >&2
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

# pixel X Y: the colour of a screen pixel as RRGGBB.
pixel() {
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "1x1+$1+$2" -depth 8 -format '%[hex:p{0,0}]' info: | cut -c1-6
}

# A display of its own, at a number well away from the ones people and other tools pick
# (a desktop's :0, xvfb-run's :99), so that nothing else connects to it by chance. Xvfb writes
# the number to fd 3 once it accepts connections; a number taken meanwhile makes it exit.
# -noreset: the server must not reset when its last client leaves, or a client that connects
# just then (openbox after a probe) is turned away.
screen_w=1920
screen_h=1080
answered_or_ended() {
  [ -s "$work/display" ] || ! kill -0 "$1"
}
start_display() {
  local n
  for _ in $(seq 20); do
    n=$((200 + RANDOM % 700))
    # shellcheck disable=SC2015
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    : > "$work/display"
    setsid Xvfb ":$n" -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp -noreset \
      3> "$work/display" 2> "$work/xvfb.log" &
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

server_state() {
  if kill -0 "${pids[0]}" 2> /dev/null; then
    xdpyinfo > /dev/null 2>&1 && echo "Xvfb answers" || echo "Xvfb runs but does not answer"
  else
    echo "Xvfb has ended"
  fi
}
wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"
}
poll 10 xdpyinfo || fail "the display does not answer ($(server_state))"
setsid openbox > "$work/openbox.log" 2>&1 &
pids+=($!)
poll 20 wm_ready || fail "openbox did not start ($(server_state))"
setsid trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
  --transparent false > "$work/trayer.log" 2>&1 &
pids+=($!)
# Its window exists once it serves as the notification area; it may show only once it holds an
# icon.
poll 20 xdotool search --class trayer || fail "trayer did not start"

# A plain window beneath the panel's place: it shows what lies behind the see-through pixels and
# tells which clicks reach it.
beneath=3366cc
"$click_target" 1500 0 420 600 "$beneath" > "$work/beneath.log" 2>&1 &
pids+=($!)
poll 10 grep -q ready "$work/beneath.log" || fail "the window beneath did not appear"

# The program's directory: a copy of the executable and a data.db made the way any other
# program would make it.
app_dir="$work/app"
mkdir "$app_dir"
cp "$program" "$app_dir/velunor"
schema='([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, [time] DATETIME, [备注] TEXT)'
sqlite3 "$app_dir/data.db" <<SQL
CREATE TABLE [未完成] $schema;
CREATE TABLE [已完成] $schema;
INSERT INTO [未完成] ([名称], [time], [备注]) VALUES
  ('期末考试', '2030年5月1日14时30分', '带准考证'),
  ('生日', '2031年1月2日', ''),
  ('Release 1.0', '2030年12月31日23时59分59秒', 'notes, with ''quotes''');
INSERT INTO [已完成] ([名称], [time], [备注]) VALUES
  ('旧事', '2020年2月29日8时', '已经完成'),
  ('交房租', '2021年3月1日', '');
SQL
rows() {
  sqlite3 "$app_dir/data.db" \
    "SELECT '未完成', [名称], [time], [备注] FROM [未完成] ORDER BY ID;
     SELECT '已完成', [名称], [time], [备注] FROM [已完成] ORDER BY ID;"
}
rows > "$work/rows.before"

"$app_dir/velunor" > "$work/velunor.log" 2>&1 &
app_pid=$!

poll 20 xdotool search --onlyvisible --name '^Velunorv0\.7$' || fail "the panel did not appear"
panel=$(xdotool search --onlyvisible --name '^Velunorv0\.7$' | head -n 1)

# geometry: X Y WIDTH HEIGHT of the panel on the screen.
geometry() {
  xwininfo -id "$panel" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}
expect_geometry() {
  [ "$(geometry)" = "$1" ]
}
# Three pending items: the time area (112) and a list box of 3 x 35 + 25 = 130.
want="$((screen_w - 300)) 0 300 $((112 + 130))"
poll 10 expect_geometry "$want" || fail "panel at $(geometry), expected $want"
sleep 1  # the first ticks have redrawn the clock

# Left of the clock's digits and right of the short list entries only key colour lies.
for point in "$((screen_w - 295)) 60" "$((screen_w - 10)) 150"; do
  # shellcheck disable=SC2086
  got=$(pixel $point)
  [ "$got" = "${beneath^^}" ] || fail "pixel at $point is $got, expected the window beneath ($beneath)"
done
# The drawn parts are not see-through: the grey tab labels show.
[ "$(pixel $((screen_w - 300 + 10)) 90)" != "${beneath^^}" ] || fail "the tab label is see-through"
import -window root "$work/start.png"
# No pixel of the panel is pink: neither the key colour itself nor a blend of it around glyphs.
# (Text here is white, grey or black over blue, where red never exceeds green.)
pink=$(convert "$work/start.png" -crop "300x$((112 + 130))+$((screen_w - 300))+0" +repage \
  -depth 8 -format %c histogram:info: | tr -d ' ' |
  awk -F'[:(),]' '$3 - $4 >= 25 && $5 >= 150 {n += $1} END {print n + 0}')
[ "$pink" -eq 0 ] || fail "$pink pink pixels on the panel"

# A click on a see-through pixel reaches the window beneath.
xdotool mousemove "$((screen_w - 295))" 60 click 1
poll 5 grep -q "press $((screen_w - 295)) 60 1" "$work/beneath.log" ||
  fail "a click on a see-through pixel did not reach the window beneath"

# A click on the tab "已完成记录" reaches the panel: two completed items, 112 + 2 x 35 + 25.
xdotool mousemove "$((screen_w - 300 + 96))" 96 click 1
want="$((screen_w - 300)) 0 300 $((112 + 95))"
poll 5 expect_geometry "$want" || fail "after the completed tab: panel at $(geometry), expected $want"
if grep -q "press $((screen_w - 300 + 96)) 96" "$work/beneath.log"; then
  fail "a click on the tab went through the panel"
fi
xdotool mousemove "$((screen_w - 300 + 33))" 96 click 1
want="$((screen_w - 300)) 0 300 $((112 + 130))"
poll 5 expect_geometry "$want" || fail "after the pending tab: panel at $(geometry), expected $want"

# A right click on the tray icon opens a menu: a new window of the program shows near the
# icon. The program's icon is the only one in trayer.
program_windows() {
  xdotool search --onlyvisible --pid "$app_pid" 2> /dev/null | sort
}
menu_open() {
  [ -n "$(comm -13 "$work/windows.before" <(program_windows))" ]
}
program_windows > "$work/windows.before"
tray_holds_icon() {  # trayer shows and grows to the width of the icons it holds
  local w
  for w in $(xdotool search --onlyvisible --class trayer); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -ge 16 ] && return 0
  done
  return 1
}
poll 10 tray_holds_icon || fail "the tray icon did not appear"
tray_holds_icon  # sets X, Y, WIDTH and HEIGHT of trayer's window
xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))" click 3
poll 5 menu_open || fail "a right click on the tray icon opened no menu"
import -window root "$work/tray-menu.png"
xdotool key Escape

# SIGTERM: the program saves and ends with status 0; data.db holds the same rows.
kill -TERM "$app_pid"
status=0
for _ in $(seq 100); do
  kill -0 "$app_pid" 2> /dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2> /dev/null && fail "the program did not end within 10 s of SIGTERM"
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status after SIGTERM"
rows > "$work/rows.after"
diff -u "$work/rows.before" "$work/rows.after" || fail "data.db changed across the run"

echo "desktop_test: passed"
