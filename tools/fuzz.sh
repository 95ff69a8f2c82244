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

# The read path: the checker, the walker, the checker's node-database
# reading, heaps and BTHs, property contexts and table contexts, seeded from
# small files of ours and the mail client's (fuzz/read_seeds.cpp).
ninja -C "$build" -j "$jobs" fuzz_read_seeds fuzz_pst_check fuzz_ndb_walker fuzz_ndb_reader fuzz_heap fuzz_pc fuzz_tc
read_seeds="$build/read-seeds"
if [ ! -d "$read_seeds/file" ]; then
  client="$root/../shared/data/outlook"
  # shellcheck disable=SC2046
  "$build/fuzz_read_seeds" "$read_seeds" $( [ -d "$client" ] && ls "$client"/pstsdk_*.pst "$client"/rubymsg_*.pst 2>/dev/null ) >/dev/null
fi
for target in pst_check ndb_walker ndb_reader heap pc tc; do
  case $target in
    pst_check|ndb_walker|ndb_reader) seeds="$read_seeds/file" max_len=1048576 ;;
    heap) seeds="$read_seeds/heap $read_seeds/pc $read_seeds/tc" max_len=262144 ;;
    *) seeds="$read_seeds/$target" max_len=262144 ;;
  esac
  work="$build/corpus-$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  # shellcheck disable=SC2086
  if ! (cd "$build" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./fuzz_$target" -max_total_time="$seconds" -max_len=$max_len -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" $seeds "$root/fuzz/seeds/read-regressions"); then
    echo "fuzz_$target found a fault; see $build for the reproducer" >&2
    status=1
  fi
done
exit $status
