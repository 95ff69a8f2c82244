"""What the reader scripts share: one fact per line with escaped values, the
subject without its prefix code, pypff's records of an item by tag, and the
runs of pypff, pffexport and readpst over a file."""
import email
import email.policy
import hashlib
import os
import shutil
import subprocess
import sys


def esc(value):
    if value is None:
        return ""
    if isinstance(value, bytes):
        value = value.decode("utf-8", "replace")
    return str(value).replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def out(path, field, value):
    # The folders below the IPM subtree, as readpst names them.
    if path.startswith("Start of IPM tree/"):
        path = path[len("Start of IPM tree/"):]
    sys.stdout.write("%s\t%s\t%s\n" % (path, field, esc(value)))


def subject_text(subject):
    if subject is None:
        return ""
    if isinstance(subject, bytes):
        subject = subject.decode("utf-8", "replace")
    # The subject prefix code (1, prefix length + 1), where a reader keeps it.
    if len(subject) >= 2 and subject[0] == "\x01":
        subject = subject[2:]
    return subject


def record_entries(item, missing=None):
    """Every record of a pypff item: tag -> (value type, data); a record
    without data gets `missing`."""
    entries = {}
    for i in range(item.get_number_of_record_sets()):
        record_set = item.get_record_set(i)
        for j in range(record_set.get_number_of_entries()):
            entry = record_set.get_entry(j)
            data = entry.get_data()
            entries[entry.get_entry_type()] = (entry.get_value_type(), data if data is not None else missing)
    return entries


def entry_int(entries, tag):
    """A 32-bit record of pypff's `entries` as a signed number, or None."""
    if tag not in entries or entries[tag][1] is None:
        return None
    return int.from_bytes(entries[tag][1][:4], "little", signed=True)


# libpff reads the 8-bit strings of a file in the code page it is given,
# windows-1252 unless told otherwise, as the readers of the mail client's
# ANSI files do.
PYPFF_CODEPAGE = "cp1252"


def entry_text(entries, tag):
    """A string record's text (UTF-16 or 8-bit in PYPFF_CODEPAGE), without its
    terminating zero; None when the record is absent or not a string."""
    if tag not in entries:
        return None
    value_type, data = entries[tag]
    data = data or b""
    if value_type == 0x001F:
        return data.decode("utf-16-le", "replace").rstrip("\0")
    if value_type == 0x001E:
        return data.decode(PYPFF_CODEPAGE, "replace").rstrip("\0")
    return None


def digest(name, data):
    """An attachment as one value: its name, size and SHA-256."""
    return "%s|%d|%s" % (name, len(data), hashlib.sha256(data).hexdigest())


def sub_path(path, name):
    """The path of folder `name` below `path`; the top folder's path is ""."""
    return (path + "/" if path else "") + name


def pypff_sub_folders(folder, path):
    """Each sub-folder of a pypff folder with its path."""
    for i in range(folder.get_number_of_sub_folders()):
        sub = folder.get_sub_folder(i)
        yield sub, sub_path(path, sub.get_name() or "")


def with_pypff_root(pst, visit):
    """Opens `pst` with pypff and calls visit(root folder, "")."""
    import pypff
    f = pypff.file()
    f.open(pst)
    visit(f.get_root_folder(), "")
    f.close()


def run_quiet(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def pffexport_tree(pst, scratch, name, *options):
    """Exports `pst` with pffexport below scratch/name; returns the export's top directory."""
    target = os.path.join(scratch, name)
    shutil.rmtree(target + ".export", ignore_errors=True)
    run_quiet(["pffexport", "-q", *options, "-t", target, pst])
    return target + ".export"


def readpst_folders(pst, scratch, name, *options):
    """Exports `pst` with readpst into scratch/name and yields each directory
    it wrote, in order, as (folder path, directory, sorted file names)."""
    target = os.path.join(scratch, name)
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    run_quiet(["readpst", "-j", "0", *options, "-o", target, pst])
    for root, _, files in sorted(os.walk(target)):
        folder = os.path.relpath(root, target)
        # readpst names the top folder after the store; the rest as in the file.
        yield (folder.split("/", 1)[1] if "/" in folder else ""), root, sorted(files)


def read_eml(path):
    with open(path, "rb") as f:
        return email.message_from_binary_file(f, policy=email.policy.default)
