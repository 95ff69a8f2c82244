#!/usr/bin/python3
"""The vendrel program, run as a user runs it, on mailboxes this script
writes: each kind of source (.eml files and trees, mbox in its quoting
variants, Maildir with Maildir++ folders and flags, Thunderbird trees), read
back through the independent readers and compared with what Python's email
package reads from the same messages; exit codes, summaries and skipped
inputs; check and ls on good, damaged and foreign files; the arguments.

Usage: cli_test.py --program PATH --interop DIR --version X.Y.Z [unittest args]
Run with /usr/bin/python3 (it has pypff)."""
import argparse
import email
import email.policy
import email.utils
import hashlib
import json
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from collections import Counter
from datetime import timezone

parser = argparse.ArgumentParser(add_help=False)
parser.add_argument("--program", required=True)
parser.add_argument("--interop", required=True)
parser.add_argument("--version", required=True)
ARGS, REST = parser.parse_known_args()
PROGRAM = os.path.abspath(ARGS.program)
INTEROP = os.path.abspath(ARGS.interop)
sys.path.insert(0, INTEROP)
import eml_import_check as expected_of  # noqa: E402  (the EML import's expectations)

READERS = ["pypff", "pffexport", "readpst", "pst_extractor"]


def have(reader):
    if reader == "pypff":
        try:
            import pypff  # noqa: F401
            return True
        except ImportError:
            return False
    if reader == "pst_extractor":
        return shutil.which("node") is not None and os.path.isdir(os.path.join(INTEROP, "node_modules", "pst-extractor"))
    return shutil.which(reader) is not None


def run(args, **kw):
    return subprocess.run([PROGRAM] + args, capture_output=True, text=True, **kw)


# ------------------------------------------------------------ messages

BLOB = bytes(random.Random(7).randrange(256) for _ in range(5000))


def wrap(data):
    import base64
    text = base64.b64encode(data).decode()
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76))


def message(subject, body="Hello.\n", sender="Alice Example <alice@example.com>", to="Bob Example <bob@example.com>",
            cc=None, bcc=None, date="Mon, 01 Jan 2024 10:00:00 +0000", headers=(), mime=None):
    """RFC 5322 text (LF line ends) as bytes. `mime` is (content headers, body) to replace the plain text."""
    lines = ["From: " + sender, "To: " + to]
    if cc:
        lines.append("Cc: " + cc)
    if bcc:
        lines.append("Bcc: " + bcc)
    lines += ["Subject: " + subject]
    if date:
        lines.append("Date: " + date)
    lines += ["Message-ID: <%s@example.com>" % hashlib.sha1(subject.encode()).hexdigest()[:12], "MIME-Version: 1.0"]
    lines += list(headers)
    if mime is None:
        mime = ("Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit", body)
    return ("\n".join(lines) + "\n" + mime[0] + "\n\n" + mime[1]).encode("utf-8")


def plain_utf8(subject="=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?="):
    return message(subject, "Grüße aus Köln, Καλημέρα, こんにちは.\nZweite Zeile.\n",
                   sender="=?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.de>",
                   cc="Carol <carol@example.org>, =?UTF-8?B?0JjQstCw0L0=?= <ivan@example.ru>")


def html_alternative(subject="Alternative parts"):
    return message(subject, mime=(
        'Content-Type: multipart/alternative; boundary="b1"',
        "--b1\nContent-Type: text/plain; charset=us-ascii\n\nPlain text part.\n\n"
        "--b1\nContent-Type: text/html; charset=utf-8\n\n<html><body><p>HTML part, caf\u00e9.</p></body></html>\n\n--b1--\n"))


def with_attachments(subject="Two attachments"):
    return message(subject, date="Tue, 02 Jan 2024 08:30:00 -0500", mime=(
        'Content-Type: multipart/mixed; boundary="m1"',
        "--m1\nContent-Type: text/plain; charset=utf-8\n\nSee the files.\n\n"
        "--m1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; "
        "filename*=UTF-8''Bericht%20%C3%BCber%202024.bin\nContent-Transfer-Encoding: base64\n\n" + wrap(BLOB) + "\n\n"
        "--m1\nContent-Type: text/csv; name=\"table.csv\"\nContent-Disposition: attachment; filename=\"table.csv\"\n\n"
        "a,b\n1,2\n\n--m1--\n"))


def nested(subject="Forwarded with a nested message"):
    inner = message("Inner message", mime=(
        'Content-Type: multipart/mixed; boundary="i1"',
        "--i1\nContent-Type: text/plain; charset=us-ascii\n\nInner text.\n\n"
        "--i1\nContent-Type: image/png; name=\"dot.png\"\nContent-Disposition: attachment; filename=\"dot.png\"\n"
        "Content-Transfer-Encoding: base64\n\n" + wrap(BLOB[:300]) + "\n\n--i1--\n")).decode()
    return message(subject, mime=(
        'Content-Type: multipart/mixed; boundary="o1"',
        "--o1\nContent-Type: text/plain; charset=us-ascii\n\nOuter text.\n\n"
        "--o1\nContent-Type: message/rfc822\n\n" + inner + "\n--o1--\n"))


def latin1(subject="=?ISO-8859-1?Q?Espa=F1a_y_m=E1s?="):
    return message(subject, sender="=?ISO-8859-1?Q?Jos=E9?= <jose@example.es>", mime=(
        "Content-Type: text/plain; charset=ISO-8859-1\nContent-Transfer-Encoding: quoted-printable",
        "Ma=F1ana en Espa=F1a.\n"))


def from_lines(subject="From lines in the body"):
    return message(subject, "From the start of a line.\n>From one quote.\n>>From two quotes.\nFromage is no separator.\n")


def subject_of(raw):
    return expected_of.norm_name(expected_of.header_text(parse(raw), "subject") or "")


def parse(raw):
    return email.message_from_bytes(raw, policy=email.policy.default)


# ------------------------------------------------------------ containers

def mbox_rd(messages, status=None):
    """mboxrd: every ^>*From line of a message gets one more ">"."""
    out = []
    for i, raw in enumerate(messages):
        headers, _, body = raw.partition(b"\n\n")
        if status and status[i]:
            headers += b"\n" + status[i].encode()
        body = re.sub(rb"(?m)^(>*From )", rb">\1", body)
        out.append(b"From sender@example.com Mon Jan  1 10:00:00 2024\n" + headers + b"\n\n" + body +
                   (b"\n" if not body.endswith(b"\n") else b"") + b"\n")
    return b"".join(out)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class Mailbox:
    """What a test wrote: folder -> [(raw message, state)], state as the
    flags expected on the message."""

    def __init__(self):
        self.folders = {}

    def add(self, folder, raw, **state):
        self.folders.setdefault(folder, []).append((raw, state))


# ------------------------------------------------------------ readers

def reader_output(reader, pst, scratch):
    if reader == "pypff":
        command = ["/usr/bin/python3", os.path.join(INTEROP, "eml_import_check.py"), "--dump", pst]
    elif reader == "pst_extractor":
        command = ["node", os.path.join(INTEROP, "pst_extractor_lines.js"), pst]
    else:
        command = ["/usr/bin/python3", os.path.join(INTEROP, "reader_lines.py"), reader, pst, scratch]
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        raise AssertionError("%s failed on %s: %s" % (reader, pst, result.stderr.decode(errors="replace")[-2000:]))
    return result.stdout.decode("utf-8", "replace")


def compare_with_readers(test, mailbox, pst):
    """Each reader shows every message as Python's email package reads the source."""
    scratch = tempfile.mkdtemp(dir=test.dir)
    for reader in READERS:
        if not have(reader):
            continue
        with test.subTest(reader=reader):
            expected = {}
            for folder, items in mailbox.folders.items():
                for raw, _ in items:
                    e = expected_of.expect(parse(raw), False)
                    for path, counter in expected_of.expected_lines(e, folder, reader).items():
                        expected.setdefault(path, Counter()).update(counter)
            if reader in ("pypff", "pffexport"):
                expected = {expected_of.pypff_text(p): Counter({(k, expected_of.pypff_text(v)): n for (k, v), n in c.items()})
                            for p, c in expected.items()}
            if reader == "readpst":  # as eml_import_check: message/* parts have no name line there
                for c in expected.values():
                    for key in [k for k in c if k[0] == "attachment" and k[1].endswith("|*")]:
                        del c[key]
            shown = expected_of.actual_lines(reader_output(reader, pst, scratch), reader)
            problems = []
            for path in sorted(set(expected) | set(shown)):
                want, got = expected.get(path, Counter()), shown.get(path, Counter())
                for key in sorted((want - got).keys()):
                    problems.append("%s: missing %s = %r (shown: %r)" % (path, key[0], key[1][:200],
                                                                        [v[:200] for f, v in got if f == key[0]]))
                for key in sorted((got - want).keys()):
                    problems.append("%s: unexpected %s = %r" % (path, key[0], key[1][:200]))
            test.assertEqual(problems, [], "\n".join(problems[:40]))


def pypff_messages(pst):
    """{folder/subject: (records, message)} of every message, by pypff."""
    from reader_common import pypff_sub_folders, record_entries, subject_text, with_pypff_root
    found = {}

    def walk(folder, path):
        for i in range(folder.get_number_of_sub_messages()):
            m = folder.get_sub_message(i)
            found[(path + "/" + subject_text(m.get_subject())).replace("Start of IPM tree/", "", 1)] = record_entries(m)
        for sub, sub_path in pypff_sub_folders(folder, path):
            walk(sub, sub_path)

    with_pypff_root(pst, walk)
    return found


def u32(records, tag):
    entry = records.get(tag)
    return int.from_bytes(entry[1][:4], "little") if entry and entry[1] else None


def filetime(records, tag):
    entry = records.get(tag)
    if not entry or not entry[1]:
        return None
    value = int.from_bytes(entry[1][:8], "little")
    return (value - 116444736000000000) // 10000000


def text_of(entry):
    value_type, data = entry
    return (data or b"").decode("utf-16-le" if value_type == 0x001F else "utf-8", "replace")


def header_block(raw):
    head = raw.split(b"\n\n", 1)[0].decode("utf-8", "replace")
    return "".join(line.rstrip("\r") + "\r\n" for line in head.split("\n"))


def check_state_and_headers(test, mailbox, pst):
    """Flags, follow-up and verb properties, deletion mark, original headers
    and dates, by pypff's records."""
    if not have("pypff"):
        return
    shown = pypff_messages(pst)
    for folder, items in mailbox.folders.items():
        for raw, state in items:
            path = folder + "/" + subject_of(raw)
            with test.subTest(message=path):
                test.assertIn(path, shown, sorted(shown))
                records = shown[path]
                flags = u32(records, 0x0E07)
                test.assertEqual(bool(flags & 1), state.get("read", False), "read flag %#x" % flags)
                test.assertEqual(bool(flags & 8), state.get("draft", False), "unsent flag %#x" % flags)
                test.assertEqual(u32(records, 0x1090), 2 if state.get("flagged") else None)
                verb = 102 if state.get("replied") else 104 if state.get("forwarded") else None
                test.assertEqual(u32(records, 0x1081), verb)
                test.assertEqual(bool((u32(records, 0x0E17) or 0) & 8), state.get("deleted", False))
                headers = records.get(0x007D)
                test.assertIsNotNone(headers)
                test.assertEqual(text_of(headers), state.get("headers", header_block(raw)))
                date = parse(raw)["date"]
                want = int(email.utils.parsedate_to_datetime(str(date)).timestamp()) if date else state.get("fallback_time")
                if want is not None:
                    test.assertEqual(filetime(records, 0x0E06), want)
                    test.assertEqual(filetime(records, 0x0039), want)


def check_recipients(test, mailbox, pst):
    """To, Cc and Bcc with their types, by pffexport."""
    if not have("pffexport"):
        return
    lines = reader_output("pffexport", pst, tempfile.mkdtemp(dir=test.dir))
    shown = Counter()
    for line in lines.splitlines():
        parts = line.split("\t", 2)
        if len(parts) == 3 and parts[1] == "recipient" and " >/" not in parts[0]:
            kind, name, address, _ = parts[2].split("|", 3)
            shown[(parts[0], kind, expected_of.norm_name(name), address)] += 1
    want = Counter()
    for folder, items in mailbox.folders.items():
        for raw, _ in items:
            m = parse(raw)
            for kind, header in (("1", "to"), ("2", "cc"), ("3", "bcc")):
                for name, address in expected_of.addresses(m, header):
                    want[(folder + "/" + subject_of(raw), kind, expected_of.norm_name(name or address), address)] += 1
    test.assertEqual(want, shown)


def folder_tree(pst):
    """Folder paths below the IPM subtree, with their container classes, by pypff."""
    from reader_common import pypff_sub_folders, record_entries, with_pypff_root
    tree = {}

    def walk(folder, path):
        for sub, p in pypff_sub_folders(folder, path):
            cls = record_entries(sub).get(0x3613)
            tree[p.replace("Start of IPM tree/", "", 1)] = (sub.get_number_of_sub_messages(), text_of(cls) if cls else None)
            walk(sub, p)

    with_pypff_root(pst, walk)
    return tree


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vendrel-cli-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def convert(self, args, expect=0):
        result = run(["convert"] + args)
        self.assertEqual(result.returncode, expect, result.stdout + result.stderr)
        return result

    def assert_readers_agree(self, mailbox, pst):
        compare_with_readers(self, mailbox, pst)
        check_state_and_headers(self, mailbox, pst)
        check_recipients(self, mailbox, pst)
        result = run(["check", pst])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("No findings.", result.stdout)
        if have("pypff"):
            tree = folder_tree(pst)
            for folder, items in mailbox.folders.items():
                self.assertIn(folder, tree, sorted(tree))
                self.assertEqual(tree[folder], (len(items), "IPF.Note"), folder)


# ------------------------------------------------------------ sources

class Sources(Case):
    def test_mbox_files_eml_file_and_eml_tree(self):
        box = Mailbox()
        letters = [plain_utf8(), from_lines(), html_alternative()]
        write(self.path("in", "Letters.mbox"), mbox_rd(letters, status=["Status: RO", None, "Status: O\nX-Status: AF"]))
        box.add("Letters", letters[0], read=True)
        box.add("Letters", letters[1])
        box.add("Letters", letters[2], replied=True, flagged=True)
        # The stored header blocks carry the status lines the mbox added.
        box.folders["Letters"][0][1]["headers"] = header_block(letters[0].split(b"\n\n", 1)[0] + b"\nStatus: RO\n\n")
        box.folders["Letters"][2][1]["headers"] = header_block(letters[2].split(b"\n\n", 1)[0] +
                                                               b"\nStatus: O\nX-Status: AF\n\n")
        # Content-Length: right (the body's "From " line is text), then wrong (ignored).
        body = b"First line.\n\nFrom a line that is no separator\nLast line.\n"
        right = message("Length right", "").replace(b"\n\n", b"\nContent-Length: %d\n\n" % len(body), 1) + body
        wrong = message("Length wrong", "Short body.\n").replace(b"\n\n", b"\nContent-Length: 9999\n\n", 1)
        write(self.path("in", "Lengths"), b"From a@example.com Mon Jan  1 10:00:00 2024\n" + right +
              b"\nFrom b@example.com Mon Jan  1 11:00:00 2024\n" + wrong)
        box.add("Lengths", right)
        box.add("Lengths", wrong)
        single = with_attachments()
        write(self.path("in", "single.eml"), single)
        box.add("Inbox", single, read=True)
        tree = {"Exported": [nested()], "Exported/Sub": [latin1()], "Exported/Sub/Tief \u00fcber": [plain_utf8("Deep")]}
        for folder, items in tree.items():
            for i, raw in enumerate(items):
                write(self.path("in", *folder.split("/"), "m%d.eml" % i), raw)
                box.add(folder, raw, read=True)
        pst = self.path("out.pst")
        result = self.convert([self.path("in", "Letters.mbox"), self.path("in", "Lengths"), self.path("in", "single.eml"),
                               self.path("in", "Exported"), "-o", pst])
        self.assertIn("Converted 9 messages (4 attachments", result.stdout)
        self.assertIn("into 6 folders", result.stdout)
        self.assertEqual(result.stderr, "")
        self.assert_readers_agree(box, pst)

    def test_maildir_with_maildir_plus_plus_folders_and_flags(self):
        box = Mailbox()
        md = self.path("Maildir")
        cases = [  # (Maildir++ folder, store folder, sub, name, message, state)
            ("", "Inbox", "cur", "1700000001.M1P1.host:2,S", plain_utf8(), dict(read=True)),
            ("", "Inbox", "cur", "1700000002.M2P1.host:2,FRS", with_attachments(), dict(read=True, flagged=True, replied=True)),
            ("", "Inbox", "new", "1700000003.M3P1.host", nested(), {}),
            (".Work", "Work", "cur", "1700000004.M4P1.host:2,PS", html_alternative(), dict(read=True, forwarded=True)),
            (".Work.Reports", "Work/Reports", "cur", "1700000005.M5P1.host:2,T", latin1(), dict(deleted=True)),
            (".&AMk-t&AOk-", "\u00c9t\u00e9", "cur", "1700000006.M6P1.host:2,S", from_lines(), dict(read=True)),
            (".Drafts", "Drafts", "cur", "1700000007.M7P1.host:2,DS", message("Unfinished", date=None),
             dict(read=True, draft=True, fallback_time=1700000007)),
            (".Sent", "Sent Items", "cur", "1700000008.M8P1.host:2,", message("Sent one", bcc="Me <me@example.com>"),
             dict(read=True)),
        ]
        for sub_dir, folder, sub, name, raw, state in cases:
            write(os.path.join(md, sub_dir, sub, name), raw)
            box.add(folder, raw, **state)
        os.makedirs(os.path.join(md, "tmp"))
        write(os.path.join(md, "tmp", "1700000009.M9P1.host"), message("Delivery in progress"))
        pst = self.path("maildir.pst")
        result = self.convert([md, "-o", pst])
        self.assertIn("Converted 8 messages", result.stdout)
        self.assert_readers_agree(box, pst)

    def test_thunderbird_tree(self):
        box = Mailbox()
        root = self.path("Local Folders")
        inbox = [plain_utf8(), with_attachments()]
        write(os.path.join(root, "Inbox"), mbox_rd(inbox, status=["X-Mozilla-Status: 0001", "X-Mozilla-Status: 1005"]))
        write(os.path.join(root, "Inbox.msf"), b"// index, ignored")
        box.add("Inbox", inbox[0], read=True, headers=header_block(inbox[0].split(b"\n\n")[0] + b"\nX-Mozilla-Status: 0001\n\n"))
        box.add("Inbox", inbox[1], read=True, flagged=True, forwarded=True,
                headers=header_block(inbox[1].split(b"\n\n")[0] + b"\nX-Mozilla-Status: 1005\n\n"))
        work = [html_alternative()]
        write(os.path.join(root, "Inbox.sbd", "Work"), mbox_rd(work))
        box.add("Inbox/Work", work[0])
        deep = [nested(), from_lines()]
        write(os.path.join(root, "Inbox.sbd", "Work.sbd", "Deep"), mbox_rd(deep))
        for raw in deep:
            box.add("Inbox/Work/Deep", raw)
        write(os.path.join(root, "Trash"), b"")
        write(os.path.join(root, "Trash.msf"), b"")
        write(os.path.join(root, "popstate.dat"), b"# not mail\n")
        pst = self.path("tb.pst")
        result = self.convert([root, "-o", pst])
        self.assertIn("Converted 5 messages", result.stdout)
        self.assert_readers_agree(box, pst)
        if have("pypff"):
            self.assertEqual(folder_tree(pst)["Deleted Items"][0], 0)

    def test_into_name_and_non_ascii_paths(self):
        box = Mailbox()
        raws = [plain_utf8(), with_attachments(), nested()]
        src = self.path("\u041f\u043e\u0447\u0442\u0430", "\u00e9t\u00e9.mbox")
        write(src, mbox_rd(raws))
        for raw in raws:
            box.add("Import/2024/\u00e9t\u00e9", raw)
        pst = self.path("\u0432\u044b\u0445\u043e\u0434.pst")
        log = self.path("\u0436\u0443\u0440\u043d\u0430\u043b.log")
        self.convert(["--into", "Import/2024", "--name", "Archiv \u00fc", "--quiet", "--log", log, src, "-o", pst])
        with open(log, encoding="utf-8", errors="replace") as f:
            self.assertIn("LOGGER MACHINE INFO", f.read())
        listing = run(["ls", pst])
        self.assertEqual(listing.returncode, 0)
        self.assertIn("Store: Archiv \u00fc", listing.stdout)
        self.assertRegex(listing.stdout, r"\n        \u00e9t\u00e9  \[IPF.Note\]  3 items\n")
        self.assert_readers_agree(box, pst)

    def test_ansi(self):
        # ASCII text: on Linux the library keeps an ANSI file's 8-bit strings
        # in the host's narrow encoding (UTF-8), which readers take for 1252.
        box = Mailbox()
        raws = [message("Plain ASCII", cc="Carol <carol@example.org>"), html_alternative(), nested(),
                with_attachments("Attachments in ANSI").replace(b"Bericht%20%C3%BCber", b"Report%20on")]
        write(self.path("in.mbox"), mbox_rd(raws))
        for raw in raws:
            box.add("Letters/in", raw)
        pst = self.path("ansi.pst")
        self.convert(["--ansi", "--into", "Letters", self.path("in.mbox"), "-o", pst])
        with open(pst, "rb") as f:
            self.assertIn(f.read(12)[10], (14, 15), "wVer of an ANSI file")
        self.assert_readers_agree(box, pst)


# ------------------------------------------------------------ failures

class Failures(Case):
    def test_broken_messages_are_skipped_and_named(self):
        good = message("Good one")
        data = (b"stray text before any message\n\n"                                 # offset 0, line 1
                b"From a@example.com Mon Jan  1 10:00:00 2024\n" + good + b"\n"       # offset 32, line 3
                b"From b@example.com Mon Jan  1 10:00:00 2024\n"
                b"this has no header at all\n\n"
                b"From c@example.com Mon Jan  1 10:00:00 2024\n\n\n")
        write(self.path("broken.mbox"), data)
        no_header = data.index(b"From b@")
        empty = data.index(b"From c@")
        pst = self.path("out.pst")
        result = self.convert([self.path("broken.mbox"), "-o", pst], expect=1)
        self.assertIn("Converted 1 message ", result.stdout)
        self.assertIn("Skipped 3 inputs:", result.stdout)
        line_of = lambda offset: data[:offset].count(b"\n") + 1
        for offset, reason in ((0, "text outside any message"), (no_header, "no header fields"), (empty, "empty message")):
            self.assertIn("broken.mbox, byte %d (line %d): %s" % (offset, line_of(offset), reason), result.stdout)
        self.assertEqual(run(["check", pst]).returncode, 0)
        quiet = self.convert([self.path("broken.mbox"), "-q", "-o", pst], expect=1)
        self.assertEqual(quiet.stdout, "")
        self.assertEqual(quiet.stderr.count("vendrel: skipped "), 3)

    def test_a_mailbox_of_broken_messages_names_the_first_thousand_and_counts_the_rest(self):
        broken = b"".join(b"From x@example.com Mon Jan  1 10:00:00 2024\nno header %d\n\n" % i for i in range(1005))
        write(self.path("many.mbox"), broken + b"From a@example.com Mon Jan  1 10:00:00 2024\n" + message("Kept"))
        result = self.convert([self.path("many.mbox"), "-o", self.path("out.pst")], expect=1)
        self.assertIn("Converted 1 message ", result.stdout)
        self.assertRegex(result.stdout, r"Skipped 1.?005 inputs:")
        self.assertEqual(result.stdout.count("no header fields"), 1000)
        self.assertIn("... and 5 more, not listed", result.stdout)
        quiet = self.convert([self.path("many.mbox"), "-q", "-o", self.path("out.pst")], expect=1)
        self.assertEqual(quiet.stderr.count("vendrel: skipped "), 1005)

    def test_malformed_message_imports_as_far_as_it_reads(self):
        box = Mailbox()
        broken = message("Broken MIME", mime=('Content-Type: multipart/mixed; boundary="never"', "no boundary ever\n"))
        enveloped = message("Saved with its envelope line")
        write(self.path("in", "m.eml"), broken)
        write(self.path("in", "n.eml"), b"From someone@example.com Mon Jan  1 10:00:00 2024\n" + enveloped)
        box.add("in", broken, read=True)
        box.add("in", enveloped, read=True)
        pst = self.path("out.pst")
        result = self.convert([self.path("in"), "-o", pst])
        self.assertIn("Converted 2 messages ", result.stdout)
        self.assert_readers_agree(box, pst)

    def test_nothing_usable(self):
        write(self.path("a.eml"), message("A"))
        write(self.path("binary.dat"), bytes(range(256)))
        for args, text in (
                ([self.path("missing.mbox"), "-o", self.path("x.pst")], "no such file"),
                ([self.path("binary.dat"), "-o", self.path("x.pst")], "neither an mbox"),
                ([self.path("a.eml"), "-o", self.path("no", "such", "x.pst")], "does not exist"),
                ([self.path("a.eml"), "-o", self.dir], "is a directory"),
                ([self.path("a.eml")], "-o OUTPUT.pst"),
                (["-o", self.path("x.pst")], "at least one SOURCE"),
                ([self.path("a.eml"), "--jobs", "2", "-o", self.path("x.pst")], "unknown option --jobs")):
            with self.subTest(args=args):
                result = run(["convert"] + args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(text, result.stderr)
                self.assertFalse(os.path.exists(self.path("x.pst")))

    def leftovers(self):
        return [n for n in os.listdir(self.dir) if n.endswith(".pst") or ".vendrel-" in n]

    def test_write_failure_leaves_no_file(self):
        write(self.path("in.mbox"), mbox_rd([with_attachments(str(i)) for i in range(200)]))

        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (1500000, 1500000))

        result = run(["convert", self.path("in.mbox"), "-o", self.path("out.pst")], preexec_fn=small_files)
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
        self.assertIn("nothing was written", result.stderr)
        self.assertEqual(self.leftovers(), [])

    def test_interrupt_leaves_no_file(self):
        write(self.path("big.mbox"), mbox_rd([with_attachments("Message %d" % i) for i in range(5000)]))
        process = subprocess.Popen([PROGRAM, "convert", self.path("big.mbox"), "-o", self.path("out.pst")],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.time() + 60
        while time.time() < deadline and not any(".vendrel-" in n for n in os.listdir(self.dir)):
            time.sleep(0.01)
        time.sleep(0.5)
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=120)
        if process.returncode == 0:
            self.skipTest("the job ended before the interrupt")
        self.assertEqual(process.returncode, 130, out + err)
        self.assertIn("interrupted: nothing was written", err)
        self.assertEqual(self.leftovers(), [])


# ------------------------------------------------------------ check and ls

class CheckAndList(Case):
    def sample(self, name="sample.pst", extra=()):
        write(self.path("in.mbox"), mbox_rd([plain_utf8(), with_attachments(), nested()]))
        pst = self.path(name)
        self.convert([self.path("in.mbox"), "-q", "-o", pst] + list(extra))
        return pst

    def test_check_our_files(self):
        for extra in ((), ("--ansi",)):
            pst = self.sample("s%d.pst" % len(extra), extra)
            result = run(["check", pst])
            self.assertEqual(result.returncode, 0, result.stdout)
            self.assertIn("No findings.", result.stdout)
            report = json.loads(run(["check", "--json", pst]).stdout)
            self.assertTrue(report["readable"])
            self.assertEqual((report["errors"], report["variant"]), (0, "ansi" if extra else "unicode"))
            self.assertGreaterEqual(report["messages"], 3)
            verbose = run(["check", "--verbose", pst]).stdout
            for area in ("header", "maps", "B-trees", "blocks", "reference counts", "nodes", "heaps and tables",
                         "folders and messages"):
                self.assertIn(area + ": ok", verbose)

    def test_check_unreadable_files(self):
        pst = self.sample()
        with open(pst, "rb") as f:
            data = f.read()
        cases = {"empty.pst": b"", "garbage.pst": bytes(random.Random(1).randrange(256) for _ in range(70000)),
                 "text.pst": b"From nobody\n" * 1000, "header-only.pst": data[:600]}
        for name, content in cases.items():
            with self.subTest(file=name):
                write(self.path(name), content)
                result = run(["check", self.path(name)], timeout=60)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn("not readable as a PST file", result.stdout)
                self.assertEqual(run(["ls", self.path(name)], timeout=60).returncode, 2)
        # Cut after its header and first pages: the checker reads what is
        # there and reports the rest as ERRORs (or the file as unreadable).
        for size in (20000, len(data) // 2, len(data) - 512):
            with self.subTest(truncated=size):
                write(self.path("truncated.pst"), data[:size])
                result = run(["check", self.path("truncated.pst")], timeout=60)
                self.assertIn(result.returncode, (1, 2), result.stdout + result.stderr)
                self.assertIn("ERROR" if result.returncode == 1 else "not readable", result.stdout)
                self.assertIn(run(["ls", self.path("truncated.pst")], timeout=60).returncode, (0, 1, 2))
        self.assertEqual(run(["check", self.path("missing.pst")]).returncode, 2)

    def test_check_finds_a_damaged_block(self):
        pst = self.sample()
        with open(pst, "rb") as f:
            data = bytearray(f.read())
        at = data.find(BLOB[1000:1100])  # the attachment's bytes, stored without encoding
        self.assertGreater(at, 0)
        data[at + 10] ^= 0xFF
        damaged = self.path("damaged.pst")
        write(damaged, bytes(data))
        result = run(["check", damaged])
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertRegex(result.stdout, r"(?m)^blocks: [1-9]\d* ERROR")
        self.assertRegex(result.stdout, r"(?m)^  ERROR offset 0x")

    def test_ls(self):
        pst = self.sample()
        result = run(["ls", pst])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Store: sample\n", result.stdout)
        self.assertRegex(result.stdout, r"\n    Deleted Items  \[[^\]]*\]  0 items\n")
        self.assertRegex(result.stdout, r"\n    in  \[IPF.Note\]  3 items\n")
        items = run(["ls", "--items", pst]).stdout
        self.assertIn("- 2024-01-01 10:00  IPM.Note  J\u00fcrgen M\u00fcller  Gr\u00fc\u00dfe aus K\u00f6ln\n", items)
        self.assertIn("- 2024-01-02 13:30  IPM.Note  Alice Example  Two attachments\n", items)


# ------------------------------------------------------------ arguments

class Arguments(Case):
    def test_help_and_version(self):
        for args in (["--help"], ["-h"], []):
            result = run(args)
            self.assertEqual(result.returncode, 0)
            self.assertIn("Usage: vendrel COMMAND", result.stdout)
        for command, text in (("convert", "SOURCE... -o OUTPUT.pst"), ("check", "check [OPTIONS] FILE.pst"),
                              ("ls", "ls [OPTIONS] FILE.pst")):
            for args in ([command, "--help"], ["help", command]):
                result = run(args)
                self.assertEqual(result.returncode, 0)
                self.assertIn(text, result.stdout)
        result = run(["--version"])
        self.assertEqual((result.returncode, result.stdout), (0, "vendrel %s\n" % ARGS.version))

    def test_bad_arguments(self):
        for args in (["frobnicate"], ["--frob"], ["check"], ["check", "a.pst", "b.pst"], ["ls", "--json", "a.pst"],
                     ["convert", "--name"]):
            with self.subTest(args=args):
                result = run(args)
                self.assertEqual(result.returncode, 2)
                self.assertIn("vendrel: ", result.stderr)
                self.assertIn("--help", result.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + REST)
