#include "items/body_code_page.h"

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace vendrel {

namespace {

constexpr uint32_t utf8_code_page = 65001;

size_t ascii_count(std::u16string_view text) {
  size_t n = 0;
  for (char16_t c : text)
    if (c < 0x80) ++n;
  return n;
}

size_t ascii_count(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x80) ++n;
  return n;
}

}  // namespace

uint32_t html_conversion_code_page(std::u16string_view html, uint32_t bound_code_page) {
  const uint32_t code_page = bound_code_page != 0 ? bound_code_page : platform::host_code_page();
  if (code_page == utf8_code_page) return code_page;
  const std::string narrow = platform::wide_to_multibyte(code_page, html);
  if (ascii_count(narrow) == ascii_count(html) && platform::multibyte_to_wide(code_page, narrow) == html)
    return code_page;
  return utf8_code_page;
}

uint32_t default_internet_code_page(bool ansi_file) { return ansi_file ? platform::file_code_page() : 1250; }

uint32_t rtf_document_code_page(std::string_view rtf, uint32_t fallback) {
  constexpr std::string_view word = "\\ansicpg";
  // The header ends where the first text or group after the font table is;
  // looking at the opening kilobytes is enough for any writer's header and
  // keeps a large body from being searched twice.
  const std::string_view head = rtf.substr(0, 1024);
  const size_t at = head.find(word);
  if (at == std::string_view::npos) return fallback;
  uint32_t code_page = 0;
  size_t digits = 0;
  for (size_t i = at + word.size(); i < rtf.size() && digits < 6; ++i, ++digits) {
    const char c = rtf[i];
    if (c < '0' || c > '9') break;
    code_page = code_page * 10 + static_cast<uint32_t>(c - '0');
  }
  return (digits == 0 || code_page == 0) ? fallback : code_page;
}

}  // namespace vendrel
