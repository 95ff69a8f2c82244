// Code pages of texts the body paths make themselves. The 8-bit text the
// HTML converter and the RTF reader produce is stored as UTF-16, converted
// with the code page it is in: the host's code page, which the property set
// takes 8-bit strings in, garbles a text made in another.
#pragma once

#include <cstdint>
#include <string_view>

namespace vendrel {

// The code page a wide HTML body is made 8-bit in for the converter: the
// bound one (0 is the host's code page) when it keeps every character
// of the text and writes exactly the text's ASCII characters as its only
// bytes below 0x80 (the converter acts on those alone); otherwise UTF-8
// (65001), which always does.
uint32_t html_conversion_code_page(std::u16string_view html, uint32_t bound_code_page);

// The code page that the "\'hh" bytes of an RTF document stand in: the
// "\ansicpgN" of the document's header (its opening kilobyte), else the
// fallback.
uint32_t rtf_document_code_page(std::string_view rtf, uint32_t fallback);

// The internet code page an item gets when nothing set one: 1250 in a
// Unicode file; in an ANSI file the file's code page, which its 8-bit
// bodies are in (a reader decodes them by it).
uint32_t default_internet_code_page(bool ansi_file);

}  // namespace vendrel
