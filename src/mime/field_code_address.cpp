#include "mime/field_code_address.h"

#include <vector>

#include "mime/address_list.h"
#include "mime/ascii.h"
#include "mime/encoded_word.h"

namespace vendrel {

using namespace mime;

namespace {

bool is_phrase_word(const AddressToken& t, std::string_view s) {
  return t.kind == AddressTokenKind::atom || t.kind == AddressTokenKind::quoted || is_special_token(t, s, '.');
}

// The run of phrase tokens from `i`: [i, last) without trailing blanks, and
// whether it is a display name (an angle address or a group colon follows).
struct PhraseRun {
  size_t last;
  bool display_name;
};

PhraseRun phrase_run(std::string_view s, const std::vector<AddressToken>& tokens, size_t i) {
  size_t j = i;
  while (j < tokens.size() && (is_phrase_word(tokens[j], s) || tokens[j].kind == AddressTokenKind::space)) ++j;
  size_t last = j;
  while (last > i && tokens[last - 1].kind == AddressTokenKind::space) --last;
  size_t next = j;
  while (next < tokens.size() &&
         (tokens[next].kind == AddressTokenKind::space || tokens[next].kind == AddressTokenKind::comment))
    ++next;
  const bool display = next < tokens.size() &&
                       (tokens[next].kind == AddressTokenKind::angle || is_special_token(tokens[next], s, ':'));
  return {last, display};
}

// Whether tokens [first, last) belong to an address: an "@" inside them or
// right next to them (blanks and comments aside).
bool part_of_address(std::string_view s, const std::vector<AddressToken>& tokens, size_t first, size_t last) {
  for (size_t k = first; k < last; ++k)
    if (is_special_token(tokens[k], s, '@')) return true;
  auto skippable = [&](size_t k) {
    return tokens[k].kind == AddressTokenKind::space || tokens[k].kind == AddressTokenKind::comment;
  };
  size_t after = last;
  while (after < tokens.size() && skippable(after)) ++after;
  if (after < tokens.size() && is_special_token(tokens[after], s, '@')) return true;
  size_t before = first;
  while (before > 0 && skippable(before - 1)) --before;
  return before > 0 && is_special_token(tokens[before - 1], s, '@');
}

std::string quote_if_special(const std::string& text) {
  bool special = false;
  for (char c : text)
    if (std::string_view("()<>@,;:\\\".[]").find(c) != std::string_view::npos) special = true;
  if (!special) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string escape_comment(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

void CFieldCodeAddress::encode_into(CMimeOutput& out) const {
  const std::string_view in = input();
  if (charset().empty() || !contains_8bit(in)) {
    out.put(in);
    return;
  }
  const std::vector<AddressToken> tokens = tokenize_address(in);
  size_t i = 0;
  while (i < tokens.size()) {
    const AddressToken& t = tokens[i];
    if (t.kind == AddressTokenKind::atom || t.kind == AddressTokenKind::quoted) {
      const PhraseRun run = phrase_run(in, tokens, i);
      const std::string_view raw = in.substr(t.begin, tokens[run.last - 1].end - t.begin);
      if (run.display_name && contains_8bit(raw))
        encode_run(phrase_text(in, tokens, i, run.last), true, out);
      else
        out.put(raw);
      i = run.last;
      continue;
    }
    const std::string_view raw = in.substr(t.begin, t.end - t.begin);
    if (t.kind == AddressTokenKind::comment && contains_8bit(raw)) {
      out.put('(');
      encode_run(comment_text(raw), true, out);
      out.put(')');
    } else {
      out.put(raw);
    }
    ++i;
  }
}

void CFieldCodeAddress::decode_into(CMimeOutput& out) const {
  reset_decoded_charset();
  const std::string_view in = input();
  const std::vector<AddressToken> tokens = tokenize_address(in);
  size_t i = 0;
  while (i < tokens.size()) {
    const AddressToken& t = tokens[i];
    if (t.kind == AddressTokenKind::atom || t.kind == AddressTokenKind::quoted) {
      const PhraseRun run = phrase_run(in, tokens, i);
      const std::string_view raw = in.substr(t.begin, tokens[run.last - 1].end - t.begin);
      const bool name = run.display_name || !part_of_address(in, tokens, i, run.last);
      if (name && raw.find("=?") != std::string_view::npos) {
        std::string charset;
        const std::string decoded = CMimeEncodedWord::decode_text(phrase_text(in, tokens, i, run.last), &charset);
        note_charset(charset);
        out.put(quote_if_special(decoded));
      } else {
        out.put(raw);
      }
      i = run.last;
      continue;
    }
    const std::string_view raw = in.substr(t.begin, t.end - t.begin);
    if (t.kind == AddressTokenKind::comment && raw.find("=?") != std::string_view::npos) {
      std::string charset;
      const std::string decoded = CMimeEncodedWord::decode_text(comment_text(raw), &charset);
      note_charset(charset);
      out.put('(');
      out.put(escape_comment(decoded));
      out.put(')');
    } else {
      out.put(raw);
    }
    ++i;
  }
}

}  // namespace vendrel
