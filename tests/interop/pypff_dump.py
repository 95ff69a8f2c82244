#!/usr/bin/python3
"""Prints what libpff (through pypff) reads from a PST file as JSON: the
folder tree with every item's main fields, recipients and attachments
(content as SHA-256). Run with /usr/bin/python3, which has pypff.
Usage: pypff_dump.py FILE.pst"""
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


def folder_entry(folder):
    return {
        "name": text(folder.get_name()),
        "items": [message_entry(folder.get_sub_message(i)) for i in range(folder.get_number_of_sub_messages())],
        "folders": [folder_entry(folder.get_sub_folder(i)) for i in range(folder.get_number_of_sub_folders())],
    }


def main():
    pst = pypff.file()
    pst.open(sys.argv[1])
    json.dump({"root": folder_entry(pst.get_root_folder())}, sys.stdout, indent=1)
    sys.stdout.write("\n")
    pst.close()


if __name__ == "__main__":
    main()
