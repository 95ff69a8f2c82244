#!/usr/bin/python3
"""Prints what one reader shows of the file same_calls_host writes, as one
line per folder and one per item, sorted, so that the views of two builds of
the library can be compared line by line.

A folder's line is "<folder path>\tfolder\t<field>=<value>...", an item's
"<folder path>/<subject>\t<field>=<value>...". Values are escaped
(backslash, tab, newline); a text, an attachment or a property list is shown
as "<first 16 hex digits of its SHA-256>|<size>". The folders are the ones
below the IPM subtree, as readpst names them.

Left out is what the library sets afresh on every run and what a reader
makes up itself, each named below where it is dropped: entry IDs, record
and search keys, the GUIDs of conversation indexes and replication, times
the library stamps with the clock, readpst's own time stamp and UIDs.

Readers:
  pypff      the libpff Python binding: folders with their records and
             counts, items with their main fields and a digest of every
             record but the ones left out;
  pffexport  libpff's exporter (-f all): the header, item, recipient and
             body files and the attachments;
  readpst    libpst: the EML files, vCards and iCalendar events of
             readpst -e (readpst writes no tasks and sticky notes).

Usage: same_calls_dump.py pypff|pffexport|readpst FILE.pst SCRATCH_DIR
Run with /usr/bin/python3, which has pypff."""
import email.header
import email.utils
import hashlib
import os
import re
import sys

from reader_common import (entry_int, entry_text, esc, pffexport_tree, pypff_sub_folders, read_eml, readpst_folders,
                           record_entries, subject_text, sub_path, with_pypff_root)
from reader_lines import read

lines = []


def top_path(path):
    if path == "Start of IPM tree":
        return ""
    if path.startswith("Start of IPM tree/"):
        return path[len("Start of IPM tree/"):]
    return path


def line(path, kind, fields):
    """One line of `fields`, a list of (name, value); None values are left out."""
    parts = [top_path(path)] + ([kind] if kind else [])
    parts += ["%s=%s" % (name, esc(value)) for name, value in fields if value is not None]
    lines.append("\t".join(parts))


def digest(data):
    if data is None:
        return None
    if isinstance(data, str):
        data = data.encode("utf-8")
    return "%s|%d" % (hashlib.sha256(data).hexdigest()[:16], len(data))


def attachment(name, data):
    return "%s|%s" % (name, digest(data))


def utc(value):
    return value.strftime("%Y-%m-%d %H:%M:%S") if value is not None else None


# ---------------------------------------------------------------- pypff

# Records the library sets afresh on every run: the item's replication
# GUID (0x0E30); an attachment's exception start and end times (0x7FFB,
# 0x7FFC), which it stamps with the clock. Entry IDs and keys are not
# records of an item in libpff.
PYPFF_VOLATILE = {0x0E30, 0x7FFB, 0x7FFC}
# Named properties the library stamps with the clock on an appointment (its
# whole-day start and end, 0x80B7 and 0x80B8 in this file's name map) and a
# task (its start, due, reminder and first-effective times, 0x8010 to
# 0x8013). Their IDs follow from the order the calls add names in.
PYPFF_VOLATILE_NAMED = {"IPM.Appointment": {0x80B7, 0x80B8}, "IPM.Task": {0x8010, 0x8011, 0x8012, 0x8013}}


def records_digest(entries, leave_out=()):
    text = ""
    for tag, (value_type, data) in sorted(entries.items()):
        if tag in PYPFF_VOLATILE or tag in leave_out:
            continue
        text += "%04X|%04X|%s\n" % (tag, value_type, (data or b"").hex())
    return digest(text)


def pypff_message(message, path):
    entries = record_entries(message, missing=b"")
    cls = entry_text(entries, 0x001A)
    subject = subject_text(entry_text(entries, 0x0037))
    fields = [("class", cls), ("subject", subject),
              ("sender", "%s <%s>" % (entry_text(entries, 0x0C1A), entry_text(entries, 0x0C1F))),
              ("to", entry_text(entries, 0x0E04)), ("cc", entry_text(entries, 0x0E03)),
              ("bcc", entry_text(entries, 0x0E02)),
              ("importance", entry_int(entries, 0x0017)), ("flags", entry_int(entries, 0x0E07)),
              ("submit", utc(message.get_client_submit_time())), ("delivery", utc(message.get_delivery_time())),
              ("created", utc(message.get_creation_time())), ("modified", utc(message.get_modification_time()))]
    for name, getter in (("body", message.get_plain_text_body), ("html", message.get_html_body)):
        try:
            fields.append((name, digest(getter())))
        except OSError as e:
            fields.append((name, "<error: %s>" % str(e).splitlines()[0]))
    attachments = []
    for i in range(message.get_number_of_attachments()):
        a = message.get_attachment(i)
        a_entries = record_entries(a, missing=b"")
        name = entry_text(a_entries, 0x3707) or entry_text(a_entries, 0x3704)
        size = a.get_size()
        attachments.append(attachment(name, a.read_buffer(size) if size else b""))
        attachments.append("records:" + records_digest(a_entries))
    if attachments:
        fields.append(("attachments", "; ".join(attachments)))
    fields.append(("records", records_digest(entries, PYPFF_VOLATILE_NAMED.get(cls, ()))))
    line(sub_path(path, subject), None, fields)


def pypff_folder(folder, path):
    entries = record_entries(folder, missing=b"")
    if path:
        line(path, "folder", [("class", entry_text(entries, 0x3613)),
                              ("items", folder.get_number_of_sub_messages()),
                              ("folders", folder.get_number_of_sub_folders()),
                              ("content_count", entry_int(entries, 0x3602)),
                              ("records", records_digest(entries))])
    for i in range(folder.get_number_of_sub_messages()):
        pypff_message(folder.get_sub_message(i), path)
    for sub, sub_folder_path in pypff_sub_folders(folder, path):
        pypff_folder(sub, sub_folder_path)


# ---------------------------------------------------------------- pffexport

ITEM_DIR = re.compile(r"^(Message|Contact|Appointment|Task|Note|Activity|Meeting)\d{5}$")

# Fields of pffexport's item files that the library stamps with the clock:
# an appointment's first and last effective times, a task's reminder time.
PFF_VOLATILE = {"First effective time", "Last effective time", "Reminder time"}


def item_fields(text):
    """The "name: value" lines of an item text file before its body."""
    fields = []
    for l in text.split("\n"):
        if l.rstrip("\r") == "Body:":
            break
        name, sep, value = l.partition(":")
        if sep and value.strip() and name.strip() not in PFF_VOLATILE:
            fields.append((name.strip(), value.strip()))
    return fields


def pff_item(directory, path, kind):
    files = sorted(os.listdir(directory))
    fields = []
    # The header file, and the item file of a kind other than a message
    # (a message's Message.txt is its body).
    for name in ("OutlookHeaders.txt", kind + ".txt"):
        if name in files and name != "Message.txt":
            fields += item_fields(read(os.path.join(directory, name)))
    subject = dict(fields).get("Subject", "")
    fields = [("kind", kind)] + fields
    if "Recipients.txt" in files:
        recipients = []
        for block in read(os.path.join(directory, "Recipients.txt")).split("\n\n"):
            pairs = item_fields(block)
            if pairs:
                recipients.append("|".join(v for _, v in pairs))
        fields.append(("recipients", "; ".join(recipients)))
    for name, file in (("body", "Message.txt"), ("html", "Message.html"), ("rtf", "Message.rtf")):
        if file in files:
            with open(os.path.join(directory, file), "rb") as f:
                fields.append((name, digest(f.read())))
    # ConversationIndex.txt holds the time and GUID the library makes the
    # index of; it is left out.
    attachments = os.path.join(directory, "Attachments")
    if os.path.isdir(attachments):
        shown = []
        for name in sorted(os.listdir(attachments)):
            with open(os.path.join(attachments, name), "rb") as f:
                shown.append(attachment(name, f.read()))
        fields.append(("attachments", "; ".join(shown)))
    line(sub_path(path, subject), None, fields)


def pff_folder(directory, path):
    names = sorted(os.listdir(directory))
    items = [n for n in names if ITEM_DIR.match(n) and os.path.isdir(os.path.join(directory, n))]
    folders = [n for n in names if not ITEM_DIR.match(n) and os.path.isdir(os.path.join(directory, n))]
    if path:
        line(path, "folder", [("items", len(items)), ("folders", len(folders))])
    for name in items:
        pff_item(os.path.join(directory, name), path, ITEM_DIR.match(name).group(1))
    for name in folders:
        pff_folder(os.path.join(directory, name), sub_path(path, name))


# ---------------------------------------------------------------- readpst

# readpst's own stamps: its PRODID, the time it ran (DTSTAMP) and the UID it
# makes of the item's node ID.
READPST_VOLATILE = {"PRODID", "DTSTAMP", "UID"}


def header(message, name):
    value = message.get(name)
    if value is None:
        return None
    return str(email.header.make_header(email.header.decode_header(re.sub(r"\r?\n[ \t]+", " ", str(value)))))


def eml_item(path, message):
    subject = header(message, "Subject") or ""
    fields = [("kind", "eml"), ("subject", subject)]
    for name in ("From", "To", "Cc", "X-libpst-forensic-bcc", "Date", "Importance", "X-Priority"):
        fields.append((name.lower(), header(message, name)))
    body = html = None
    shown = []
    for part in message.walk():
        if part.is_multipart():
            continue
        filename = part.get_filename()
        ctype = part.get_content_type()
        if filename is None and part.get("Content-Disposition") is None:
            if ctype == "text/plain" and body is None:
                body = part.get_payload(decode=True)
                fields.append(("charset", part.get_content_charset()))
                continue
            if ctype == "text/html" and html is None:
                html = part.get_payload(decode=True)
                continue
        shown.append(attachment(filename or "", part.get_payload(decode=True) or b""))
    fields += [("body", digest(body)), ("html", digest(html))]
    if shown:
        fields.append(("attachments", "; ".join(shown)))
    line(sub_path(path, subject), None, fields)


def vobject_items(path, text):
    """Each VCARD and VEVENT of a readpst file as one item line."""
    unfolded = []
    for l in text.replace("\r\n", "\n").split("\n"):
        if l.startswith((" ", "\t")) and unfolded:
            unfolded[-1] += l[1:]
        elif l:
            unfolded.append(l)
    current = None
    for l in unfolded:
        key, _, value = l.partition(":")
        if key == "BEGIN" and value in ("VCARD", "VEVENT"):
            current = [("kind", value)]
        elif key == "END" and value in ("VCARD", "VEVENT") and current is not None:
            title = dict(current).get("FN") or dict(current).get("SUMMARY") or ""
            line(sub_path(path, title), None, current)
            current = None
        elif current is not None and key not in READPST_VOLATILE:
            current.append((key, value))


def run_readpst(pst, scratch):
    for folder, root, files in readpst_folders(pst, scratch, "readpst", "-D", "-e"):
        if folder:
            dirs = [d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d))]
            line(folder, "folder", [("files", len(files)), ("folders", len(dirs))])
        for name in files:
            full = os.path.join(root, name)
            if name.endswith(".eml"):
                eml_item(folder, read_eml(full))
            elif name.endswith((".vcf", ".ics")):
                with open(full, encoding="utf-8", errors="replace") as f:
                    vobject_items(folder, f.read())


def main():
    reader, pst, scratch = sys.argv[1:4]
    os.makedirs(scratch, exist_ok=True)
    if reader == "pypff":
        with_pypff_root(pst, pypff_folder)
    elif reader == "pffexport":
        pff_folder(pffexport_tree(pst, scratch, "pffexport", "-f", "all"), "")
    elif reader == "readpst":
        run_readpst(pst, scratch)
    else:
        sys.exit("unknown reader " + reader)
    sys.stdout.write("".join(l + "\n" for l in sorted(lines)))


if __name__ == "__main__":
    main()
