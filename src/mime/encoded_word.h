// RFC 2047 encoded words ("=?charset?B?...?=", "=?charset?Q?...?=").
//
// Encoding turns the whole input into one or more encoded words in the set
// charset (the field codecs decide which parts of a header value need it).
// Decoding finds the encoded words in a text, replaces each by its bytes and
// copies the text around them. The bytes stay in the words' charset: the
// charset of the first word is kept for the caller, who converts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mime/code_base.h"

namespace vendrel {

class CMimeEncodedWord : public CMimeCodeBase {
 public:
  // Longest text of one word, less the charset's length.
  static constexpr size_t kWordBudget = 68;

  void set_charset(std::string charset) { charset_ = std::move(charset); }
  const std::string& charset() const { return charset_; }

  // Words that stand for a phrase (a display name) or a parameter value may
  // hold only letters, digits and "!*+-/" as they are (RFC 2047, 5 (3));
  // every other byte is then escaped in "Q" words.
  void set_phrase(bool phrase) { phrase_ = phrase; }

  // The charset of the first encoded word the last decoding met ("" if none),
  // without an RFC 2231 language suffix.
  const std::string& decoded_charset() const { return decoded_charset_; }

  // 'Q' or 'B' for a text of n bytes of which k must be escaped: "Q" when
  // n + 2k is at most the Base64 length, else "B" when 5k > n, else "Q".
  static char choose_encoding(std::string_view text);

  // Decodes the encoded words of `text` (see decode_into). `charset` (if
  // given) receives the first word's charset.
  static std::string decode_text(std::string_view text, std::string* charset = nullptr);

  // The text cut into runs: each encoded word decoded, with its own charset
  // (RFC 2231 language suffix removed), and the text between words as it is
  // (charset empty, `encoded` false). Blanks between adjacent encoded words
  // are dropped as in decode_text.
  struct Segment {
    std::string bytes;
    std::string charset;
    bool encoded = false;
  };
  static std::vector<Segment> decode_segments(std::string_view text);

 protected:
  // Without a charset nothing can be labelled and the input is copied.
  // "B" words take at most (68 - charset length) / 4 * 3 input bytes, "Q"
  // words at most 68 - charset length characters of text; further words
  // follow after one blank. Words never split an escape, nor a UTF-8
  // sequence when the charset is UTF-8.
  void encode_into(CMimeOutput& out) const override;
  // Recognises "=?", a charset up to the next "?", the letter B or Q (either
  // case), "?", and the text up to "?=". A candidate that does not match all
  // of this is copied as text. Blanks and line ends between two adjacent
  // encoded words are dropped (RFC 2047, 6.2). "_" in "Q" text is a blank.
  void decode_into(CMimeOutput& out) const override;

 private:
  void encode_b(CMimeOutput& out) const;
  void encode_q(CMimeOutput& out) const;

  std::string charset_;
  bool phrase_ = false;
  mutable std::string decoded_charset_;
};

}  // namespace vendrel
