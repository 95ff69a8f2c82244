#include "mime/mime_message.h"

#include <gtest/gtest.h>

#include <string>

#include "mime_fixtures.h"

namespace vendrel {
namespace {

using test::crlf;

TEST(MimeMessage, DateTextHasWeekdayMonthAndOffset) {
  struct Case {
    int year, month, day, hour, minute, second, offset;
    const char* expected;
  };
  const Case cases[] = {
      {2024, 3, 5, 7, 8, 9, 60, "Tue, 5 Mar 2024 07:08:09 +0100"},
      {1971, 1, 1, 0, 0, 0, 0, "Fri, 1 Jan 1971 00:00:00 +0000"},
      {2000, 2, 29, 23, 59, 59, -330, "Tue, 29 Feb 2000 23:59:59 -0530"},
      {1999, 12, 31, 12, 0, 0, 345, "Fri, 31 Dec 1999 12:00:00 +0545"},
      {1601, 1, 1, 0, 0, 0, 0, "Mon, 1 Jan 1601 00:00:00 +0000"},
      // Out-of-range fields are clamped so that the text stays a date.
      {2024, 13, 0, 25, 61, 99, 0, "Sun, 1 Dec 2024 23:59:59 +0000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CMimeMessage::format_date(c.year, c.month, c.day, c.hour, c.minute, c.second, c.offset), c.expected);
}

TEST(MimeMessage, SetDateUsesTheLocalOffset) {
  CMimeMessage message;
  message.set_date(2023, 7, 14, 10, 20, 30);
  const std::string date = message.date();
  ASSERT_EQ(date.size(), 31u) << date;
  EXPECT_EQ(date.substr(0, 26), "Fri, 14 Jul 2023 10:20:30 ");
  EXPECT_TRUE(date[26] == '+' || date[26] == '-') << date;
  for (size_t i = 27; i < 31; ++i) EXPECT_TRUE(date[i] >= '0' && date[i] <= '9') << date;
  const int offset = CMimeMessage::local_utc_offset(2023, 7, 14, 10, 20, 30);
  EXPECT_EQ(date, CMimeMessage::format_date(2023, 7, 14, 10, 20, 30, offset));
}

TEST(MimeMessage, AddressFieldsAndSubject) {
  const std::string text = crlf(
      "From: \"Smith, John\" <js@example.org>\n"
      "To: a@example.com, =?utf-8?Q?J=C3=B6rg?= <j@example.com>\n"
      "Cc: Team: x@example.com, y@example.com;\n"
      "Subject: =?utf-8?B?SGVsbG8=?= world\n"
      "\n"
      "body\n");
  CMimeMessage message;
  message.load(text);
  const auto from = message.addresses("From");
  ASSERT_EQ(from.size(), 1u);
  EXPECT_EQ(from[0].name, "Smith, John");
  const auto to = message.addresses("To");
  ASSERT_EQ(to.size(), 2u);
  EXPECT_EQ(to[1].name, "J\xC3\xB6rg");
  EXPECT_EQ(to[1].charset, "utf-8");
  EXPECT_EQ(message.addresses("Cc").size(), 2u);
  EXPECT_TRUE(message.addresses("Bcc").empty());
  EXPECT_EQ(message.subject(), "=?utf-8?B?SGVsbG8=?= world");
  EXPECT_EQ(message.decoded_field_value("Subject"), "Hello world");
  EXPECT_EQ(message.content(), "body\r\n");
  EXPECT_EQ(message.media_type(), CMimeMediaType::text);
}

TEST(MimeMessage, ComposedSinglePartMessage) {
  test::FoldingScope folding(true);
  CMimeMessage message;
  message.set_charset("windows-1252");
  message.set_date(2024, 1, 2, 3, 4, 5, 0);
  message.set_from("Ren\xE9 <rene@example.com>");
  message.set_to("a <a@example.com>, b <b@example.com>, ");
  message.set_subject("\xC9t\xE9");
  message.set_text("Caf\xE9\r\n", "windows-1252");
  message.set_field_value("Content-Transfer-Encoding", "quoted-printable");
  EXPECT_EQ(message.to_string(),
            "Date: Tue, 2 Jan 2024 03:04:05 +0000\r\n"
            "From: =?windows-1252?Q?Ren=E9?= <rene@example.com>\r\n"
            "To: a <a@example.com>, b <b@example.com>, \r\n"
            "Subject: =?windows-1252?B?yXTp?=\r\n"
            "Content-Type: text/plain; charset=windows-1252\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "Caf=E9\r\n");
}

}  // namespace
}  // namespace vendrel
