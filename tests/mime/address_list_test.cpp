#include "mime/address_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vendrel {
namespace {

struct Expected {
  std::string name;
  std::string address;
};

struct Case {
  const char* label;
  std::string value;
  std::vector<Expected> mailboxes;
};

TEST(AddressList, SplitsNamesAndAddresses) {
  const Case cases[] = {
      {"bare address", "a@example.com", {{"", "a@example.com"}}},
      {"name and angle address", "John Smith <js@example.org>", {{"John Smith", "js@example.org"}}},
      {"quoted name with comma", "\"Smith, John\" <js@example.org>, b@example.org",
       {{"Smith, John", "js@example.org"}, {"", "b@example.org"}}},
      {"escaped quote in name", "\"The \\\"Boss\\\"\" <b@example.org>", {{"The \"Boss\"", "b@example.org"}}},
      {"comment gives the name", "js@example.org (John Smith)", {{"John Smith", "js@example.org"}}},
      {"comments inside the angle address", "Pete(A wonderful \\) chap) <pete(his account)@silly.test(his host)>",
       {{"Pete", "pete@silly.test"}}},
      {"group with members", "Friends: a@example.com, B <b@example.com>;, c@example.com",
       {{"", "a@example.com"}, {"B", "b@example.com"}, {"", "c@example.com"}}},
      {"empty group", "undisclosed recipients: ;", {}},
      {"leading empty element", ", user@example.com, e@example.com", {{"", "user@example.com"}, {"", "e@example.com"}}},
      {"trailing comma", "a@example.com,", {{"", "a@example.com"}}},
      {"semicolon as separator", "a@example.com; b@example.com", {{"", "a@example.com"}, {"", "b@example.com"}}},
      {"obsolete route", "<@relay.example,@other.example:user@host.example>", {{"", "user@host.example"}}},
      {"unterminated angle address", "John <j@example.com", {{"John", "j@example.com"}}},
      {"name without address", "Mary Smith", {{"Mary Smith", ""}}},
      {"single local word", "postmaster", {{"", "postmaster"}}},
      {"encoded name", "=?ISO-8859-1?Q?Nicolas_Fouch=E9?= <a.b@example.com>", {{"Nicolas Fouch\xE9", "a.b@example.com"}}},
      {"encoded word inside quotes", "\"=?Windows-1252?B?Rm9ybWHn428gRnJlbmV0aWtwb2xpcw==?=\" <info@example.info>",
       {{"Forma\xE7\xE3o Frenetikpolis", "info@example.info"}}},
      {"folded list", "a@example.com,\r\n\tB <b@example.com>", {{"", "a@example.com"}, {"B", "b@example.com"}}},
      {"empty", "", {}},
      {"only blanks and commas", " , ,, ", {}},
  };
  for (const Case& c : cases) {
    const auto list = parse_address_list(c.value);
    ASSERT_EQ(list.size(), c.mailboxes.size()) << c.label;
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(list[i].name, c.mailboxes[i].name) << c.label << " #" << i;
      EXPECT_EQ(list[i].address, c.mailboxes[i].address) << c.label << " #" << i;
    }
  }
}

TEST(AddressList, ReportsTheCharsetOfEncodedNames) {
  const auto list = parse_address_list("=?ISO-8859-1?Q?Fouch=E9?= <a@example.com>, plain <b@example.com>");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].charset, "ISO-8859-1");
  EXPECT_EQ(list[1].charset, "");
}

TEST(AddressList, MalformedTextNeverFails) {
  const char* inputs[] = {"\"unterminated <a@b>", "(unterminated comment a@b", "<<>>", ">>> , <", "@@@", "\\", ":;:;",
                          "a:b:c;d;"};
  for (const char* input : inputs) EXPECT_NO_THROW(parse_address_list(input)) << input;
}

}  // namespace
}  // namespace vendrel
