#!/bin/bash
# Builds and tests the Windows side on a Linux machine, installing nothing:
#   - build-win64/: vendrel.dll (x86_64), its import library and every test
#     program, cross-compiled with mingw-w64; the unit suite, the export
#     check and the Windows host then run under wine through CTest;
#   - build-win32/: the i686 vendrel.dll, built and linked only (a 32-bit
#     program cannot be trusted under a 64-bit wine: it may crash and still
#     exit 0), with its export table checked against the export map and the
#     public header;
#   - build-winhost-linux/: the Linux library and its interop tests; the
#     files that the host wrote through vendrel.dll are read by the
#     independent readers and compared with the Linux library's files of the
#     same calls (tests/interop/windows_host_test.cpp).
#
# Needs the Debian packages below besides cmake, ninja-build, googletest and
# the readers of tests/interop (pst-utils, pff-tools, python3-pypff, node):
#   apt-get install -y g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
#   apt-get install -y --no-install-recommends wine wine64
#
# Environment: VENDREL_JOBS (build jobs, default 1), VENDREL_TEST_JOBS (CTest
# jobs, default 1), VENDREL_LINUX_BUILD (a configured Linux build tree to use
# instead of build-winhost-linux/), CTEST_ARGS (extra CTest arguments, e.g. "-L windows"),
# VENDREL_WINDOWS_QUICK=1 (build and run only the DLL, the host, the export
# check and the platform, common and Windows tests: the whole cross-built
# suite takes long on a small machine).
# Exits non-zero when any step fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VENDREL_JOBS:-1}
test_jobs=${VENDREL_TEST_JOBS:-1}
win64="$root/build-win64"
win32="$root/build-win32"
# The Linux build that reads the host's files: an existing one (the test
# command passes its release tree) or a tree of its own.
linux="${VENDREL_LINUX_BUILD:-$root/build-winhost-linux}"
started=$(date +%s)

missing=()
for tool in cmake ninja x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump \
            i686-w64-mingw32-objdump wine wineserver wineboot flock; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=("/usr/src/googletest")
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows_tests: missing ${missing[*]}" >&2
  echo "windows_tests: apt-get install -y g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest" \
       "&& apt-get install -y --no-install-recommends wine wine64" >&2
  exit 2
fi

step() { echo "== windows_tests: $* ($(( $(date +%s) - started )) s)"; }

step "configure and build $win64"
cmake -S "$root" -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
quick_labels=
if [ "${VENDREL_WINDOWS_QUICK:-0}" = 1 ]; then
  ninja -C "$win64" -j "$jobs" vendrel vendrel_cli windows_host tests_windows tests_platform tests_common
  quick_labels="-L ^(windows|platform|common)$"
else
  ninja -C "$win64" -j "$jobs"
fi

step "configure and build $win32 (the DLL only)"
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
      -DVENDREL_TESTS=OFF >/dev/null
ninja -C "$win32" -j "$jobs" vendrel
cmake -DOBJDUMP="$(command -v i686-w64-mingw32-objdump)" -DLIBRARY="$win32/bin/vendrel.dll" \
      -DEXPECTED="$root/src/interface/exports.map" -DHEADER="$root/include/vendrel.h" \
      -P "$root/tests/windows/check_exports.cmake"

step "configure and build $linux (the Linux library and its interop tests)"
[ -f "$linux/CMakeCache.txt" ] || cmake -S "$root" -B "$linux" -G Ninja >/dev/null
ninja -C "$linux" -j "$jobs" tests_interop vendrel_cli

# A fresh wine prefix inside the build tree. Its server is made persistent
# and, like the helpers that booting a new prefix starts, detached from this
# script's streams: a helper that inherits CTest's output pipe keeps CTest
# waiting for ever. The server goes when the script ends, however it ends.
export WINEPREFIX="$win64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
stop_wine() { wineserver -k </dev/null >/dev/null 2>&1 || true; }
trap stop_wine EXIT
stop_wine
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"

step "start wineserver and boot the prefix"
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 || { cat "$WINEPREFIX/wineboot.log" >&2; exit 1; }
touch "$WINEPREFIX/.vendrel-booted"

step "run the test suite under wine"
host_output="$win64/bin/host-output"
rm -rf "$host_output"
status=0
# shellcheck disable=SC2086
if ! ctest --test-dir "$win64" --output-on-failure -j "$test_jobs" $quick_labels ${CTEST_ARGS:-}; then
  # Under parallel load wine now and then starts a test program that exits
  # at once with no output; those tests run again one at a time, and only a
  # second failure counts.
  step "run the failed tests again, one at a time"
  ctest --test-dir "$win64" --output-on-failure --rerun-failed || status=$?
fi

step "compare the host's files with the Linux library's"
compare=0
if [ -d "$host_output" ]; then
  VENDREL_WINDOWS_HOST_OUTPUT="$host_output" \
    ctest --test-dir "$linux" --output-on-failure -R '^WindowsHost\.' --no-tests=error || compare=$?
else
  echo "windows_tests: the Windows host wrote no output folder ($host_output)" >&2
  compare=1
fi

# vendrel.exe converts the sample mailbox into a folder with a non-ASCII
# name and checks the result; the Linux program and readpst read it too.
step "convert and check the sample mailbox with vendrel.exe"
program=0
scratch="$win64/program-output/Grüße"
rm -rf "$win64/program-output"
mkdir -p "$scratch"
if wine "$win64/bin/vendrel.exe" convert --quiet "$root/examples/mailbox/friends.mbox" "$root/examples/mailbox/Maildir" \
       -o "$scratch/Äpfel.pst" </dev/null &&
   wine "$win64/bin/vendrel.exe" check "$scratch/Äpfel.pst" </dev/null &&
   wine "$win64/bin/vendrel.exe" ls --items "$scratch/Äpfel.pst" </dev/null; then
  if [ -x "$linux/cli/vendrel" ]; then "$linux/cli/vendrel" check "$scratch/Äpfel.pst" || program=1; fi
  if command -v readpst >/dev/null 2>&1; then
    mkdir -p "$scratch/readpst" && readpst -q -o "$scratch/readpst" "$scratch/Äpfel.pst" || program=1
  fi
else
  echo "windows_tests: vendrel.exe could not convert, check or list the sample mailbox" >&2
  program=1
fi

step "done, ctest exit $status, comparison exit $compare, program exit $program"
[ "$status" -eq 0 ] && [ "$compare" -eq 0 ] && [ "$program" -eq 0 ]
