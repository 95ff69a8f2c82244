#include "sources.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>
#include <vector>

#include "maildir.h"
#include "mbox_reader.h"
#include "message_info.h"
#include "text.h"

namespace vendrel::cli {

namespace fs = std::filesystem;

namespace {

constexpr int max_depth = 64;

enum class EntryKind { message, mbox, maildir, directory, subfolders, ignored };

struct Entry {
  fs::path path;
  std::string name;  // UTF-8
  EntryKind kind = EntryKind::ignored;
};

// The first bytes of a file.
std::string head_of(const fs::path& file, size_t count = 1024) {
  std::ifstream in(file, std::ios::binary);
  std::string text(count, '\0');
  in.read(text.data(), static_cast<std::streamsize>(count));
  text.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return text;
}

bool has_extension(std::string_view name, std::string_view extension) { return iends_with(name, extension); }

bool mbox_extension(std::string_view name) {
  return has_extension(name, ".mbox") || has_extension(name, ".mbx") || has_extension(name, ".mbs");
}

// A folder name from an mbox file's name: a short extension of letters
// (".mbox", ".txt") taken off, other dots kept ("Mr. Smith", "2019.01").
std::string mbox_folder_name(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && file_name.size() - dot - 1 >= 1 && file_name.size() - dot - 1 <= 5) {
    bool letters = true;
    for (char c : file_name.substr(dot + 1))
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) letters = false;
    if (letters) return std::string(file_name.substr(0, dot));
  }
  return std::string(file_name);
}

EntryKind file_kind(const fs::path& file, std::string_view name, bool has_index) {
  if (has_extension(name, ".eml")) return EntryKind::message;
  if (mbox_extension(name)) return EntryKind::mbox;
  if (has_extension(name, ".msf")) return EntryKind::ignored;
  const std::string head = head_of(file);
  if (head.rfind("From ", 0) == 0) return EntryKind::mbox;
  // An empty file beside its NAME.msf index: an empty folder of Thunderbird.
  if (head.empty()) return has_index ? EntryKind::mbox : EntryKind::ignored;
  // A file of one message without the .eml ending (MH folders number them).
  if (name.find('.') == std::string_view::npos && starts_with_header(head)) return EntryKind::message;
  return EntryKind::ignored;
}

std::vector<Entry> list_directory(const fs::path& directory) {
  std::vector<Entry> entries;
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    Entry entry;
    entry.path = it->path();
    entry.name = path_utf8(it->path().filename());
    if (entry.name.empty() || entry.name[0] == '.') continue;  // hidden files, Maildir++ folders of a parent
    std::error_code type_ec;
    if (it->is_symlink(type_ec) && fs::is_directory(it->path(), type_ec)) continue;  // no loops
    if (it->is_directory(type_ec)) {
      if (iends_with(entry.name, ".sbd")) entry.kind = EntryKind::subfolders;
      else if (is_maildir(entry.path)) entry.kind = EntryKind::maildir;
      else if (entry.name == "cur" || entry.name == "new" || entry.name == "tmp") continue;
      else entry.kind = EntryKind::directory;
    } else if (it->is_regular_file(type_ec)) {
      entry.kind = EntryKind::ignored;  // decided below, once every name is known
    } else {
      continue;
    }
    names.push_back(entry.name);
    entries.push_back(std::move(entry));
  }
  std::sort(names.begin(), names.end());
  for (Entry& entry : entries) {
    if (entry.kind != EntryKind::ignored) continue;
    const bool has_index = std::binary_search(names.begin(), names.end(), entry.name + ".msf");
    entry.kind = file_kind(entry.path, entry.name, has_index);
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

std::optional<uint64_t> file_time(const fs::path& file) {
  std::error_code ec;
  const auto time = fs::last_write_time(file, ec);
  if (ec) return std::nullopt;
  // Through the two clocks' present moments (no clock_cast everywhere yet).
  const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      time - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
  return filetime_from_unix(std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count());
}

// A whole file as one message; false with `reason` when it cannot be.
bool read_message_file(const fs::path& file, MessageInput& message, std::string& reason) {
  message = MessageInput{};
  message.where.file = file;
  message.whole_file = true;
  std::error_code ec;
  const uint64_t size = fs::file_size(file, ec);
  if (ec) {
    reason = "cannot be read: " + ec.message();
    return false;
  }
  if (size > MboxReader::default_message_limit) {
    reason = "message larger than " + byte_size(MboxReader::default_message_limit);
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    reason = "cannot be opened";
    return false;
  }
  message.text.resize(static_cast<size_t>(size));
  in.read(message.text.data(), static_cast<std::streamsize>(size));
  if (static_cast<uint64_t>(in.gcount()) != size) {
    reason = "read error";
    return false;
  }
  message.fallback_time = file_time(file);
  return true;
}

class Walker {
 public:
  explicit Walker(MessageSink& sink) : sink_(sink) {}

  void eml_file(const fs::path& file, const FolderPath& folder) {
    MessageInput message;
    std::string reason;
    if (!read_message_file(file, message, reason)) {
      sink_.skipped({file, {}, {}}, reason);
      return;
    }
    message.read_when_unknown = true;
    sink_.message(message);
  }

  void mbox(const fs::path& file, const FolderPath& folder) {
    sink_.enter_folder(folder);
    MboxReader reader(file);
    MessageInput message;
    std::string reason;
    while (!sink_.stopping()) {
      const MboxReader::Result result = reader.next(message, reason);
      if (result == MboxReader::Result::end) break;
      if (result == MboxReader::Result::message) {
        sink_.message(message);
      } else {
        sink_.skipped(message.where, reason);
        if (result == MboxReader::Result::error) break;
      }
    }
  }

  void maildir_folder(const fs::path& directory, const FolderPath& folder) {
    sink_.enter_folder(folder);
    for (const fs::path& file : maildir_messages(directory)) {
      if (sink_.stopping()) return;
      MessageInput message;
      std::string reason;
      if (!read_message_file(file, message, reason)) {
        sink_.skipped({file, {}, {}}, reason);
        continue;
      }
      const std::string name = path_utf8(file.filename());
      message.state = maildir_state(name);
      if (const auto delivered = maildir_delivery_time(name)) message.fallback_time = filetime_from_unix(*delivered);
      sink_.message(message);
    }
  }

  // A Maildir with its root at `root` and its Maildir++ subfolders below
  // `below`.
  void maildir(const fs::path& directory, const FolderPath& root, const FolderPath& below) {
    maildir_folder(directory, root);
    for (const MaildirSubfolder& sub : maildir_subfolders(directory)) {
      if (sink_.stopping()) return;
      FolderPath path = below;
      for (const std::string& component : sub.components) path.push_back(folder_component(component));
      maildir_folder(sub.directory, path);
    }
  }

  void directory(const fs::path& dir, const FolderPath& folder, int depth) {
    if (depth > max_depth) {
      sink_.skipped({dir, {}, {}}, "directory nested too deep");
      return;
    }
    const std::vector<Entry> entries = list_directory(dir);
    bool entered = false;
    for (const Entry& entry : entries) {
      if (sink_.stopping()) return;
      if (entry.kind != EntryKind::message) continue;
      if (!entered) sink_.enter_folder(folder);
      entered = true;
      eml_file(entry.path, folder);
    }
    for (const Entry& entry : entries) {
      if (sink_.stopping()) return;
      FolderPath sub = folder;
      switch (entry.kind) {
        case EntryKind::mbox: {
          sub.push_back(folder_component(mbox_folder_name(entry.name)));
          mbox(entry.path, sub);
          const fs::path children = entry.path.parent_path() / path_from_utf8(entry.name + ".sbd");
          std::error_code ec;
          if (fs::is_directory(children, ec)) directory(children, sub, depth + 1);
          break;
        }
        case EntryKind::subfolders: {
          // NAME.sbd without an mbox NAME beside it.
          const std::string name = entry.name.substr(0, entry.name.size() - 4);
          const bool has_mbox = std::any_of(entries.begin(), entries.end(), [&](const Entry& e) {
            return e.kind == EntryKind::mbox && e.name == name;
          });
          if (has_mbox) break;
          sub.push_back(folder_component(name));
          sink_.enter_folder(sub);
          directory(entry.path, sub, depth + 1);
          break;
        }
        case EntryKind::maildir:
          sub.push_back(folder_component(entry.name));
          maildir(entry.path, sub, sub);
          break;
        case EntryKind::directory:
          sub.push_back(folder_component(entry.name));
          directory(entry.path, sub, depth + 1);
          break;
        default:
          break;
      }
    }
  }

 private:
  MessageSink& sink_;
};

bool has_loose_messages(const fs::path& dir) {
  for (const Entry& entry : list_directory(dir))
    if (entry.kind == EntryKind::message) return true;
  return false;
}

FolderPath joined(const FolderPath& base, std::string_view name) {
  FolderPath path = base;
  path.push_back(folder_component(name));
  return path;
}

// Totals of a tree, walked as Walker::directory walks it.
void directory_totals(const fs::path& dir, SourceTotals& totals, int depth) {
  if (depth > max_depth) return;
  for (const Entry& entry : list_directory(dir)) {
    std::error_code ec;
    switch (entry.kind) {
      case EntryKind::message:
        totals.bytes += fs::file_size(entry.path, ec);
        ++totals.messages;
        break;
      case EntryKind::mbox:
        totals.bytes += fs::file_size(entry.path, ec);
        totals.messages_known = false;
        break;
      case EntryKind::maildir:
        add_totals({entry.path, SourceKind::maildir}, totals);
        break;
      case EntryKind::directory:
      case EntryKind::subfolders:
        directory_totals(entry.path, totals, depth + 1);
        break;
      default:
        break;
    }
  }
}

}  // namespace

const char* to_string(SourceKind kind) {
  switch (kind) {
    case SourceKind::eml_file: return "message file";
    case SourceKind::mbox: return "mbox";
    case SourceKind::maildir: return "Maildir";
    case SourceKind::directory: return "directory tree";
  }
  return "";
}

std::optional<Source> recognise_source(const fs::path& path, std::string& reason) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    reason = "no such file or directory";
    return std::nullopt;
  }
  if (fs::is_directory(status)) {
    fs::directory_iterator probe(path, ec);
    if (ec) {
      reason = "cannot be read: " + ec.message();
      return std::nullopt;
    }
    return Source{path, is_maildir(path) ? SourceKind::maildir : SourceKind::directory};
  }
  if (!fs::is_regular_file(status)) {
    reason = "not a file or directory";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = "cannot be opened";
    return std::nullopt;
  }
  const std::string name = path_utf8(path.filename());
  if (iends_with(name, ".eml")) return Source{path, SourceKind::eml_file};
  const std::string head = head_of(path);
  if (head.rfind("From ", 0) == 0 || mbox_extension(name) || (head.empty() && !iends_with(name, ".pst")))
    return Source{path, SourceKind::mbox};
  if (starts_with_header(head)) return Source{path, SourceKind::eml_file};
  reason = "neither an mbox (it does not begin with a \"From \" line) nor a message";
  return std::nullopt;
}

void add_totals(const Source& source, SourceTotals& totals) {
  std::error_code ec;
  switch (source.kind) {
    case SourceKind::eml_file:
      totals.bytes += fs::file_size(source.path, ec);
      ++totals.messages;
      break;
    case SourceKind::mbox:
      totals.bytes += fs::file_size(source.path, ec);
      totals.messages_known = false;
      break;
    case SourceKind::maildir: {
      auto add_folder = [&](const fs::path& dir) {
        for (const fs::path& file : maildir_messages(dir)) {
          totals.bytes += fs::file_size(file, ec);
          ++totals.messages;
        }
      };
      add_folder(source.path);
      for (const MaildirSubfolder& sub : maildir_subfolders(source.path)) add_folder(sub.directory);
      break;
    }
    case SourceKind::directory:
      directory_totals(source.path, totals, 0);
      break;
  }
}

void read_source(const Source& source, const FolderPath& base, MessageSink& sink) {
  Walker walker(sink);
  const std::string name = path_utf8(source.path.filename());
  switch (source.kind) {
    case SourceKind::eml_file: {
      const FolderPath folder = base.empty() ? FolderPath{"Inbox"} : base;
      sink.enter_folder(folder);
      walker.eml_file(source.path, folder);
      break;
    }
    case SourceKind::mbox: {
      const FolderPath folder = joined(base, mbox_folder_name(name));
      walker.mbox(source.path, folder);
      const fs::path children = source.path.parent_path() / path_from_utf8(name + ".sbd");
      std::error_code ec;
      if (fs::is_directory(children, ec)) walker.directory(children, folder, 1);
      break;
    }
    case SourceKind::maildir:
      // Maildir++: the Maildir itself is the inbox, its subfolders stand beside it.
      walker.maildir(source.path, joined(base, "Inbox"), base);
      break;
    case SourceKind::directory:
      if (has_loose_messages(source.path))
        walker.directory(source.path, joined(base, name.empty() ? "Messages" : name), 0);
      else
        walker.directory(source.path, base, 0);
      break;
  }
}

}  // namespace vendrel::cli
