#!/usr/bin/env bash
# The test command.
#   tools/run_tests.sh         before a commit: the release build (build/) and
#                              its unit, interface, interoperability, install,
#                              documentation and Python tests; the slow tests
#                              (folder limits of 250,001 and 65,537 messages,
#                              the subproject build) are left to --all
#   tools/run_tests.sh --all   all of that with the slow tests, then the suite
#                              cross-built for Windows and run under wine
#                              (build-win64/, build-win32/), with
#                              AddressSanitizer and UndefinedBehaviorSanitizer
#                              (build-sanitize/), and the MIME and EML fuzz
#                              targets for a minute each (build-fuzz/)
# Environment: VENDREL_JOBS (build and test jobs; default: the processors).
# Exits non-zero when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
all=0
case "${1:-}" in
  "") ;;
  --all) all=1 ;;
  -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d'; exit 0 ;;
  *) echo "usage: tools/run_tests.sh [--all]" >&2; exit 2 ;;
esac
jobs=${VENDREL_JOBS:-$(nproc 2>/dev/null || echo 2)}
started=$(date +%s)
step() { echo "== run_tests: $* ($(( $(date +%s) - started )) s)"; }

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

step "release build (build/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON "${launcher[@]}" >/dev/null
cmake --build build -j "$jobs"

step "tests of the release build"
if [ "$all" = 1 ]; then
  ctest --test-dir build --output-on-failure -j "$jobs"
else
  ctest --test-dir build --output-on-failure -j "$jobs" -LE slow -E FolderPartLimit
  step "done (tools/run_tests.sh --all adds the slow, Windows, sanitizer and fuzz runs)"
  exit 0
fi

# vendrel.dll: the suite cross-built with mingw-w64 and run under wine, and the
# files of the Windows host read beside the Linux library's (build/ reads them).
step "Windows build under wine"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && command -v wine >/dev/null 2>&1; then
  VENDREL_JOBS="$jobs" VENDREL_TEST_JOBS="$jobs" VENDREL_LINUX_BUILD="$PWD/build" bash tools/windows_tests.sh
elif [ "${CI:-}" = true ]; then
  echo "run_tests: the mingw-w64 toolchain or wine is missing; .ci/run installs them" >&2
  exit 1
else
  echo "run_tests: skipping the Windows tests (no mingw-w64 toolchain or wine; see tools/windows_tests.sh)" >&2
fi

step "sanitizer build (build-sanitize/)"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVENDREL_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build build-sanitize -j "$jobs"
# The memory-bound tests measure the process size, which the sanitizers
# inflate; the folder limits (250,000 and 65,536 messages) ran above, and
# the packaging and Python tests load the library into programs built
# without the sanitizers.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -LE 'install|python' \
    -E "FolderPartLimit|ALargeAttachmentIsNotHeldTwice|CommittedMessagesDoNotStayInMemory"

# The MIME parser and the EML import under libFuzzer for a minute each.
step "fuzz run (build-fuzz/)"
VENDREL_FUZZ_BUILD="$PWD/build-fuzz" VENDREL_FUZZ_JOBS="$jobs" sh tools/fuzz.sh 60
step "done"
