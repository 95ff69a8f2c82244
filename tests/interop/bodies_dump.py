#!/usr/bin/python3
"""Writes the bodies of the messages of a PST file, as one reader shows them,
into files of a directory: "<subject>.plain" and "<subject>.html" as UTF-8
text, "<subject>.rtf" as the RTF bytes (for readpst: its rtf-body.rtf
attachment). A body the reader does not show has no file. Subjects are plain
ASCII names.
Usage: bodies_dump.py pypff|readpst FILE.pst OUT_DIR
Run with /usr/bin/python3, which has pypff."""
import email
import email.policy
import os
import shutil
import subprocess
import sys

from reader_common import record_entries, subject_text


def write(out_dir, name, data):
    if data is None:
        return
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- pypff

def shown(getter):
    """A body as pypff gives it; pypff reports a body property of no bytes
    as an error (missing value data): that is an empty body."""
    try:
        return getter()
    except OSError as e:
        if "missing value data" in str(e):
            return b""
        raise


def string_entry(entries, tag, codepage):
    value_type, data = entries[tag]
    if value_type == 0x001F:
        return data.decode("utf-16-le").rstrip("\0")
    return data.decode(codepage).rstrip("\0")


def mela_rtf(container):
    """The RTF of an uncompressed ("MELA") compressed-RTF container. pypff's
    get_rtf_body runs its LZFu decompressor over any container and fails on
    this form, so the RTF is taken from the property as pypff reads it."""
    if len(container) < 16 or container[8:12] != b"MELA":
        return None
    raw_size = int.from_bytes(container[4:8], "little")
    if int.from_bytes(container[0:4], "little") != raw_size + 12 or len(container) != raw_size + 16:
        return None
    if container[12:16] != bytes(4):  # the CRC field is 0 in the uncompressed form
        return None
    return container[16:]


def pypff_folder(folder, out_dir, codepage_files):
    for i in range(folder.get_number_of_sub_messages()):
        message = folder.get_sub_message(i)
        subject = subject_text(message.get_subject())
        entries = record_entries(message, missing=b"")
        codepage = "cp%d" % int.from_bytes(entries[0x3FDE][1][:4], "little") if 0x3FDE in entries else "cp1252"
        plain = shown(message.get_plain_text_body)
        if plain is None and 0x1000 in entries:
            plain = b""  # pypff gives no text for a body of no characters
        if plain and entries[0x1000][0] == 0x001E and codepage != "cp1252":
            # pypff reads 8-bit text in the code page it is told (1252 unless
            # set): read the same message again in the message's code page.
            plain = codepage_files(codepage)[subject].get_plain_text_body()
        write(out_dir, subject + ".plain", plain)
        if shown(message.get_html_body) is not None:
            write(out_dir, subject + ".html", string_entry(entries, 0x1013, codepage))
        if 0x1009 in entries:
            write(out_dir, subject + ".rtf", mela_rtf(entries[0x1009][1]))
    for i in range(folder.get_number_of_sub_folders()):
        pypff_folder(folder.get_sub_folder(i), out_dir, codepage_files)


def messages_by_subject(folder, found):
    for i in range(folder.get_number_of_sub_messages()):
        message = folder.get_sub_message(i)
        found[subject_text(message.get_subject())] = message
    for i in range(folder.get_number_of_sub_folders()):
        messages_by_subject(folder.get_sub_folder(i), found)
    return found


def run_pypff(pst, out_dir):
    import pypff
    opened = {}

    def codepage_files(codepage):
        if codepage not in opened:
            f = pypff.file()
            f.set_ascii_codepage("windows-" + codepage[2:])
            f.open(pst)
            opened[codepage] = (f, messages_by_subject(f.get_root_folder(), {}))
        return opened[codepage][1]

    f = pypff.file()
    f.open(pst)
    pypff_folder(f.get_root_folder(), out_dir, codepage_files)
    f.close()
    for other, _ in opened.values():
        other.close()


# ---------------------------------------------------------------- readpst

def readpst_message(message, out_dir):
    subject = str(message.get("Subject", ""))
    for part in message.walk():
        if part.is_multipart():
            continue
        ctype = part.get_content_type()
        filename = part.get_filename()
        if filename == "rtf-body.rtf":
            write(out_dir, subject + ".rtf", part.get_payload(decode=True) or b"")
        elif filename is None and ctype == "text/plain" and not os.path.exists(os.path.join(out_dir, subject + ".plain")):
            write(out_dir, subject + ".plain", part.get_content())
        elif filename is None and ctype == "text/html" and not os.path.exists(os.path.join(out_dir, subject + ".html")):
            write(out_dir, subject + ".html", part.get_content())


def run_readpst(pst, out_dir):
    target = os.path.join(out_dir, "readpst")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    subprocess.run(["readpst", "-j", "0", "-D", "-e", "-o", target, pst], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    for root, _, files in sorted(os.walk(target)):
        for name in sorted(files):
            if name.endswith(".eml"):
                with open(os.path.join(root, name), "rb") as f:
                    readpst_message(email.message_from_binary_file(f, policy=email.policy.default), out_dir)
    shutil.rmtree(target, ignore_errors=True)


def main():
    reader, pst, out_dir = sys.argv[1:4]
    os.makedirs(out_dir, exist_ok=True)
    if reader == "pypff":
        run_pypff(pst, out_dir)
    elif reader == "readpst":
        run_readpst(pst, out_dir)
    else:
        sys.exit("unknown reader " + reader)


if __name__ == "__main__":
    main()
