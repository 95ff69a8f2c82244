// What the binding fuzz targets share: UTF-16 text for the wide calls, a
// scratch directory of their own with the library's log in it, and the
// folder every input's message goes to.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "vendrel.h"

namespace vendrel::fuzz {

inline std::u16string wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
inline const vendrel_wchar* w(const std::u16string& text) { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }

// A new directory below the temporary one, named `prefix` and a random
// number; the library logs to fuzz.log in it.
inline std::string scratch_directory(const std::string& prefix) {
  std::random_device random;
  const auto dir = std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
  std::filesystem::create_directories(dir);
  SetLogFile((dir.string() + "/fuzz.log").c_str());
  return dir.string();
}

// The Inbox of the store just created; the process stops when it cannot be made.
inline void create_inbox() {
  if (CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")) != 0) std::abort();
}

}  // namespace vendrel::fuzz
