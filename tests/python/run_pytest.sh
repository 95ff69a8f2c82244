#!/bin/sh
# Runs the Python package's tests with a Python that has pytest and pypff
# (Debian: python3-pytest, python3-pypff for /usr/bin/python3).
#   run_pytest.sh PYTHON LIBRARY [pytest arguments]
# Exits 77 (CTest: skipped) when pytest or pypff is missing, except in CI.
python=$1 library=$2
shift 2
if ! "$python" -c 'import pytest, pypff' 2>/dev/null; then
  echo "run_pytest: $python lacks pytest or pypff (apt-get install python3-pytest python3-pypff)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
VENDREL_LIBRARY=$library exec "$python" -m pytest -q -p no:cacheprovider "$here" "$@"
