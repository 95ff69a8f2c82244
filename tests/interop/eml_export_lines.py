#!/usr/bin/python3
"""Prints what Python's email package reads from the .eml files below a
directory, one fact per line: "<file>\t<field>\t<value>". <file> is the path
relative to the directory; an embedded message (message/rfc822 part) adds
" > <subject>" to the path of the message that holds it. Fields: the
headers subject, from, to, cc, x-priority, date (as UTC "YYYY-MM-DD
HH:MM:SS"), the content type and charset of the text part as "type", the
text as "body", attachments as "attachment" "<name>|<size>|<sha256>", and
"defect" for every defect the parser met. Texts are escaped (backslash,
tab, CR, LF).
Usage: eml_export_lines.py DIRECTORY"""
import datetime
import email
import email.policy
import email.utils
import hashlib
import os
import sys

from reader_common import esc


def out(path, field, value):
    sys.stdout.write("%s\t%s\t%s\n" % (path, field, esc(value)))


def text_of(part):
    charset = part.get_content_charset() or "us-ascii"
    data = part.get_payload(decode=True) or b""
    return data.decode(charset)


def message_lines(message, path):
    for defect in message.defects:
        out(path, "defect", type(defect).__name__)
    for name in ("subject", "from", "to", "cc", "bcc", "x-priority"):
        if message[name] is not None:
            out(path, name, str(message[name]))
    if message["date"] is not None:
        when = email.utils.parsedate_to_datetime(str(message["date"])).astimezone(datetime.timezone.utc)
        out(path, "date", when.strftime("%Y-%m-%d %H:%M:%S"))
    parts = list(message.iter_parts()) if message.is_multipart() else [message]
    for index, part in enumerate(parts):
        for defect in part.defects:
            out(path, "defect", type(defect).__name__)
        ctype = part.get_content_type()
        if ctype == "message/rfc822":
            inner = part.get_payload(0)
            message_lines(inner, path + " > " + str(inner["subject"] or ""))
        elif index == 0 and ctype.startswith("text/"):
            out(path, "type", "%s;%s;%s" % (ctype, part.get_content_charset() or "",
                                            part["content-transfer-encoding"] or ""))
            out(path, "body", text_of(part))
        else:
            data = part.get_payload(decode=True) or b""
            out(path, "attachment", "%s|%d|%s" % (part.get_filename(), len(data), hashlib.sha256(data).hexdigest()))


def main():
    root = sys.argv[1]
    for directory, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            if not name.endswith(".eml"):
                continue
            full = os.path.join(directory, name)
            with open(full, "rb") as f:
                message = email.message_from_binary_file(f, policy=email.policy.default)
            message_lines(message, os.path.relpath(full, root))


if __name__ == "__main__":
    main()
