// UTF-8 <-> UTF-16 without the system's converters, with the replacement
// rules of MultiByteToWideChar and WideCharToMultiByte. Not part of the
// platform interface: nothing outside src/platform/ includes this.
#pragma once

#include <string>
#include <string_view>

namespace vendrel::platform {

// UTF-16 -> UTF-8. Unpaired surrogates become `replacement` (a UTF-8 sequence).
std::string utf16_to_utf8(std::u16string_view text, std::string_view replacement);
// UTF-8 -> UTF-16. Each maximal ill-formed subsequence becomes one
// `replacement` code unit.
std::u16string utf8_to_utf16(std::string_view text, char16_t replacement);

}  // namespace vendrel::platform
