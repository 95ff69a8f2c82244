// Where a source's folder lands in the store: the common mailbox names map
// to the folders a mail client keeps (Inbox, Sent Items, Deleted Items ...),
// each with its container class. The store has Deleted Items from the
// start; the others are made on first use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vendrel::cli {

enum class FolderRole { none, inbox, sent, drafts, deleted, junk, archive, outbox };

struct StandardFolder {
  FolderRole role = FolderRole::none;
  std::string name;             // the store's name for it
  std::string container_class;  // "IPF.Note"
};

// The standard folder a top-level mailbox of this name stands for
// ("INBOX", "Sent", "Sent Mail", "Trash", "Spam" ...); role none when the
// name is no common one.
StandardFolder standard_folder(std::string_view name);

// The container class of the folders made for mail.
inline constexpr const char* mail_container_class = "IPF.Note";

// A folder path in the store, components in UTF-8.
using FolderPath = std::vector<std::string>;

// "A/B/C" for messages and the summary.
std::string display_path(const FolderPath& path);

}  // namespace vendrel::cli
