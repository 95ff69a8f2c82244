"""The vendrel package end to end: PST files written through it, read back
with pypff; its errors; finding the library; installing it with pip."""
import datetime
import os
import subprocess
import sys
import textwrap
import uuid
from pathlib import Path

import pytest

import vendrel
from pst_reader import read

ROOT = Path(__file__).resolve().parents[2]
UTC = datetime.timezone.utc
RECEIVED = datetime.datetime(2024, 5, 1, 9, 30, 15, tzinfo=UTC)
SENT = datetime.datetime(2024, 5, 1, 9, 29, 0, tzinfo=UTC)


# Unicode text where the file can hold it; an ANSI file holds 8-bit text only.
@pytest.mark.parametrize("ansi, subject", [(False, "Grüße – 日本 😀"), (True, "Plain ASCII subject")])
def test_message_fields_reach_the_file(tmp_path, ansi, subject):
    pst_path = tmp_path / "mail.pst"
    with vendrel.create(pst_path, name="Test store", ansi=ansi) as pst:
        folder = pst.folder("Inbox/2024")
        folder.add_message(subject=subject, body="Hello Bob,\nthe notes are attached.",
                           sender=("Alice Sender", "alice@example.org"),
                           to=["Bob To <bob@example.org>"], cc=[("Carol Cc", "carol@example.org")],
                           bcc=["dave@example.org"], received=RECEIVED, sent=SENT,
                           attachments=[("notes.txt", b"line 1\nline 2\n"), ("blob.bin", bytes(range(256)))],
                           properties={0x1035001F: "<id-1@example.org>"}, importance=2)
        folder.add_message(subject="RE: second", subject_prefix="RE: ", body="")
    assert pst.closed

    folders = read(pst_path)
    assert "Inbox/2024" in folders
    items = folders["Inbox/2024"][1]
    assert [i.subject for i in items] == [subject, "RE: second"]
    first = items[0]
    assert first.message_class == "IPM.Note"
    assert first.body == "Hello Bob,\nthe notes are attached."
    assert first.sender_name == "Alice Sender"
    assert first.display_to == "Bob To"
    assert first.display_cc == "Carol Cc"
    assert first.display_bcc == "dave@example.org"
    assert first.time(0x0E06) == RECEIVED          # delivery time
    assert first.time(0x0039) == SENT              # client submit time
    assert first.string(0x1035) == "<id-1@example.org>"
    assert int.from_bytes(first.entries[0x0017][1], "little") == 2
    assert first.attachments == [("notes.txt", b"line 1\nline 2\n"), ("blob.bin", bytes(range(256)))]
    # The prefix is told apart: its length (4) + 1 follows the subject's code 1.
    assert items[1].string(0x0037).startswith("\x01\x05RE: ")


def test_the_four_item_kinds(tmp_path):
    pst_path = tmp_path / "kinds.pst"
    start = datetime.datetime(2024, 6, 3, 14, 0, tzinfo=UTC)
    with vendrel.create(pst_path) as pst:
        location = pst.named_property(vendrel.PSETID_APPOINTMENT, 0x8208)
        start_whole = pst.named_property(vendrel.PSETID_APPOINTMENT, 0x820D)
        due_date = pst.named_property(vendrel.PSETID_TASK, 0x8105)
        email1 = pst.named_property(vendrel.PSETID_ADDRESS, 0x8083)
        pst.folder("Contacts", "IPF.Contact").add_contact("Erin Example", email="erin@example.org")
        pst.folder("Calendar", "IPF.Appointment").add_appointment(
            "Planning", start, start + datetime.timedelta(hours=1), location="Room 4",
            attendees=[("Frank", "frank@example.org")])
        pst.folder("Tasks", "IPF.Task").add_task("File the report", due=start)
        pst.folder("Notes", "IPF.StickyNote").add_sticky_note("Buy milk\nand bread")

    folders = read(pst_path)
    expected = {"Contacts": ("IPF.Contact", "IPM.Contact", "Erin Example"),
                "Calendar": ("IPF.Appointment", "IPM.Appointment", "Planning"),
                "Tasks": ("IPF.Task", "IPM.Task", "File the report"),
                "Notes": ("IPF.StickyNote", "IPM.StickyNote", "Buy milk")}
    for name, (container_class, message_class, subject) in expected.items():
        got_class, items = folders[name]
        assert got_class == container_class
        assert [(i.message_class, i.subject) for i in items] == [(message_class, subject)]
    assert folders["Notes"][1][0].body == "Buy milk\nand bread"
    appointment = folders["Calendar"][1][0]
    assert appointment.string(location) == "Room 4"
    assert appointment.time(start_whole) == start
    assert folders["Tasks"][1][0].time(due_date) == start
    assert folders["Contacts"][1][0].string(email1) == "erin@example.org"
    assert appointment.display_to == "Frank"


def test_named_properties_are_stable_and_usable(tmp_path):
    guid = uuid.UUID("11223344-5566-7788-99AA-BBCCDDEEFF00")
    with vendrel.create(tmp_path / "named.pst") as pst:
        by_name = pst.named_property(guid, "X-Custom-Header")
        assert by_name >= 0x8000
        assert pst.named_property(str(guid), "X-Custom-Header") == by_name
        assert vendrel.named_property(guid, 0x1234) not in (0, by_name)
        tag = pst.named_property(guid, "X-Custom-Header", 0x001F)
        assert tag == (by_name << 16) | 0x001F
        pst.folder("Inbox").add_message(subject="named", properties={tag: "custom value"})
    item = read(tmp_path / "named.pst")["Inbox"][1][0]
    assert item.string(by_name) == "custom value"


EML = b"""From: Grace <grace@example.org>\r
To: Heidi <heidi@example.org>\r
Subject: Imported message\r
Date: Tue, 7 May 2024 10:00:00 +0000\r
MIME-Version: 1.0\r
Content-Type: multipart/mixed; boundary="b1"\r
\r
--b1\r
Content-Type: text/plain; charset=utf-8\r
\r
Body of the imported message.\r
--b1\r
Content-Type: application/octet-stream; name="data.bin"\r
Content-Disposition: attachment; filename="data.bin"\r
Content-Transfer-Encoding: base64\r
\r
AAECAw==\r
--b1--\r
"""


def test_import_eml_from_bytes_and_from_a_file(tmp_path):
    eml_file = tmp_path / "one.eml"
    eml_file.write_bytes(EML)
    with vendrel.create(tmp_path / "eml.pst") as pst:
        pst.import_eml(EML)
        pst.folder("Other").import_eml(eml_file)
        with pytest.raises(FileNotFoundError):
            pst.import_eml(tmp_path / "missing.eml")
    folders = read(tmp_path / "eml.pst")
    for name in ("Inbox", "Other"):
        (item,) = folders[name][1]
        assert item.subject == "Imported message"
        assert item.sender_name == "Grace"
        assert item.body.strip() == "Body of the imported message."
        assert item.attachments == [("data.bin", b"\x00\x01\x02\x03")]


def test_a_failing_call_raises_with_its_code_and_name(tmp_path):
    with pytest.raises(vendrel.VendrelError) as caught:
        vendrel.create(tmp_path / "no such directory" / "x.pst")
    assert caught.value.call == "CreatePst"
    assert caught.value.code == -5
    assert "CreatePst returned -5" in str(caught.value)
    # The library stays usable, and a folder that exists is no error.
    with vendrel.create(tmp_path / "after.pst") as pst:
        pst.folder("A")
        pst.folder("A")
        with pytest.raises(TypeError):
            pst.folder("A").add_message(subject=b"bytes are not text")
        pst.folder("A").add_message(subject="kept")
    assert [i.subject for i in read(tmp_path / "after.pst")["A"][1]] == ["kept"]


def test_a_failing_block_is_not_committed_and_says_so(tmp_path):
    path = tmp_path / "broken.pst"
    with pytest.raises(ValueError) as caught:
        with vendrel.create(path) as pst:
            pst.folder("Inbox").add_message(subject="one")
            raise ValueError("host failure")
    assert pst.closed
    text = "\n".join(getattr(caught.value, "__notes__", [])) + str(caught.value.args)
    assert "was not committed" in text
    # One store at a time, and the next one works.
    with vendrel.create(tmp_path / "next.pst") as first:
        with pytest.raises(RuntimeError):
            vendrel.create(tmp_path / "second.pst")
        first.folder("Inbox").add_message(subject="two")
    assert [i.subject for i in read(tmp_path / "next.pst")["Inbox"][1]] == ["two"]


def test_each_message_gets_only_its_own_times(tmp_path):
    with vendrel.create(tmp_path / "times.pst") as pst:
        inbox = pst.folder("Inbox")
        inbox.add_message(subject="dated", received=RECEIVED)
        inbox.add_message(subject="undated")
    dated, undated = read(tmp_path / "times.pst")["Inbox"][1]
    assert dated.time(0x0E06) == RECEIVED
    assert undated.time(0x0E06) != RECEIVED


def run_python(code, env, cwd):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, cwd=cwd,
                          capture_output=True, text=True, timeout=300)


def test_a_missing_library_is_reported_with_what_was_tried(tmp_path):
    env = dict(os.environ, VENDREL_LIBRARY=str(tmp_path / "libnothere.so"),
               PYTHONPATH=str(ROOT / "python"))
    result = run_python("import vendrel; vendrel.create('x.pst')", env, tmp_path)
    assert result.returncode != 0
    assert "LibraryNotFoundError" in result.stderr
    assert "libnothere.so" in result.stderr
    # Without VENDREL_LIBRARY, a copy of the package outside any build tree
    # lists every place it looked at.
    import shutil
    shutil.copytree(ROOT / "python" / "vendrel", tmp_path / "pkg" / "vendrel")
    env = {k: v for k, v in os.environ.items() if k not in ("VENDREL_LIBRARY", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(tmp_path / "pkg")
    result = run_python("import vendrel; vendrel.library_path()", env, tmp_path)
    if result.returncode == 0:
        pytest.skip("a vendrel library is installed on this system")
    assert "VENDREL_LIBRARY: not set" in result.stderr
    assert "no such file" in result.stderr


def test_pip_installs_the_package_without_a_compiler(tmp_path):
    venv = tmp_path / "venv"
    # With the system's site packages: the build takes setuptools and wheel
    # from there (Debian packages python3-setuptools, python3-wheel).
    made = subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                          capture_output=True, text=True)
    if made.returncode != 0:
        pytest.skip("python3 -m venv is not available (Debian package python3-venv): " + made.stderr[-200:])
    python = venv / "bin" / "python"
    # The venv's own setuptools builds the package: no download, no compiler.
    installed = subprocess.run([str(python), "-m", "pip", "install", "--quiet", "--no-build-isolation",
                                "--no-index", str(ROOT / "python")], capture_output=True, text=True, timeout=300)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    env = dict(os.environ, CC="false", CXX="false")
    env.pop("PYTHONPATH", None)
    result = subprocess.run([str(python), "-c", textwrap.dedent("""
        import vendrel, sys
        assert "site-packages" in vendrel.__file__, vendrel.__file__
        with vendrel.create(sys.argv[1], name="From pip") as pst:
            pst.folder("Inbox").add_message(subject="installed", body="via pip")
        """), str(tmp_path / "pip.pst")], env=env, cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    assert [i.subject for i in read(tmp_path / "pip.pst")["Inbox"][1]] == ["installed"]
