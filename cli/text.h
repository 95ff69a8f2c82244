// Text and path conversions of the program: UTF-8 inside, UTF-16 for the
// library's wide calls, the native form for the file system, and output to
// the console.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vendrel::cli {

// UTF-8 -> UTF-16; an ill-formed sequence becomes U+FFFD.
std::u16string utf16(std::string_view utf8);
// UTF-16 -> UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8(std::u16string_view utf16);
bool is_utf8(std::string_view bytes);
// 8-bit text as UTF-8: kept when it is UTF-8 already, else read as Latin-1.
std::string utf8_or_latin1(std::string_view bytes);

std::filesystem::path path_from_utf8(std::string_view utf8);
std::string path_utf8(const std::filesystem::path& path);
std::u16string path_utf16(const std::filesystem::path& path);
// A path for the library's narrow calls (CreatePstA, SetLogFile): UTF-8 on
// POSIX, the ANSI code page on Windows.
std::string path_narrow(const std::filesystem::path& path);
// The same for an existing file, or nullopt when its path has no form in
// the ANSI code page (Windows: the 8.3 short path is tried).
std::optional<std::string> existing_path_narrow(const std::filesystem::path& path);
// A UTF-8 text for the library's narrow calls, as path_narrow converts.
std::string narrow_text(std::string_view utf8);

std::string lower_ascii(std::string_view text);
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view text, std::string_view prefix);
bool iends_with(std::string_view text, std::string_view suffix);

// "12,345"
std::string grouped(uint64_t value);
// "1.2 MB", "340 KB", "12 bytes"
std::string byte_size(uint64_t bytes);
// "2.4 s", "3 min 05 s", "1 h 02 min"
std::string duration(double seconds);

// Sets up the console for UTF-8 output (Windows); nothing elsewhere.
void init_console();
bool stderr_is_terminal();
int terminal_columns();

// The characters a path component of the folder tree shows (the library's
// paths use "\" as separator).
std::string folder_component(std::string_view name);

}  // namespace vendrel::cli
