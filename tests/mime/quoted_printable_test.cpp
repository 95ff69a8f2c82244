#include "mime/quoted_printable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vendrel {
namespace {

std::string qp_encode(std::string_view text, bool body = true) {
  CMimeCodeQP codec;
  codec.set_body_mode(body);
  return mime_encode(codec, text);
}

std::string qp_decode(std::string_view text) {
  CMimeCodeQP codec;
  return mime_decode(codec, text);
}

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(QuotedPrintable, EncodesByTheRules) {
  const Case cases[] = {
      {"printable copied", "Hello, World!", "Hello, World!"},
      {"equals sign", "a=b", "a=3Db"},
      {"8-bit byte upper-case hex", "caf\xE9", "caf=E9"},
      {"control byte", std::string("a\0b", 3), "a=00b"},
      {"inner blank copied", "a b\tc", "a b\tc"},
      {"blank at end of input", "a ", "a=20"},
      {"tab at end of input", "a\t", "a=09"},
      {"blank before CR LF", "a \r\nb", "a=20\r\nb"},
      {"blank before bare LF", "a \nb", "a=20\nb"},
      {"line ends copied", "a\r\nb\nc", "a\r\nb\nc"},
      {"CR without LF encoded", "a\rb\r", "a=0Db=0D"},
      {"lone full stop line", "x\r\n.\r\ny", "x\r\n=2E\r\ny"},
      {"lone full stop first line", ".\r\n", "=2E\r\n"},
      {"other full stops", "a.b\r\n..\r\n. x", "a.b\r\n..\r\n. x"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(qp_encode(c.input), c.expected) << c.name;
}

TEST(QuotedPrintable, OutsideBodyModeLineEndsAreData) {
  EXPECT_EQ(qp_encode("a\r\nb", false), "a=0D=0Ab");
  EXPECT_EQ(qp_encode("a \r\n", false), "a =0D=0A");
}

TEST(QuotedPrintable, LongLineGetsSoftBreakBeforeColumn76) {
  const std::string line(100, 'x');
  const std::string encoded = qp_encode(line);
  EXPECT_EQ(encoded, std::string(74, 'x') + "=\r\n" + std::string(26, 'x'));
  EXPECT_EQ(qp_decode(encoded), line);
}

TEST(QuotedPrintable, SoftBreakGoesAfterTheLastBlank) {
  std::string words;
  for (int i = 0; i < 20; ++i) words += "word ";  // 100 characters, the last blank at the end
  std::string expected;
  for (int i = 0; i < 14; ++i) expected += "word ";
  expected += "=\r\n";
  for (int i = 0; i < 5; ++i) expected += "word ";
  expected += "word=20";
  EXPECT_EQ(qp_encode(words), expected);
  EXPECT_EQ(qp_decode(expected), words);
}

TEST(QuotedPrintable, EscapeIsNeverSplitBySoftBreak) {
  const std::string input = std::string(73, 'x') + "\xE9";
  EXPECT_EQ(qp_encode(input), std::string(73, 'x') + "=\r\n=E9");
}

TEST(QuotedPrintable, DecodesEscapesSoftBreaksAndTransportBlanks) {
  const Case cases[] = {
      {"upper-case escape", "a=3Db", "a=b"},
      {"lower-case escape", "caf=e9", "caf\xE9"},
      {"mixed-case escape", "=c3=A9", "\xC3\xA9"},
      {"soft break CR LF", "soft=\r\nbreak", "softbreak"},
      {"soft break bare LF", "soft=\nbreak", "softbreak"},
      {"soft break with transport blanks", "soft= \t\r\nbreak", "softbreak"},
      {"soft break at end of input", "end=", "end"},
      {"invalid escape kept", "a=G1b", "a=G1b"},
      {"half escape at end kept", "a=4", "a=4"},
      {"equals before blank kept", "a= b", "a= b"},
      {"trailing blanks of a line dropped", "trail  \t\r\nnext", "trail\r\nnext"},
      {"trailing blanks of the input dropped", "trail \t", "trail"},
      {"encoded blank before line end kept", "a =20\r\n", "a  \r\n"},
      {"inner blanks kept", "a  b", "a  b"},
      {"hard line ends kept", "a\r\nb\nc", "a\r\nb\nc"},
      {"lone soft break", "=\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(qp_decode(c.input), c.expected) << c.name;
}

TEST(QuotedPrintable, RandomBytesRoundTripWithShortLines) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string input(random() % 400, '\0');
    for (char& c : input) {
      // Mostly text, with blanks, line ends, full stops and 8-bit bytes.
      const unsigned pick = random() % 10;
      c = pick < 5 ? static_cast<char>('a' + random() % 26)
                   : "  \t\r\n.=\xE9\xFF\x01"[random() % 11];
    }
    for (bool body : {true, false}) {
      const std::string encoded = qp_encode(input, body);
      CMimeCodeQP codec;
      codec.set_input(encoded, false);
      EXPECT_EQ(codec.output(), input) << "round " << round << (body ? " body" : " data");
      size_t line_start = 0;
      for (size_t i = 0; i <= encoded.size(); ++i) {
        if (i == encoded.size() || encoded[i] == '\n') {
          size_t length = i - line_start;
          if (length && encoded[i - 1] == '\r') --length;
          EXPECT_LE(length, CMimeCodeQP::kMaxLineLength) << "round " << round;
          line_start = i + 1;
        }
      }
    }
  }
}

TEST(QuotedPrintable, BoundedOutputNeverPassesTheBuffer) {
  CMimeCodeQP codec;
  const std::string input = "caf\xE9 au lait";
  codec.set_input(input, true);
  const size_t length = codec.output_length();
  EXPECT_EQ(length, codec.output().size());
  std::string buffer(length + 4, '#');
  EXPECT_EQ(codec.encode(buffer.data(), 5), 5u);
  EXPECT_EQ(buffer.substr(0, 6), "caf=E#");
  EXPECT_EQ(codec.encode(buffer.data(), length), length);
  EXPECT_EQ(buffer.substr(0, length), codec.output());
}

}  // namespace
}  // namespace vendrel
