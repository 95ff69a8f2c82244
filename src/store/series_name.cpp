#include "store/series_name.h"

#include <cstdio>

namespace vendrel {

namespace {

template <typename CharT>
std::basic_string<CharT> widen(const char* text) {
  std::basic_string<CharT> out;
  for (; *text; ++text) out.push_back(static_cast<CharT>(*text));
  return out;
}

template <typename CharT>
bool ends_with(std::basic_string_view<CharT> text, const char* suffix) {
  const std::basic_string<CharT> s = widen<CharT>(suffix);
  return text.size() >= s.size() && text.substr(text.size() - s.size()) == s;
}

template <typename CharT>
std::basic_string<CharT> next_name(std::basic_string_view<CharT> name) {
  std::basic_string_view<CharT> rest = name;
  if (ends_with(rest, ".pst")) rest.remove_suffix(4);

  int number = 1;
  // " - nnn": three decimal digits that read as a number above 0.
  if (rest.size() >= 6) {
    std::basic_string_view<CharT> tail = rest.substr(rest.size() - 6);
    bool digits = true;
    int n = 0;
    for (size_t i = 3; i < 6; ++i) {
      if (tail[i] < CharT('0') || tail[i] > CharT('9')) {
        digits = false;
        break;
      }
      n = n * 10 + static_cast<int>(tail[i] - CharT('0'));
    }
    if (digits && n > 0 && ends_with(tail.substr(0, 3), " - ")) {
      rest.remove_suffix(6);
      number = n + 1;
    }
  }

  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " - %03d.pst", number);
  std::basic_string<CharT> out(rest);
  out += widen<CharT>(suffix);
  return out;
}

}  // namespace

std::string next_series_name(std::string_view name) { return next_name<char>(name); }
std::u16string next_series_name(std::u16string_view name) { return next_name<char16_t>(name); }

}  // namespace vendrel
