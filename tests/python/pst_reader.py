"""What pypff reads from a PST: folders by path with their items."""
import datetime

import pypff

PR_MESSAGE_CLASS = 0x001A
PR_DISPLAY_TO = 0x0E04
PR_DISPLAY_CC = 0x0E03
PR_DISPLAY_BCC = 0x0E02
PR_CONTAINER_CLASS = 0x3613


def text(value):
    if isinstance(value, bytes):
        return value.decode("utf-8", "replace")
    return value


def entries(record_holder):
    """tag id -> (value type, data) of every record of an item or folder."""
    found = {}
    for i in range(record_holder.get_number_of_record_sets()):
        record_set = record_holder.get_record_set(i)
        for j in range(record_set.get_number_of_entries()):
            entry = record_set.get_entry(j)
            found[entry.get_entry_type()] = (entry.get_value_type(), entry.get_data())
    return found


def string_of(found, tag_id, code_page="cp1252"):
    if tag_id not in found:
        return None
    value_type, data = found[tag_id]
    data = data or b""
    if value_type == 0x001F:
        return data.decode("utf-16-le").rstrip("\0")
    return data.decode(code_page).rstrip("\0")


def subject_of(found):
    """The subject without its two-character prefix code."""
    subject = string_of(found, 0x0037)
    if subject and subject[0] == "\x01":
        subject = subject[2:]
    return subject


def filetime_of(found, tag_id):
    if tag_id not in found:
        return None
    value = int.from_bytes(found[tag_id][1], "little")
    return datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc) + datetime.timedelta(microseconds=value // 10)


class Item:
    def __init__(self, message):
        self.entries = entries(message)
        self.message_class = string_of(self.entries, PR_MESSAGE_CLASS)
        self.subject = subject_of(self.entries)
        self.body = string_of(self.entries, 0x1000)
        self.sender_name = string_of(self.entries, 0x0C1A)
        self.display_to = string_of(self.entries, PR_DISPLAY_TO)
        self.display_cc = string_of(self.entries, PR_DISPLAY_CC)
        self.display_bcc = string_of(self.entries, PR_DISPLAY_BCC)
        self.attachments = []
        for i in range(message.get_number_of_attachments()):
            attachment = message.get_attachment(i)
            size = attachment.get_size()
            data = attachment.read_buffer(size) if size else b""
            found = entries(attachment)
            name = string_of(found, 0x3707) or string_of(found, 0x3704)  # long file name, else short
            self.attachments.append((name, data))

    def string(self, tag_id):
        return string_of(self.entries, tag_id)

    def time(self, tag_id):
        return filetime_of(self.entries, tag_id)


def read(path):
    """{folder path below the IPM subtree: (container class, [Item])}."""
    pst = pypff.file()
    pst.open(str(path))
    folders = {}

    def walk(folder, names):
        found = entries(folder)
        items = [Item(folder.get_sub_message(i)) for i in range(folder.get_number_of_sub_messages())]
        folders["/".join(names)] = (string_of(found, PR_CONTAINER_CLASS), items)
        for i in range(folder.get_number_of_sub_folders()):
            sub = folder.get_sub_folder(i)
            walk(sub, names + [string_of(entries(sub), 0x3001) or text(sub.get_name())])

    root = pst.get_root_folder()
    for i in range(root.get_number_of_sub_folders()):
        top = root.get_sub_folder(i)
        # The folders of the host live below the IPM subtree.
        for j in range(top.get_number_of_sub_folders()):
            sub = top.get_sub_folder(j)
            walk(sub, [string_of(entries(sub), 0x3001) or text(sub.get_name())])
    pst.close()
    return folders
