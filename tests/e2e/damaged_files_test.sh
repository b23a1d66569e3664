#!/usr/bin/env bash
# The built program on bad ground, on a display of its own (Xvfb with the openbox window manager):
#   - each file of the damaged data.db corpus (tests/data, described by its manifest.txt), and a
#     data.db that another process keeps locked: the program starts, its list shows the pending
#     items it could read, SIGTERM ends it with status 0, the saved data.db holds every row it
#     read, and a file it could not read in full is kept beside it, byte for byte, as
#     data.db.unreadable-*;
#   - a program directory it cannot write: data.db lives in $XDG_DATA_HOME/velunor instead;
#   - a full disk: the save at exit fails and leaves data.db as it was; once there is room, the
#     next run saves.
# The last two need root (to mount); without it they are reported as skipped.
#
# Usage: damaged_files_test.sh PROGRAM CORPUS_DIR
# Exit status 0: passed; 77: a tool is missing (reported as skipped); anything else: failed.
# VELUNOR_E2E_KEEP keeps the work directory; VELUNOR_E2E_DISPLAYS=FIRST-LAST picks the display
# numbers to try (default 200-899).
set -euo pipefail

label=damaged_files_test
here=$(cd "$(dirname "$0")" && pwd)

# As root, run in a mount namespace of our own: the mounts made below vanish with the script.
if [ "$(id -u)" -eq 0 ] && [ -z "${VELUNOR_E2E_PRIVATE_MOUNTS:-}" ] &&
  unshare --mount --propagation private true 2> /dev/null; then
  VELUNOR_E2E_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

work=$(mktemp -d)
# shellcheck source=tests/e2e/session.sh
source "$here/session.sh"
lock_pid=""
mounts=()

cleanup() {
  local status=$?
  trap - EXIT
  if [ -n "$app_pid" ]; then
    stop_pid "$app_pid" 3
    app_pid=""
  fi
  [ -z "$lock_pid" ] || stop_pid "$lock_pid" 3
  session_cleanup 3
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount -l "${mounts[i]}" 2> /dev/null || true
  done
  finish_work "$status" logs
}
trap cleanup EXIT
require Xvfb openbox xdotool xdpyinfo xwininfo xprop sqlite3 setsid cmp realpath

program=$(realpath "$1")
corpus=$(realpath "$2")

# ---- The display ----

# A display of its own, with openbox: among :200 to :899, or the numbers VELUNOR_E2E_DISPLAYS
# names.
display_range=${VELUNOR_E2E_DISPLAYS:-200-899}
start_wm "$screen_w" 1080

# ---- One run of the program ----

# panel_height PENDING_COUNT: the time area (112) and the list box: none when the list is empty,
# else 35 per entry plus 25, and 325 from 10 entries on.
panel_height() {
  if [ "$1" -eq 0 ]; then
    echo 112
  elif [ "$1" -ge 10 ]; then
    echo $((112 + 325))
  else
    echo $((112 + 35 * $1 + 25))
  fi
}
panel_geometry() {
  local panel
  panel=$(xdotool search --onlyvisible --pid "$app_pid" --name '^Velunorv0\.7$' | head -n 1)
  [ -n "$panel" ] || return 1
  xwininfo -id "$panel" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}
expect_panel() {
  [ "$(panel_geometry)" = "$1" ]
}

# run_program CASE EXECUTABLE PENDING_COUNT [VAR=VALUE...]: starts the program, waits until its
# panel shows PENDING_COUNT pending items, ends it with SIGTERM and checks that it exits with 0.
run_program() {
  local case=$1 exe=$2 count=$3
  shift 3
  env "$@" "$exe" > "$work/$case.log" 2>&1 &
  app_pid=$!
  local want
  want="$((screen_w - 300)) 0 300 $(panel_height "$count")"
  poll 20 expect_panel "$want" ||
    fail "$case: the panel is at $(panel_geometry || echo nowhere), expected $want (its list" \
      "showing $count items)"
  kill -TERM "$app_pid"
  local i
  for i in $(seq 150); do
    kill -0 "$app_pid" 2> /dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2> /dev/null && fail "$case: the program did not end within 15 s of SIGTERM"
  local status=0
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" -eq 0 ] || fail "$case: the program ended with status $status after SIGTERM"
}

# names DATABASE TABLE: the names in ID order joined by "|", or "-" when the table is empty.
names() {
  sqlite3 -readonly "$1" "SELECT CASE WHEN count(*) = 0 THEN '-' ELSE group_concat(名称, '|') END
                          FROM (SELECT 名称 FROM [$2] ORDER BY ID)"
}
count_names() {  # count_names LIST: how many names a "|"-joined list holds
  if [ "$1" = "-" ]; then echo 0; else echo $(($(tr -cd '|' <<< "$1" | wc -c) + 1)); fi
}

# check_saved CASE DIR ORIGINAL KEPT PENDING COMPLETED: what a run left in DIR, where data.db
# started as a copy of ORIGINAL.
check_saved() {
  local case=$1 dir=$2 original=$3 kept=$4 pending=$5 completed=$6
  [ -f "$dir/data.db" ] || fail "$case: no data.db after the run"
  local check
  check=$(sqlite3 -readonly "$dir/data.db" "PRAGMA integrity_check")
  [ "$check" = ok ] || fail "$case: the saved data.db fails its integrity check: $check"
  local got
  got=$(names "$dir/data.db" 未完成)
  [ "$got" = "$pending" ] || fail "$case: saved pending items '$got', expected '$pending'"
  got=$(names "$dir/data.db" 已完成)
  [ "$got" = "$completed" ] || fail "$case: saved completed items '$got', expected '$completed'"

  local leftovers=("$dir"/data.db.saving-*)
  [ ! -e "${leftovers[0]}" ] || fail "$case: a save left ${leftovers[*]##*/}"
  local copies=("$dir"/data.db.unreadable-*)
  [ -e "${copies[0]}" ] || copies=()
  if [ "$kept" = kept ]; then
    [ "${#copies[@]}" -eq 1 ] || fail "$case: ${#copies[@]} kept copies of the unreadable file"
    [[ ${copies[0]##*/} =~ ^data\.db\.unreadable-[0-9]{8}-[0-9]{6}$ ]] ||
      fail "$case: the unreadable file was kept as ${copies[0]##*/}"
    cmp -s "$original" "${copies[0]}" || fail "$case: the kept file differs from the original"
  else
    [ "${#copies[@]}" -eq 0 ] || fail "$case: a readable file was kept as ${copies[*]##*/}"
  fi
}

# entries DIR: the names in DIR, sorted, each followed by a blank; without the lock file that a
# running program keeps in its directory.
entries() {
  find "$1" -mindepth 1 -maxdepth 1 ! -name .velunor.lock -printf '%f\n' | sort | tr '\n' ' '
}

app_dir=$work/app
mkdir "$app_dir"
cp "$program" "$app_dir/velunor"
fresh_app_dir() {  # fresh_app_dir DATA_FILE: the program directory with a copy of DATA_FILE
  find "$app_dir" -mindepth 1 ! -name velunor -delete
  cp "$1" "$app_dir/data.db"
}

# ---- The corpus ----

files=0
while IFS=';' read -r file kept pending completed what; do
  case $file in '' | '#'*) continue ;; esac
  [ -f "$corpus/$file" ] || fail "$file is in the manifest but not in $corpus"
  fresh_app_dir "$corpus/$file"
  run_program "$file" "$app_dir/velunor" "$(count_names "$pending")"
  check_saved "$file" "$app_dir" "$corpus/$file" "$kept" "$pending" "$completed"
  echo "damaged_files_test: $file ($what): ok"
  files=$((files + 1))
done < "$corpus/manifest.txt"
[ "$files" -ge 15 ] || fail "only $files files in the corpus"

# ---- A data.db that another process keeps locked ----

good_pending=$(names "$corpus/good.db" 未完成)
good_completed=$(names "$corpus/good.db" 已完成)

# lock_data_file SQL...: a sqlite3 process takes an exclusive lock on the program's data.db,
# then runs the further lines it is given; returns once the lock is held.
lock_data_file() {
  rm -f "$work/lock.fifo" "$work/locked"
  mkfifo "$work/lock.fifo"
  sqlite3 "$app_dir/data.db" < "$work/lock.fifo" > "$work/lock.log" 2>&1 &
  lock_pid=$!
  exec 7> "$work/lock.fifo"
  printf '%s\n' "BEGIN EXCLUSIVE;" ".shell touch '$work/locked'" "$@" >&7
  poll 10 test -e "$work/locked" || fail "sqlite3 did not lock data.db: $(cat "$work/lock.log")"
}
unlock_data_file() {
  exec 7>&-
  wait "$lock_pid" || true
  lock_pid=""
}

# Held for the whole run: the program waits a moment, reads nothing, and the next save keeps
# the locked file.
fresh_app_dir "$corpus/good.db"
lock_data_file
run_program locked "$app_dir/velunor" 0
unlock_data_file
check_saved locked "$app_dir" "$corpus/good.db" kept - -
echo "damaged_files_test: a data.db locked for the whole run: ok"

# Held for a second only: the program waits for the lock and reads everything.
fresh_app_dir "$corpus/good.db"
lock_data_file ".shell sleep 1" "COMMIT;"
run_program briefly-locked "$app_dir/velunor" "$(count_names "$good_pending")"
unlock_data_file
check_saved briefly-locked "$app_dir" "$corpus/good.db" replaced "$good_pending" "$good_completed"
echo "damaged_files_test: a data.db locked for a second: ok"

# ---- A program directory that cannot be written ----

# mount_tmpfs DIR SIZE: a tmpfs on DIR; false when this process may not mount.
mount_tmpfs() {
  [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o "size=$2,mode=0755" tmpfs "$1" 2> /dev/null || return 1
  mounts+=("$1")
}

ro_dir=$work/read-only
data_home=$work/data-home
mkdir -p "$ro_dir" "$data_home/velunor"
if mount_tmpfs "$ro_dir" 64m; then
  cp "$program" "$ro_dir/velunor"
  mount -o remount,ro "$ro_dir" || fail "cannot make $ro_dir read-only"
  how="a read-only file system"
elif [ "$(id -u)" -ne 0 ]; then
  cp "$program" "$ro_dir/velunor"
  chmod 0555 "$ro_dir"
  how="a directory this user may not write"
else
  how=""
  echo "damaged_files_test: SKIPPED the read-only program directory: cannot mount a tmpfs"
fi
if [ -n "$how" ]; then
  cp "$corpus/good.db" "$data_home/velunor/data.db"
  before=$(stat -c %i "$data_home/velunor/data.db")
  run_program read-only "$ro_dir/velunor" "$(count_names "$good_pending")" \
    XDG_DATA_HOME="$data_home"
  check_saved read-only "$data_home/velunor" "$corpus/good.db" replaced "$good_pending" \
    "$good_completed"
  [ "$(entries "$ro_dir")" = "velunor " ] || fail "read-only: the program wrote into $ro_dir"
  [ "$(stat -c %i "$data_home/velunor/data.db")" != "$before" ] ||
    fail "read-only: data.db in $data_home/velunor was not saved"
  echo "damaged_files_test: a program directory on $how: ok"
fi

# ---- A full disk ----

full_dir=$work/full
mkdir "$full_dir"
if mount_tmpfs "$full_dir" $(($(stat -c %s "$program") + 1024 * 1024)); then
  cp "$program" "$full_dir/velunor"
  cp "$corpus/good.db" "$full_dir/data.db"
  dd if=/dev/zero of="$full_dir/filler" bs=4096 2> /dev/null || true
  [ "$(df --output=avail "$full_dir" | tail -n 1)" -eq 0 ] || fail "full disk: room is left"
  run_program full-disk "$full_dir/velunor" "$(count_names "$good_pending")"
  cmp -s "$corpus/good.db" "$full_dir/data.db" || fail "full disk: data.db changed"
  [ "$(entries "$full_dir")" = "data.db filler velunor " ] ||
    fail "full disk: the failed save left $(entries "$full_dir")"
  rm "$full_dir/filler"
  before=$(stat -c %i "$full_dir/data.db")
  run_program room-again "$full_dir/velunor" "$(count_names "$good_pending")"
  check_saved room-again "$full_dir" "$corpus/good.db" replaced "$good_pending" "$good_completed"
  [ "$(stat -c %i "$full_dir/data.db")" != "$before" ] || fail "room again: data.db was not saved"
  echo "damaged_files_test: a full disk, then room again: ok"
else
  echo "damaged_files_test: SKIPPED the full disk: cannot mount a tmpfs (needs root)"
fi

echo "damaged_files_test: passed ($files corpus files)"
