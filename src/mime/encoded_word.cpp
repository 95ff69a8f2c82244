#include "mime/encoded_word.h"

#include <algorithm>

#include "mime/ascii.h"
#include "mime/base64.h"

namespace vendrel {

using namespace mime;

namespace {

bool is_utf8_charset(std::string_view charset) { return iequals(charset, "utf-8") || iequals(charset, "utf8"); }

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Bytes a "Q" word may carry as they are.
bool q_literal(char c, bool phrase) {
  const auto u = static_cast<unsigned char>(c);
  if (phrase) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
           c == '+' || c == '-' || c == '/';
  }
  return u >= 33 && u <= 126 && c != '=' && c != '?' && c != '_';
}

size_t budget(std::string_view charset) {
  const size_t minimum = 12;  // absurdly long charset names still make progress
  return charset.size() + minimum < CMimeEncodedWord::kWordBudget ? CMimeEncodedWord::kWordBudget - charset.size()
                                                                   : minimum;
}

// One character's bytes starting at i: a whole UTF-8 sequence, else one byte.
size_t char_length(std::string_view text, size_t i, bool utf8) {
  if (!utf8) return 1;
  size_t j = i + 1;
  while (j < text.size() && j - i < 4 && is_continuation_byte(text[j])) ++j;
  return j - i;
}

struct EncodedWordView {
  std::string_view charset;
  char encoding = 0;  // 'b' or 'q'
  std::string_view text;
  size_t end = 0;  // index just past "?="
};

// Finds encoded words left to right. The positions of the next "?=" and the
// next "=?" are kept between candidates, so a text full of false starts
// costs linear time, not quadratic.
class WordScanner {
 public:
  explicit WordScanner(std::string_view s) : s_(s) {}

  // The encoded word at `pos` (which holds "=?"), if it is one.
  bool parse(size_t pos, EncodedWordView& word) {
    static constexpr size_t kMaxCharset = 75;
    const size_t charset_begin = pos + 2;
    const size_t window = std::min(s_.size() - charset_begin, kMaxCharset + 1);
    const size_t q1 = s_.substr(charset_begin, window).find('?');
    if (q1 == std::string_view::npos || q1 == 0) return false;
    const size_t question = charset_begin + q1;
    for (size_t i = charset_begin; i < question; ++i) {
      const char c = s_[i];
      if (is_space(c) || needs_header_encoding(c) || c == '=' || c == '"' || c == '(' || c == ')') return false;
    }
    if (question + 2 >= s_.size() || s_[question + 2] != '?') return false;
    const char letter = ascii_lower(s_[question + 1]);
    if (letter != 'b' && letter != 'q') return false;
    const size_t text_begin = question + 3;
    const size_t close = next(close_, "?=", text_begin);
    if (close == std::string_view::npos) return false;
    // The text may not run into the start of another word.
    const size_t open = next(open_, "=?", text_begin);
    if (open != std::string_view::npos && open + 2 <= close) return false;
    word.charset = s_.substr(charset_begin, question - charset_begin);
    word.encoding = letter;
    word.text = s_.substr(text_begin, close - text_begin);
    word.end = close + 2;
    return true;
  }

 private:
  // The first occurrence of `what` at or after `from`, cached in `cache`.
  size_t next(size_t& cache, std::string_view what, size_t from) {
    if (cache == kUnknown || (cache != std::string_view::npos && cache < from)) cache = s_.find(what, from);
    return cache;
  }

  static constexpr size_t kUnknown = std::string_view::npos - 1;
  std::string_view s_;
  size_t close_ = kUnknown;
  size_t open_ = kUnknown;
};

void decode_q_text(std::string_view text, std::string& out) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '_') {
      out.push_back(' ');
    } else if (c == '=') {
      const int high = i + 1 < text.size() ? hex_value(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
      } else {
        out.push_back(c);
      }
    } else {
      out.push_back(c);
    }
  }
}

}  // namespace

char CMimeEncodedWord::choose_encoding(std::string_view text) {
  const size_t n = text.size();
  size_t k = 0;
  for (char c : text)
    if (needs_header_encoding(c)) ++k;
  const size_t base64_length = (n / 3 + (n % 3 != 0)) * 4;
  if (n + 2 * k <= base64_length) return 'Q';
  return 5 * k > n ? 'B' : 'Q';
}

void CMimeEncodedWord::encode_into(CMimeOutput& out) const {
  if (charset_.empty() || input().empty()) {
    out.put(input());
    return;
  }
  if (choose_encoding(input()) == 'B')
    encode_b(out);
  else
    encode_q(out);
}

void CMimeEncodedWord::encode_b(CMimeOutput& out) const {
  const std::string_view in = input();
  const bool utf8 = is_utf8_charset(charset_);
  const size_t chunk = budget(charset_) / 4 * 3;
  CMimeCodeBase64 base64;
  base64.set_line_breaks(false);
  size_t pos = 0;
  while (pos < in.size()) {
    size_t end = pos + chunk < in.size() ? pos + chunk : in.size();
    if (utf8 && end < in.size()) {
      size_t back = end;
      while (back > pos && is_continuation_byte(in[back])) --back;
      if (back > pos) end = back;
    }
    if (pos) out.put(' ');
    out.put("=?");
    out.put(charset_);
    out.put("?B?");
    base64.set_input(in.substr(pos, end - pos), true);
    out.put(base64.output());
    out.put("?=");
    pos = end;
  }
}

void CMimeEncodedWord::encode_q(CMimeOutput& out) const {
  const std::string_view in = input();
  const bool utf8 = is_utf8_charset(charset_);
  const size_t limit = budget(charset_);
  std::string text;
  bool first = true;
  auto close_word = [&]() {
    if (!first) out.put(' ');
    out.put("=?");
    out.put(charset_);
    out.put("?Q?");
    out.put(text);
    out.put("?=");
    text.clear();
    first = false;
  };
  size_t i = 0;
  while (i < in.size()) {
    const size_t length = char_length(in, i, utf8 && is_8bit(in[i]));
    std::string unit;
    for (size_t j = i; j < i + length; ++j) {
      if (q_literal(in[j], phrase_))
        unit.push_back(in[j]);
      else
        append_hex_escape(unit, '=', static_cast<unsigned char>(in[j]));
    }
    if (!text.empty() && text.size() + unit.size() > limit) close_word();
    text += unit;
    i += length;
  }
  if (!text.empty()) close_word();
}

void CMimeEncodedWord::decode_into(CMimeOutput& out) const {
  std::string charset;
  out.put(decode_text(input(), &charset));
  decoded_charset_ = charset;
}

std::vector<CMimeEncodedWord::Segment> CMimeEncodedWord::decode_segments(std::string_view s) {
  std::vector<Segment> segments;
  auto plain = [&]() -> std::string& {
    if (segments.empty() || segments.back().encoded) segments.push_back(Segment{});
    return segments.back().bytes;
  };
  bool after_word = false;  // only blanks and line ends since the last word
  WordScanner scanner(s);
  size_t i = 0;
  while (i < s.size()) {
    EncodedWordView word;
    if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?' && scanner.parse(i, word)) {
      if (after_word && !segments.empty() && !segments.back().encoded) segments.pop_back();
      Segment segment;
      segment.encoded = true;
      std::string_view name = word.charset;
      const size_t star = name.find('*');
      if (star != std::string_view::npos) name = name.substr(0, star);
      segment.charset = std::string(name);
      if (word.encoding == 'b') {
        CMimeCodeBase64 base64;
        base64.set_input(word.text, false);
        segment.bytes = base64.output();
      } else {
        decode_q_text(word.text, segment.bytes);
      }
      // Adjacent words of one charset form one run: a character may be split
      // between them.
      if (!segments.empty() && segments.back().encoded && iequals(segments.back().charset, segment.charset))
        segments.back().bytes += segment.bytes;
      else
        segments.push_back(std::move(segment));
      after_word = true;
      i = word.end;
      continue;
    }
    if (!is_space(s[i])) after_word = false;
    plain().push_back(s[i]);
    ++i;
  }
  return segments;
}

std::string CMimeEncodedWord::decode_text(std::string_view s, std::string* charset) {
  std::string out;
  std::string first_charset;
  bool found = false;
  bool after_word = false;   // only blanks and line ends since the last word
  size_t after_word_size = 0;  // out.size() just after that word
  WordScanner scanner(s);
  size_t i = 0;
  while (i < s.size()) {
    EncodedWordView word;
    if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?' && scanner.parse(i, word)) {
      if (after_word) out.resize(after_word_size);
      if (word.encoding == 'b') {
        CMimeCodeBase64 base64;
        base64.set_input(word.text, false);
        out += base64.output();
      } else {
        decode_q_text(word.text, out);
      }
      if (!found) {
        std::string_view name = word.charset;
        const size_t star = name.find('*');
        if (star != std::string_view::npos) name = name.substr(0, star);
        first_charset = std::string(name);
        found = true;
      }
      after_word = true;
      after_word_size = out.size();
      i = word.end;
      continue;
    }
    if (!is_space(s[i])) after_word = false;
    out.push_back(s[i]);
    ++i;
  }
  if (charset) *charset = first_charset;
  return out;
}

}  // namespace vendrel
