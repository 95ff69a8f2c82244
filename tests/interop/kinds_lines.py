#!/usr/bin/python3
"""Prints the contacts, appointments, tasks and sticky notes of a PST file as
one reader shows them, one fact per line: "<folder>/<name>\t<field>\t<value>",
where <name> is the item's subject (a vCard's FN, an event's SUMMARY).
readpst: the vCards (-cv) and iCalendar events it writes, one line per
property (the field is the property with its parameters, an alarm's
properties start with "VALARM."); pffexport: the fields of its item text
files; pypff: the message class and every string or integer record by ID
("record:XXXX").
Usage: kinds_lines.py readpst|pffexport|pypff FILE.pst SCRATCH_DIR
Run with /usr/bin/python3, which has pypff."""
import os
import re
import sys

from reader_common import (out, pffexport_tree, pypff_sub_folders, readpst_folders, record_entries, subject_text,
                           with_pypff_root)


# ---------------------------------------------------------------- readpst

def unfolded(text):
    lines = []
    for line in text.replace("\r\n", "\n").split("\n"):
        if line.startswith((" ", "\t")) and lines:
            lines[-1] += line[1:]
        elif line:
            lines.append(line)
    return lines


def vobjects(text, kind):
    """The properties of each BEGIN:<kind> ... END:<kind> block."""
    objects, current, prefix = [], None, ""
    for line in unfolded(text):
        key, _, value = line.partition(":")
        if key == "BEGIN" and value == kind:
            current = []
        elif key == "END" and value == kind and current is not None:
            objects.append(current)
            current = None
        elif current is not None:
            if key == "BEGIN":
                prefix = value + "."
            elif key == "END":
                prefix = ""
            else:
                current.append((prefix + key, value))
    return objects


def run_readpst(pst, scratch):
    for folder, root, files in readpst_folders(pst, scratch, "readpst-kinds", "-cv", "-r"):
        for name in files:
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                text = f.read()
            for kind, title in (("VCARD", "FN"), ("VEVENT", "SUMMARY")):
                for properties in vobjects(text, kind):
                    values = dict(properties)
                    path = folder + "/" + values.get(title, "")
                    out(path, "kind", kind)
                    for key, value in properties:
                        out(path, key, value)


# ---------------------------------------------------------------- pffexport

def run_pffexport(pst, scratch):
    base = pffexport_tree(pst, scratch, "pffexport-kinds")
    for root, dirs, files in sorted(os.walk(base)):
        m = re.match(r"^(Contact|Appointment|Task|Note)\d{5}$", os.path.basename(root))
        if not m or m.group(1) + ".txt" not in files:
            continue
        with open(os.path.join(root, m.group(1) + ".txt"), encoding="utf-8", errors="replace") as f:
            text = f.read()
        fields = []
        for line in text.split("\n"):
            if line == "Body:":
                break
            key, sep, value = line.partition(":")
            if sep and value.strip():
                fields.append((key.strip(), value.strip()))
        values = dict(fields)
        folder = os.path.relpath(os.path.dirname(root), base)
        path = folder + "/" + values.get("Subject", "")
        out(path, "kind", m.group(1))
        for key, value in fields:
            out(path, key, value)


# ---------------------------------------------------------------- pypff

def pypff_folder(folder, path):
    for i in range(folder.get_number_of_sub_messages()):
        message = folder.get_sub_message(i)
        where = path + "/" + subject_text(message.get_subject())
        for tag, (value_type, data) in sorted(record_entries(message, missing=b"").items()):
            if value_type == 0x001F:
                value = data.decode("utf-16-le", "replace")
            elif value_type == 0x001E:
                value = data.decode("utf-8", "replace")
            elif value_type in (0x0003, 0x000B):
                value = str(int.from_bytes(data[:4], "little"))
            elif value_type == 0x0040:
                value = str(int.from_bytes(data[:8], "little"))
            else:
                continue
            if tag == 0x001A:
                out(where, "class", value)
            out(where, "record:%04X" % tag, value)
    for sub, sub_folder_path in pypff_sub_folders(folder, path):
        pypff_folder(sub, sub_folder_path)


def run_pypff(pst):
    with_pypff_root(pst, pypff_folder)


def main():
    reader, pst, scratch = sys.argv[1:4]
    if reader == "readpst":
        run_readpst(pst, scratch)
    elif reader == "pffexport":
        run_pffexport(pst, scratch)
    elif reader == "pypff":
        run_pypff(pst)
    else:
        sys.exit("unknown reader " + reader)


if __name__ == "__main__":
    main()
