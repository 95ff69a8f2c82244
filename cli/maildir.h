// Maildir folders: the messages of cur/ and new/, the flags of a message
// file's name, and Maildir++ subfolders (".A.B" for A/B, names in IMAP's
// modified UTF-7).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "message_input.h"

namespace vendrel::cli {

// A directory with cur/ or new/ inside.
bool is_maildir(const std::filesystem::path& directory);

// The message files of cur/ and new/, ordered by name (the delivery time
// leads the name). tmp/ holds deliveries in progress and is left alone.
std::vector<std::filesystem::path> maildir_messages(const std::filesystem::path& maildir);

// The flags after ":2," (or "!2,", ";2,", used where ":" cannot be in a
// file name): S seen, F flagged, R replied, P passed (forwarded), T
// trashed, D draft. A file in new/ has not been seen.
MessageState maildir_state(std::string_view file_name);

// The delivery time that leads a Maildir file name ("1700000000.M1P2.host").
std::optional<int64_t> maildir_delivery_time(std::string_view file_name);

struct MaildirSubfolder {
  std::filesystem::path directory;
  std::vector<std::string> components;  // UTF-8
};
// The Maildir++ subfolders of a Maildir, parents before their children.
std::vector<MaildirSubfolder> maildir_subfolders(const std::filesystem::path& maildir);

// IMAP's modified UTF-7 (RFC 3501 5.1.3) as UTF-8; text that is not in that
// form is returned as it is.
std::string decode_modified_utf7(std::string_view name);

}  // namespace vendrel::cli
