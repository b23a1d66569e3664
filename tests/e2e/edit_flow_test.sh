#!/usr/bin/env bash
# The item commands used as a user uses them, with the mouse and the keyboard, on a display of its
# own (Xvfb, openbox, trayer). From three pending items and one completed item:
#   - the tab menu's "新增目标" opens the form; a name and a date one year ahead are entered and
#     confirmed: the new item is the fourth pending entry;
#   - a countdown is started on it: the stop label and the time-left text show;
#   - the first pending item is completed and the next first one deleted; the countdown stays on
#     its item all along;
#   - the tray menu's "说明" opens the 210 x 210 help panel and its "退 出" closes it;
#   - each confirmed change is in data.db at once; a copy taken before exit already holds them
#     all; the tray menu's "退出" ends the program with status 0 and the same rows.
#
# Usage: edit_flow_test.sh PROGRAM CLICK_TARGET
# With VELUNOR_UNDER_VALGRIND=1 the program runs under valgrind's memcheck: the run then also
# fails on an invalid read or write, a use of an undefined value or a definite leak (errors in
# the system's libraries listed in valgrind.supp aside), and every wait is longer.
# Exit status 0: passed; 77: a tool is missing (reported as skipped); anything else: failed.
# The logs and screenshots are kept when it fails, or always with VELUNOR_E2E_KEEP set.
set -euo pipefail

program=$1
click_target=$2
here=$(cd "$(dirname "$0")" && pwd)
label=edit_flow_test

work=$(mktemp -d)
# shellcheck source=tests/e2e/session.sh
source "$here/session.sh"

require Xvfb openbox trayer xdotool xdpyinfo xprop import convert compare sqlite3 setsid
under_valgrind=""
if [ "${VELUNOR_UNDER_VALGRIND:-0}" = 1 ]; then
  under_valgrind=1
  require valgrind
fi

# Seconds for the program to start and to end. Under valgrind everything it does takes many
# times as long.
start=20
if [ -n "$under_valgrind" ]; then
  react=90
  start=240
fi

cleanup() {
  local status=$?
  trap - EXIT
  session_cleanup "$start"
  finish_work "$status" "logs and screenshots"
}
trap cleanup EXIT

start_desktop "$screen_w" "$screen_h"

# A plain window beneath the panel: a click that misses the panel's drawn pixels lands there
# instead of opening the window manager's desktop menu.
"$click_target" 1500 0 420 600 3366cc > "$work/beneath.log" 2>&1 &
pids+=($!)
poll 10 grep -q ready "$work/beneath.log" || fail "the window beneath did not appear"

# The program's directory: a copy of the executable and a prepared data.db.
app_dir="$work/app"
mkdir "$app_dir"
cp "$program" "$app_dir/velunor"
make_data_db "$app_dir/data.db"
sqlite3 "$app_dir/data.db" <<'SQL'
INSERT INTO [未完成] ([名称], [time], [备注]) VALUES
  ('期末考试', '2030年5月1日14时30分', '带准考证'),
  ('生日', '2031年1月2日', ''),
  ('Release 1.0', '2030年12月31日23时59分59秒', 'notes, with ''quotes''');
INSERT INTO [已完成] ([名称], [time], [备注]) VALUES ('旧事', '2020年2月29日8时', '已经完成');
SQL

# rows FILE: both tables of a data file, in ID order, with their IDs.
rows() {
  sqlite3 "$1" \
    "SELECT '未完成', ID, [名称], [time], [备注] FROM [未完成] ORDER BY ID;
     SELECT '已完成', ID, [名称], [time], [备注] FROM [已完成] ORDER BY ID;"
}
# pending_names: the names in data.db's pending table, in ID order, on one line.
pending_names() {
  sqlite3 "$app_dir/data.db" "SELECT group_concat([名称], '|') FROM (SELECT [名称] FROM [未完成] ORDER BY ID);"
}
expect_pending() {
  [ "$(pending_names)" = "$1" ]
}

# XDG_DATA_HOME keeps a fallback data directory inside the work directory.
mkdir -m 700 "$work/runtime"
command=("$app_dir/velunor")
if [ -n "$under_valgrind" ]; then
  # A child that libdbus forks to look for a session bus runs none of the program's code; only
  # the program itself is checked.
  command=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
    --errors-for-leak-kinds=definite --show-leak-kinds=definite --num-callers=40
    --child-silent-after-fork=yes
    --suppressions="$here/valgrind.supp" --log-file="$work/valgrind.log" "${command[@]}")
fi
LC_ALL=C.UTF-8 LANGUAGE='' XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
  "${command[@]}" > "$work/velunor.log" 2>&1 &
app_pid=$!

poll "$start" panel_window || fail "the panel did not appear"
# Every place clicked on the panel is counted from its top-left corner.
panel_in_corner() {
  eval "$(xdotool getwindowgeometry --shell "$(panel_window)")"
  [ "$X $Y" = "$panel_x 0" ]
}
poll "$react" panel_in_corner || fail "the panel is at $X,$Y, not in the top-right corner"
poll "$start" tray_geometry || fail "the tray icon did not appear"

# ---- the steps a user takes ----

[ "$(bright_pixels "${stop_label[@]}")" -eq 0 ] || fail "the stop label shows before a countdown"

# 1. Add an item: the tab "当前目标"'s menu, its one entry "新增目标", the form. The form's date
# box starts at the day it opens: today, or a later day if midnight comes first.
today=$(date +%Y-%m-%d)
popup "$((panel_x + 8 + 25))" $((88 + 8)) 3 || fail "a right click on the tab opened no menu"
choose 1 1
poll "$react" new_window_of_size 221 309 || fail "the form did not open as a 221 x 309 window"
edit=$(new_window_of_size 221 309)
eval "$(xdotool getwindowgeometry --shell "$edit")"
[ "$X $Y" = "$(((screen_w - 435) / 2)) $(((screen_h - 315) / 2))" ] ||
  fail "the form opened at $X,$Y"
edit_x=$X
edit_y=$Y
# The name box (group box at 5,5, the box at 67,19 in it, 136 x 24), then Tab to the date box,
# whose first part is the year, which Up moves one year on. The time boxes stay at 00: the item
# is due at midnight of that day.
xdotool mousemove "$((edit_x + 5 + 67 + 68))" "$((edit_y + 5 + 19 + 12))"
sleep 0.2
xdotool click 1
sleep 0.2
xdotool type --delay 40 "Dentist"
for key in Tab Up; do
  xdotool key "$key"
  sleep 0.2
done
import -window root "$work/form.png"
# "确 认" at 99,259 in the group box, 104 x 32.
xdotool mousemove "$((edit_x + 5 + 99 + 52))" "$((edit_y + 5 + 259 + 16))"
sleep 0.2
xdotool click 1
answer_ok "提醒"
poll "$react" window_gone "$edit" || fail "the form stayed open after OK"
poll "$react" expect_pending "期末考试|生日|Release 1.0|Dentist" ||
  fail "data.db did not get the new item at once: $(pending_names)"

# The stored due date: the date box's day one year on (29 February has none; its year-on day is
# the 28th).
year_on() {
  local y m d
  read -r y m d <<< "$(date -d "$1" '+%Y %-m %-d')"
  [ "$m" = 2 ] && [ "$d" = 29 ] && d=28
  echo "$((y + 1))年${m}月${d}日"
}
due=$(sqlite3 "$app_dir/data.db" "SELECT [time] FROM [未完成] WHERE [名称] = 'Dentist';")
if [ "$due" != "$(year_on "$today")" ] && [ "$due" != "$(year_on "$(date +%Y-%m-%d)")" ]; then
  fail "the new item is due at $due, expected $(year_on "$today")"
fi

# 2. A countdown on the new item, the fourth entry: "开始倒计时", OK.
open_list_menu 4
choose 2 "$list_entries"
answer_ok "提醒"
poll "$react" countdown_shown || fail "the countdown did not show"
import -window root "$work/countdown.png"
screen_region "$work/name.png" "${name_label[@]}"

# waits until a tick after the last change has redrawn the panel, then checks that the
# countdown still shows the new item's name.
same_name() {
  screen_region "$work/name.now.png" "${name_label[@]}"
  [ "$(compare -metric AE "$work/name.png" "$work/name.now.png" null: 2>&1)" = 0 ]
}
time_changed() {
  screen_region "$work/time.now.png" "${time_label[@]}"
  [ "$(compare -metric AE "$work/time.png" "$work/time.now.png" null: 2>&1)" != 0 ]
}
expect_countdown_on_new_item() {
  screen_region "$work/time.png" "${time_label[@]}"
  poll "$react" time_changed || fail "the time area stopped changing ($1)"
  countdown_shown || fail "the countdown ended ($1)"
  same_name || fail "the countdown moved to another item ($1)"
}

# 3. Complete the first item: "完成", OK. The counted item moves up to the third place.
open_list_menu 1
choose 5 "$list_entries"
answer_ok "警告！"
poll "$react" expect_pending "生日|Release 1.0|Dentist" ||
  fail "data.db did not lose the completed item at once: $(pending_names)"
expect_countdown_on_new_item "after completing the first item"

# 4. Delete the item that is now first: "删除", OK.
open_list_menu 1
choose 3 "$list_entries"
answer_ok "删除将无法恢复！"
poll "$react" expect_pending "Release 1.0|Dentist" ||
  fail "data.db did not lose the deleted item at once: $(pending_names)"
expect_countdown_on_new_item "after deleting the first item"
import -window root "$work/after-changes.png"

# 5. Help from the tray: "说明" opens the 210 x 210 help panel; its "退 出" closes it.
open_tray_menu
choose 1 "$tray_entries"
poll "$react" new_window_of_size 210 210 || fail "the help panel did not open as a 210 x 210 window"
help=$(new_window_of_size 210 210)
eval "$(xdotool getwindowgeometry --shell "$help")"
import -window root "$work/help.png"
# "退 出" at 40,168 in the group box at 5,5, 120 x 24.
xdotool mousemove "$((X + 5 + 40 + 60))" "$((Y + 5 + 168 + 12))"
sleep 0.2
xdotool click 1
poll "$react" window_gone "$help" || fail "\"退 出\" did not close the help panel"

# 6. What the user confirmed is on disk before the program ends.
cp "$app_dir/data.db" "$work/before-exit.db"

# 7. Exit from the tray: "退出".
open_tray_menu
choose 2 "$tray_entries"
ended() {
  ! kill -0 "$app_pid" 2> /dev/null
}
poll "$start" ended || fail "the program did not end within $start s of \"退出\""
status=0
wait "$app_pid" || status=$?
app_pid=""
if [ -n "$under_valgrind" ]; then
  grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost" "$work/valgrind.log" >&2 ||
    true
  [ "$status" -ne 99 ] || fail "valgrind found errors: see $work/valgrind.log"
fi
[ "$status" -eq 0 ] || fail "the program ended with status $status"

cat > "$work/rows.expected" <<ROWS
未完成|1|Release 1.0|2030年12月31日23时59分59秒|notes, with 'quotes'
未完成|2|Dentist|$due|
已完成|1|旧事|2020年2月29日8时|已经完成
已完成|2|期末考试|2030年5月1日14时30分|带准考证
ROWS
rows "$app_dir/data.db" > "$work/rows.after"
diff -u "$work/rows.expected" "$work/rows.after" || fail "data.db holds other rows after exit"
rows "$work/before-exit.db" > "$work/rows.before-exit"
diff -u "$work/rows.expected" "$work/rows.before-exit" ||
  fail "the copy taken before exit holds other rows"

echo "$label: passed"
