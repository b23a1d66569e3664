#!/usr/bin/env bash
# One program per data file, with the built program on a display of its own (Xvfb and openbox):
#   - a second start from the same directory ends at once with status 0, opens no window and
#     neither reads nor writes data.db;
#   - a program in another directory runs beside the first;
#   - after the first program is killed with SIGKILL, a new start runs: no stale lock.
#
# Usage: single_instance_test.sh PROGRAM
# Exit status 0: passed; 77: a tool is missing (reported as skipped); anything else: failed.
# The logs are kept when it fails, or always with VELUNOR_E2E_KEEP set.
set -euo pipefail

program=$1
label=single_instance_test
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
# shellcheck source=tests/e2e/session.sh
source "$here/session.sh"
programs=() # copies of the program started here

cleanup() {
  local status=$?
  trap - EXIT
  local i
  for i in "${programs[@]}"; do
    stop_pid "$i" 5
  done
  session_cleanup 5
  finish_work "$status" logs
}
trap cleanup EXIT
require Xvfb openbox xdotool xdpyinfo xprop sqlite3 setsid mkfifo sha256sum

# A display of its own among :90 to :99, and openbox.
display_range=90-99
start_wm 1920 1080

# make_app DIR: a program directory with a copy of the executable and a data.db of two items.
make_app() {
  mkdir "$1"
  cp "$program" "$1/velunor"
  local schema='([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, [time] DATETIME, [备注] TEXT)'
  sqlite3 "$1/data.db" <<SQL
CREATE TABLE [未完成] $schema;
CREATE TABLE [已完成] $schema;
INSERT INTO [未完成] ([名称], [time], [备注]) VALUES ('期末考试', '2030年5月1日14时30分', '带准考证');
INSERT INTO [已完成] ([名称], [time], [备注]) VALUES ('旧事', '2020年2月29日8时', '');
SQL
}
rows() {
  sqlite3 "$1/data.db" "SELECT [名称], [time], [备注] FROM [未完成] ORDER BY ID;
                        SELECT [名称], [time], [备注] FROM [已完成] ORDER BY ID;"
}
panels() {
  xdotool search --onlyvisible --name '^Velunorv0\.7$' 2> /dev/null | wc -l
}
panel_count_is() {
  [ "$(panels)" -eq "$1" ]
}
panel_of() {
  xdotool search --all --onlyvisible --pid "$1" --name '^Velunorv0\.7$'
}
# start DIR NAME: starts the program in DIR; its pid goes to the end of programs.
start() {
  "$1/velunor" > "$work/$2.log" 2>&1 &
  programs+=($!)
}

app="$work/app"
make_app "$app"
rows "$app" > "$work/rows.before"

start "$app" first
first=${programs[-1]}
poll 20 panel_of "$first" || fail "the first program showed no panel"

# The second start. Meanwhile data.db is a FIFO: reading it would block the program, and
# writing, moving or deleting it would show in the directory's listing.
mv "$app/data.db" "$work/data.db.real"
mkfifo "$app/data.db"
listing() {
  (cd "$1" && find . -printf '%p %y %s %i\n' | sort)
}
listing "$app" > "$work/listing.before"
"$app/velunor" > "$work/second.log" 2>&1 &
second=$!
ended=""
for _ in $(seq 50); do
  if ! kill -0 "$second" 2> /dev/null; then
    ended=yes
    break
  fi
  sleep 0.1
done
if [ -z "$ended" ]; then
  kill -KILL "$second" 2> /dev/null || true
  wait "$second" 2> /dev/null || true
  fail "the second start did not end within 5 s"
fi
status=0
wait "$second" || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with status $status"
listing "$app" > "$work/listing.after"
diff -u "$work/listing.before" "$work/listing.after" ||
  fail "the second start changed the program's directory"
[ -s "$work/second.log" ] && fail "the second start wrote: $(cat "$work/second.log")"
sleep 1  # time for a window it might still have opened to show
panel_count_is 1 || fail "$(panels) panels show after the second start, expected 1"
kill -0 "$first" 2> /dev/null || fail "the first program ended"
rm "$app/data.db"
mv "$work/data.db.real" "$app/data.db"

# A program in another directory keeps its own data and runs beside the first.
other="$work/other"
make_app "$other"
start "$other" other
other_pid=${programs[-1]}
poll 20 panel_of "$other_pid" || fail "a program in another directory showed no panel"
poll 5 panel_count_is 2 || fail "$(panels) panels show with two directories, expected 2"
stop_pid "$other_pid" 5

# SIGKILL: the first program gets no chance to release anything; the next start runs.
kill -KILL "$first"
wait "$first" 2> /dev/null || true
poll 10 panel_count_is 0 || fail "the killed program's panel stayed"
start "$app" third
third=${programs[-1]}
poll 20 panel_of "$third" || fail "no program started after the first was killed"
sleep 1
kill -0 "$third" 2> /dev/null || fail "the program started after the kill ended"

# It ends as usual, saving what it read.
kill -TERM "$third"
status=0
for _ in $(seq 100); do
  kill -0 "$third" 2> /dev/null || break
  sleep 0.1
done
kill -0 "$third" 2> /dev/null && fail "the program did not end within 10 s of SIGTERM"
wait "$third" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status after SIGTERM"
rows "$app" > "$work/rows.after"
diff -u "$work/rows.before" "$work/rows.after" || fail "data.db changed across the runs"

echo "$label: passed"
