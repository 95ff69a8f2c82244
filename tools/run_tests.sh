#!/usr/bin/env bash
# Builds and runs the whole test suite: once as released, once cross-built for
# Windows under wine, once with AddressSanitizer and UndefinedBehaviorSanitizer.
# Build trees: build/, build-win64/, build-win32/, build-sanitize/, build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# vendrel.dll: the suite cross-built with mingw-w64 and run under wine, and the
# files of the Windows host read beside the Linux library's (build/ reads them).
if command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && command -v wine >/dev/null 2>&1; then
  VENDREL_JOBS="$jobs" VENDREL_TEST_JOBS="$jobs" VENDREL_LINUX_BUILD="$PWD/build" bash tools/windows_tests.sh
elif [ "${CI:-}" = true ]; then
  echo "run_tests: the mingw-w64 toolchain or wine is missing; .ci/run installs them" >&2
  exit 1
else
  echo "run_tests: skipping the Windows tests (no mingw-w64 toolchain or wine; see tools/windows_tests.sh)" >&2
fi

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVENDREL_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
# The memory-bound tests measure the process size, which the sanitizers
# inflate; the folder limits (250,000 and 65,536 messages) ran above.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" \
    -E "FolderPartLimit|ALargeAttachmentIsNotHeldTwice|CommittedMessagesDoNotStayInMemory"

# The MIME parser and the EML import under libFuzzer for a minute each.
VENDREL_FUZZ_BUILD="$PWD/build-fuzz" VENDREL_FUZZ_JOBS="$jobs" sh tools/fuzz.sh 60
