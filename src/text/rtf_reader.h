// Plain text from an RTF body: a reader that walks the RTF once, keeps a
// stack of group states, skips the destinations that hold no body text and
// writes the characters of the normal destination. Formatting control words
// are recorded in the state but change nothing in the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/rtf_keywords.h"

namespace vendrel {

enum class rtf_result : int32_t {
  ok = 0,
  stack_underflow = 1,   // a "}" without an open group, or negative depth at the end
  stack_overflow = 2,    // a group state could not be saved (no memory)
  unmatched_brace = 3,   // groups left open at the end
  invalid_hex = 4,       // a bad digit after \'
  bad_table = 5,         // a keyword table entry the reader cannot act on
  assertion = 6,         // an unexpected input state
};

class rtf_reader {
 public:
  explicit rtf_reader(std::span<const rtf_keyword> keywords = rtf_keyword_table());

  // Reads the RTF bytes from the start state (depth 0, normal destination,
  // normal input, no saved states, formatting zero) and appends the text to
  // output. An error stops the reading; what was written until then stays.
  rtf_result read(std::string_view input, std::string& output);

  int32_t group_depth() const { return depth_; }
  int32_t property(rtf_property which) const { return formatting_[static_cast<size_t>(which)]; }

  // Control words longer than this many letters are unknown; parameters
  // longer than this many digits saturate like any out-of-range value.
  static constexpr size_t max_keyword_letters = 30;
  static constexpr size_t max_parameter_digits = 20;

 private:
  enum class destination : uint8_t { normal, skip };
  enum class input_state : uint8_t { normal, binary, hex };
  using formatting = std::array<int32_t, static_cast<size_t>(rtf_property::count)>;

  struct saved_state {
    destination dest;
    input_state input;
    formatting format;
  };

  bool push_state();
  bool pop_state();
  rtf_result parse_keyword();
  rtf_result translate(const rtf_keyword* entry, int32_t parameter, bool has_parameter);
  rtf_result apply_property(int32_t index, int32_t value);
  rtf_result change_destination(int32_t index);
  rtf_result special_keyword(int32_t index, int32_t parameter);
  rtf_result parse_char(int32_t ch);
  const rtf_keyword* find(std::string_view keyword) const;

  std::span<const rtf_keyword> keywords_;

  int32_t depth_ = 0;
  destination dest_ = destination::normal;
  input_state input_state_ = input_state::normal;
  int64_t binary_left_ = 0;
  bool skip_if_unknown_ = false;
  formatting formatting_{};
  std::vector<saved_state> stack_;
  uint8_t hex_value_ = 0;
  int hex_digits_ = 0;

  std::string_view input_;
  size_t pos_ = 0;
  std::string* output_ = nullptr;
};

struct rtf_text {
  rtf_result result;
  std::string text;
};

// The text of an RTF document, with the reader's result. Callers use the
// text whatever the result.
rtf_text rtf_to_text(std::string_view rtf);

}  // namespace vendrel
