#include "interface/eml_directory.h"

#include "platform/platform.h"

namespace vendrel {

namespace {

constexpr std::u16string_view extended_prefix = u"\\\\?\\";

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool is_directory(const std::u16string& path) {
  const uint32_t attributes = platform::file_attributes(path);
  return attributes != platform::invalid_file_attributes && (attributes & platform::attribute_directory) != 0;
}

// Creates one directory; true when it was made or a directory is there
// already (a file of that name is no place for the items).
bool make_one(const std::u16string& path, bool* created) {
  if (platform::create_directory(path)) {
    *created = true;
    return true;
  }
  return platform::last_error() == platform::error::already_exists && is_directory(path);
}

}  // namespace

std::u16string extended_directory_path(std::u16string_view path) {
  std::u16string out;
  if (path.size() > eml_directory_prefix_threshold && path.substr(0, extended_prefix.size()) != extended_prefix)
    out = extended_prefix;
  out += path;
  return out;
}

bool create_eml_directory(std::u16string_view directory) {
  const std::u16string path = extended_directory_path(directory);
  if (platform::file_attributes(path) != platform::invalid_file_attributes) return is_directory(path);
  // The walk never cuts into the prefix: "\\?" alone names no directory.
  const size_t floor = path.substr(0, extended_prefix.size()) == extended_prefix ? extended_prefix.size() : 0;

  for (;;) {
    if (platform::create_directory(path)) return true;
    if (platform::last_error() == platform::error::already_exists) return is_directory(path);
    // Each pass makes the highest missing ancestor: walk up until a parent
    // can be made or is found existing.
    bool created = false;
    size_t end = path.size();
    for (;;) {
      size_t cut = end;
      while (cut > floor && !is_separator(path[cut - 1])) --cut;
      if (cut <= floor || cut - 1 < 2) return false;  // no separator left to cut at
      end = cut - 1;
      // Doubled separators: cut past all of them.
      while (end > floor && is_separator(path[end - 1])) --end;
      if (end <= floor || end < 2) return false;
      if (make_one(path.substr(0, end), &created)) break;
    }
    // An existing parent and a directory that still cannot be made: give up.
    if (!created) return false;
  }
}

}  // namespace vendrel
