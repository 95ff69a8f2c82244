"""Finding and loading the vendrel shared library, and the prototypes of its calls."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import sysconfig
from pathlib import Path
from typing import List, Optional

__all__ = ["LibraryNotFoundError", "library", "library_path"]


class LibraryNotFoundError(OSError):
    """The vendrel shared library could not be found or loaded.

    ``tried`` lists every place looked at, with the reason each failed."""

    def __init__(self, tried: List[str]):
        self.tried = tried
        lines = "\n  ".join(tried) if tried else "(nowhere)"
        super().__init__(
            "cannot load the vendrel shared library; tried:\n  " + lines +
            "\nBuild it (cmake -S . -B build && cmake --build build), install it (cmake --install build), "
            "or set VENDREL_LIBRARY to the path of libvendrel.so / vendrel.dll.")


if sys.platform == "win32":
    _NAMES = ["vendrel.dll"]
    _BUILD_DIRS = ["build/bin", "build/src"]
    _PREFIX_DIRS = ["bin"]
elif sys.platform == "darwin":
    _NAMES = ["libvendrel.1.dylib", "libvendrel.dylib"]
    _BUILD_DIRS = ["build/src"]
    _PREFIX_DIRS = ["lib"]
else:
    _NAMES = ["libvendrel.so.1", "libvendrel.so"]
    _BUILD_DIRS = ["build/src"]
    _PREFIX_DIRS = ["lib", "lib64", "lib/" + (sysconfig.get_config_var("MULTIARCH") or "")]


def _candidates() -> List[Path]:
    """Files to try after VENDREL_LIBRARY, best first."""
    here = Path(__file__).resolve().parent
    found: List[Path] = []
    # The source checkout: python/vendrel/ lies two levels below the root.
    root = here.parent.parent
    if (root / "include" / "vendrel.h").is_file():
        for d in _BUILD_DIRS:
            found += [root / d / n for n in _NAMES]
    # The install prefix: the package's own prefix (its site-packages lies in
    # <prefix>/lib/pythonX.Y/site-packages) and the interpreter's.
    prefixes = []
    for parent in here.parents:
        if parent.name in ("site-packages", "dist-packages"):
            prefixes.append(parent.parent.parent.parent)
            break
    prefixes += [Path(sys.prefix), Path(sys.base_prefix)]
    if sys.platform != "win32":
        prefixes.append(Path("/usr/local"))  # cmake --install's default prefix
    seen = set()
    for prefix in prefixes:
        if prefix in seen:
            continue
        seen.add(prefix)
        for d in _PREFIX_DIRS:
            found += [prefix / d / n for n in _NAMES]
    return found


def _load() -> tuple:
    tried: List[str] = []
    explicit = os.environ.get("VENDREL_LIBRARY")
    if explicit:
        try:
            return ctypes.CDLL(explicit), explicit
        except OSError as e:
            raise LibraryNotFoundError([f"VENDREL_LIBRARY={explicit}: {e}"]) from None
    tried.append("VENDREL_LIBRARY: not set")
    for path in _candidates():
        if not path.is_file():
            tried.append(f"{path}: no such file")
            continue
        try:
            return ctypes.CDLL(str(path)), str(path)
        except OSError as e:
            tried.append(f"{path}: {e}")
    # The system's library path (ldconfig, LD_LIBRARY_PATH, PATH on Windows).
    name = ctypes.util.find_library("vendrel")
    for candidate in ([name] if name else []) + _NAMES:
        try:
            return ctypes.CDLL(candidate), candidate
        except OSError as e:
            tried.append(f"{candidate} on the system's library path: {e}")
    raise LibraryNotFoundError(tried)


_lib: Optional[ctypes.CDLL] = None
_path: Optional[str] = None


def library() -> ctypes.CDLL:
    """The loaded library, with the prototypes of its calls (loaded on first use)."""
    global _lib, _path
    if _lib is None:
        lib, path = _load()
        _declare(lib)
        _lib, _path = lib, path
    return _lib


def library_path() -> str:
    """Where the loaded library came from."""
    library()
    assert _path is not None
    return _path


def _declare(lib: ctypes.CDLL) -> None:
    i32, u32, u8 = ctypes.c_int32, ctypes.c_uint32, ctypes.c_uint8
    wide = ctypes.c_void_p  # UTF-16 buffers built by _text.utf16 (c_wchar_p is UTF-32 on Linux)
    narrow, data = ctypes.c_char_p, ctypes.c_void_p
    prototypes = {
        "CreatePst": [wide, wide], "CreatePstA": [narrow, narrow],
        "CommitPst": [], "GetMapiTagForNP": [u32, data, wide],
        "CreateFolder": [wide, wide, wide], "ChangeFolder": [wide], "CheckFolder": [wide],
        "Bind_codepage": [u32], "Bind_subj": [wide, u32], "Bind_body": [wide], "Bind_html_body": [wide],
        "Bind_rtf_body": [narrow], "Bind_importance": [u32], "Bind_flags": [u32],
        "Bind_message_headers": [wide], "Bind_priority": [i32], "Bind_sensitivity": [u32],
        "Bind_creation_time": [u32, u32], "Bind_last_modified_time": [u32, u32],
        "Bind_client_submit_time": [u32, u32], "Bind_delivery_time": [u32, u32],
        "Bind_billing_information": [wide], "Bind_mileage": [wide],
        "Bind_sender": [wide, wide, wide], "Bind_recipient": [wide, wide, wide, u32, u32],
        "Bind_attach": [data, i32, narrow, narrow, narrow, narrow, u8, u8],
        "BindTaggedProp": [u32, data, u32], "BClear": [],
        "CreateMessage": [wide, u8, u8], "CreateSticky": [u8], "CreateContact": [u8, u8],
        "CreateAppointment": [u8, u8], "CreateTask": [u8, u8],
        "Bind_EML": [wide],
    }
    for name, args in prototypes.items():
        fn = getattr(lib, name)
        fn.argtypes = args
        fn.restype = i32
    lib.SetLogFile.argtypes = [narrow]
    lib.SetLogFile.restype = None
