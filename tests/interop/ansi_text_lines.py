#!/usr/bin/python3
"""Prints the texts of an ANSI PST file as one reader shows them, one per
line: "<kind>\t<text>" with the kinds folder, subject, body, sender and
recipient. The file's 8-bit strings are in a Windows code page; the readers
are told it where they take one: pypff by set_ascii_codepage, readpst by -C
(its code page for items that name none, such as folders), pffexport by -c.
Usage: ansi_text_lines.py pypff|readpst|pffexport CODEPAGE FILE.pst SCRATCH_DIR
Run with /usr/bin/python3, which has pypff."""
import email
import email.policy
import os
import shutil
import subprocess
import sys

from reader_common import esc, subject_text


def line(kind, text):
    # Bodies derived from HTML start with the line breaks of their tags, which
    # each reader writes in its own way.
    if kind == "body" and text:
        text = text.strip()
    sys.stdout.write("%s\t%s\n" % (kind, esc(text)))


def pypff_folder(folder, codepage):
    for i in range(folder.get_number_of_sub_messages()):
        message = folder.get_sub_message(i)
        line("subject", subject_text(message.get_subject()))
        line("body", message.get_plain_text_body())
        line("sender", message.get_sender_name())
    for i in range(folder.get_number_of_sub_folders()):
        sub = folder.get_sub_folder(i)
        line("folder", sub.get_name() or "")
        pypff_folder(sub, codepage)


def run_pypff(pst, codepage):
    import pypff
    f = pypff.file()
    f.set_ascii_codepage("windows-" + codepage[2:])
    f.open(pst)
    pypff_folder(f.get_root_folder(), codepage)
    f.close()


def run_readpst(pst, codepage, scratch):
    target = os.path.join(scratch, "readpst")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    subprocess.run(["readpst", "-C", "windows-" + codepage[2:], "-j", "0", "-D", "-e", "-o", target, pst],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for root, dirs, files in sorted(os.walk(target)):
        for name in dirs:
            line("folder", name)
        for name in sorted(files):
            if not name.endswith(".eml"):
                continue
            with open(os.path.join(root, name), "rb") as f:
                message = email.message_from_binary_file(f, policy=email.policy.default)
            line("subject", str(message.get("Subject", "")))
            line("sender", email.utils.parseaddr(str(message.get("From", "")))[0])
            for header in ("To", "Cc"):
                for address in message.get_all(header, []):
                    for one in str(address).split(","):
                        # readpst writes a recipient without an address as its name alone.
                        one = one.strip()
                        line("recipient", email.utils.parseaddr(one)[0] if "<" in one else one.strip('"'))
            for part in message.walk():
                if part.get_content_type() == "text/plain" and part.get_filename() is None:
                    line("body", part.get_content())
                    break


def run_pffexport(pst, codepage, scratch):
    target = os.path.join(scratch, "pffexport")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    subprocess.run(["pffexport", "-q", "-c", "windows-" + codepage[2:], "-t", os.path.join(target, "out"), pst],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for root, dirs, files in sorted(os.walk(target)):
        for name in dirs:
            if not name.startswith("Message") and not name.startswith("Attachment") and name not in ("Recipients",):
                line("folder", name)
        if "OutlookHeaders.txt" in files:
            with open(os.path.join(root, "OutlookHeaders.txt"), encoding="utf-8", errors="replace") as f:
                for text in f.read().splitlines():
                    key, _, value = text.partition(":")
                    if key.strip() == "Subject":
                        line("subject", subject_text(value.strip()))
                    elif key.strip() == "Sender name":
                        line("sender", value.strip())
        if "Message.txt" in files:
            with open(os.path.join(root, "Message.txt"), encoding="utf-8", errors="replace", newline="") as f:
                line("body", f.read())
        if "Recipients.txt" in files:
            with open(os.path.join(root, "Recipients.txt"), encoding="utf-8", errors="replace") as f:
                for text in f.read().splitlines():
                    key, _, value = text.partition(":")
                    if key.strip() == "Display name":
                        line("recipient", value.strip())


def main():
    reader, codepage, pst, scratch = sys.argv[1:5]
    if reader == "pypff":
        run_pypff(pst, codepage)
    elif reader == "readpst":
        run_readpst(pst, codepage, scratch)
    else:
        run_pffexport(pst, codepage, scratch)


if __name__ == "__main__":
    main()
