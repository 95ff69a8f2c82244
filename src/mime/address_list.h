// Address list fields (From, To, Cc, ...): the lexical tokens of RFC 5322
// and the list split into display names and addresses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vendrel {

// One mailbox of an address list. The name is decoded (quotes and encoded
// words removed) but still in its charset, which is given when an encoded
// word named one.
struct CMimeAddress {
  std::string name;
  std::string address;
  std::string charset;
};

// Mailboxes of an address list, groups flattened into their members (an
// empty group gives none). Never fails: text that is no address gives a
// mailbox with only a name, or nothing.
std::vector<CMimeAddress> parse_address_list(std::string_view field_value);

namespace mime {

enum class AddressTokenKind { space, comment, quoted, angle, special, atom };

struct AddressToken {
  AddressTokenKind kind;
  size_t begin;
  size_t end;
};

// Quoted strings, comments (nested) and angle addresses each form one token,
// unterminated ones run to the end of the text.
std::vector<AddressToken> tokenize_address(std::string_view text);

// True for a special token holding `c`.
inline bool is_special_token(const AddressToken& t, std::string_view text, char c) {
  return t.kind == AddressTokenKind::special && text[t.begin] == c;
}

// The words of a phrase (tokens [first, last)) with quotes and escapes
// removed; blanks between them as written.
std::string phrase_text(std::string_view text, const std::vector<AddressToken>& tokens, size_t first, size_t last);

// The inside of a comment token, its escapes removed.
std::string comment_text(std::string_view comment);

}  // namespace mime
}  // namespace vendrel
