// The directories of EML mode: folder calls name a directory that receives
// the next .eml files, and it is created here with every missing ancestor.
#pragma once

#include <string>
#include <string_view>

namespace vendrel {

// Paths longer than this many characters take the extended-length prefix.
inline constexpr size_t eml_directory_prefix_threshold = 247;

// The path handed to the file system: "\\?\" + path when it is longer than
// 247 characters (and not prefixed already), else the path unchanged.
std::u16string extended_directory_path(std::u16string_view path);

// Creates the directory and the ancestors it lacks; true when it exists
// afterwards. Fails when an ancestor cannot be created or a pass creates
// nothing (so a directory that cannot be made never loops).
bool create_eml_directory(std::u16string_view path);

}  // namespace vendrel
