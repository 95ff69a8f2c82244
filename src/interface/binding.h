// What the binding calls do to the bound state, apart from the exported
// entry points (binding_calls.cpp), so that it can be used and tested
// from inside the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "interface/library_state.h"
#include "platform/platform.h"

namespace vendrel {

// The subject as stored: code unit 1, then the prefix length + 1 (or 1 when
// the prefix is 255 or longer), then the caller's whole text.
template <typename CharT>
std::basic_string<CharT> encode_subject(std::basic_string_view<CharT> text, uint32_t prefix_length) {
  std::basic_string<CharT> coded;
  coded.reserve(text.size() + 2);
  coded.push_back(CharT(1));
  coded.push_back(CharT(prefix_length < 255 ? prefix_length + 1 : 1));
  coded.append(text);
  return coded;
}

// The value of both halves that the wide plain time calls take as "no time".
inline constexpr uint32_t unset_time_half = 0x2A2A2A2A;

inline uint64_t filetime_from_halves(uint32_t low, uint32_t high) {
  return (static_cast<uint64_t>(high) << 32) | low;
}

// Converts a SYSTEMTIME taken as UTC; leaves the field alone when it is invalid.
void bind_system_time(uint64_t& field, const platform::system_time& time);

// The property tag named by BindLiteralProp's text: an optional 'M', one type
// letter (B I L N Q S T), then the property ID in hexadecimal. nullopt for
// text it does not accept.
std::optional<uint32_t> parse_literal_tag(std::string_view text);

// BClear and BClearA.
void clear_wide_bindings(LibraryState& state);
void clear_narrow_bindings(LibraryState& state);

}  // namespace vendrel
