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

for tool in Xvfb openbox xdotool xdpyinfo xprop sqlite3 setsid mkfifo sha256sum; do
  if ! command -v "$tool" > /dev/null; then
    echo "$label: $tool is missing; scripts/install-deps installs it" >&2
    exit 77
  fi
done

work=$(mktemp -d)
pids=()     # helpers started here, in start order
programs=() # copies of the program started here

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
  local i
  for i in "${programs[@]}"; do
    stop_pid "$i"
  done
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

# A display of its own among :90 to :99. Xvfb writes the number to fd 3 once it accepts
# connections; a number taken meanwhile by another server makes it exit, and the next is tried.
answered_or_ended() {
  [ -s "$work/display" ] || ! kill -0 "$1"
}
start_display() {
  local n
  for n in $(seq 90 99 | shuf); do
    # shellcheck disable=SC2015
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    : > "$work/display"
    setsid Xvfb ":$n" -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset \
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

wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"
}
poll 10 xdpyinfo || fail "the display does not answer"
setsid openbox > "$work/openbox.log" 2>&1 &
pids+=($!)
poll 20 wm_ready || fail "openbox did not start"

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
stop_pid "$other_pid"

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
