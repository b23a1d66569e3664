#!/usr/bin/env bash
# `cmake --install` of a build, staged under a fresh DESTDIR: the program, a valid desktop entry
# and the icons land in the freedesktop.org places, and nothing else is installed.
#
# Usage: install_test.sh BUILD_DIR PROGRAM PREFIX BINDIR DATADIR
#   PROGRAM: the built executable; PREFIX: the configured install prefix; BINDIR and DATADIR:
#   the configured bin and data directories relative to it.
# Exit status 0: passed; anything else: failed.
set -euo pipefail

build_dir=$1
program=$2
prefix=$3
bindir=$4
datadir=$5
label=install_test

stage=$(mktemp -d)
trap 'rm -rf "$stage" "$stage.log"' EXIT

fail() {
  echo "$label: FAIL: $*" >&2
  exit 1
}

DESTDIR="$stage" cmake --install "$build_dir" > "$stage.log" 2>&1 ||
  fail "cmake --install failed: $(cat "$stage.log")"
rm -f "$stage.log"
root="$stage$prefix"

# The program itself, executable.
[ -x "$root/$bindir/velunor" ] || fail "no executable $prefix/$bindir/velunor"
cmp -s "$program" "$root/$bindir/velunor" || fail "the installed program is not the built one"

# The desktop entry starts the installed program by name and shows its icon.
entry="$root/$datadir/applications/velunor.desktop"
[ -f "$entry" ] || fail "no desktop entry $prefix/$datadir/applications/velunor.desktop"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$entry" || fail "the desktop entry does not validate"
fi
for line in '[Desktop Entry]' 'Type=Application' 'Name=Velunor' 'Exec=velunor' 'Icon=velunor' \
  'Categories=Utility;'; do
  grep -qxF "$line" "$entry" || fail "the desktop entry lacks the line $line"
done

# png_size FILE: WIDTHxHEIGHT from the PNG's header, or nothing when it is not a PNG.
png_size() {
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
  local w h
  w=$(od -An -tu1 -j16 -N4 "$1" | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}')
  h=$(od -An -tu1 -j20 -N4 "$1" | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}')
  echo "${w}x$h"
}

# The icon: 32 x 32 for menus and panels and a larger one, each a PNG of its directory's size.
icons="$root/$datadir/icons/hicolor"
larger=0
for size in 32 48 128 256; do
  icon="$icons/${size}x$size/apps/velunor.png"
  if [ "$size" -eq 32 ]; then
    [ -f "$icon" ] || fail "no icon $icon"
  fi
  [ -f "$icon" ] || continue
  [ "$(png_size "$icon")" = "${size}x$size" ] ||
    fail "$icon is not a ${size}x$size PNG (it is '$(png_size "$icon")')"
  [ "$size" -gt 32 ] && larger=$((larger + 1))
done
[ "$larger" -gt 0 ] || fail "no icon larger than 32 x 32"

# Nothing else: no tests, benchmarks or libraries.
unexpected=$(cd "$stage" && find . -type f | sed 's|^\.||' | grep -v \
  -e "^$prefix/$bindir/velunor\$" \
  -e "^$prefix/$datadir/applications/velunor.desktop\$" \
  -e "^$prefix/$datadir/icons/hicolor/[0-9]*x[0-9]*/apps/velunor.png\$" || true)
[ -z "$unexpected" ] || fail "installed besides the program: $unexpected"

echo "$label: passed"
