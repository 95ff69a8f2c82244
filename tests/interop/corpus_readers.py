#!/usr/bin/python3
"""Prints what one reader shows of the corpus file that corpus_test.cpp
writes, one fact per line: "<item path>\t<field>\t<value>". An item's path
is its folder path, "/", and the first word of its subject; an embedded
message adds " > " and the first word of its own subject. A folder has
lines of its own under its folder path. Texts are escaped (backslash, tab,
newline); a text longer than 2000 bytes of UTF-8 is shown as
"sha256:<hex>|<bytes>"; times are UTC "YYYY-MM-DD HH:MM:SS"; attachments are
"<name>|<size>|<sha256>", recipients "<type>|<name>|<email>|<address type>",
properties "prop:<ID>" with "<type>|<value bytes in hex>".

Readers:
  pypff      the libpff Python binding: folders, messages, their records;
  pffexport  libpff's exporter (-f all): its header, body, recipient and
             item text files, attachments and embedded messages;
  readpst    libpst: the EML files of readpst -e, the vCards and
             iCalendar events of readpst -cv -r.

Each reader's own known faults are worked around below, each where it
applies, and named there; the same field is checked through another reader.
Usage: corpus_readers.py pypff|pffexport|readpst FILE.pst SCRATCH_DIR
Run with /usr/bin/python3, which has pypff."""
import email
import email.header
import email.policy
import hashlib
import os
import re
import sys

import kinds_lines
from bodies_dump import mela_rtf
from reader_common import (PYPFF_CODEPAGE, digest, entry_int, entry_text, out, pffexport_tree, pypff_sub_folders,
                           read_eml, readpst_folders, record_entries, subject_text, sub_path, with_pypff_root)
from reader_lines import header_fields, pff_time, read

LONG_TEXT = 2000


def key(subject):
    return (subject or "").split(" ", 1)[0]


def text_value(text):
    if text is None:
        return None
    if isinstance(text, bytes):
        text = text.decode("utf-8", "replace")
    data = text.encode("utf-8", "replace")
    if len(data) <= LONG_TEXT:
        return text
    return "sha256:%s|%d" % (hashlib.sha256(data).hexdigest(), len(data))


def utc(value):
    return value.strftime("%Y-%m-%d %H:%M:%S") if value is not None else None


# ---------------------------------------------------------------- pypff

def prop_lines(path, entries):
    for tag, (value_type, data) in sorted(entries.items()):
        data = data or b""
        # libpff gives 16-bit and boolean values in their 32-bit field.
        if value_type == 0x0002:
            data = data[:2]
        elif value_type == 0x000B:
            data = data[:1]
        if tag < 0x8000 and len(data) > 512:
            continue
        out(path, "prop:%04X" % tag, "%04X|%s" % (value_type, data.hex()))


def has_surrogates(entries, tag):
    if tag not in entries or entries[tag][0] != 0x001F:
        return False
    raw = entries[tag][1] or b""
    return any(0xD800 <= int.from_bytes(raw[i:i + 2], "little") < 0xE000 for i in range(0, len(raw) - 1, 2))


def pypff_text(entries, tag, getter):
    """A text as libpff shows it. libpff 20180714 decodes a UTF-16 surrogate
    pair to a wrong character (U+1F600 becomes U+1F201: it takes the low
    surrogate's offset from 0xDFFF) and fails on a string with a lone
    surrogate; such a text is read from the record's bytes here (a lone
    surrogate becomes U+FFFD). pst-extractor and readpst show the same
    fields."""
    if has_surrogates(entries, tag):
        return entry_text(entries, tag)
    try:
        return getter()
    except OSError as e:
        return "<error: %s>" % str(e).splitlines()[0]


def pypff_html(entries):
    """pypff's get_html_body gives the property's stored bytes whatever its
    type: UTF-16 with its terminator for a PT_UNICODE body. The text is
    decoded by the record's type as libpff decodes other strings."""
    if 0x1013 not in entries:
        return None
    value_type, data = entries[0x1013]
    if value_type in (0x001E, 0x001F):
        return entry_text(entries, 0x1013)
    codepage = entry_int(entries, 0x3FDE)
    return (data or b"").decode("cp%d" % codepage if codepage else PYPFF_CODEPAGE, "replace")


def pypff_message(message, path):
    entries = record_entries(message, missing=b"")
    subject = subject_text(pypff_text(entries, 0x0037, message.get_subject))
    path = path + "/" + key(subject)
    out(path, "subject", subject)
    try:
        body = message.get_plain_text_body()
    except OSError:
        body = None
    if body is not None:
        if has_surrogates(entries, 0x1000):
            body = entry_text(entries, 0x1000)  # libpff's surrogate pair fault, as in pypff_text
        out(path, "body", text_value(body))
    if 0x1009 in entries:
        # pypff's get_rtf_body runs its LZFu decompressor over any
        # compressed-RTF container and fails on the uncompressed ("MELA")
        # form: the RTF is read out of the container property as pypff reads
        # it (as bodies_dump.py does). pst-extractor decodes the container.
        rtf = mela_rtf(entries[0x1009][1] or b"")
        out(path, "rtf", text_value(rtf.decode("latin-1")) if rtf is not None else "<not an uncompressed container>")
    html = pypff_html(entries)
    if html is not None:
        out(path, "html", text_value(html))
    out(path, "sender_name", pypff_text(entries, 0x0C1A, message.get_sender_name))
    out(path, "sender_email", entry_text(entries, 0x0C1F))
    out(path, "class", entry_text(entries, 0x001A))
    out(path, "importance", entry_int(entries, 0x0017))
    out(path, "sensitivity", entry_int(entries, 0x0036))
    out(path, "delivery_time", utc(message.get_delivery_time()))
    out(path, "client_submit_time", utc(message.get_client_submit_time()))
    out(path, "creation_time", utc(message.get_creation_time()))
    out(path, "modification_time", utc(message.get_modification_time()))
    out(path, "display_to", entry_text(entries, 0x0E04) or "")
    out(path, "display_cc", entry_text(entries, 0x0E03) or "")
    out(path, "display_bcc", entry_text(entries, 0x0E02) or "")
    prop_lines(path, entries)
    for i in range(message.get_number_of_attachments()):
        attachment = message.get_attachment(i)
        a = record_entries(attachment)
        name = entry_text(a, 0x3707) or entry_text(a, 0x3704) or entry_text(a, 0x3001)
        if entry_int(a, 0x3705) == 5:
            # pypff 20180714 opens no embedded message, not even in the mail
            # client's own files: only the attachment's name is shown here;
            # pffexport, readpst and pst-extractor open the message.
            out(path, "embedded", name)
            continue
        size = attachment.get_size()
        data = attachment.read_buffer(size) if size else b""
        out(path, "attachment", digest(name, data))


def pypff_folder(folder, path):
    if path:
        out(path, "folder_class", entry_text(record_entries(folder, missing=b""), 0x3613))
    for i in range(folder.get_number_of_sub_messages()):
        pypff_message(folder.get_sub_message(i), path)
    for sub, sub_folder_path in pypff_sub_folders(folder, path):
        pypff_folder(sub, sub_folder_path)


def run_pypff(pst):
    with_pypff_root(pst, pypff_folder)


# ---------------------------------------------------------------- pffexport

ITEM_DIR = re.compile(r"^(Message|Contact|Appointment|Task|Note|Activity|Meeting)\d{5}$")


def item_fields(text):
    """The "key: value" lines of an item text file before its body."""
    fields = []
    for line in text.split("\n"):
        if line.rstrip("\r") == "Body:":
            break
        name, sep, value = line.partition(":")
        if sep and value.strip():
            fields.append((name.strip(), value.strip()))
    return fields


def libpff_pairs(text):
    """libpff 20180714 decodes a UTF-16 surrogate pair to the code point
    0x3FF below the right one (it takes the low surrogate's offset from
    0xDFFF instead of 0xDC00: U+1F600 becomes U+1F201), and pffexport writes
    what it decodes. The characters it writes above U+FFFF are moved back;
    pst-extractor and readpst show the same texts as they are stored."""
    if text is None:
        return None
    return "".join(chr(ord(c) + 0x3FF) if ord(c) > 0xFFFF else c for c in text)


def pff_item(directory, path, kind):
    headers_file = os.path.join(directory, "OutlookHeaders.txt")
    kind_file = os.path.join(directory, kind + ".txt")
    fields = [(k, libpff_pairs(v)) for k, v in item_fields(read(headers_file if os.path.exists(headers_file) else kind_file))]
    headers = dict(reversed(fields))  # the first of each name
    subject = headers.get("Subject", "")
    path = path + "/" + key(subject)
    out(path, "subject", subject)
    for name, file in (("body", "Message.txt"), ("html", "Message.html")):
        full = os.path.join(directory, file)
        if os.path.exists(full):
            out(path, name, text_value(libpff_pairs(read(full))))
    out(path, "sender_name", headers.get("Sender name"))
    out(path, "sender_email", headers.get("Sender email address"))
    out(path, "importance", headers.get("Importance"))
    out(path, "sensitivity", headers.get("Sensitivity"))
    out(path, "delivery_time", pff_time(headers.get("Delivery time")))
    out(path, "client_submit_time", pff_time(headers.get("Client submit time")))
    out(path, "creation_time", pff_time(headers.get("Creation time")))
    out(path, "modification_time", pff_time(headers.get("Modification time")))
    if kind != "Message" and os.path.exists(kind_file):
        for name, value in item_fields(read(kind_file)):
            out(path, name, value)
    recipients = os.path.join(directory, "Recipients.txt")
    count = 0
    if os.path.exists(recipients):
        for block in read(recipients).split("\n\n"):
            fields = header_fields(block)
            if not fields:
                continue
            count += 1
            kind_number = {"To": 1, "CC": 2, "BCC": 3}.get(fields.get("Recipient type"), fields.get("Recipient type"))
            out(path, "recipient", "%s|%s|%s|%s" % (kind_number, fields.get("Display name", ""),
                                                     fields.get("Email address", ""), fields.get("Address type", "")))
    out(path, "recipient_count", count)
    attachments = os.path.join(directory, "Attachments")
    if os.path.isdir(attachments):
        for name in sorted(os.listdir(attachments)):
            full = os.path.join(attachments, name)
            if os.path.isdir(full):
                for sub in sorted(os.listdir(full)):
                    m = ITEM_DIR.match(sub)
                    if m:
                        pff_item(os.path.join(full, sub), path + " >", m.group(1))
                continue
            with open(full, "rb") as f:
                out(path, "attachment", digest(re.sub(r"^\d+_", "", name), f.read()))


def pff_folder(directory, path):
    if path:
        out(path, "folder", "")
    for name in sorted(os.listdir(directory)):
        full = os.path.join(directory, name)
        if not os.path.isdir(full):
            continue
        m = ITEM_DIR.match(name)
        if m:
            pff_item(full, path, m.group(1))
        else:
            pff_folder(full, sub_path(path, name))


def run_pffexport(pst, scratch):
    pff_folder(pffexport_tree(pst, scratch, "pffexport", "-f", "all"), "")


# ---------------------------------------------------------------- readpst

def header_text(message, name):
    value = message.get(name)
    return str(value) if value is not None else None


def leaf_parts(message):
    """The parts of a message itself, through its multipart containers but
    not into the messages it holds."""
    if not message.is_multipart():
        yield message
        return
    for part in message.iter_parts():
        if part.get_content_type() == "message/rfc822":
            continue
        if part.is_multipart():
            yield from leaf_parts(part)
        else:
            yield part


def eml_message(message, path):
    subject = header_text(message, "Subject") or ""
    path = path + "/" + key(subject)
    out(path, "subject", subject)
    sender = email.utils.parseaddr(header_text(message, "From") or "")
    out(path, "sender_name", sender[0])
    out(path, "sender_email", sender[1])
    # The display lists as readpst writes them (To, Cc, and the Bcc list in
    # a header of its own); folded lines joined.
    raw = {name.lower(): value for name, value in message.raw_items()}
    for field, header in (("display_to", "to"), ("display_cc", "cc"), ("display_bcc", "x-libpst-forensic-bcc")):
        if header in raw:
            value = str(email.header.make_header(email.header.decode_header(re.sub(r"\r?\n[ \t]+", " ", raw[header]))))
            out(path, field, value.strip())
    body = html = None
    for part in leaf_parts(message):
        filename = part.get_filename()
        ctype = part.get_content_type()
        disposition = part.get("Content-Disposition")
        if filename is None and disposition is None and ctype == "text/plain" and body is None:
            body = part.get_content()
            continue
        if filename is None and disposition is None and ctype == "text/html" and html is None:
            html = part.get_content()
            continue
        if disposition is None and filename is None:
            continue
        if filename == "rtf-body.rtf":
            # readpst runs its LZFu decompressor over the uncompressed
            # ("MELA") container too and writes what comes out: only the
            # size is right. pypff (from the container) and pst-extractor
            # show the RTF itself.
            out(path, "rtf_size", len(part.get_payload(decode=True) or b""))
            continue
        out(path, "attachment", digest(filename or "", part.get_payload(decode=True) or b""))
    for part in message.iter_parts() if message.is_multipart() else []:
        if part.get_content_type() != "message/rfc822":
            continue
        for inner in part.get_payload():
            raw = inner.as_bytes() if not isinstance(inner, (bytes, str)) else inner
            if isinstance(raw, str):
                raw = raw.encode("utf-8")
            raw = raw.lstrip(b"\r\n")
            # readpst starts an embedded message with an mbox "From " line.
            if raw.startswith(b">From ") or raw.startswith(b"From "):
                raw = raw.split(b"\n", 1)[1] if b"\n" in raw else b""
            eml_message(email.message_from_bytes(raw, policy=email.policy.default), path + " >")
    if body is not None:
        out(path, "body", text_value(body))
    if html is not None:
        out(path, "html", text_value(html))


def run_readpst(pst, scratch):
    for folder, root, files in readpst_folders(pst, scratch, "readpst", "-D", "-e"):
        if folder:
            out(folder, "folder", "")
        for name in files:
            if name.endswith(".eml"):
                eml_message(read_eml(os.path.join(root, name)), folder)
    # The contacts as vCards and the appointments as events, keyed like the
    # messages: the first word of the vCard's FN, of the event's SUMMARY.
    def kind_out(where, field, value):
        folder, _, name = where.rpartition("/")
        out(folder + "/" + key(name), field, value)
    kinds_lines.out = kind_out
    kinds_lines.run_readpst(pst, scratch)


def main():
    reader, pst, scratch = sys.argv[1:4]
    if reader == "pypff":
        run_pypff(pst)
    elif reader == "pffexport":
        run_pffexport(pst, scratch)
    elif reader == "readpst":
        run_readpst(pst, scratch)
    else:
        sys.exit("unknown reader " + reader)


if __name__ == "__main__":
    main()
