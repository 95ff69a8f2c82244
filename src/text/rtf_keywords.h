// The control words the RTF reader knows. Anything else is an unknown control
// word: ignored, or the start of a skipped destination after "\*".
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vendrel {

enum class rtf_keyword_kind : uint8_t {
  character,    // outputs the character whose code is the index
  destination,  // switches to the destination named by the index
  property,     // sets the formatting property named by the index
  special,      // binary run, skip-if-unknown or hex character (rtf_special)
};

enum class rtf_destination : int32_t { skip = 0 };

enum class rtf_special : int32_t { binary = 0, skip_if_unknown = 1, hex = 2 };

// Formatting properties kept in the reader's state and saved per group.
enum class rtf_property : int32_t {
  bold,
  underline,
  italic,
  left_indent,
  right_indent,
  first_indent,
  columns,
  section_break,
  page_number_x,
  page_number_y,
  page_number_format,
  justification,
  page_width,
  page_height,
  margin_left,
  margin_right,
  margin_top,
  margin_bottom,
  page_number_start,
  facing_pages,
  landscape,
  count
};

namespace rtf_value {
inline constexpr int32_t break_none = 0, break_column = 1, break_even = 2, break_odd = 3, break_page = 4;
inline constexpr int32_t pages_decimal = 0, pages_upper_roman = 1, pages_lower_roman = 2, pages_upper_letter = 3,
                         pages_lower_letter = 4;
inline constexpr int32_t justify_left = 0, justify_right = 1, justify_center = 2, justify_full = 3;
}  // namespace rtf_value

struct rtf_keyword {
  std::string_view keyword;
  int32_t default_parameter;
  bool use_default;  // the default replaces any parameter given
  rtf_keyword_kind kind;
  int32_t index;
};

// The 79 entries, in lookup order.
std::span<const rtf_keyword> rtf_keyword_table();

}  // namespace vendrel
