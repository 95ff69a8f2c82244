// Helpers shared by the win32_*.cpp files of the Win32 platform layer. Not
// part of the platform interface: nothing outside src/platform/ includes
// this (the Windows-side tests of the path rule excepted).
#pragma once

#if defined(_WIN32)

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vendrel::platform::win32 {

// Longest plain paths the Win32 file calls take: a directory must leave room
// for an 8.3 file name inside it (MAX_PATH - 12), a file name MAX_PATH less
// its terminating NUL. Longer paths need the extended-length form.
inline constexpr size_t directory_path_limit = 247;
inline constexpr size_t file_path_limit = 259;

// UTF-16 in the library's type <-> wchar_t, cut at the first NUL as a C
// string would be.
std::wstring to_wchar(std::u16string_view text);
std::u16string from_wchar(std::wstring_view text);

// The path to hand to a Win32 file call.
// - A path whose absolute form is longer than `limit` characters becomes
//   "\\?\" + that absolute form ("\\?\UNC\server\share\..." for a network
//   path). The prefix turns off all of Win32's path parsing, so the absolute
//   form is taken first: "." and ".." resolved, "/" turned into "\".
// - A path that carries "\\?\" already keeps it when an absolute path follows
//   (its "/" become "\", which the prefix would not do). "\\?\" before a
//   relative path names nothing on Windows; such a path is treated as the
//   relative path alone.
// - Anything else, and any path whose absolute form cannot be had, is passed
//   on unchanged.
std::wstring extended_path(std::wstring_view path, size_t limit);

// A narrow path in the code page of the file calls (ANSI, or OEM after
// SetFileApisToOEM), as CreateFileA and DeleteFileA read it.
std::wstring narrow_path_to_wchar(std::string_view path);

// Sets the calling thread's last error and returns false, for the one-line
// failure paths.
bool fail(uint32_t code);
// Returns false keeping the error that the failed Win32 call left.
bool fail_with_last_error();

}  // namespace vendrel::platform::win32

#endif  // _WIN32
