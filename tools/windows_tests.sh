#!/bin/bash
# Builds and tests the Windows side on a Linux machine, installing nothing:
#   - build-win64/: vendrel.dll (x86_64), its import library and every test
#     program, cross-compiled with mingw-w64; the test suite then runs under
#     wine through CTest;
#   - build-win32/: the i686 vendrel.dll and the core library, built and
#     linked only (a 32-bit program cannot be trusted under a 64-bit wine),
#     with its export table checked against the export map.
#
# Needs the Debian packages g++-mingw-w64-x86-64-posix,
# g++-mingw-w64-i686-posix, wine, wine64 and googletest (GoogleTest sources
# in /usr/src/googletest), besides cmake and ninja-build.
#
# Environment: VENDREL_JOBS (build jobs, default 2), VENDREL_TEST_JOBS (CTest
# jobs, default 2), CTEST_ARGS (extra CTest arguments, e.g. "-L windows").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VENDREL_JOBS:-2}
test_jobs=${VENDREL_TEST_JOBS:-2}
win64="$root/build-win64"
win32="$root/build-win32"
started=$(date +%s)

missing=()
for tool in cmake ninja x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump \
            wine wineserver wineboot flock; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=("/usr/src/googletest")
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows_tests: missing ${missing[*]}" >&2
  echo "windows_tests: apt-get install g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine googletest" \
       "&& apt-get install --no-install-recommends wine64" >&2
  exit 2
fi

step() { echo "== windows_tests: $* ($(( $(date +%s) - started )) s)"; }

step "configure and build $win64"
cmake -S "$root" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C "$win64" -j "$jobs"

step "configure and build $win32 (libraries only)"
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
      -DVENDREL_TESTS=OFF >/dev/null
ninja -C "$win32" -j "$jobs" vendrel vendrel_core
cmake -DOBJDUMP="$(command -v i686-w64-mingw32-objdump)" -DLIBRARY="$win32/bin/vendrel.dll" \
      -DEXPECTED="$root/src/interface/exports.map" -P "$root/tests/windows/check_exports.cmake"

# wine's prefix inside the build tree, its server persistent and both it and
# the helpers of a new prefix detached from this script's streams: a helper
# that inherits CTest's output pipe keeps CTest waiting for ever.
export WINEPREFIX="$win64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
mkdir -p "$WINEPREFIX"
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

step "start wineserver and boot the prefix"
wineserver -p </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/.vendrel-booted" ]; then
  wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 || true
  touch "$WINEPREFIX/.vendrel-booted"
fi

step "run the test suite under wine"
status=0
# shellcheck disable=SC2086
ctest --test-dir "$win64" --output-on-failure -j "$test_jobs" ${CTEST_ARGS:-} || status=$?

step "done, ctest exit $status"
exit $status
