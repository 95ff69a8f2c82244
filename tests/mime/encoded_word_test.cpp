#include "mime/encoded_word.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vendrel {
namespace {

std::string encode_word(std::string_view text, std::string charset, bool phrase = false) {
  CMimeEncodedWord codec;
  codec.set_charset(std::move(charset));
  codec.set_phrase(phrase);
  return mime_encode(codec, text);
}

std::vector<std::string> words_of(const std::string& encoded) {
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos <= encoded.size()) {
    const size_t blank = encoded.find(' ', pos);
    words.push_back(encoded.substr(pos, blank == std::string::npos ? std::string::npos : blank - pos));
    if (blank == std::string::npos) break;
    pos = blank + 1;
  }
  return words;
}

TEST(EncodedWord, ChoosesBetweenQAndBByLengthAndHighBytes) {
  EXPECT_EQ(CMimeEncodedWord::choose_encoding("abcdefghi\xE9"), 'Q');                  // 10 bytes, 1 high
  EXPECT_EQ(CMimeEncodedWord::choose_encoding("\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9" "ab"), 'B');  // 10 bytes, 8 high
  EXPECT_EQ(CMimeEncodedWord::choose_encoding("\xE9\xE9\xE9" "abcdefghijkl"), 'Q');     // 15 bytes, 3 high: 5k == n
  EXPECT_EQ(CMimeEncodedWord::choose_encoding("\xE9\xE9\xE9\xE9" "abcdefghijk"), 'B');  // 15 bytes, 4 high
}

TEST(EncodedWord, EncodesQWithEscapes) {
  EXPECT_EQ(encode_word("Caf\xE9", "iso-8859-1"), "=?iso-8859-1?Q?Caf=E9?=");
  // blank, "_", "?" and "=" are escaped; other printable bytes copied
  EXPECT_EQ(encode_word("\xE9 _?=(x)", "iso-8859-1"), "=?iso-8859-1?Q?=E9=20=5F=3F=3D(x)?=");
}

TEST(EncodedWord, PhraseWordsEscapeSpecials) {
  EXPECT_EQ(encode_word("M\xFCller, J", "iso-8859-1", true), "=?iso-8859-1?Q?M=FCller=2C=20J?=");
  EXPECT_EQ(encode_word("a\"b\\\xE9", "iso-8859-1", true), "=?iso-8859-1?Q?a=22b=5C=E9?=");
}

TEST(EncodedWord, EncodesB) {
  EXPECT_EQ(encode_word("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9" "ab", "utf-8"), "=?utf-8?B?w6nDqcOpw6lhYg==?=");
}

TEST(EncodedWord, LongBTextContinuesInWordsThatKeepUtf8CharactersWhole) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "\xC3\xA9";  // 60 bytes, at most 45 per word
  const std::string encoded = encode_word(text, "utf-8");
  const auto words = words_of(encoded);
  ASSERT_EQ(words.size(), 2u) << encoded;
  std::string joined;
  for (const std::string& word : words) {
    EXPECT_LE(word.size(), 75u);
    std::string charset;
    const std::string bytes = CMimeEncodedWord::decode_text(word, &charset);
    EXPECT_EQ(charset, "utf-8");
    EXPECT_EQ(bytes.size() % 2, 0u) << "a UTF-8 sequence was split";
    joined += bytes;
  }
  EXPECT_EQ(joined, text);
  EXPECT_EQ(CMimeEncodedWord::decode_text(encoded), text);
}

TEST(EncodedWord, LongQTextContinuesInFurtherWords) {
  const std::string text = std::string(70, 'a') + "\xE9";
  const std::string expected = "=?iso-8859-1?Q?" + std::string(58, 'a') + "?= =?iso-8859-1?Q?" + std::string(12, 'a') +
                               "=E9?=";
  EXPECT_EQ(encode_word(text, "iso-8859-1"), expected);
  EXPECT_EQ(CMimeEncodedWord::decode_text(expected), text);
}

TEST(EncodedWord, WithoutCharsetTheTextIsCopied) { EXPECT_EQ(encode_word("Caf\xE9", ""), "Caf\xE9"); }

struct DecodeCase {
  const char* name;
  std::string input;
  std::string expected;
  std::string charset;
};

TEST(EncodedWord, Decodes) {
  const DecodeCase cases[] = {
      {"Q word", "=?iso-8859-1?Q?Caf=E9?=", "Caf\xE9", "iso-8859-1"},
      {"lower-case q and underscore", "=?ISO-8859-1?q?a_b?=", "a b", "ISO-8859-1"},
      {"upper-case Q", "=?utf-8?Q?caf=C3=A9?=", "caf\xC3\xA9", "utf-8"},
      {"B word", "=?utf-8?B?w6k=?=", "\xC3\xA9", "utf-8"},
      {"lower-case b", "=?utf-8?b?w6k=?=", "\xC3\xA9", "utf-8"},
      {"adjacent words joined", "=?utf-8?Q?a?= =?utf-8?Q?b?=", "ab", "utf-8"},
      {"adjacent words across a fold", "=?utf-8?Q?a?=\r\n\t=?utf-8?B?Yg==?=", "ab", "utf-8"},
      {"word then text keeps the blank", "=?utf-8?Q?a?= b", "a b", "utf-8"},
      {"text then word keeps the blank", "x =?utf-8?Q?a?=", "x a", "utf-8"},
      {"text around", "Re: =?utf-8?Q?caf=C3=A9?= (x)", "Re: caf\xC3\xA9 (x)", "utf-8"},
      {"first charset remembered", "=?iso-8859-1?Q?a?= =?utf-8?Q?b?=", "ab", "iso-8859-1"},
      {"unknown charset still decoded", "=?x-unknown?Q?abc?=", "abc", "x-unknown"},
      {"language suffix removed", "=?utf-8*en?Q?hi?=", "hi", "utf-8"},
      {"bad padding of a real mailer", "=?NONE?B?VEVTVA=?=", "TEST", "NONE"},
      {"invalid Q escape kept", "=?utf-8?Q?a=ZZ?=", "a=ZZ", "utf-8"},
      {"empty text", "=?utf-8?Q?" "?=", "", "utf-8"},
      {"unknown encoding letter", "=?utf-8?X?abc?=", "=?utf-8?X?abc?=", ""},
      {"unterminated", "=?utf-8?Q?abc", "=?utf-8?Q?abc", ""},
      {"empty charset", "=??Q?abc?=", "=??Q?abc?=", ""},
      {"missing text", "=?utf-8?Q?", "=?utf-8?Q?", ""},
      {"blank in charset", "=?utf 8?Q?a?=", "=?utf 8?Q?a?=", ""},
      {"unterminated word before a real one",
       "=?utf-8?Q?abc =?utf-8?Q?x?=", "=?utf-8?Q?abc x", "utf-8"},
      {"plain text", "no words here =? ?=", "no words here =? ?=", ""},
  };
  for (const DecodeCase& c : cases) {
    std::string charset = "unset";
    EXPECT_EQ(CMimeEncodedWord::decode_text(c.input, &charset), c.expected) << c.name;
    EXPECT_EQ(charset, c.charset) << c.name;
  }
}

TEST(EncodedWord, TextFullOfFalseStartsIsCopied) {
  // 100,000 candidates without an end: each must not rescan the rest of the text.
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "=?a?q?x ";
  const std::string decoded = CMimeEncodedWord::decode_text(text + "=?utf-8?Q?end?=");
  EXPECT_EQ(decoded, text + "end");
}

TEST(EncodedWord, CodecDecodeReportsCharset) {
  CMimeEncodedWord codec;
  const std::string text = "=?koi8-r?B?8NLJ18XU?=";
  codec.set_input(text, false);
  EXPECT_EQ(codec.output(), "\xF0\xD2\xC9\xD7\xC5\xD4");
  EXPECT_EQ(codec.decoded_charset(), "koi8-r");
  EXPECT_EQ(codec.output_length(), 6u);
}

}  // namespace
}  // namespace vendrel

namespace vendrel {
namespace {

struct SegmentCase {
  const char* text;
  std::vector<std::pair<std::string, std::string>> segments;  // (bytes, charset; "" for plain text)
};

// Each encoded word keeps its own charset; adjacent words of one charset
// join (a character may be split between them), blanks between words go.
TEST(EncodedWordSegments, WordsKeepTheirCharsets) {
  const SegmentCase cases[] = {
      {"plain", {{"plain", ""}}},
      {"=?iso-8859-1?q?a=E9?= =?koi8-r?b?8A==?=", {{"a\xE9", "iso-8859-1"}, {"\xF0", "koi8-r"}}},
      {"x =?utf-8?q?=E2=82?=\r\n =?UTF-8?q?=AC?= y", {{"x ", ""}, {"\xE2\x82\xAC", "utf-8"}, {" y", ""}}},
      {"=?utf-8*en?q?hi?=", {{"hi", "utf-8"}}},
      {"=?utf-8?q?unterminated", {{"=?utf-8?q?unterminated", ""}}},
  };
  for (const SegmentCase& c : cases) {
    const auto segments = CMimeEncodedWord::decode_segments(c.text);
    ASSERT_EQ(segments.size(), c.segments.size()) << c.text;
    for (size_t i = 0; i < segments.size(); ++i) {
      EXPECT_EQ(segments[i].bytes, c.segments[i].first) << c.text;
      EXPECT_EQ(segments[i].charset, c.segments[i].second) << c.text;
      EXPECT_EQ(segments[i].encoded, !c.segments[i].second.empty()) << c.text;
    }
  }
}

}  // namespace
}  // namespace vendrel
