#include "text/rtf_reader.h"

#include <limits>
#include <new>

namespace vendrel {

namespace {

bool is_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

rtf_reader::rtf_reader(std::span<const rtf_keyword> keywords) : keywords_(keywords) {}

rtf_result rtf_reader::read(std::string_view input, std::string& output) {
  depth_ = 0;
  dest_ = destination::normal;
  input_state_ = input_state::normal;
  binary_left_ = 0;
  skip_if_unknown_ = false;
  formatting_ = {};
  stack_.clear();
  hex_value_ = 0;
  hex_digits_ = 0;
  input_ = input;
  pos_ = 0;
  output_ = &output;

  while (pos_ < input_.size()) {
    const auto ch = static_cast<unsigned char>(input_[pos_++]);
    if (input_state_ == input_state::binary) {
      // Bytes of a \bin run are data, whatever they look like.
      if (rtf_result r = parse_char(ch); r != rtf_result::ok) return r;
      continue;
    }
    switch (ch) {
      case '{':
        if (!push_state()) return rtf_result::stack_overflow;
        break;
      case '}':
        if (!pop_state()) return rtf_result::stack_underflow;
        break;
      case '\\':
        if (rtf_result r = parse_keyword(); r != rtf_result::ok) return r;
        break;
      case '\r':
      case '\n':
        break;
      default:
        if (input_state_ == input_state::normal) {
          if (rtf_result r = parse_char(ch); r != rtf_result::ok) return r;
        } else if (input_state_ == input_state::hex) {
          const int digit = hex_digit(ch);
          if (digit < 0) return rtf_result::invalid_hex;
          hex_value_ = static_cast<uint8_t>((hex_value_ << 4) | digit);
          if (++hex_digits_ == 2) {
            input_state_ = input_state::normal;
            const uint8_t byte = hex_value_;
            hex_value_ = 0;
            hex_digits_ = 0;
            if (rtf_result r = parse_char(byte); r != rtf_result::ok) return r;
          }
        } else {
          return rtf_result::assertion;
        }
        break;
    }
  }
  if (depth_ < 0) return rtf_result::stack_underflow;
  if (depth_ > 0) return rtf_result::unmatched_brace;
  return rtf_result::ok;
}

bool rtf_reader::push_state() {
  try {
    stack_.push_back(saved_state{dest_, input_state_, formatting_});
  } catch (const std::bad_alloc&) {
    return false;
  }
  input_state_ = input_state::normal;
  ++depth_;
  return true;
}

bool rtf_reader::pop_state() {
  if (stack_.empty()) return false;
  const saved_state& saved = stack_.back();
  dest_ = saved.dest;
  input_state_ = saved.input;
  formatting_ = saved.format;
  stack_.pop_back();
  --depth_;
  return true;
}

// After a backslash: a control symbol (one non-letter) or a control word
// (letters, then an optional "-" and digits). A blank delimiter belongs to
// the word; any other delimiter is left for the main loop.
rtf_result rtf_reader::parse_keyword() {
  if (pos_ >= input_.size()) return rtf_result::ok;  // the end-of-input checks decide
  const size_t start = pos_;
  if (!is_letter(static_cast<unsigned char>(input_[pos_]))) {
    ++pos_;
    return translate(find(input_.substr(start, 1)), 0, false);
  }
  while (pos_ < input_.size() && is_letter(static_cast<unsigned char>(input_[pos_]))) ++pos_;
  const std::string_view keyword = input_.substr(start, pos_ - start);

  bool negative = false;
  if (pos_ < input_.size() && input_[pos_] == '-') {
    negative = true;
    ++pos_;
  }
  const size_t digits_start = pos_;
  // Accumulated up to 2^31 so that both ends of the 32-bit range are reachable.
  constexpr int64_t limit = int64_t{1} << 31;
  int64_t value = 0;
  while (pos_ < input_.size() && is_digit(static_cast<unsigned char>(input_[pos_]))) {
    value = value * 10 + (input_[pos_] - '0');
    if (value > limit) value = limit;
    ++pos_;
  }
  const bool has_parameter = pos_ > digits_start;
  const size_t word_end = pos_;
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  if (pos_ < input_.size() && input_[pos_] == ' ') ++pos_;

  if (keyword.size() > max_keyword_letters) return translate(nullptr, 0, false);
  if (const rtf_keyword* entry = find(keyword)) return translate(entry, static_cast<int32_t>(value), has_parameter);
  // A table word that ends in digits ("private1") is read as letters and a
  // parameter; it matches as a whole, without a parameter.
  if (has_parameter && !negative && word_end - start <= max_keyword_letters + max_parameter_digits) {
    if (const rtf_keyword* entry = find(input_.substr(start, word_end - start))) return translate(entry, 0, false);
  }
  return translate(nullptr, 0, false);
}

const rtf_keyword* rtf_reader::find(std::string_view keyword) const {
  for (const rtf_keyword& entry : keywords_) {
    if (entry.keyword == keyword) return &entry;
  }
  return nullptr;
}

rtf_result rtf_reader::translate(const rtf_keyword* entry, int32_t parameter, bool has_parameter) {
  if (entry == nullptr) {
    // An unknown word right after \* starts a destination we cannot read.
    if (skip_if_unknown_) dest_ = destination::skip;
    skip_if_unknown_ = false;
    return rtf_result::ok;
  }
  skip_if_unknown_ = false;
  switch (entry->kind) {
    case rtf_keyword_kind::property:
      if (entry->use_default || !has_parameter) parameter = entry->default_parameter;
      return apply_property(entry->index, parameter);
    case rtf_keyword_kind::character:
      if (entry->index < 0 || entry->index > 0xFF) return rtf_result::bad_table;
      return parse_char(entry->index);
    case rtf_keyword_kind::destination:
      return change_destination(entry->index);
    case rtf_keyword_kind::special:
      return special_keyword(entry->index, parameter);
  }
  return rtf_result::bad_table;
}

rtf_result rtf_reader::apply_property(int32_t index, int32_t value) {
  if (dest_ == destination::skip) return rtf_result::ok;
  if (index < 0 || index >= static_cast<int32_t>(rtf_property::count)) return rtf_result::bad_table;
  formatting_[static_cast<size_t>(index)] = value;
  return rtf_result::ok;
}

rtf_result rtf_reader::change_destination(int32_t index) {
  if (dest_ == destination::skip) return rtf_result::ok;
  if (index != static_cast<int32_t>(rtf_destination::skip)) return rtf_result::bad_table;
  dest_ = destination::skip;
  return rtf_result::ok;
}

rtf_result rtf_reader::special_keyword(int32_t index, int32_t parameter) {
  // Inside a skipped destination only a binary run still matters: its bytes
  // must not be read as RTF.
  if (dest_ == destination::skip && index != static_cast<int32_t>(rtf_special::binary)) return rtf_result::ok;
  switch (static_cast<rtf_special>(index)) {
    case rtf_special::binary:
      // A run of no bytes (or a negative count) is no run.
      if (parameter > 0) {
        input_state_ = input_state::binary;
        binary_left_ = parameter;
      }
      return rtf_result::ok;
    case rtf_special::skip_if_unknown:
      skip_if_unknown_ = true;
      return rtf_result::ok;
    case rtf_special::hex:
      input_state_ = input_state::hex;
      hex_value_ = 0;
      hex_digits_ = 0;
      return rtf_result::ok;
  }
  return rtf_result::bad_table;
}

rtf_result rtf_reader::parse_char(int32_t ch) {
  if (input_state_ == input_state::binary && --binary_left_ <= 0) input_state_ = input_state::normal;
  if (dest_ == destination::normal) {
    try {
      output_->push_back(static_cast<char>(static_cast<unsigned char>(ch)));
    } catch (const std::bad_alloc&) {
      return rtf_result::stack_overflow;
    }
  }
  return rtf_result::ok;
}

rtf_text rtf_to_text(std::string_view rtf) {
  rtf_text result{rtf_result::ok, {}};
  result.text.reserve(rtf.size());
  rtf_reader reader;
  result.result = reader.read(rtf, result.text);
  return result;
}

}  // namespace vendrel
