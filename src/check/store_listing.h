// A read-only view of any PST that the checker can read, for `vendrel ls`:
// the folder tree with item counts and container classes and, when asked,
// a summary of each item. Strings are UTF-8 (an ANSI file's 8-bit strings
// are decoded with its code page).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vendrel {

struct listed_folder {
  uint32_t nid = 0;
  int depth = 0;  // 0 for the root folder
  std::string name;
  std::string container_class;  // empty when the folder has none
  uint32_t item_count = 0;      // rows of its contents table
  uint32_t subfolder_count = 0;
};

struct listed_item {
  uint32_t nid = 0;
  std::string message_class;
  int64_t time = 0;  // FILETIME (100 ns since 1601, UTC) of delivery, else of creation; 0 when none
  std::string sender;
  std::string subject;
};

struct store_listing_callbacks {
  // Called for every folder, parents before children, siblings in the order
  // of their hierarchy table.
  std::function<void(const listed_folder&)> folder;
  // Called for each item of the folder last reported (only when set).
  std::function<void(const listed_item&)> item;
};

// Walks the store. Returns false, with `error` set (UTF-8), when the file
// cannot be read as a PST; a folder or item that cannot be read is skipped
// and named in `error`, and the walk goes on. Memory stays bounded by one
// folder's table, whatever the size of the file.
bool list_store(std::u16string_view path, const store_listing_callbacks& callbacks, std::string& error);

// The store's display name (UTF-8), empty when it has none.
std::string store_display_name(std::u16string_view path);

}  // namespace vendrel
