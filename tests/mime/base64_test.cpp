#include "mime/base64.h"

#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"

namespace vendrel {
namespace {

std::string b64_encode(std::string_view data, bool line_breaks = false) {
  CMimeCodeBase64 codec;
  codec.set_line_breaks(line_breaks);
  return mime_encode(codec, data);
}

std::string b64_decode(std::string_view text) {
  CMimeCodeBase64 codec;
  return mime_decode(codec, text);
}

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(Base64, EncodesAndPadsTheLastGroup) {
  const Case cases[] = {
      {"empty", "", ""},
      {"one byte", "a", "YQ=="},
      {"two bytes", "ab", "YWI="},
      {"three bytes", "abc", "YWJj"},
      {"four bytes", "abcd", "YWJjZA=="},
      {"high bytes use + and /", "\xFB\xEF\xFF", "++//"},
      {"zero bytes", std::string(3, '\0'), "AAAA"},
  };
  for (const Case& c : cases) EXPECT_EQ(b64_encode(c.input), c.expected) << c.name;
}

TEST(Base64, BodyLinesBreakAfter76CharactersAndAtTheEnd) {
  EXPECT_EQ(b64_encode(std::string(57, '\0'), true), std::string(76, 'A') + "\r\n");
  EXPECT_EQ(b64_encode(std::string(58, '\0'), true), std::string(76, 'A') + "\r\nAA==\r\n");
  EXPECT_EQ(b64_encode("", true), "");
  for (size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 114u, 115u, 1000u}) {
    for (bool breaks : {false, true}) {
      CMimeCodeBase64 codec;
      codec.set_line_breaks(breaks);
      const std::string data(n, 'z');
      codec.set_input(data, true);
      EXPECT_EQ(codec.output_length(), codec.output().size()) << n << (breaks ? " with breaks" : "");
    }
  }
}

TEST(Base64, DecodesLeniently) {
  const Case cases[] = {
      {"padded one byte", "YQ==", "a"},
      {"padded two bytes", "YWI=", "ab"},
      {"full group", "YWJj", "abc"},
      {"line breaks skipped", "YW\r\nJj\r\n", "abc"},
      {"blanks skipped", " Y W J j ", "abc"},
      {"invalid characters skipped", "Y*W!J\x80j", "abc"},
      {"truncated to three characters", "YWJ", "ab"},
      {"truncated to two characters", "YW", "a"},
      {"single left-over character dropped", "YWJjZ", "abc"},
      {"data after padding ignored", "YQ==YWJj", "a"},
      {"padding only", "====", ""},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(b64_decode(c.input), c.expected) << c.name;
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::string data;
  for (int i = 0; i < 256; ++i) data.push_back(static_cast<char>(i));
  data += data;
  EXPECT_EQ(b64_decode(b64_encode(data, true)), data);
  EXPECT_EQ(b64_decode(b64_encode(data, false)), data);
}

TEST(Base64, NullInputOnlyWithSizeZero) {
  CMimeCodeBase64 codec;
  EXPECT_NO_THROW(codec.set_input(nullptr, 0, true));
  EXPECT_EQ(codec.output(), "");
  EXPECT_THROW(codec.set_input(nullptr, 4, false), qm_invalid_arg);
}

}  // namespace
}  // namespace vendrel
