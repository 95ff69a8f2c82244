#!/bin/sh
# Writes the calls of same_calls_host.cpp with the shared library of another
# build and keeps every reader's view of the two files in this directory.
#   make_expected.sh SOURCE_DIR BUILD_DIR
# SOURCE_DIR holds that build's include/vendrel.h, BUILD_DIR its
# src/libvendrel.so. The host is compiled against that header and library
# (and runs with it through its run path); the dumps are made by the reader
# scripts of this tree. Needs g++, /usr/bin/python3 with pypff, pffexport,
# readpst, node and pst-extractor (npm ci in tests/interop).
set -eu
source_dir=$1
build_dir=$2
here=$(cd "$(dirname "$0")" && pwd)
interop=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

library=$(dirname "$(find "$build_dir/src" -maxdepth 1 -name 'libvendrel.so*' | head -n 1)")
g++ -std=c++17 -O1 -Wall -Wextra -I"$source_dir/include" "$interop/same_calls_host.cpp" \
  -L"$library" -lvendrel -Wl,-rpath,"$library" -o "$work/host"
for variant in unicode ansi; do
  "$work/host" "$work/$variant.pst" "$variant"
  for reader in pypff pffexport readpst; do
    /usr/bin/python3 "$interop/same_calls_dump.py" "$reader" "$work/$variant.pst" "$work/$variant-$reader" \
      > "$here/$variant.$reader.txt"
  done
  node "$interop/same_calls_pst_extractor.js" "$work/$variant.pst" > "$here/$variant.pst-extractor.txt"
done
