#!/bin/bash
# End-to-end rate of `vendrel convert` on an mbox of generated messages
# (convert_bench_mbox.py: a realistic mix), next to the library's own rate
# on the same messages (bench_convert_library: Bind_EML on each as an .eml
# file) and a raw write of the same bytes; peak RSS of each, to show that
# memory stays flat as the mailbox grows.
# Usage: convert_bench.sh BUILD_DIR [COUNT...]   (default counts: 10000 100000)
set -euo pipefail
build=$(cd "$1" && pwd)
shift
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(10000 100000)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vendrel-convert-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

for count in "${counts[@]}"; do
  echo "== $count messages"
  /usr/bin/python3 "$here/convert_bench_mbox.py" "$count" "$work/mail.mbox" --split "$work/eml"
  size=$(stat -c %s "$work/mail.mbox")
  /usr/bin/time -f "%e %M" -o "$work/time" "$build/cli/vendrel" convert -q "$work/mail.mbox" -o "$work/out.pst"
  read -r seconds rss_kb < "$work/time"
  awk -v n="$count" -v s="$seconds" -v b="$size" -v r="$rss_kb" -v o="$(stat -c %s "$work/out.pst")" 'BEGIN {
    printf "program  %d messages, %.1f MB mbox in %.2f s: %.0f messages/s, %.1f MB/s, peak RSS %d MB, PST %.1f MB\n",
           n, b / 1e6, s, n / s, b / 1e6 / s, r / 1024, o / 1e6 }'
  rm -f "$work/out.pst"
  "$build/bench/bench_convert_library" "$work/eml" "$work/lib.pst"
  rm -rf "$work/eml" "$work/lib.pst" "$work/mail.mbox"
done
