#!/bin/bash
# Speed of `vendrel check` on a multi-GB file: writes a Unicode PST of
# attachment mail (bench_attachment_mail, 256 KiB + 1 MiB a message), then
# reads it with the checker and, in the same state of the page cache, with a
# plain sequential read of the same bytes. Where the page cache can be
# dropped (root), both reads start cold, so both go to the disk.
# Usage: check_bench.sh BUILD_DIR [MESSAGES] [DIRECTORY]   (1600 ≈ 2 GB, /tmp)
set -euo pipefail
build=$(cd "$1" && pwd)
count=${2:-1600}
dir=${3:-${TMPDIR:-/tmp}}
pst="$dir/attachment_mail_bench.pst"
trap 'rm -f "$pst"' EXIT

"$build/bench/bench_attachment_mail" "$dir" "$count" --keep >/dev/null
size=$(stat -c %s "$pst")

drop_cache() {
  sync
  if [ -w /proc/sys/vm/drop_caches ]; then echo 3 > /proc/sys/vm/drop_caches; echo cold; else echo warm; fi
}

state=$(drop_cache)
start=$(date +%s%N)
status=0
"$build/cli/vendrel" check "$pst" >/dev/null || status=$?
check_ns=$(( $(date +%s%N) - start ))

drop_cache >/dev/null
start=$(date +%s%N)
cat "$pst" > /dev/null
raw_ns=$(( $(date +%s%N) - start ))

awk -v b="$size" -v c="$check_ns" -v r="$raw_ns" -v s="$state" -v e="$status" 'BEGIN {
  c /= 1e9; r /= 1e9
  printf "file       %.1f MB (%s cache)\n", b / 1e6, s
  printf "check      %.2f s, %.1f MB/s (exit %d)\n", c, b / 1e6 / c, e
  printf "raw read   %.2f s, %.1f MB/s\n", r, b / 1e6 / r
  printf "ratio      %.2f\n", r / c }'
