#include "mime/field_code.h"

#include "mime/ascii.h"
#include "mime/encoded_word.h"

namespace vendrel {

using namespace mime;

bool CFieldCodeBase::is_delimiter(char c) const {
  return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}

bool CFieldCodeBase::is_special(char c) const {
  return std::string_view("()<>@,;:\\\".[]").find(c) != std::string_view::npos;
}

bool CFieldCodeText::is_special(char) const { return false; }

void CFieldCodeBase::encode_run(std::string_view text, bool phrase, CMimeOutput& out) const {
  CMimeEncodedWord word;
  word.set_charset(charset_);
  word.set_phrase(phrase);
  word.set_input(text, true);
  out.put(word.output());
}

void CFieldCodeBase::encode_into(CMimeOutput& out) const {
  const std::string_view in = input();
  if (charset_.empty() || !contains_8bit(in)) {
    out.put(in);
    return;
  }
  auto word_end = [&](size_t from) {
    while (from < in.size() && !is_delimiter(in[from]) && !is_special(in[from])) ++from;
    return from;
  };
  size_t i = 0;
  while (i < in.size()) {
    if (is_delimiter(in[i]) || is_special(in[i])) {
      out.put(in[i++]);
      continue;
    }
    const size_t end = word_end(i);
    if (!contains_8bit(in.substr(i, end - i))) {
      out.put(in.substr(i, end - i));
      i = end;
      continue;
    }
    // Words that need encoding and are separated only by blanks become one
    // run: the blank between two encoded words would vanish on decoding.
    size_t run_end = end;
    for (;;) {
      size_t next = run_end;
      while (next < in.size() && is_blank(in[next])) ++next;
      if (next == run_end || next == in.size() || is_delimiter(in[next]) || is_special(in[next])) break;
      const size_t next_end = word_end(next);
      if (!contains_8bit(in.substr(next, next_end - next))) break;
      run_end = next_end;
    }
    encode_run(in.substr(i, run_end - i), false, out);
    i = run_end;
  }
}

void CFieldCodeBase::decode_into(CMimeOutput& out) const {
  std::string charset;
  out.put(CMimeEncodedWord::decode_text(input(), &charset));
  decoded_charset_ = charset;
}

}  // namespace vendrel
