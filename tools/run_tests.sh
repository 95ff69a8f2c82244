#!/usr/bin/env bash
# Builds and runs the whole test suite: once as released, once with
# AddressSanitizer and UndefinedBehaviorSanitizer. Build trees: build/, build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVENDREL_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
# The memory-bound tests measure the process size, which the sanitizers
# inflate; the folder limits (250,000 and 65,536 messages) ran above.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" \
    -E "FolderPartLimit|ALargeAttachmentIsNotHeldTwice|CommittedMessagesDoNotStayInMemory"

# The MIME parser and the EML import under libFuzzer for a minute each.
VENDREL_FUZZ_BUILD="$PWD/build-fuzz" VENDREL_FUZZ_JOBS="$jobs" sh tools/fuzz.sh 60
