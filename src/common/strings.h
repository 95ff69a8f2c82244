// Small helpers for the library's two string widths: 8-bit (char) and
// UTF-16 (char16_t). Caller strings are NUL-terminated and must be readable
// within a stated limit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vendrel {

// The longest caller string a path or name check accepts (characters).
inline constexpr size_t max_checked_string = 0x100000;

// Length of a NUL-terminated string, or nullopt when it is null or has no
// terminator within `limit` characters.
template <typename CharT>
std::optional<size_t> bounded_length(const CharT* text, size_t limit = max_checked_string) {
  if (!text) return std::nullopt;
  for (size_t i = 0; i < limit; ++i)
    if (text[i] == CharT{}) return i;
  return std::nullopt;
}

// Length of a NUL-terminated string of any width (0 for null).
template <typename CharT>
size_t string_length(const CharT* text) {
  if (!text) return 0;
  return std::char_traits<CharT>::length(text);
}

// An owned copy of a NUL-terminated string, or nullopt for null.
template <typename CharT>
std::optional<std::basic_string<CharT>> copy_string(const CharT* text) {
  if (!text) return std::nullopt;
  return std::basic_string<CharT>(text);
}

// UTF-8 for log lines and error messages. Invalid UTF-16 becomes '?'.
std::string to_utf8(std::u16string_view text);
// UTF-16 from UTF-8. Invalid UTF-8 becomes '?'.
std::u16string from_utf8(std::string_view text);

// Text of either width as 8-bit text for a log line: UTF-16 as UTF-8, 8-bit unchanged.
inline std::string log_text(std::string_view text) { return std::string(text); }
inline std::string log_text(std::u16string_view text) { return to_utf8(text); }

}  // namespace vendrel
