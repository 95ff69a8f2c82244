// ASCII helpers of the MIME classes. Mail text is 8-bit with ASCII syntax:
// names compare without regard to case, bytes of 128 or more are data.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vendrel::mime {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

inline bool istarts_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

inline std::string to_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_line_end(char c) { return c == '\r' || c == '\n'; }
inline bool is_space(char c) { return is_blank(c) || is_line_end(c); }
inline bool is_8bit(char c) { return static_cast<unsigned char>(c) >= 128; }

// Bytes that cannot stand in a header as they are: 8-bit bytes and control
// characters other than the blanks and line ends.
inline bool needs_header_encoding(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 127 || (u < 32 && !is_space(c) && c != '\v' && c != '\f');
}

inline bool contains_8bit(std::string_view text) {
  for (char c : text)
    if (needs_header_encoding(c)) return true;
  return false;
}

inline std::string_view trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && is_space(text[begin])) ++begin;
  while (end > begin && is_space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Value of a hexadecimal digit of either case, or -1.
inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

inline void append_hex_escape(std::string& out, char escape, unsigned char byte) {
  out.push_back(escape);
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace vendrel::mime
