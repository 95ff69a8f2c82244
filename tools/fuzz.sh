#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in their own build directory, then runs each for
# about a minute from its seed corpus. Exits non-zero when a target finds a
# crash, a leak or undefined behaviour (the reproducer is left in the
# build directory as crash-*, leak-* or timeout-*).
#   tools/fuzz.sh [seconds per target [target...]]   (default 60, all targets)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VENDREL_FUZZ_BUILD:-$root/build-eml-fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-mime_parser bind_eml html_to_text rtf_reader bind_bodies}
jobs=${VENDREL_FUZZ_JOBS:-1}

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j "$jobs" fuzz_mime_parser fuzz_bind_eml fuzz_html_to_text fuzz_rtf_reader fuzz_bind_bodies

corpus="$root/../shared/corpus/eml"
status=0
for target in $targets; do
  work="$build/corpus-$target"
  mkdir -p "$work"
  case $target in
    html_to_text) seeds="$root/fuzz/seeds/html" ;;
    rtf_reader) seeds="$root/fuzz/seeds/rtf" ;;
    bind_bodies) seeds="$root/fuzz/seeds/bodies" ;;
    *)
      seeds="$root/fuzz/seeds/mime $root/fuzz/seeds/regressions"
      [ -d "$corpus" ] && seeds="$seeds $corpus/rfc2822 $corpus/mime_emails $corpus/error_emails"
      ;;
  esac
  echo "== fuzz_$target for ${seconds}s"
  # shellcheck disable=SC2086
  if ! (cd "$build" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" $seeds); then
    echo "fuzz_$target found a fault; see $build for the reproducer" >&2
    status=1
  fi
done
exit $status
