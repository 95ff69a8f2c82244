#include "mime/address_list.h"

#include "mime/ascii.h"
#include "mime/encoded_word.h"

namespace vendrel {

using namespace mime;

namespace mime {

namespace {

bool is_address_special(char c) { return std::string_view("()<>@,;:\\\".[]").find(c) != std::string_view::npos; }
bool is_lexical_space(char c) { return is_space(c) || c == '\v' || c == '\f'; }

}  // namespace

std::vector<AddressToken> tokenize_address(std::string_view s) {
  std::vector<AddressToken> tokens;
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const char c = s[i];
    size_t j = i + 1;
    AddressTokenKind kind;
    if (is_lexical_space(c)) {
      kind = AddressTokenKind::space;
      while (j < n && is_lexical_space(s[j])) ++j;
    } else if (c == '(') {
      kind = AddressTokenKind::comment;
      int depth = 1;
      while (j < n && depth > 0) {
        if (s[j] == '\\')
          ++j;
        else if (s[j] == '(')
          ++depth;
        else if (s[j] == ')')
          --depth;
        ++j;
      }
    } else if (c == '"') {
      kind = AddressTokenKind::quoted;
      while (j < n && s[j] != '"') j += s[j] == '\\' ? 2 : 1;
      ++j;
    } else if (c == '<') {
      kind = AddressTokenKind::angle;
      bool quoted = false;
      while (j < n) {
        const char d = s[j++];
        if (quoted) {
          if (d == '\\')
            ++j;
          else if (d == '"')
            quoted = false;
        } else if (d == '"') {
          quoted = true;
        } else if (d == '>') {
          break;
        }
      }
    } else if (is_address_special(c) || c == '>') {
      kind = AddressTokenKind::special;
    } else {
      kind = AddressTokenKind::atom;
      while (j < n && !is_lexical_space(s[j]) && !is_address_special(s[j]) && s[j] != '>') ++j;
    }
    if (j > n) j = n;
    tokens.push_back({kind, i, j});
    i = j;
  }
  return tokens;
}

std::string phrase_text(std::string_view s, const std::vector<AddressToken>& tokens, size_t first, size_t last) {
  std::string out;
  for (size_t i = first; i < last; ++i) {
    const AddressToken& t = tokens[i];
    const std::string_view raw = s.substr(t.begin, t.end - t.begin);
    if (t.kind == AddressTokenKind::quoted) {
      for (size_t k = 1; k < raw.size(); ++k) {
        if (raw[k] == '\\' && k + 1 < raw.size())
          out.push_back(raw[++k]);
        else if (raw[k] == '"' && k + 1 == raw.size())
          break;
        else
          out.push_back(raw[k]);
      }
    } else if (t.kind != AddressTokenKind::comment) {
      out.append(raw);
    }
  }
  return out;
}

std::string comment_text(std::string_view comment) {
  if (!comment.empty() && comment.front() == '(') comment.remove_prefix(1);
  if (!comment.empty() && comment.back() == ')') comment.remove_suffix(1);
  std::string out;
  for (size_t k = 0; k < comment.size(); ++k) {
    if (comment[k] == '\\' && k + 1 < comment.size())
      out.push_back(comment[++k]);
    else
      out.push_back(comment[k]);
  }
  return out;
}

}  // namespace mime

namespace {

// Decoded display text: encoded words decoded, blanks at the ends removed.
std::string decode_display(std::string_view text, std::string& charset) {
  std::string found;
  std::string decoded = CMimeEncodedWord::decode_text(text, &found);
  if (charset.empty()) charset = found;
  return std::string(trim(decoded));
}

// One mailbox from its tokens [first, last).
void add_mailbox(std::string_view s, const std::vector<AddressToken>& tokens, size_t first, size_t last,
                 std::vector<CMimeAddress>& out) {
  CMimeAddress mailbox;
  size_t angle = last;
  for (size_t i = first; i < last; ++i)
    if (tokens[i].kind == AddressTokenKind::angle) {
      angle = i;
      break;
    }
  std::string first_comment;
  bool have_comment = false;
  for (size_t i = first; i < last; ++i)
    if (tokens[i].kind == AddressTokenKind::comment && !have_comment) {
      first_comment = comment_text(s.substr(tokens[i].begin, tokens[i].end - tokens[i].begin));
      have_comment = true;
    }

  if (angle < last) {
    std::string_view inner = s.substr(tokens[angle].begin + 1, tokens[angle].end - tokens[angle].begin - 1);
    if (!inner.empty() && inner.back() == '>') inner.remove_suffix(1);
    inner = trim(inner);
    if (!inner.empty() && inner.front() == '@') {  // obsolete route: <@a,@b:user@host>
      const size_t colon = inner.find(':');
      inner = colon == std::string_view::npos ? std::string_view() : trim(inner.substr(colon + 1));
    }
    // Comments and blanks inside the angle brackets are no part of the address.
    const std::vector<AddressToken> inner_tokens = tokenize_address(inner);
    for (const AddressToken& t : inner_tokens)
      if (t.kind != AddressTokenKind::space && t.kind != AddressTokenKind::comment)
        mailbox.address.append(inner.substr(t.begin, t.end - t.begin));
    mailbox.name = decode_display(phrase_text(s, tokens, first, angle), mailbox.charset);
    if (mailbox.name.empty() && have_comment) mailbox.name = decode_display(first_comment, mailbox.charset);
  } else {
    std::string addr_spec;
    bool has_at = false;
    size_t words = 0;
    for (size_t i = first; i < last; ++i) {
      const AddressToken& t = tokens[i];
      if (t.kind == AddressTokenKind::space || t.kind == AddressTokenKind::comment) continue;
      if (is_special_token(t, s, '@')) has_at = true;
      if (t.kind == AddressTokenKind::atom || t.kind == AddressTokenKind::quoted) ++words;
      addr_spec.append(s.substr(t.begin, t.end - t.begin));
    }
    if (has_at || words == 1) {
      bool plain_word = words == 1 && !has_at;
      if (plain_word && addr_spec.find("=?") != std::string::npos) {
        mailbox.name = decode_display(phrase_text(s, tokens, first, last), mailbox.charset);
      } else {
        mailbox.address = addr_spec;
        if (have_comment) mailbox.name = decode_display(first_comment, mailbox.charset);
      }
    } else {
      mailbox.name = decode_display(phrase_text(s, tokens, first, last), mailbox.charset);
    }
  }
  if (mailbox.name.empty() && mailbox.address.empty()) return;
  out.push_back(std::move(mailbox));
}

}  // namespace

std::vector<CMimeAddress> parse_address_list(std::string_view s) {
  const std::vector<AddressToken> tokens = tokenize_address(s);
  std::vector<CMimeAddress> out;
  size_t start = 0;
  bool in_group = false;
  bool seen_angle = false;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const AddressToken& t = tokens[i];
    if (t.kind == AddressTokenKind::angle) seen_angle = true;
    if (is_special_token(t, s, ',')) {
      add_mailbox(s, tokens, start, i, out);
      start = i + 1;
      seen_angle = false;
    } else if (is_special_token(t, s, ':') && !in_group && !seen_angle) {
      start = i + 1;  // the group's name is not a mailbox
      in_group = true;
    } else if (is_special_token(t, s, ';')) {  // ends a group; outside one, a separator as ","
      add_mailbox(s, tokens, start, i, out);
      start = i + 1;
      in_group = false;
      seen_angle = false;
    }
  }
  add_mailbox(s, tokens, start, tokens.size(), out);
  return out;
}

}  // namespace vendrel
