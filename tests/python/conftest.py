"""The Python package's tests: they write PST files through the package and
read them back with pypff (run them with /usr/bin/python3, which has pypff).

The package is taken from python/ of this tree unless it is installed; the
library from VENDREL_LIBRARY (the test command sets it to the build's
libvendrel.so) or wherever the package finds it."""
import os
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
if os.environ.get("VENDREL_PYTHON_INSTALLED") != "1":
    sys.path.insert(0, str(ROOT / "python"))
