#!/usr/bin/python3
"""Prints the messages of a PST file as one reader shows them, one fact per
line: "<message path>\t<field>\t<value>". A message path is the folder path
and the subject ("Inbox/Hello"); an embedded message adds " > <subject>" to
the path of the message that holds it. Texts are escaped (backslash, tab,
newline), times are UTC "YYYY-MM-DD HH:MM:SS", attachments are
"<name>|<size>|<sha256>", recipients "<type>|<name>|<email>|<address type>".
With "records", every property of every message as pypff parsed it:
"<path>\trecord\t<ID>|<type>|<data in hex>".
Usage: reader_lines.py pypff|pffexport|readpst|records FILE.pst SCRATCH_DIR
Run with /usr/bin/python3, which has pypff."""
import email
import email.policy
import os
import re
import sys

from reader_common import (digest, entry_int, out, pffexport_tree, pypff_sub_folders, read_eml, readpst_folders,
                           record_entries, subject_text, sub_path, with_pypff_root)


# ---------------------------------------------------------------- pypff

def entry_text(entries, tag):
    if tag not in entries:
        return None
    value_type, data = entries[tag]
    data = data or b""
    if value_type == 0x001F:
        return data.decode("utf-16-le", "replace")
    return data.decode("utf-8", "replace")


def time_text(value):
    if value is None:
        return None
    return value.strftime("%Y-%m-%d %H:%M:%S")


def pypff_message(message, path):
    entries = record_entries(message)
    path = path + "/" + subject_text(message.get_subject())
    out(path, "subject", subject_text(message.get_subject()))
    out(path, "body", message.get_plain_text_body())
    out(path, "sender_name", message.get_sender_name())
    out(path, "sender_email", entry_text(entries, 0x0C1F))
    out(path, "class", entry_text(entries, 0x001A))
    out(path, "importance", entry_int(entries, 0x0017))
    out(path, "sensitivity", entry_int(entries, 0x0036))
    out(path, "delivery_time", time_text(message.get_delivery_time()))
    out(path, "client_submit_time", time_text(message.get_client_submit_time()))
    out(path, "creation_time", time_text(message.get_creation_time()))
    out(path, "modification_time", time_text(message.get_modification_time()))
    for i in range(message.get_number_of_attachments()):
        attachment = message.get_attachment(i)
        a = record_entries(attachment)
        name = entry_text(a, 0x3707) or entry_text(a, 0x3704) or entry_text(a, 0x3001)
        if entry_int(a, 0x3705) == 5:
            out(path, "embedded", name)  # pypff does not open embedded messages
            continue
        size = attachment.get_size()
        data = attachment.read_buffer(size) if size else b""
        out(path, "attachment", digest(name, data))


def pypff_folder(folder, path):
    import pypff  # noqa: F401
    for i in range(folder.get_number_of_sub_messages()):
        pypff_message(folder.get_sub_message(i), path)
    for sub, sub_folder_path in pypff_sub_folders(folder, path):
        pypff_folder(sub, sub_folder_path)


def run_pypff(pst):
    with_pypff_root(pst, pypff_folder)


# ---------------------------------------------------------------- pffexport

def header_fields(text):
    fields = {}
    for line in text.splitlines():
        if ":" in line:
            key, _, value = line.partition(":")
            fields.setdefault(key.strip(), value.strip())
    return fields


PFF_TIME = re.compile(r"(\w{3}) (\d\d), (\d{4}) (\d\d):(\d\d):(\d\d)")
MONTHS = {m: i + 1 for i, m in enumerate("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split())}


def pff_time(value):
    m = PFF_TIME.match(value or "")
    if not m:
        return None
    return "%s-%02d-%s %s:%s:%s" % (m.group(3), MONTHS[m.group(1)], m.group(2), m.group(4), m.group(5), m.group(6))


def read(path, mode="r"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8", "errors": "replace", "newline": ""})) as f:
        return f.read()


def pff_message(directory, path):
    headers = header_fields(read(os.path.join(directory, "OutlookHeaders.txt")))
    subject = headers.get("Subject", "")
    path = path + "/" + subject
    out(path, "subject", subject)
    body_file = os.path.join(directory, "Message.txt")
    out(path, "body", read(body_file) if os.path.exists(body_file) else "")
    out(path, "sender_name", headers.get("Sender name"))
    out(path, "sender_email", headers.get("Sender email address"))
    out(path, "importance", headers.get("Importance"))
    out(path, "sensitivity", headers.get("Sensitivity"))
    out(path, "delivery_time", pff_time(headers.get("Delivery time")))
    out(path, "client_submit_time", pff_time(headers.get("Client submit time")))
    out(path, "creation_time", pff_time(headers.get("Creation time")))
    out(path, "modification_time", pff_time(headers.get("Modification time")))
    recipients = os.path.join(directory, "Recipients.txt")
    if os.path.exists(recipients):
        for block in read(recipients).split("\n\n"):
            fields = header_fields(block)
            if not fields:
                continue
            kind = {"To": 1, "CC": 2, "BCC": 3}.get(fields.get("Recipient type"), fields.get("Recipient type"))
            out(path, "recipient", "%s|%s|%s|%s" % (kind, fields.get("Display name", ""),
                                                     fields.get("Email address", ""), fields.get("Address type", "")))
    attachments = os.path.join(directory, "Attachments")
    if os.path.isdir(attachments):
        for name in sorted(os.listdir(attachments)):
            full = os.path.join(attachments, name)
            if os.path.isdir(full):
                for sub in sorted(os.listdir(full)):
                    if sub.startswith("Message"):
                        pff_message(os.path.join(full, sub), path + " >")
                continue
            data = read(full, "rb")
            out(path, "attachment", digest(re.sub(r"^\d+_", "", name), data))


def pff_folder(directory, path):
    for name in sorted(os.listdir(directory)):
        full = os.path.join(directory, name)
        if not os.path.isdir(full):
            continue
        if re.match(r"^(Message|Note|Appointment|Contact|Task|Meeting)\d{5}$", name) and \
                os.path.exists(os.path.join(full, "OutlookHeaders.txt")):
            pff_message(full, path)
        else:
            pff_folder(full, sub_path(path, name))


def run_pffexport(pst, scratch):
    pff_folder(pffexport_tree(pst, scratch, "pffexport"), "")


# ---------------------------------------------------------------- readpst

def eml_message(message, path):
    subject = str(message.get("Subject", ""))
    path = path + "/" + subject
    out(path, "subject", subject)
    sender = email.utils.parseaddr(str(message.get("From", "")))
    out(path, "sender_name", sender[0])
    out(path, "sender_email", sender[1])
    raw = {name.lower(): re.sub(r"\r?\n[ \t]+", " ", value) for name, value in message.raw_items()}
    out(path, "display_to", raw.get("to", "").strip())
    out(path, "display_cc", raw.get("cc", "").strip())
    body = None
    for part in message.iter_parts() if message.is_multipart() else [message]:
        ctype = part.get_content_type()
        if ctype == "message/rfc822":
            # readpst starts an embedded message with an mbox "From " line.
            inner = part.get_payload()
            for embedded in inner if isinstance(inner, list) else [inner]:
                raw = embedded.as_bytes() if not isinstance(embedded, (bytes, str)) else embedded
                if isinstance(raw, str):
                    raw = raw.encode("utf-8")
                raw = raw.lstrip(b"\r\n")
                if raw.startswith(b">From ") or raw.startswith(b"From "):
                    raw = raw.split(b"\n", 1)[1] if b"\n" in raw else b""
                eml_message(email.message_from_bytes(raw, policy=email.policy.default), path + " >")
            continue
        if part.is_multipart():
            for sub in part.iter_parts():
                if sub.get_content_type() == "text/plain" and body is None:
                    body = sub.get_content()
            continue
        filename = part.get_filename()
        if ctype == "text/plain" and filename is None and body is None:
            body = part.get_content()
            continue
        if part.get("Content-Disposition") is None and filename is None:
            continue
        data = part.get_payload(decode=True) or b""
        out(path, "attachment", digest(filename or "", data))
    out(path, "body", body or "")


def run_readpst(pst, scratch):
    for folder, root, files in readpst_folders(pst, scratch, "readpst", "-D", "-e"):
        for name in files:
            if name.endswith(".eml"):
                eml_message(read_eml(os.path.join(root, name)), folder)


def pypff_records(folder, path):
    for i in range(folder.get_number_of_sub_messages()):
        message = folder.get_sub_message(i)
        where = path + "/" + subject_text(message.get_subject())
        for tag, (value_type, data) in sorted(record_entries(message).items()):
            out(where, "record", "%04X|%04X|%s" % (tag, value_type, (data or b"").hex()))
    for sub, sub_folder_path in pypff_sub_folders(folder, path):
        pypff_records(sub, sub_folder_path)


def run_records(pst):
    with_pypff_root(pst, pypff_records)


def main():
    reader, pst, scratch = sys.argv[1:4]
    if reader == "records":
        run_records(pst)
    elif reader == "pypff":
        run_pypff(pst)
    elif reader == "pffexport":
        run_pffexport(pst, scratch)
    elif reader == "readpst":
        run_readpst(pst, scratch)
    else:
        sys.exit("unknown reader " + reader)


if __name__ == "__main__":
    main()
