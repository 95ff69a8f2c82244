// Internet charset names and Win32 code pages, both ways: a charset read
// from a message selects the code page its text is decoded with, and the
// code page an .eml file is written in gives the charset it is labelled with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vendrel {

// The code page of a charset name, compared without regard to case: the
// names of the mail table first, then any name the platform's converters
// know. 0 (the ANSI code page) for an empty or unknown name.
uint32_t charset_code_page(std::string_view charset);

// The charset name of a code page, when it has one.
std::optional<std::string_view> code_page_charset(uint32_t code_page);

// What an .eml file is written in for a bound code page: the code page the
// text is converted with and the charset that names exactly that code page.
// A code page without a converter here, or without a charset name, is
// written as UTF-8 so that the label always matches the bytes.
struct EmlEncoding {
  uint32_t code_page = 65001;
  std::string charset = "utf-8";
};
EmlEncoding eml_encoding(uint32_t bound_code_page);

}  // namespace vendrel
