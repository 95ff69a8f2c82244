// Helpers shared by the posix_*.cpp files of the POSIX platform layer. Not part
// of the platform interface: nothing outside src/platform/ includes this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/utf8.h"

namespace vendrel::platform::posix {

// The Win32 error number for an errno value. ENOENT is reported as
// file_not_found here; callers that know the path refine it with
// missing_path_error().
uint32_t error_from_errno(int err);

// ENOENT for `path`: path_not_found when a directory on the way is missing,
// file_not_found when only the last component is.
uint32_t missing_path_error(const std::string& path);

// Sets last_error from errno (or from `err`) and returns false, for the
// one-line failure paths of the file calls.
bool fail_with_errno(int err);

}  // namespace vendrel::platform::posix
