// Field codecs: how a header field's value is encoded for output and decoded
// for reading. Values with bytes that cannot stand in a header (8-bit bytes,
// control characters) become RFC 2047 encoded words in the given charset;
// which parts of a value may be encoded depends on the field's syntax.
//
//   CFieldCodeBase       any field: words between delimiters and RFC 822 specials
//   CFieldCodeText       unstructured text (Subject, Comments, ...): words between delimiters
//   CFieldCodeAddress    address lists: display names and comments only
//   CFieldCodeParameter  "value; attribute=value" fields: parameter values
#pragma once

#include <string>
#include <string_view>

#include "mime/code_base.h"

namespace vendrel {

class CFieldCodeBase : public CMimeCodeBase {
 public:
  // The charset encoded words are written in. Without one a value is
  // written as it is: nothing could name the charset of its bytes.
  void set_charset(std::string charset) { charset_ = std::move(charset); }
  const std::string& charset() const { return charset_; }

  // The charset named by the first encoded word of the last decoding.
  const std::string& decoded_charset() const { return decoded_charset_; }

  // Tab, line feed, vertical tab, form feed, carriage return and blank.
  virtual bool is_delimiter(char c) const;
  // The characters that end a word besides the delimiters: the RFC 822
  // specials ()<>@,;:\".[]
  virtual bool is_special(char c) const;

 protected:
  void encode_into(CMimeOutput& out) const override;
  void decode_into(CMimeOutput& out) const override;

  // `text` as encoded words in the charset. Phrase words escape more (see
  // CMimeEncodedWord::set_phrase).
  void encode_run(std::string_view text, bool phrase, CMimeOutput& out) const;
  void note_charset(const std::string& charset) const {
    if (decoded_charset_.empty()) decoded_charset_ = charset;
  }
  void reset_decoded_charset() const { decoded_charset_.clear(); }

 private:
  std::string charset_;
  mutable std::string decoded_charset_;
};

class CFieldCodeText : public CFieldCodeBase {
 public:
  // Unstructured text has no specials: "(", "." or ":" are plain text.
  bool is_special(char c) const override;
};

}  // namespace vendrel
