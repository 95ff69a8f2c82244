#include "mime/parameters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vendrel::mime {
namespace {

struct Case {
  const char* label;
  std::string field;
  std::string name;
  std::optional<std::string> value;
  std::string charset;
};

TEST(Parameters, FindsDecodedValues) {
  const Case cases[] = {
      {"token", "text/plain; charset=utf-8", "charset", "utf-8", ""},
      {"name without case", "text/plain; CharSet=utf-8", "charset", "utf-8", ""},
      {"quoted", "text/plain; charset=\"utf-8\"", "charset", "utf-8", ""},
      {"quoted with semicolon and escapes", "attachment; filename=\"a;b \\\"c\\\".txt\"", "filename",
       "a;b \"c\".txt", ""},
      {"blanks around equals", "text/plain; charset = utf-8 ", "charset", "utf-8", ""},
      {"folded list", "multipart/mixed;\r\n\tboundary=\"----=_Part_1\"", "boundary", "----=_Part_1", ""},
      {"missing", "text/plain", "charset", std::nullopt, ""},
      {"empty value", "text/plain; charset=", "charset", "", ""},
      {"junk segment skipped", "text/plain; junk; charset=x", "charset", "x", ""},
      {"first of two wins", "text/plain; charset=a; charset=b", "charset", "a", ""},
      {"unterminated quote runs to the end", "text/plain; name=\"abc; x=y", "name", "abc; x=y", ""},
      {"encoded word", "application/pdf; name=\"=?utf-8?B?w6kucGRm?=\"", "name", "\xC3\xA9.pdf", "utf-8"},
      {"RFC 2231 extended", "attachment; filename*=ISO-8859-1''Eelanal%FC%FCsi%20p%E4ring.jpg", "filename",
       "Eelanal\xFC\xFCsi p\xE4ring.jpg", "ISO-8859-1"},
      {"RFC 2231 with language", "application/octet-stream; name*=iso-2022-jp'ja'01%20Quien", "name", "01 Quien",
       "iso-2022-jp"},
      {"RFC 2231 continuations in order", "attachment; filename*1*=%E3%81%8B.txt; filename*0*=utf-8''%E3%81%8D",
       "filename", "\xE3\x81\x8D\xE3\x81\x8B.txt", "utf-8"},
      {"RFC 2231 plain continuations", "message/external-body; URL*0=\"ftp://\"; URL*1=\"example.com/x\"", "url",
       "ftp://example.com/x", ""},
      {"RFC 2231 wins over the plain form", "attachment; filename=\"fallback.txt\"; filename*=utf-8''real.txt",
       "filename", "real.txt", "utf-8"},
      {"RFC 2231 gap ends the value", "a; n*0=one; n*2=three", "n", "one", ""},
      {"RFC 2231 invalid escape kept", "a; n*=utf-8''100%ZZ%4", "n", "100%ZZ%4", "utf-8"},
      {"RFC 2231 without charset quotes", "a; n*=plain%20text", "n", "plain text", ""},
  };
  for (const Case& c : cases) {
    std::string charset = "unset";
    const auto value = find_parameter(c.field, c.name, &charset);
    EXPECT_EQ(value, c.value) << c.label;
    if (c.value) {
      EXPECT_EQ(charset, c.charset) << c.label;
    }
  }
}

TEST(Parameters, RawValueKeepsEncodedWords) {
  EXPECT_EQ(find_parameter("a; name=\"=?utf-8?Q?x?=\"", "name", nullptr, false), "=?utf-8?Q?x?=");
}

TEST(Parameters, ReplaceKeepsOtherParametersAndQuotesWhenNeeded) {
  EXPECT_EQ(replace_parameter("text/plain", "charset", "utf-8"), "text/plain; charset=utf-8");
  EXPECT_EQ(replace_parameter("text/plain;", "charset", "utf-8"), "text/plain; charset=utf-8");
  EXPECT_EQ(replace_parameter("text/plain; charset=ascii; format=flowed", "charset", "utf-8"),
            "text/plain; charset=utf-8; format=flowed");
  EXPECT_EQ(replace_parameter("attachment; filename*0=a; filename*1=b; size=3", "filename", "my file.txt"),
            "attachment; filename=\"my file.txt\"; size=3");
  EXPECT_EQ(replace_parameter("a", "n", "q\"b\\"), "a; n=\"q\\\"b\\\\\"");
  EXPECT_EQ(find_parameter(replace_parameter("a", "n", "q\"b\\;c"), "n"), "q\"b\\;c");
}

TEST(Parameters, SplitGivesMainValueAndPositions) {
  const std::string field = "multipart/mixed ; boundary=\"x;y\" ;charset=a";
  const ParameterList list = split_parameters(field);
  EXPECT_EQ(list.main_value, "multipart/mixed");
  ASSERT_EQ(list.parameters.size(), 2u);
  EXPECT_EQ(list.parameters[0].attribute, "boundary");
  EXPECT_EQ(list.parameters[0].value, "\"x;y\"");
  EXPECT_EQ(field.substr(list.parameters[0].value_begin, list.parameters[0].value_end - list.parameters[0].value_begin),
            "\"x;y\"");
  EXPECT_EQ(list.parameters[1].attribute, "charset");
  EXPECT_EQ(list.parameters[1].value, "a");
}

}  // namespace
}  // namespace vendrel::mime
