#!/usr/bin/python3
"""Checks what a PST reader shows for .eml files imported with Bind_EML
against what Python's email package reads from the same files.

Usage: eml_import_check.py READER LIST READER_OUTPUT
  READER         pypff, pffexport, readpst or pst_extractor
  LIST           lines "<folder>\t<path of the .eml file>": each file was
                 imported into its own folder of that name
  READER_OUTPUT  the reader's lines as reader_lines.py / pst_extractor_lines.js
                 print them ("<folder>/<subject>\t<field>\t<value>"), for pypff
                 as eml_import_check.py --dump FILE.pst prints them

Expected values, per message: the subject, the sender's name and address,
the To recipients, the plain text (the text parts that are not attachments,
joined by CR LF) or, for messages without one, the HTML part's bytes, and the
attachments (the parts with a file name, with a disposition "attachment" or
of a type other than text; unnamed ones are named attachment_<n>.<subtype>)
with their decoded bytes; message/rfc822 parts are embedded messages with the
same values. Texts are compared with line ends as LF, trailing blanks of
lines and of the text dropped and replacement characters as "?".
Prints one line per difference; exit status 1 when there is any."""
import email
import email.header
import email.policy
import email.utils
import hashlib
import re
import sys
from collections import Counter

from reader_common import esc, out, subject_text


def unesc(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            out.append({"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}.get(value[i + 1], value[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def norm_text(text):
    text = replacement(text).replace("\r\n", "\n").replace("\r", "\n")
    return "\n".join(line.rstrip(" \t") for line in text.split("\n")).strip()


def norm_address(text):
    """Addresses hold no blanks; readers of broken ones differ in where."""
    return "".join(replacement(text).replace('"', "").split())


def replacement(text):
    """Undecodable input as "?" (decoders differ in how many per sequence)."""
    text = "".join("?" if c == "\ufffd" or 0xDC80 <= ord(c) <= 0xDCFF else c for c in text or "")
    return re.sub(r"\?+", "?", text)


def norm_name(text):
    return " ".join(replacement(text).split())


def is_utf8(data):
    try:
        data.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def decode(data, charset, fallback):
    if charset:
        try:
            return data.decode(charset, "replace")
        except LookupError:
            pass
    if all(b < 128 for b in data):
        return data.decode("ascii")
    if is_utf8(data):
        return data.decode("utf-8")
    return data.decode(fallback or "cp1252", "replace")


def html_digest(data):
    """HTML bytes with LF line ends: Python's quoted-printable decoding gives
    LF where the part has CR LF; trailing blanks of lines are dropped."""
    if not data:
        return ""
    # Blanks at the end of quoted-printable lines are transport padding
    # (RFC 2045 6.7), which Python keeps and the library drops.
    lines = data.replace(b"\r\n", b"\n").split(b"\n")
    return digest(b"\n".join(line.rstrip(b" \t") for line in lines).strip())


def digest(data):
    return "%d|%s" % (len(data), hashlib.sha256(data).hexdigest())


class Expected:
    def __init__(self):
        self.subject = ""
        self.sender_name = ""
        self.sender_email = ""
        self.to = []
        self.body = None
        self.html = None
        self.attachments = []
        self.embedded = []


def header_text(message, name):
    try:
        value = message[name]
    except Exception:  # a header Python itself cannot parse
        return None
    return None if value is None else str(value)


def addresses(message, name):
    """(name, address) of each mailbox. Python's header parser gives them;
    where it cannot, or where a name holds encoded words (Python keeps the
    blanks between adjacent ones, RFC 2047 6.2 drops them) or only a
    trailing comment names the mailbox, email.utils.getaddresses on the
    field as written does."""
    values = [raw_text(v, message_charset(message)) for k, v in message.raw_items() if k.lower() == name]
    if not values:
        return []
    raw = [(d, a) for d, a in email.utils.getaddresses(values) if d or a]
    try:
        parsed = [(a.display_name, a.addr_spec) for a in message[name].addresses]
    except Exception:
        parsed = None
    out = []
    for i, (display, address) in enumerate(raw):
        if parsed is not None and len(parsed) == len(raw):
            if "=?" not in display and parsed[i][0]:
                display = raw_text(parsed[i][0], message_charset(message))
            address = raw_text(parsed[i][1], message_charset(message)) or address
        if "=?" in display:
            display = decoded_words(display)
        out.append((display.strip(), address.strip()))
    return out


# Fields Python's parser misreads in a file, left out of the comparison.
PYTHON_MISREADS = {
    # Obsolete syntax (RFC 5322 4.5.3): "To    : ..." is a field, not text.
    "rfc2822/example13.eml": {"body", "recipient"},
    # "Mikel@Lindsaar <raasdnil@gmail.com>": Python takes the display name
    # for the address and drops the address in angle brackets.
    "plain_emails/raw_email_with_at_display_name.eml": {"recipient"},
}


def message_charset(part):
    charset = part.get_content_charset()
    if charset:
        return charset
    if part.is_multipart():
        for sub in part.get_payload():
            if isinstance(sub, email.message.Message):
                found = message_charset(sub)
                if found:
                    return found
    return None


def raw_text(value, charset=None):
    """A raw header value: 8-bit bytes (kept by Python as surrogates) read as
    UTF-8 when they are that, else in the charset; folding undone."""
    value = re.sub(r"\r?\n[ \t]*", " ", str(value))
    if any(0xDC80 <= ord(c) <= 0xDCFF for c in value):
        raw = value.encode("ascii", "surrogateescape")
        value = raw.decode("utf-8") if is_utf8(raw) else raw.decode(charset or "cp1252", "replace")
    return value


def raw_header(part, header):
    """The first field of that name as written, unfolded."""
    for key, value in part.raw_items():
        if key.lower() == header:
            return raw_text(value)
    return None


def decoded_words(text):
    try:
        return str(email.header.make_header(email.header.decode_header(text)))
    except Exception:
        return text


def raw_parameter(part, header, name):
    """A parameter as written, up to the next ";" when it is not quoted."""
    value = raw_header(part, header)
    if value is None:
        return None
    m = re.search(r'(?:^|;)\s*' + name + r'\s*=\s*("([^"]*)"?|[^;]*)', value, re.I)
    if not m:
        return None
    raw = m.group(2) if m.group(2) is not None else m.group(1)
    raw = " ".join(raw.replace('"', "").split())
    if "=?" in raw:
        raw = decoded_words(raw)
    return raw or None


def file_name(part):
    """The part's file name as Python reads it; a name Python cuts at a blank
    or cannot read (an encoded word written without quotes) is taken whole."""
    try:
        name = part.get_filename()
    except Exception:
        name = None
    raw = raw_parameter(part, "content-disposition", "filename") or raw_parameter(part, "content-type", "name")
    if raw and (name is None or (raw.startswith(name) and len(raw) > len(name))):
        name = raw
    return name


def expect(message, crlf=False):
    e = Expected()
    e.crlf = crlf
    fallback = message_charset(message)
    e.subject = header_text(message, "subject")
    e.subject = norm_name(e.subject) if e.subject is not None else ""
    sender = addresses(message, "from")
    e.sender_name, e.sender_email = (sender[0] if sender else ("", "")) if sender is not None else (None, None)
    e.to = addresses(message, "to")
    walk(message, e, fallback)
    return e


def walk(part, e, fallback):
    ctype = part.get_content_type()
    if ctype in ("message/rfc822", "message/global"):
        inner = part.get_payload()
        inner = inner[0] if isinstance(inner, list) and inner else inner
        if isinstance(inner, email.message.Message):
            e.embedded.append(expect(inner, e.crlf))
        return
    if part.get_content_maintype() == "message" and ctype not in ("message/rfc822", "message/global"):
        # delivery-status and the like: a file of their own; Python splits
        # their content into header blocks, so only the name is compared.
        e.attachments.append((file_name(part) or "attachment_%d.%s" % (len(e.attachments) + 1, part.get_content_subtype()), None))
        return
    if part.is_multipart():
        for sub in part.get_payload():
            walk(sub, e, fallback)
        return
    if part.get_content_maintype() == "multipart":
        # No delimiter line of its boundary: the content is one part.
        raw = part.get_payload(decode=True) or b""
        walk(email.message_from_bytes(raw, policy=email.policy.default), e, fallback)
        return
    name = file_name(part)
    name = name.replace('"', "").strip() if name else None
    disposition = part.get_content_disposition()
    data = part.get_payload(decode=True) or b""
    encoding = str(part.get("content-transfer-encoding", "")).strip().lower()
    if e.crlf and encoding not in ("base64", "quoted-printable"):
        # Python gives such content with LF line ends; the file has CR LF.
        data = re.sub(rb"(?<!\r)\n", b"\r\n", data)
    if name or disposition == "attachment" or part.get_content_maintype() != "text":
        if not name:
            subtype = part.get_content_subtype()
            extension = subtype if re.fullmatch(r"[a-z0-9-]{1,20}", subtype) else "bin"
            name = "attachment_%d.%s" % (len(e.attachments) + 1, extension)
        e.attachments.append((name, data))
        return
    if part.get_content_subtype() == "html":
        if not data:
            return
        if e.html is None:
            e.html = data
        else:
            e.attachments.append(("attachment_%d.html" % (len(e.attachments) + 1), data))
        return
    text = decode(data, part.get_content_charset(), fallback)
    e.body = text if e.body is None else (e.body + "\r\n" + text if e.body and text else e.body + text)


def expected_lines(e, path, reader):
    """The lines of one message and its embedded ones: {path: Counter of (field, value)}."""
    path = path + "/" + e.subject
    lines = {}
    mine = lines.setdefault(path, Counter())
    mine[("subject", e.subject)] += 1
    if e.sender_name is not None and reader in ("pypff", "pst_extractor"):
        mine[("sender_email", norm_address(e.sender_email))] += 1
        mine[("sender_name", norm_name(e.sender_name) if e.sender_name else norm_address(e.sender_email))] += 1
    if e.to is not None and reader in ("pffexport", "pst_extractor"):
        for name, address in e.to:
            mine[("recipient", "1|%s|%s|SMTP" % (norm_name(name or address), norm_address(address) or "unknown@address.invalid"))] += 1
    if reader in ("pypff", "pst_extractor"):
        mine[("body", norm_text(e.body))] += 1
    if reader == "pypff":
        mine[("html", html_digest(e.html))] += 1
    for name, data in e.attachments:
        if reader == "readpst" and data is not None and not data:
            continue
        mine[("attachment", "%s|%s" % (norm_name(name), digest(data) if data is not None else "*"))] += 1
    for inner in e.embedded:
        if reader == "pypff":
            mine[("embedded", "")] += 1
            continue
        for p, c in expected_lines(inner, path + " >", reader).items():
            lines.setdefault(p, Counter()).update(c)
    return lines


FIELDS = {
    "pypff": {"subject", "sender_name", "sender_email", "body", "html", "attachment", "embedded"},
    "pffexport": {"subject", "recipient", "attachment"},
    "readpst": {"subject", "attachment"},
    "pst_extractor": {"subject", "sender_name", "sender_email", "recipient", "body", "attachment"},
}


def actual_lines(output, reader):
    lines = {}
    for raw in output.splitlines():
        parts = raw.split("\t", 2)
        if len(parts) != 3:
            continue
        path, field, value = parts
        if field not in FIELDS[reader] or (reader == "pst_extractor" and field == "recipient" and not value.startswith("1|")):
            continue
        if reader == "pffexport" and field == "recipient" and not value.startswith("1|"):
            continue
        value = unesc(value)
        path = replacement(path)
        if field == "sender_email":
            value = norm_address(value)
        elif field == "recipient":
            kind, name_, address, rest = (value.split("|", 3) + ["", "", ""])[:4]
            value = "|".join([kind, name_, norm_address(address), rest])
        if field == "body":
            value = norm_text(value)
        elif field == "attachment" and reader == "pffexport":
            value = value
        elif field == "sender_name":
            value = norm_name(value) if "@" not in value else norm_address(value)
        elif field == "subject":
            value = norm_name(value)
        elif field == "embedded":
            value = ""
        path = "/".join(" ".join(p.split()) if i else p for i, p in enumerate(path.split("/", 1)))
        lines.setdefault(path, Counter())[(field, value)] += 1
    return lines


def pypff_text(text):
    """libpff 20180714 reads a UTF-16 surrogate pair as a code point 0x3FF
    too low (U+1F600 comes out as U+1F201); expected texts get the same."""
    return "".join(chr(ord(c) - 0x3FF) if ord(c) >= 0x10000 else c for c in text)


def dump_pypff(pst):
    """Like reader_lines.py pypff, with the HTML body's size and digest."""
    import pypff
    import reader_lines
    f = pypff.file()
    f.open(pst)

    def folder_lines(folder, path):
        for i in range(folder.get_number_of_sub_messages()):
            message = folder.get_sub_message(i)
            try:
                html = message.get_html_body()
            except (IOError, OSError):
                html = b""
            out(path + "/" + subject_text(message.get_subject()), "html", html_digest(html))
        for i in range(folder.get_number_of_sub_folders()):
            sub = folder.get_sub_folder(i)
            folder_lines(sub, (path + "/" if path else "") + (sub.get_name() or ""))

    reader_lines.pypff_folder(f.get_root_folder(), "")
    folder_lines(f.get_root_folder(), "")
    f.close()


def main():
    if sys.argv[1] == "--dump":
        dump_pypff(sys.argv[2])
        return
    reader, listing, output = sys.argv[1:4]
    with open(output, encoding="utf-8", errors="replace") as f:
        actual = actual_lines(f.read(), reader)
    failures = 0
    with open(listing, encoding="utf-8") as f:
        entries = [line.rstrip("\n").split("\t", 1) for line in f if line.strip()]
    for folder, path in entries:
        with open(path, "rb") as f:
            raw = f.read()
        # Python cuts an unquoted parameter at "=", which other readers take
        # whole: such parameters are quoted first.
        raw = re.sub(rb'((?:boundary|name)\s*=\s*)([^"\s;][^\s;]*=[^\s;]*)', rb'\1"\2"', raw, flags=re.I)
        message = email.message_from_bytes(raw, policy=email.policy.default)
        with open(path, "rb") as f:
            crlf = b"\r\n" in f.read()
        expected = expected_lines(expect(message, crlf), folder, reader)
        skipped = next((fields for name, fields in PYTHON_MISREADS.items() if path.endswith("/" + name)), set())
        for c in expected.values():
            for key in [k for k in c if k[0] in skipped]:
                del c[key]
        if reader in ("pypff", "pffexport"):
            expected = {pypff_text(p): Counter({(k, pypff_text(v)): n for (k, v), n in c.items()})
                        for p, c in expected.items()}
        if reader == "readpst":
            for c in expected.values():
                for (k, v), n in list(c.items()):
                    if k != "attachment":
                        continue
                    name, rest = v.rsplit("|", 2)[0], v.rsplit("|", 2)[1:]
                    # readpst gives message/* attachments a type the reader
                    # script does not list, and cuts a file name at a "?".
                    if v.endswith("|*") or "?" in name:
                        del c[(k, v)]
                    if "?" in name and not v.endswith("|*"):
                        c[(k, "|".join([name.split("?", 1)[0]] + rest))] += n
        if reader == "pffexport":
            # pffexport writes each attachment as a file, its name made safe.
            for c in expected.values():
                for (k, v), n in list(c.items()):
                    if k == "attachment" and "?" in v.rsplit("|", 2)[0]:
                        del c[(k, v)]
                        name, rest = v.rsplit("|", 2)[0], v.rsplit("|", 2)[1:]
                        c[(k, "|".join([name.replace("?", "_")] + rest))] += n
        shown = {p: Counter({k: n for k, n in c.items() if k[0] not in skipped})
                 for p, c in actual.items() if p == folder or p.startswith(folder + "/")}
        # An attachment whose bytes are not compared matches one of its name.
        for p, want in expected.items():
            for (field, value), n in list(want.items()):
                if field == "attachment" and value.endswith("|*"):
                    name = value[:-1]
                    for (f2, v2) in list(shown.get(p, Counter())):
                        if f2 == "attachment" and v2.startswith(name):
                            del want[(field, value)]
                            want[(f2, v2)] += n
                            break
        for p in sorted(set(expected) | set(shown)):
            want, got = expected.get(p, Counter()), shown.get(p, Counter())
            for key in sorted((want - got).keys()):
                failures += 1
                print("%s: %s: missing %s = %s\n    shown: %s" % (
                    path, p, key[0], esc(key[1])[:300],
                    "; ".join(esc(v)[:300] for f2, v in got if f2 == key[0]) or "nothing"))
            for key in sorted((got - want).keys()):
                if any(k[0] == key[0] for k in (want - got)):
                    continue  # reported with the missing value
                failures += 1
                print("%s: %s: unexpected %s = %s" % (path, p, key[0], esc(key[1])[:300]))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
