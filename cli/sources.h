// The mailboxes the program reads, each recognised by what it is: a single
// .eml file, an mbox file, a Maildir (with Maildir++ subfolders), or a
// directory tree that holds .eml files, mbox files with Thunderbird's
// NAME.sbd/ subfolder directories, and Maildirs. A source is walked once,
// message by message; nothing holds more than one message and one
// directory's listing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "folder_map.h"
#include "message_input.h"

namespace vendrel::cli {

// Where a walk delivers what it finds.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // The folder that receives the next messages (made when missing).
  virtual void enter_folder(const FolderPath& path) = 0;
  virtual void message(MessageInput& message) = 0;
  virtual void skipped(const SourceLocation& where, const std::string& reason) = 0;
  // True once the walk should end (Ctrl-C, a write failure).
  virtual bool stopping() const = 0;
};

enum class SourceKind { eml_file, mbox, maildir, directory };

struct Source {
  std::filesystem::path path;
  SourceKind kind = SourceKind::eml_file;
};

const char* to_string(SourceKind kind);

// What `path` is as a source; nullopt with `reason` when it is none.
std::optional<Source> recognise_source(const std::filesystem::path& path, std::string& reason);

struct SourceTotals {
  uint64_t bytes = 0;
  uint64_t messages = 0;       // counted where files are messages
  bool messages_known = true;  // false once an mbox is among the sources
};
// Adds what the source holds, walking it the way read_source does.
void add_totals(const Source& source, SourceTotals& totals);

// Walks the source into the sink; folders are made below `base`.
void read_source(const Source& source, const FolderPath& base, MessageSink& sink);

}  // namespace vendrel::cli
