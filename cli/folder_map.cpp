#include "folder_map.h"

#include "text.h"

namespace vendrel::cli {

StandardFolder standard_folder(std::string_view name) {
  struct Entry {
    const char* alias;
    FolderRole role;
    const char* name;
  };
  static constexpr Entry table[] = {
      {"inbox", FolderRole::inbox, "Inbox"},
      {"sent", FolderRole::sent, "Sent Items"},
      {"sent items", FolderRole::sent, "Sent Items"},
      {"sent mail", FolderRole::sent, "Sent Items"},
      {"sent messages", FolderRole::sent, "Sent Items"},
      {"sent-mail", FolderRole::sent, "Sent Items"},
      {"drafts", FolderRole::drafts, "Drafts"},
      {"draft", FolderRole::drafts, "Drafts"},
      {"trash", FolderRole::deleted, "Deleted Items"},
      {"deleted", FolderRole::deleted, "Deleted Items"},
      {"deleted items", FolderRole::deleted, "Deleted Items"},
      {"deleted messages", FolderRole::deleted, "Deleted Items"},
      {"bin", FolderRole::deleted, "Deleted Items"},
      {"junk", FolderRole::junk, "Junk E-mail"},
      {"junk e-mail", FolderRole::junk, "Junk E-mail"},
      {"junk email", FolderRole::junk, "Junk E-mail"},
      {"spam", FolderRole::junk, "Junk E-mail"},
      {"bulk mail", FolderRole::junk, "Junk E-mail"},
      {"archive", FolderRole::archive, "Archive"},
      {"archives", FolderRole::archive, "Archive"},
      {"outbox", FolderRole::outbox, "Outbox"},
  };
  for (const Entry& e : table)
    if (iequals(name, e.alias)) return {e.role, e.name, mail_container_class};
  return {FolderRole::none, std::string(name), mail_container_class};
}

std::string display_path(const FolderPath& path) {
  std::string out;
  for (const std::string& component : path) {
    if (!out.empty()) out += "/";
    out += component;
  }
  return out;
}

}  // namespace vendrel::cli
