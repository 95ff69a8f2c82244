"""Write PST files ([MS-PST]) from Python through the vendrel shared library.

    import vendrel
    with vendrel.create("mail.pst", name="Mail") as pst:
        pst.folder("Inbox").add_message(subject="Hello", body="Hi",
                                        sender=("Alice", "alice@example.org"),
                                        to=["bob@example.org"])

The library keeps one open store per process: one `create` at a time. Calls
from several threads are serialised by the package. Strings are str (the
package converts them to UTF-16), times are datetime (naive ones are local
time), and a call that fails raises `VendrelError` with the call's name and
result code.
"""
from __future__ import annotations

import ctypes
import datetime
import os
import threading
import uuid
from typing import Any, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple, Union

from ._library import LibraryNotFoundError, library, library_path
from ._text import filetime, guid_bytes, halves, narrow, property_value, utf16

__all__ = [
    "create", "Pst", "Folder", "VendrelError", "LibraryNotFoundError", "library_path", "set_log_file",
    "named_property", "TO", "CC", "BCC", "PSETID_COMMON", "PSETID_ADDRESS", "PSETID_APPOINTMENT",
    "PSETID_TASK", "PS_PUBLIC_STRINGS",
]
__version__ = "1.0.0"

TO, CC, BCC = 1, 2, 3

PSETID_COMMON = uuid.UUID("00062008-0000-0000-C000-000000000046")
PSETID_ADDRESS = uuid.UUID("00062004-0000-0000-C000-000000000046")
PSETID_APPOINTMENT = uuid.UUID("00062002-0000-0000-C000-000000000046")
PSETID_TASK = uuid.UUID("00062003-0000-0000-C000-000000000046")
PS_PUBLIC_STRINGS = uuid.UUID("00020329-0000-0000-C000-000000000046")

_MEANINGS = {
    -1: "refused or internal error",
    -2: "bad argument or call",
    -3: "out of memory",
    -5: "file error or no store open",
}

PathLike = Union[str, "os.PathLike[str]"]
FolderPath = Union[str, Sequence[str]]
Address = Union[str, Tuple[Optional[str], Optional[str]]]
When = Union[datetime.datetime, datetime.date, int]

_lock = threading.RLock()
_open: Optional["Pst"] = None


class VendrelError(Exception):
    """A library call returned an error.

    Attributes: ``call`` (the C function), ``code`` (its result: -1 refused,
    -2 bad argument or call, -3 out of memory, -5 file error or no store
    open). The library's log (set_log_file) has the details."""

    def __init__(self, call: str, code: int, detail: str = ""):
        self.call = call
        self.code = code
        meaning = _MEANINGS.get(code, "error")
        text = f"{call} returned {code} ({meaning})"
        super().__init__(f"{text}: {detail}" if detail else text)


def _check(call: str, result: int, detail: str = "") -> int:
    if result != 0:
        raise VendrelError(call, result, detail)
    return result


def _lib() -> ctypes.CDLL:
    return library()


def set_log_file(path: PathLike) -> None:
    """Append the library's diagnostic log to `path` (every error of a call
    is written there with its reason)."""
    with _lock:
        _lib().SetLogFile(narrow(os.fspath(path)))


def _split(path: FolderPath) -> List[str]:
    """Folder names of a path: "A/B", "A\\\\B" or ("A", "B")."""
    if isinstance(path, str):
        parts = path.replace("\\", "/").split("/")
    else:
        parts = list(path)
        for name in parts:
            if "\\" in name:
                raise ValueError(f"a folder name cannot hold a backslash: {name!r}")
    return [p for p in parts if p]


def _address(value: Address) -> Tuple[Optional[str], Optional[str]]:
    """(display name, e-mail address) from "addr", "Name <addr>" or (name, addr)."""
    if isinstance(value, str):
        text = value.strip()
        if text.endswith(">") and "<" in text:
            name, _, addr = text[:-1].rpartition("<")
            return (name.strip().strip('"') or None), addr.strip()
        return None, text
    name, addr = value
    return name, addr


def create(path: PathLike, name: str = "Personal Folders", ansi: bool = False) -> "Pst":
    """Create a PST file at `path` (an existing file is replaced) and return
    it open; use it as a context manager:

        with vendrel.create("out.pst", name="Archive") as pst: ...

    Leaving the block commits the file. When the block raises, the file is
    not committed (it is left incomplete) and the exception says so.

    ansi=False writes a Unicode PST (UTF-16 strings, grows to 100 GiB per
    file); ansi=True an ANSI PST (8-bit strings in a Windows code page,
    1 GiB per file), for old readers only."""
    global _open
    with _lock:
        if _open is not None and not _open.closed:
            raise RuntimeError(f"{_open.path} is still open: the library writes one PST at a time")
        lib = _lib()
        path = os.fspath(path)
        if ansi:
            _check("CreatePstA", lib.CreatePstA(narrow(path), narrow(name)), path)
        else:
            _check("CreatePst", lib.CreatePst(utf16(path), utf16(name)), path)
        _open = Pst(path, name, ansi)
        return _open


def named_property(guid: Union[uuid.UUID, str, bytes], name_or_id: Union[str, int],
                   prop_type: Optional[int] = None) -> int:
    """The property ID of a named property in the open PST (see Pst.named_property)."""
    with _lock:
        if _open is None or _open.closed:
            raise RuntimeError("no PST is open")
        return _open.named_property(guid, name_or_id, prop_type)


class Pst:
    """An open PST file being written. Made by vendrel.create()."""

    def __init__(self, path: str, name: str, ansi: bool):
        self.path = path
        self.name = name
        self.ansi = ansi
        self.closed = False

    def __enter__(self) -> "Pst":
        return self

    def __exit__(self, exc_type, exc, tb) -> bool:
        if exc is None:
            self.commit()
            return False
        self._abandon()
        note = f"vendrel: {self.path} was not committed and is incomplete (not a valid PST)"
        if hasattr(exc, "add_note"):
            exc.add_note(note)
        else:  # before Python 3.11
            exc.args = tuple(exc.args) + (note,)
        return False

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<vendrel.Pst {self.path!r} {'ANSI' if self.ansi else 'Unicode'} {state}>"

    def _ensure_open(self) -> None:
        if self.closed:
            raise RuntimeError(f"{self.path} is closed")

    def _abandon(self) -> None:
        global _open
        with _lock:
            _lib().BClear()
            self.closed = True
            if _open is self:
                _open = None

    def commit(self) -> None:
        """Write the file out and close it (the context manager does this)."""
        global _open
        with _lock:
            self._ensure_open()
            try:
                _check("CommitPst", _lib().CommitPst(), self.path)
            finally:
                self.closed = True
                if _open is self:
                    _open = None

    def folder(self, path: FolderPath, container_class: Optional[str] = None) -> "Folder":
        """The folder at `path` below the top of the folder tree, created when
        missing. A path is "Inbox/2024" (or with backslashes) or a sequence of
        names. A new last folder gets `container_class` ("IPF.Note" by
        default; "IPF.Contact", "IPF.Appointment", "IPF.Task",
        "IPF.StickyNote" for the other item kinds); an existing one keeps its
        class."""
        names = _split(path)
        if not names:
            return Folder(self, [])
        with _lock:
            self._ensure_open()
            lib = _lib()
            joined = "\\".join(names)
            found = lib.CheckFolder(utf16(joined))
            if found < 0:
                raise VendrelError("CheckFolder", found, joined)
            if found == 0:
                _check("CreateFolder", lib.CreateFolder(utf16("\\".join(names[:-1])), utf16(names[-1]),
                                                        utf16(container_class or "IPF.Note")), joined)
        return Folder(self, names)

    def exists(self, path: FolderPath) -> bool:
        """Whether the folder at `path` exists."""
        with _lock:
            self._ensure_open()
            result = _lib().CheckFolder(utf16("\\".join(_split(path))))
            if result < 0:
                raise VendrelError("CheckFolder", result)
            return result == 1

    def named_property(self, guid: Union[uuid.UUID, str, bytes], name_or_id: Union[str, int],
                       prop_type: Optional[int] = None) -> int:
        """The property ID (0x8000 and above) of the named property `name_or_id`
        (a string name or a numeric LID) of the property set `guid`, added to
        the file's name map when new. With `prop_type` (e.g. 0x001F) the full
        tag (id << 16 | type) is returned, for `properties={tag: value}`."""
        with _lock:
            self._ensure_open()
            guid_buffer = ctypes.create_string_buffer(guid_bytes(guid), 16)
            if isinstance(name_or_id, str):
                pid = _lib().GetMapiTagForNP(0x2A2A2A2A, guid_buffer, utf16(name_or_id))
            else:
                pid = _lib().GetMapiTagForNP(int(name_or_id), guid_buffer, None)
            if pid <= 0:
                raise VendrelError("GetMapiTagForNP", pid, str(name_or_id))
            return (pid << 16) | prop_type if prop_type is not None else pid

    def import_eml(self, source: Union[PathLike, bytes], folder: FolderPath = "Inbox") -> None:
        """Import one .eml message (a file path, or the message's bytes) into
        `folder`, with its attachments and nested messages."""
        self.folder(folder).import_eml(source)


class Folder:
    """A folder of an open PST, by its path from the top of the folder tree."""

    def __init__(self, pst: Pst, names: List[str]):
        self.pst = pst
        self.names = names

    @property
    def path(self) -> str:
        return "/".join(self.names)

    def __repr__(self) -> str:
        return f"<vendrel.Folder {self.path!r} of {self.pst.path!r}>"

    def folder(self, path: FolderPath, container_class: Optional[str] = None) -> "Folder":
        """A subfolder of this folder (see Pst.folder)."""
        return self.pst.folder(self.names + _split(path), container_class)

    # -- items ----------------------------------------------------------------

    def add_message(self, subject: Optional[str] = None, body: Optional[str] = None, *,
                    html: Optional[str] = None, rtf: Optional[bytes] = None,
                    sender: Optional[Address] = None, to: Iterable[Address] = (),
                    cc: Iterable[Address] = (), bcc: Iterable[Address] = (),
                    received: Optional[When] = None, sent: Optional[When] = None,
                    created: Optional[When] = None, modified: Optional[When] = None,
                    attachments: Iterable[Tuple[str, bytes]] = (), headers: Optional[str] = None,
                    importance: Optional[int] = None, priority: Optional[int] = None,
                    sensitivity: Optional[int] = None, flags: Optional[int] = None,
                    code_page: Optional[int] = None, subject_prefix: Optional[str] = None,
                    properties: Optional[Mapping[int, Any]] = None,
                    message_class: str = "IPM.Note") -> None:
        """Add an e-mail message.

        subject, body, html: str. rtf: an RTF document (bytes). sender: an
        address; to, cc, bcc: lists of addresses. An address is "addr",
        "Name <addr>" or (name, addr). received, sent, created, modified:
        datetime (naive = local time). attachments: (file name, bytes) pairs.
        headers: the Internet headers as text. importance 0 low, 1 normal,
        2 high; priority -1, 0, 1; sensitivity 0 normal to 3 confidential;
        flags: PidTagMessageFlags (default 8, unsent; 1 marks it read).
        subject_prefix: a prefix the subject starts with ("RE: "), shown apart
        by readers. properties: {tag: value}, any further property, e.g.
        {0x0E1B000B: True}; a value's form follows the tag's type.

        A sender not given is the one of the item before in this process, if
        any (the library keeps it), so give it on every message that has one."""
        recipients = [(a, TO) for a in to] + [(a, CC) for a in cc] + [(a, BCC) for a in bcc]
        self._create("CreateMessage", lambda lib: lib.CreateMessage(utf16(message_class), 0, 0),
                     subject=subject, body=body, html=html, rtf=rtf, sender=sender, recipients=recipients,
                     received=received, sent=sent, created=created, modified=modified,
                     attachments=attachments, headers=headers, importance=importance, priority=priority,
                     sensitivity=sensitivity, flags=flags, code_page=code_page,
                     subject_prefix=subject_prefix, properties=properties)

    def add_contact(self, display_name: str, *, email: Optional[str] = None, body: Optional[str] = None,
                    properties: Optional[Mapping[int, Any]] = None,
                    attachments: Iterable[Tuple[str, bytes]] = ()) -> None:
        """Add a contact (put contacts in an "IPF.Contact" folder). email is
        the contact's first e-mail address."""
        props: Dict[int, Any] = {0x3001001F: display_name}
        if email:
            pst = self.pst
            props[pst.named_property(PSETID_ADDRESS, 0x8083, 0x001F)] = email            # e-mail 1 address
            props[pst.named_property(PSETID_ADDRESS, 0x8080, 0x001F)] = display_name     # e-mail 1 display name
            props[pst.named_property(PSETID_ADDRESS, 0x8082, 0x001F)] = "SMTP"           # e-mail 1 address type
        props.update(properties or {})
        self._create("CreateContact", lambda lib: lib.CreateContact(0, 0), subject=display_name, body=body,
                     properties=props, attachments=attachments)

    def add_appointment(self, subject: str, start: When, end: When, *, location: Optional[str] = None,
                        body: Optional[str] = None, attendees: Iterable[Address] = (),
                        properties: Optional[Mapping[int, Any]] = None,
                        attachments: Iterable[Tuple[str, bytes]] = ()) -> None:
        """Add an appointment from `start` to `end` (datetimes); attendees are
        addresses (put appointments in an "IPF.Appointment" folder)."""
        pst = self.pst
        props: Dict[int, Any] = {
            pst.named_property(PSETID_APPOINTMENT, 0x820D, 0x0040): start,   # start
            pst.named_property(PSETID_APPOINTMENT, 0x820E, 0x0040): end,     # end
            pst.named_property(PSETID_COMMON, 0x8516, 0x0040): start,        # common start
            pst.named_property(PSETID_COMMON, 0x8517, 0x0040): end,          # common end
            pst.named_property(PSETID_APPOINTMENT, 0x8213, 0x0003):          # duration in minutes
                int((filetime(end) - filetime(start)) // 600_000_000),
        }
        if location is not None:
            props[pst.named_property(PSETID_APPOINTMENT, 0x8208, 0x001F)] = location
        props.update(properties or {})
        self._create("CreateAppointment", lambda lib: lib.CreateAppointment(0, 0), subject=subject, body=body,
                     recipients=[(a, TO) for a in attendees], properties=props, attachments=attachments)

    def add_task(self, subject: str, *, due: Optional[When] = None, start: Optional[When] = None,
                 body: Optional[str] = None, properties: Optional[Mapping[int, Any]] = None,
                 attachments: Iterable[Tuple[str, bytes]] = ()) -> None:
        """Add a task, with optional start and due dates (put tasks in an
        "IPF.Task" folder)."""
        pst = self.pst
        props: Dict[int, Any] = {}
        if start is not None:
            props[pst.named_property(PSETID_TASK, 0x8104, 0x0040)] = start
        if due is not None:
            props[pst.named_property(PSETID_TASK, 0x8105, 0x0040)] = due
        props.update(properties or {})
        self._create("CreateTask", lambda lib: lib.CreateTask(0, 0), subject=subject, body=body,
                     properties=props, attachments=attachments)

    def add_sticky_note(self, text: str, *, subject: Optional[str] = None,
                        properties: Optional[Mapping[int, Any]] = None) -> None:
        """Add a sticky note (put notes in an "IPF.StickyNote" folder); its
        subject is the first line of the text unless given."""
        if subject is None:
            subject = text.split("\n", 1)[0]
        self._create("CreateSticky", lambda lib: lib.CreateSticky(0), subject=subject, body=text,
                     properties=properties)

    def import_eml(self, source: Union[PathLike, bytes]) -> None:
        """Import one .eml message, given as a file path or as its bytes."""
        import tempfile
        with _lock:
            self._enter()
            temporary = None
            try:
                if isinstance(source, (bytes, bytearray)):
                    handle, temporary = tempfile.mkstemp(suffix=".eml")
                    with os.fdopen(handle, "wb") as f:
                        f.write(source)
                    path = temporary
                else:
                    path = os.fspath(source)
                    if not os.path.isfile(path):
                        raise FileNotFoundError(path)
                # Bind_EML returns 1 on success and 0 on failure.
                if _lib().Bind_EML(utf16(path)) != 1:
                    raise VendrelError("Bind_EML", 0, f"{path} could not be read or made into a message")
            finally:
                _lib().BClear()
                if temporary:
                    os.unlink(temporary)

    # -- the binding steps ----------------------------------------------------

    def _enter(self) -> None:
        self.pst._ensure_open()
        _check("ChangeFolder", _lib().ChangeFolder(utf16("\\".join(self.names))), self.path)

    def _create(self, call: str, make, *, subject=None, body=None, html=None, rtf=None, sender=None,
                recipients=(), received=None, sent=None, created=None, modified=None, attachments=(),
                headers=None, importance=None, priority=None, sensitivity=None, flags=None, code_page=None,
                subject_prefix=None, properties=None) -> None:
        import base64
        with _lock:
            self._enter()
            lib = _lib()
            try:
                if code_page is not None:
                    _check("Bind_codepage", lib.Bind_codepage(code_page))
                if subject is not None:
                    prefix = 0
                    if subject_prefix:
                        if not subject.startswith(subject_prefix):
                            raise ValueError(f"the subject {subject!r} does not start with {subject_prefix!r}")
                        prefix = len(subject_prefix)
                    _check("Bind_subj", lib.Bind_subj(utf16(subject), prefix))
                if body is not None:
                    _check("Bind_body", lib.Bind_body(utf16(body)))
                if html is not None:
                    _check("Bind_html_body", lib.Bind_html_body(utf16(html)))
                if rtf is not None:
                    data = rtf.encode("latin-1") if isinstance(rtf, str) else bytes(rtf)
                    _check("Bind_rtf_body", lib.Bind_rtf_body(base64.b64encode(data)))
                if headers is not None:
                    _check("Bind_message_headers", lib.Bind_message_headers(utf16(headers)))
                for value, setter in ((importance, "Bind_importance"), (priority, "Bind_priority"),
                                      (sensitivity, "Bind_sensitivity"), (flags, "Bind_flags")):
                    if value is not None:
                        _check(setter, getattr(lib, setter)(value))
                # Times: every one is bound, 0 for "not given": the library
                # would otherwise keep the previous item's.
                for value, setter in ((created, "Bind_creation_time"), (modified, "Bind_last_modified_time"),
                                      (sent, "Bind_client_submit_time"), (received, "Bind_delivery_time")):
                    low, high = halves(filetime(value)) if value is not None else (0, 0)
                    _check(setter, getattr(lib, setter)(low, high))
                if sender is not None:
                    name, addr = _address(sender)
                    _check("Bind_sender", lib.Bind_sender(utf16(addr), utf16(name), None))
                for value, kind in recipients:
                    name, addr = _address(value)
                    _check("Bind_recipient", lib.Bind_recipient(utf16(addr), utf16(name), None, kind, 1))
                for file_name, data in attachments:
                    data = bytes(data)
                    _check("Bind_attach", lib.Bind_attach(data, len(data), narrow(file_name), None, None, None,
                                                          1, 0), file_name)
                for tag, value in (properties or {}).items():
                    tag, data = property_value(int(tag), value)
                    _check("BindTaggedProp", lib.BindTaggedProp(tag, data, len(data)), f"tag 0x{tag:08X}")
                _check(call, make(lib), self.path)
            except BaseException:
                lib.BClear()
                raise
