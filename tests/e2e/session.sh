# Helpers for scripts that run the built program on a display of their own (Xvfb with the
# openbox window manager and a trayer notification area) and use it as a user does, with
# xdotool: menus, message boxes, list entries, the tray icon.
#
# Source it after setting `work` (a fresh directory for logs and screenshots) and `label` (the
# name that prefixes messages). It sets `pids` (helpers in start order) and `app_pid` (the
# program, once started: set it) and installs no trap of its own: the caller's EXIT trap calls
# session_cleanup.
# shellcheck shell=bash
# shellcheck disable=SC2154,SC2034  # work and label come from the sourcing script, which uses
# the constants set here

pids=()
app_pid=""
# The screen, and the panel's left edge on it: the panel is 300 pixels wide, in the top-right
# corner.
screen_w=1920
screen_h=1080
panel_x=$((screen_w - 300))
# Seconds the program may take to answer a click or a key; longer under valgrind.
react=10

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

# stop_pid PID SECONDS: TERM, up to SECONDS for it to end, then KILL.
stop_pid() {
  local tenths=$(($2 * 10))
  kill -TERM "$1" 2> /dev/null || return 0
  while kill -0 "$1" 2> /dev/null && [ "$tenths" -gt 0 ]; do
    sleep 0.1
    tenths=$((tenths - 1))
  done
  kill -KILL "$1" 2> /dev/null || true
}

# session_cleanup SECONDS: ends the program (SECONDS to save and end), then the helpers, newest
# first.
session_cleanup() {
  if [ -n "$app_pid" ]; then
    stop_pid "$app_pid" "$1"
    app_pid=""
  fi
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${pids[i]}" 3
  done
  wait 2> /dev/null || true
}

# require TOOL...: exits with 77 (skipped) when a tool is missing.
require() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" > /dev/null; then
      echo "$label: $tool is missing; scripts/install-deps installs it" >&2
      exit 77
    fi
  done
}

# The display numbers start_display tries, FIRST-LAST. The default lies above 900, well away from
# the ones people and other tools pick (a desktop's :0, xvfb-run's :99), so that nothing else
# connects to it by chance; a script may set its own before calling start_display.
display_range=900-9899

# start_display WIDTH HEIGHT [XVFB_OPTION...]: an Xvfb display at a free number in display_range,
# up to 20 of them tried in random order. Xvfb writes the number to fd 3 once it accepts
# connections; a number taken meanwhile makes it exit, and another is tried. -noreset: the server
# must not reset when its last client leaves, or a client that connects just then is turned
# away. Sets xvfb_pid; exports DISPLAY.
xvfb_pid=""
start_display() {
  local w=$1 h=$2 n
  shift 2
  for n in $(shuf -i "$display_range" -n 20); do
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
      continue
    fi
    : > "$work/display"
    setsid Xvfb ":$n" -displayfd 3 -screen 0 "${w}x${h}x24" "$@" -nolisten tcp -noreset \
      3> "$work/display" 2> "$work/xvfb.log" &
    xvfb_pid=$!
    pids+=($!)
    local tenths=200
    while [ ! -s "$work/display" ] && kill -0 "$xvfb_pid" 2> /dev/null && [ "$tenths" -gt 0 ]; do
      sleep 0.1
      tenths=$((tenths - 1))
    done
    if [ -s "$work/display" ]; then
      export DISPLAY=":$n"
      export QT_QPA_PLATFORM=xcb
      unset WAYLAND_DISPLAY
      return 0
    fi
  done
  return 1
}

# server_state: whether the display's server still runs and answers, for a failure message.
server_state() {
  if kill -0 "$xvfb_pid" 2> /dev/null; then
    if xdpyinfo > /dev/null 2>&1; then
      echo "Xvfb answers"
    else
      echo "Xvfb runs but does not answer"
    fi
  else
    echo "Xvfb has ended"
  fi
}

wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"
}

# tray_geometry: sets X, Y, WIDTH and HEIGHT to trayer's window once it holds an icon (it shows,
# and grows to the width of the icons it holds).
tray_geometry() {
  local w
  for w in $(xdotool search --onlyvisible --class trayer 2> /dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -ge 16 ] && return 0
  done
  return 1
}

# start_wm WIDTH HEIGHT [XVFB_OPTION...]: the display and openbox on it.
start_wm() {
  start_display "$@" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  poll 10 xdpyinfo || fail "the display does not answer ($(server_state))"
  setsid openbox > "$work/openbox.log" 2>&1 &
  pids+=($!)
  poll 20 wm_ready || fail "openbox did not start ($(server_state))"
}

# start_desktop WIDTH HEIGHT: the display, openbox, and trayer at the bottom right, clear of the
# panel in the top-right corner.
start_desktop() {
  start_wm "$1" "$2"
  setsid trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false > "$work/trayer.log" 2>&1 &
  pids+=($!)
  # Its window exists once it serves as the notification area; it may show only once it holds
  # an icon.
  poll 20 xdotool search --class trayer || fail "trayer did not start"
}

# finish_work STATUS WHAT: keeps the work directory, saying so with WHAT ("logs", "logs and
# screenshots"), when the run failed (not skipped) or VELUNOR_E2E_KEEP is set; else removes it.
finish_work() {
  if [ -n "${VELUNOR_E2E_KEEP:-}" ] || { [ "$1" -ne 0 ] && [ "$1" -ne 77 ]; }; then
    echo "$label: $2 kept in $work" >&2
  else
    chmod -R u+w "$work" 2> /dev/null || true
    rm -rf "$work"
  fi
}

# make_data_db FILE: an empty data file with the program's two tables, made the way any other
# program would make it; rows are added by the caller.
make_data_db() {
  local schema='([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, [time] DATETIME, [备注] TEXT)'
  sqlite3 "$1" "CREATE TABLE [未完成] $schema; CREATE TABLE [已完成] $schema;"
}

# The visible windows of the program: the panel, the tray icon, and whatever menu, message box
# or edit window it has open.
program_windows() {
  xdotool search --onlyvisible --pid "$app_pid" 2> /dev/null | sort
}

# panel_window: the panel's window id.
panel_window() {
  xdotool search --onlyvisible --name '^Velunorv0\.7$' 2> /dev/null | head -n 1
}

# screen_region FILE X Y WIDTH HEIGHT: a crop of the screen as it is now.
screen_region() {
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "${4}x${5}+${2}+${3}" +repage "$1"
}

# bright_pixels X Y WIDTH HEIGHT: how many pixels of that screen region are near white, the
# colour of every text the panel draws.
bright_pixels() {
  screen_region "$work/region.png" "$@"
  convert "$work/region.png" -colorspace gray -threshold 80% -format '%[fx:round(mean*w*h)]' info:
}

# text_point X Y WIDTH HEIGHT: prints "X Y", a screen point inside a stroke of the white text in
# that region (the centre of a 3x3 white square), or fails when the region holds none. Where the
# panel shows only its key colour it lets clicks through, so a click meant for a list entry has
# to land on its text.
text_point() {
  screen_region "$work/region.png" "$@"
  local found
  found=$(convert "$work/region.png" -colorspace gray -threshold 80% -morphology Erode Square:1 \
    txt:- | awk -F'[,:]' '/gray\(255\)|#FFFFFF/ {print $1, $2; exit}')
  [ -n "$found" ] || return 1
  echo "$((${found% *} + $1)) $((${found#* } + $2))"
}

# ---- what a user does ----

# new_window: prints a visible window of the program that was not there when
# $work/windows.before was written.
new_window() {
  local found
  found=$(comm -13 "$work/windows.before" <(program_windows) | head -n 1)
  [ -n "$found" ] && echo "$found"
}

# popup X Y BUTTON: clicks there and waits for a window of the program to open (a menu, most
# often); sets X, Y, WIDTH and HEIGHT to its geometry. A click that comes before
# the program has caught up with the pointer's arrival can go unanswered, so it is tried again
# when nothing opens.
popup() {
  local attempt
  program_windows > "$work/windows.before"
  for attempt in 1 2 3; do
    xdotool mousemove "$1" "$2"
    sleep 0.2
    xdotool click "$3"
    if poll "$react" new_window; then
      eval "$(xdotool getwindowgeometry --shell "$(new_window)")"
      return 0
    fi
    echo "$label: no window opened after click $attempt at $1,$2; trying again" >&2
  done
  return 1
}

# choose K N: clicks the K-th of the N entries (from 1) of the menu that popup opened.
choose() {
  local x=$((X + WIDTH / 2)) y=$((Y + HEIGHT * (2 * $1 - 1) / (2 * $2)))
  xdotool mousemove "$x" "$y"
  sleep 0.2
  xdotool click 1
}

# new_window_of_size WIDTH HEIGHT: prints a window of the program of that size that was not there
# when $work/windows.before was written.
new_window_of_size() {
  local w
  for w in $(comm -13 "$work/windows.before" <(program_windows)); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" = "$1" ] && [ "$HEIGHT" = "$2" ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

window_gone() {
  ! program_windows | grep -qx "$1"
}

message_box() {
  xdotool search --all --onlyvisible --pid "$app_pid" --name "^$1\$" 2> /dev/null | head -n 1 |
    grep .
}
box_active() {
  [ "$(xdotool getactivewindow 2> /dev/null)" = "$1" ] || {
    xdotool windowactivate "$1" 2> /dev/null
    false
  }
}
# answer_ok CAPTION: presses Return in the message box with that caption, which takes OK, the
# default button.
answer_ok() {
  poll "$react" message_box "$1" || fail "no message box \"$1\" appeared"
  local box
  box=$(message_box "$1")
  poll "$react" box_active "$box" || fail "the message box \"$1\" did not take the focus"
  xdotool key Return
  poll "$react" window_gone "$box" || fail "the message box \"$1\" stayed open after Return"
}

# The list box starts at y 112 below the time area and shows one entry every 35 pixels.
entry_top() {
  echo $((112 + 35 * ($1 - 1)))
}
# open_list_menu K: selects the K-th entry with a left click on its text and opens the list
# menu on it with a right click there.
open_list_menu() {
  local point
  poll "$react" text_point "$panel_x" "$(entry_top "$1")" 300 35 || fail "entry $1 shows no text"
  point=$(text_point "$panel_x" "$(entry_top "$1")" 300 35)
  # shellcheck disable=SC2086
  xdotool mousemove $point
  sleep 0.2
  xdotool click 1
  # shellcheck disable=SC2086
  popup $point 3 || fail "a right click on entry $1 opened no menu"
}
# The list menu of a pending entry: 修改, 开始倒计时, 删除, 详情, 完成.
list_entries=5

# open_tray_menu: a right click on the tray icon, the only icon trayer holds.
open_tray_menu() {
  tray_geometry || fail "the tray icon is gone"
  popup "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))" 3 || fail "the tray icon opened no menu"
}
# The tray menu: 说明, 退出.
tray_entries=2

# The parts of the panel that only a countdown draws: the stop label "停止" and the time-left
# text "剩余:...", at the top right and the top left of the time area.
stop_label=("$((panel_x + 264))" 8 24 24)
time_left=("$((panel_x + 16))" 8 144 24)
# The date label, which shows the counted item's name during a countdown, right-aligned; below the
# clock's digits.
name_label=("$((panel_x + 160))" 86 136 24)
time_label=("$((panel_x + 60))" 20 180 60)
countdown_shown() {
  [ "$(bright_pixels "${stop_label[@]}")" -gt 20 ] &&
    [ "$(bright_pixels "${time_left[@]}")" -gt 20 ]
}
