#!/usr/bin/python3
"""Prints what libpff (through pypff) reads from a PST file as JSON: the
folder tree with every item's main fields, recipients and attachments
(content as SHA-256). Run with /usr/bin/python3, which has pypff.
With --folders only the folder tree is printed, one line per folder in
preorder: depth, name and container class separated by tabs.
Usage: pypff_dump.py [--folders] FILE.pst"""
import hashlib
import json
import sys

import pypff


def text(value):
    if value is None:
        return None
    if isinstance(value, bytes):
        return value.decode("utf-8", "replace")
    return value


def attachment_entry(attachment):
    entry = {"name": text(getattr(attachment, "name", None))}
    try:
        size = attachment.get_size()
        data = attachment.read_buffer(size) if size else b""
        entry["size"] = len(data)
        entry["sha256"] = hashlib.sha256(data).hexdigest()
    except (IOError, OSError) as error:
        entry["error"] = str(error)
    return entry


def message_entry(message):
    entry = {
        "subject": text(message.get_subject()),
        "sender_name": text(message.get_sender_name()),
        "plain_body": text(message.get_plain_text_body()),
        "html_body": text(message.get_html_body()),
        "transport_headers": text(message.get_transport_headers()),
        "delivery_time": str(message.get_delivery_time()) if message.get_delivery_time() else None,
        "client_submit_time": str(message.get_client_submit_time()) if message.get_client_submit_time() else None,
        "attachments": [attachment_entry(message.get_attachment(i)) for i in range(message.get_number_of_attachments())],
    }
    try:
        entry["rtf_body"] = text(message.get_rtf_body())
    except (IOError, OSError) as error:
        entry["rtf_body_error"] = str(error)
    return entry


PR_DISPLAY_NAME = 0x3001
PR_CONTAINER_CLASS = 0x3613


def string_entry(folder, entry_type):
    """A string property of the folder's record set as libpff parsed it,
    decoded here by its type (UTF-16LE for 0x001F, else UTF-8)."""
    for i in range(folder.get_number_of_record_sets()):
        record_set = folder.get_record_set(i)
        for j in range(record_set.get_number_of_entries()):
            entry = record_set.get_entry(j)
            if entry.get_entry_type() != entry_type:
                continue
            data = entry.get_data() or b""
            if entry.get_value_type() == 0x001F:
                return data.decode("utf-16-le", "replace")
            return data.decode("utf-8", "replace")
    return None


def container_class(folder):
    return string_entry(folder, PR_CONTAINER_CLASS)


def folder_name(folder):
    """The display name. libpff 20180714 turns UTF-16 surrogate pairs into
    code points 0x3FF too low (U+1F600 comes out as U+1F201), so names are
    decoded from the parsed record rather than through get_name()."""
    name = string_entry(folder, PR_DISPLAY_NAME)
    return name if name is not None else text(folder.get_name())


def folder_entry(folder):
    return {
        "name": folder_name(folder),
        "container_class": container_class(folder),
        "items": [message_entry(folder.get_sub_message(i)) for i in range(folder.get_number_of_sub_messages())],
        "folders": [folder_entry(folder.get_sub_folder(i)) for i in range(folder.get_number_of_sub_folders())],
    }


def print_folders(folder, depth):
    name = folder_name(folder)
    sys.stdout.write("%d\t%s\t%s\n" % (depth, "" if name is None else name, container_class(folder) or ""))
    for i in range(folder.get_number_of_sub_folders()):
        print_folders(folder.get_sub_folder(i), depth + 1)


def main():
    args = sys.argv[1:]
    folders_only = args[:1] == ["--folders"]
    pst = pypff.file()
    pst.open(args[1] if folders_only else args[0])
    if folders_only:
        print_folders(pst.get_root_folder(), 0)
    else:
        json.dump({"root": folder_entry(pst.get_root_folder())}, sys.stdout, indent=1)
        sys.stdout.write("\n")
    pst.close()


if __name__ == "__main__":
    main()
