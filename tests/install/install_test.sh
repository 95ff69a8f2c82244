#!/bin/bash
# Installs a configured vendrel build into a temporary prefix and builds two
# host programs against the installed files alone: one through
# find_package(vendrel) (tests/install/find_package), one through pkg-config.
# Each writes a PST that pffinfo and readpst then open and read back.
#   install_test.sh BUILD_DIR WORK_DIR
# With --subproject SOURCE_DIR instead, builds the host in a project that
# takes vendrel in with add_subdirectory.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fail() { echo "install_test: $*" >&2; exit 1; }

# The PST opens in pffinfo and readpst shows the message with its attachment.
check_pst() {
  local pst=$1 subject=$2 out
  [ -s "$pst" ] || fail "$pst was not written"
  if command -v pffinfo >/dev/null; then
    pffinfo "$pst" >/dev/null || fail "pffinfo cannot open $pst"
  else
    echo "install_test: pffinfo is not installed (pff-tools); skipped" >&2
  fi
  if command -v readpst >/dev/null; then
    out="$pst.readpst"
    rm -rf "$out" && mkdir -p "$out"
    readpst -q -r -e -o "$out" "$pst" >/dev/null || fail "readpst cannot read $pst"
    grep -rqs "^Subject: $subject" "$out" || fail "readpst shows no message with the subject $subject in $pst"
    grep -rqs 'filename="note.txt"' "$out" || fail "readpst shows no attachment note.txt in $pst"
  else
    echo "install_test: readpst is not installed (pst-utils); skipped" >&2
  fi
}

cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=Release)
if command -v ccache >/dev/null; then
  cmake_args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

if [ "${1:-}" = --subproject ]; then
  [ $# -eq 3 ] || fail "usage: install_test.sh --subproject SOURCE_DIR WORK_DIR"
  source_dir=$2 work=$3
  rm -rf "$work" && mkdir -p "$work"
  cmake -S "$here/subproject" -B "$work/build" "${cmake_args[@]}" -DVENDREL_SOURCE="$source_dir" >/dev/null
  cmake --build "$work/build" --target consumer >/dev/null
  "$work/build/consumer" "$work/subproject.pst" "Built as a subproject"
  check_pst "$work/subproject.pst" "Built as a subproject"
  echo "install_test: the subproject build works"
  exit 0
fi

[ $# -eq 2 ] || fail "usage: install_test.sh BUILD_DIR WORK_DIR"
build=$1 work=$2
prefix="$work/prefix"
rm -rf "$work" && mkdir -p "$work"

cmake --install "$build" --prefix "$prefix" >/dev/null

# The installed files: the library under its versioned names, the header,
# the CMake package with its version file, the pkg-config file.
pc=$(find "$prefix" -name vendrel.pc | head -n 1)
[ -n "$pc" ] || fail "vendrel.pc is not installed"
libdir=$(cd "$(dirname "$pc")/.." && pwd)
real=$(cd "$libdir" && ls libvendrel.so.*.*.* 2>/dev/null | head -n 1)
[ -n "$real" ] || fail "no libvendrel.so.X.Y.Z in $libdir"
[ "$(readlink "$libdir/libvendrel.so.1")" = "$real" ] || fail "libvendrel.so.1 is not a link to $real"
[ "$(readlink "$libdir/libvendrel.so")" = libvendrel.so.1 ] || fail "libvendrel.so is not a link to libvendrel.so.1"
soname=$(objdump -p "$libdir/$real" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libvendrel.so.1 ] || fail "the SONAME is '$soname', not libvendrel.so.1"
[ -f "$prefix/include/vendrel.h" ] || fail "include/vendrel.h is not installed"
cmp -s "$prefix/include/vendrel.h" "$here/../../include/vendrel.h" || fail "the installed vendrel.h differs from include/vendrel.h"
for f in vendrelConfig.cmake vendrelConfigVersion.cmake vendrelTargets.cmake; do
  [ -f "$libdir/cmake/vendrel/$f" ] || fail "lib/cmake/vendrel/$f is not installed"
done

# The installed tree must not point back into the build or source tree.
if grep -rqs -e "$(cd "$build" && pwd)" "$libdir/cmake/vendrel" "$libdir/pkgconfig"; then
  fail "the installed package names the build tree"
fi

# 1. find_package(vendrel) with the prefix on CMAKE_PREFIX_PATH.
cmake -S "$here/find_package" -B "$work/find_package" "${cmake_args[@]}" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/find_package" >/dev/null
"$work/find_package/consumer" "$work/find_package.pst" "Found by find_package"
check_pst "$work/find_package.pst" "Found by find_package"
echo "install_test: the find_package consumer works"

# 2. pkg-config, with only PKG_CONFIG_PATH pointing at the prefix.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion vendrel)" = "$(sed -n 's/^Version: //p' "$libdir/pkgconfig/vendrel.pc")" ] ||
  fail "pkg-config does not read vendrel.pc"
pc_libdir=$(pkg-config --variable=libdir vendrel)
[ "$(cd "$pc_libdir" && pwd)" = "$libdir" ] || fail "vendrel.pc's libdir $pc_libdir is not $libdir"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror -o "$work/pkg_config_consumer" "$here/consumer.c" $(pkg-config --cflags --libs vendrel) \
  -Wl,-rpath,"$pc_libdir"
"$work/pkg_config_consumer" "$work/pkg_config.pst" "Found by pkg-config"
check_pst "$work/pkg_config.pst" "Found by pkg-config"
echo "install_test: the pkg-config consumer works"
