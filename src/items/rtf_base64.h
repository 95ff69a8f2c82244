// The RTF body arrives from the host as Base64 text. The decoder is lenient
// in the way the binding call promises: it never fails, it only produces
// fewer or different bytes for text that is not Base64.
#pragma once

#include <string>
#include <string_view>

namespace vendrel {

// Decodes Base64 text: "A"-"Z" are 0-25, "a"-"z" 26-51, "0"-"9" 52-61, "+"
// 62 and "/" 63. Line breaks, tabs and blanks (the wrapped form mail tools
// write) are skipped; any other character counts as 0. Decoding stops at the
// first "="; a last group of two or three characters gives one or two bytes.
// A text of fewer than four characters (not counting the skipped ones)
// decodes to nothing.
std::string decode_rtf_base64(std::string_view text);

}  // namespace vendrel
