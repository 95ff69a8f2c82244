"""Strings, times and property values in the forms the C calls take."""
from __future__ import annotations

import ctypes
import datetime
import os
import struct
import sys
import uuid
from typing import Any, Optional, Union

_EPOCH_1601 = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)


def utf16(text: Optional[str]) -> Optional[ctypes.Array]:
    """A NUL-terminated UTF-16LE buffer of `text` (None stays None).

    ctypes' c_wchar_p is UTF-32 on Linux, so the library's UTF-16 strings are
    built here as byte buffers."""
    if text is None:
        return None
    if not isinstance(text, str):
        raise TypeError(f"expected str, got {type(text).__name__}")
    return ctypes.create_string_buffer(text.encode("utf-16-le", "surrogatepass") + b"\0\0")


def narrow(text: Optional[Union[str, bytes, os.PathLike]]) -> Optional[bytes]:
    """An 8-bit string as the narrow calls expect it from this platform's
    host: UTF-8 on Linux (file names: the file system encoding), the ANSI code
    page on Windows."""
    if text is None:
        return None
    if isinstance(text, bytes):
        return text
    if isinstance(text, os.PathLike):
        return os.fsencode(text)
    return text.encode("mbcs" if sys.platform == "win32" else "utf-8", "replace")


def filetime(value: Union[datetime.datetime, datetime.date, int]) -> int:
    """A FILETIME (100-ns units since 1601-01-01 UTC). Naive datetimes are
    local time, as datetime.timestamp() takes them; an int is used as is."""
    if isinstance(value, int):
        return value
    if not isinstance(value, datetime.datetime):
        if isinstance(value, datetime.date):
            value = datetime.datetime(value.year, value.month, value.day)
        else:
            raise TypeError(f"expected datetime, got {type(value).__name__}")
    if value.tzinfo is None:
        value = value.astimezone()
    delta = value - _EPOCH_1601
    return (delta.days * 86400 + delta.seconds) * 10_000_000 + delta.microseconds * 10


def halves(value: int) -> tuple:
    return value & 0xFFFFFFFF, (value >> 32) & 0xFFFFFFFF


def guid_bytes(guid: Union[uuid.UUID, str, bytes]) -> bytes:
    """The 16 bytes of a property set GUID as the file stores them."""
    if isinstance(guid, bytes):
        if len(guid) != 16:
            raise ValueError("a GUID has 16 bytes")
        return guid
    if isinstance(guid, str):
        guid = uuid.UUID(guid)
    return guid.bytes_le


# Property types ([MS-OXCDATA] 2.11.1).
PT_SHORT, PT_LONG, PT_FLOAT, PT_DOUBLE, PT_CURRENCY, PT_APPTIME = 0x2, 0x3, 0x4, 0x5, 0x6, 0x7
PT_BOOLEAN, PT_I8, PT_STRING8, PT_UNICODE, PT_SYSTIME, PT_CLSID, PT_BINARY = 0xB, 0x14, 0x1E, 0x1F, 0x40, 0x48, 0x102


def property_value(tag: int, value: Any) -> tuple:
    """(tag, bytes) for BindTaggedProp: the value in the form the property
    type stores. A str for an 8-bit string property is bound as UTF-16 (the
    library stores it in the file's form); bytes are always taken as given."""
    kind = tag & 0xFFFF
    if isinstance(value, (bytes, bytearray)):
        return tag, bytes(value)
    if kind in (PT_STRING8, PT_UNICODE):
        return (tag & 0xFFFF0000) | PT_UNICODE, str(value).encode("utf-16-le", "surrogatepass")
    if kind == PT_BOOLEAN:
        return tag, struct.pack("<B", 1 if value else 0)
    if kind == PT_SHORT:
        return tag, struct.pack("<h" if value < 0 else "<H", value)
    if kind == PT_LONG:
        return tag, struct.pack("<i" if value < 0 else "<I", value)
    if kind in (PT_I8, PT_CURRENCY):
        return tag, struct.pack("<q" if value < 0 else "<Q", value)
    if kind == PT_FLOAT:
        return tag, struct.pack("<f", value)
    if kind in (PT_DOUBLE, PT_APPTIME):
        return tag, struct.pack("<d", value)
    if kind == PT_SYSTIME:
        return tag, struct.pack("<Q", filetime(value))
    if kind == PT_CLSID:
        return tag, guid_bytes(value)
    raise TypeError(f"no conversion of {type(value).__name__} to property type 0x{kind:04X}; pass bytes")
