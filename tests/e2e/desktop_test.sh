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
here=$(cd "$(dirname "$0")" && pwd)
label=desktop_test

work=$(mktemp -d)
# shellcheck source=tests/e2e/session.sh
source "$here/session.sh"

cleanup() {
  local status=$?
  trap - EXIT
  session_cleanup 3
  finish_work "$status" "logs and screenshots"
}
trap cleanup EXIT
require Xvfb openbox trayer xdotool xdpyinfo xwininfo xprop import convert sqlite3 setsid

# pixel X Y: the colour of a screen pixel as RRGGBB.
pixel() {
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "1x1+$1+$2" -depth 8 -format '%[hex:p{0,0}]' info: | cut -c1-6
}

# A display of its own among :200 to :899, with openbox and trayer.
display_range=200-899
start_desktop "$screen_w" "$screen_h"

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
menu_open() {
  [ -n "$(comm -13 "$work/windows.before" <(program_windows))" ]
}
program_windows > "$work/windows.before"
poll 10 tray_geometry || fail "the tray icon did not appear"
tray_geometry  # sets X, Y, WIDTH and HEIGHT of trayer's window
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
