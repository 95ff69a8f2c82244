// Plain text from an HTML body. A single pass over the bytes, not an HTML
// parser: text between tags is copied while the output switch is on, every
// tag sets the switches anew from the tag table (text/html_tags.h), a few
// tags become line breaks, a blank line or a dashed rule, and a few
// entities are replaced (text/html_entities.h). Bytes are copied as they
// are; no code-page conversion takes place on the 8-bit path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vendrel {

// The input is a NUL-terminated byte string: it ends at its first zero byte
// or at the end of the view. The output buffer starts at twice the input
// length and doubles as needed. A failed allocation throws qm_enomem_error.
std::string html_to_text(std::string_view html);

// A UTF-16 HTML body is first made 8-bit in the given code page (0 is the
// system ANSI code page); the result is text in that code page.
std::string html_to_text(std::u16string_view html, uint32_t code_page);

}  // namespace vendrel
