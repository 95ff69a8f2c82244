#!/bin/sh
# Runs a Windows program of the build under wine: the emulator that CMake
# and CTest put in front of every test program of a Windows build tree.
#
# wine gets a prefix of its own inside the build tree (unless WINEPREFIX is
# set), no debug chatter and no Mono or Gecko installers. Its server and the
# helper processes of a new prefix are started detached from this process's
# standard streams; otherwise they would hold the test runner's output pipe
# open and it would wait for them forever.
set -e

if [ -z "${WINEPREFIX:-}" ]; then
  # The build tree is the nearest folder above the program with a CMakeCache.txt.
  dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || dir=$(pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
  WINEPREFIX="$dir/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH="${WINEARCH:-win64}"

mkdir -p "$WINEPREFIX"
# One caller at a time sets the prefix up; the others wait for it.
(
  flock 9
  # A running server for this prefix makes this a no-op.
  wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  if [ ! -f "$WINEPREFIX/.vendrel-booted" ]; then
    wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 9>&- || true
    touch "$WINEPREFIX/.vendrel-booted"
  fi
) 9>"$WINEPREFIX/.vendrel-lock"

exec wine "$@"
