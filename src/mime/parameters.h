// Parameter lists of structured fields ("text/plain; charset=utf-8",
// "attachment; filename*=utf-8''%E2%82%AC.txt"). The field value is kept as
// text; these helpers find, decode and replace its parameters in place.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vendrel::mime {

// One "attribute=value" segment, as views into the field value.
struct ParameterSpan {
  std::string_view attribute;  // trimmed; empty for a segment without "="
  std::string_view value;      // as written, quotes included
  size_t segment_begin = 0;    // just after the ";"
  size_t segment_end = 0;      // at the next ";" or the end
  size_t value_begin = 0;
  size_t value_end = 0;
};

struct ParameterList {
  std::string_view main_value;  // before the first ";", trimmed
  size_t main_end = 0;          // position of the first ";" (or the end)
  std::vector<ParameterSpan> parameters;
};

// Splits at the semicolons outside quoted strings. Never fails: junk
// segments come back with an empty attribute, an unterminated quoted string
// runs to the end.
ParameterList split_parameters(std::string_view field_value);

// A quoted string without its quotes and backslash escapes; other text trimmed.
std::string unquote(std::string_view raw);
// The value as a token where it can be one, else as a quoted string.
std::string quote_parameter(std::string_view value);

// The value of parameter `name` (names compare without case). RFC 2231 forms
// (name*, name*0, name*1*, ...) win over a plain one: their sections are
// joined in order, %XX escapes decoded, and the charset of the first section
// reported. A plain value is unquoted and, when `decode`, its encoded words
// are decoded (their charset reported).
std::optional<std::string> find_parameter(std::string_view field_value, std::string_view name,
                                          std::string* charset = nullptr, bool decode = true);

// Every parameter once, in the order of first appearance, with its value
// decoded as by find_parameter; `first_charset` gets the first charset met.
struct DecodedParameter {
  std::string name;  // as written (without RFC 2231 suffixes)
  std::string value;
};
std::vector<DecodedParameter> decoded_parameters(std::string_view field_value, std::string* first_charset = nullptr);

// The field value with parameter `name` set to `value`: every earlier form of
// it is removed and the new one put at the place of the first (or appended).
std::string replace_parameter(std::string_view field_value, std::string_view name, std::string_view value);

}  // namespace vendrel::mime
