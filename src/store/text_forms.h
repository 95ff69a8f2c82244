// Names reach the store and its folders in two widths: 8-bit strings in the
// host's code page and UTF-16. A store keeps them in its file's width
// (chartype) and compares them there, code unit by code unit; its 8-bit
// strings are read back in the host's code page (the file's code page they
// are stored in is the property set's business).
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "common/errors.h"
#include "common/strings.h"
#include "ltp/property_set.h"
#include "ltp/property_value.h"
#include "platform/platform.h"

namespace vendrel {

// A caller's NUL-terminated string, checked readable within 1 MiB.
template <typename CharT>
std::basic_string_view<CharT> checked_text(const CharT* text, const char* what) {
  std::optional<size_t> n = bounded_length(text);
  if (!n) throw qm_invalid_arg(std::string(what) + " is not a readable string");
  return std::basic_string_view<CharT>(text, *n);
}

template <typename To>
std::basic_string<To> text_form(std::u16string_view text) {
  if constexpr (std::is_same_v<To, char16_t>)
    return std::u16string(text);
  else
    return platform::wide_to_multibyte(0, text);
}

template <typename To>
std::basic_string<To> text_form(std::string_view text) {
  if constexpr (std::is_same_v<To, char>)
    return std::string(text);
  else
    return platform::multibyte_to_wide(0, text);
}

// The tag of a string property given in the width of CharT.
template <typename CharT>
constexpr uint32_t string_tag(uint16_t id) {
  return make_tag(id, std::is_same_v<CharT, char> ? prop_type::string8 : prop_type::unicode);
}

template <typename CharT>
pst_property_value string_value(uint16_t id, std::basic_string_view<CharT> text) {
  return pst_property_value::of_string(string_tag<CharT>(id), text);
}

// A string property of a set in the width of To; empty when absent.
template <typename To>
std::basic_string<To> string_property(const pst_property_set& set, uint16_t id) {
  const pst_property_value* v = set.get_property(id);
  if (!v) return {};
  if (v->type() == prop_type::unicode) return text_form<To>(std::u16string_view(v->as_unicode()));
  if (v->type() == prop_type::string8) return text_form<To>(std::u16string_view(file_string_to_wide(v->as_string8())));
  return {};
}

}  // namespace vendrel
