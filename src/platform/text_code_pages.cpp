// Code page facts that need no converter: which code pages an ANSI file may
// be written in, and where a character of a multi-byte code page ends. Both
// systems share this file.
#include <cstdlib>

#include "platform/platform.h"

namespace vendrel::platform {

namespace {

constexpr uint32_t utf8_code_page = 65001;

// Code pages whose text is not a plain 8-bit string: UTF-16, UTF-7 and the
// ISO-2022 forms with their escape states.
bool is_eight_bit(uint32_t code_page) {
  switch (code_page) {
    case 1200: case 1201: case 12000: case 12001: case 65000:
    case 50220: case 50221: case 50222: case 50225: case 50227: case 50229:
      return false;
    default:
      return true;
  }
}

bool in(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// The byte length of the character that starts at text[at] in a multi-byte
// code page; 1 for a byte that starts no longer character.
size_t character_length(uint32_t code_page, std::string_view text, size_t at) {
  const auto c = static_cast<unsigned char>(text[at]);
  const auto next = [&](size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0; };
  switch (code_page) {
    case utf8_code_page: {
      const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? (c <= 0xEF ? 3 : 1) : c >= 0xC2 ? 2 : 1;
      for (size_t k = 1; k < n; ++k)
        if ((next(k) & 0xC0) != 0x80) return k;  // an invalid sequence ends at its first non-continuation byte
      return n;
    }
    case 932:
      return (in(c, 0x81, 0x9F) || in(c, 0xE0, 0xFC)) && next(1) ? 2 : 1;
    case 936: case 949: case 950: case 1361:
      return in(c, 0x81, 0xFE) && next(1) ? 2 : 1;
    case 54936:
      if (!in(c, 0x81, 0xFE) || !next(1)) return 1;
      return in(next(1), 0x30, 0x39) && next(2) && next(3) ? 4 : 2;
    case 51932:
      if (c == 0x8F && next(1) && next(2)) return 3;
      return (c == 0x8E || in(c, 0xA1, 0xFE)) && next(1) ? 2 : 1;
    case 51949:
      return in(c, 0xA1, 0xFE) && next(1) ? 2 : 1;
    default:
      return 1;
  }
}

}  // namespace

std::optional<uint32_t> file_code_page_from(const char* value) {
  if (!value || !*value) return std::nullopt;
  uint32_t code_page = 0;
  for (const char* p = value; *p; ++p) {
    if (*p < '0' || *p > '9' || p - value >= 5) return std::nullopt;
    code_page = code_page * 10 + static_cast<uint32_t>(*p - '0');
  }
  if (code_page <= 3 || !is_eight_bit(code_page) || !code_page_supported(code_page)) return std::nullopt;
  return code_page;
}

size_t character_cut(uint32_t code_page, std::string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  if (code_page == 0) code_page = host_code_page();
  size_t at = 0;
  while (at < text.size()) {
    const size_t length = character_length(code_page, text, at);
    if (at + length > limit) break;
    at += length;
  }
  return at;
}

size_t character_cut(std::u16string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  if (limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] <= 0xDBFF && text[limit] >= 0xDC00 &&
      text[limit] <= 0xDFFF)
    return limit - 1;
  return limit;
}

}  // namespace vendrel::platform
