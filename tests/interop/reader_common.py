"""What the reader scripts share: one fact per line with escaped values, the
subject without its prefix code, and pypff's records of an item by tag."""
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
