// The EML reader: which parts become the plain body, the HTML body,
// attachments and embedded messages; header texts decoded in their own
// charsets; dates to UTC; malformed text read as far as it goes.
#include <gtest/gtest.h>

#include <string>

#include "eml/eml_reader.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace vendrel {
namespace {

using test::utf16;

std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

struct DateCase {
  const char* text;
  bool valid;
  int year, month, day, hour, minute, second;
};

TEST(EmlDate, ReadAsUtc) {
  const DateCase cases[] = {
      {"Fri, 21 Nov 1997 09:55:06 -0600", true, 1997, 11, 21, 15, 55, 6},
      {"21 Nov 1997 09:55:06 +0130", true, 1997, 11, 21, 8, 25, 6},
      {"Thu, 13 Feb 1969 23:32 -0330 (Newfoundland Time)", true, 1969, 2, 14, 3, 2, 0},
      {"Tue, 1 Jul 2003 10:52:37 GMT", true, 2003, 7, 1, 10, 52, 37},
      {"Mon, 3 Jan 05 01:02:03 EST", true, 2005, 1, 3, 6, 2, 3},
      {"Sat, 31 Dec 2016 23:59:60 +0000", true, 2016, 12, 31, 23, 59, 59},
      {"Sat,31 Dec 2016 23:59:59 +0000", true, 2016, 12, 31, 23, 59, 59},
      {"1 Jan 1601 00:00:00 +0100", false, 0, 0, 0, 0, 0, 0},  // before the FILETIME epoch in UTC
      {"not a date", false, 0, 0, 0, 0, 0, 0},
      {"Fri, 32 Nov 1997 09:55:06", false, 0, 0, 0, 0, 0, 0},
      {"", false, 0, 0, 0, 0, 0, 0},
  };
  for (const DateCase& c : cases) {
    const auto date = parse_eml_date(c.text);
    ASSERT_EQ(date.has_value(), c.valid) << c.text;
    if (!date) continue;
    EXPECT_EQ(date->year, c.year) << c.text;
    EXPECT_EQ(date->month, c.month) << c.text;
    EXPECT_EQ(date->day, c.day) << c.text;
    EXPECT_EQ(date->hour, c.hour) << c.text;
    EXPECT_EQ(date->minute, c.minute) << c.text;
    EXPECT_EQ(date->second, c.second) << c.text;
  }
}

struct HeaderCase {
  const char* raw;
  const char* utf8;
};

TEST(EmlHeaderText, EachWordInItsOwnCharset) {
  const HeaderCase cases[] = {
      {"plain text", "plain text"},
      {"=?iso-8859-1?q?caf=E9?= =?koi8-r?b?8NLJ18XU?=", "caf\xC3\xA9\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"=?ISO-8859-2?Q?=F5?= and =?UTF-8?Q?=E2=82=AC?=", "\xC5\x91 and \xE2\x82\xAC"},
      {"=?utf-8?b?4oKs?= =?utf-8?b?IDU=?=", "\xE2\x82\xAC 5"},
      // A character split over two words of one charset.
      {"=?utf-8?q?=E2=82?= =?utf-8?q?=AC?=", "\xE2\x82\xAC"},
      // Raw UTF-8 (RFC 6532) and raw bytes of the fallback charset.
      {"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"Gr\xFC\xDF" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"=?unknown-charset?q?abc?=", "abc"},
      {"=?utf-8?x?abc?=", "=?utf-8?x?abc?="},
  };
  for (const HeaderCase& c : cases) EXPECT_EQ(decode_header_text(c.raw, 28591), utf16(c.utf8)) << c.raw;
}

TEST(EmlReader, SinglePartPlainMessage) {
  const ImportedMessage m = read_eml(crlf(
      "From: \"Doe, John\" <jdoe@example.org>\nTo: Mary <mary@example.net>, bob@example.net\n"
      "Cc: =?utf-8?q?J=C3=BCrgen?= <j@example.de>\nSubject: =?iso-8859-1?q?Gr=FC=DFe?=\n"
      "Date: Fri, 21 Nov 1997 09:55:06 -0600\nX-Priority: 2 (High)\n"
      "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
      "Caf=E9\n"));
  EXPECT_EQ(m.subject, utf16("Gr\xC3\xBC\xC3\x9F" "e"));
  ASSERT_TRUE(m.sender);
  EXPECT_EQ(m.sender->display_name, u"Doe, John");
  EXPECT_EQ(m.sender->email, u"jdoe@example.org");
  ASSERT_EQ(m.to.size(), 2u);
  EXPECT_EQ(m.to[0].display_name, u"Mary");
  EXPECT_EQ(m.to[1].display_name, u"");
  EXPECT_EQ(m.to[1].email, u"bob@example.net");
  ASSERT_EQ(m.cc.size(), 1u);
  EXPECT_EQ(m.cc[0].display_name, utf16("J\xC3\xBCrgen"));
  EXPECT_EQ(m.importance, 2u);
  ASSERT_TRUE(m.date);
  EXPECT_EQ(m.date->hour, 15);
  EXPECT_EQ(m.plain_body, utf16("Caf\xC3\xA9\r\n"));
  EXPECT_FALSE(m.html_body);
  EXPECT_TRUE(m.attachments.empty());
}

struct PriorityCase {
  const char* header;
  std::optional<uint32_t> importance;
};

TEST(EmlReader, PriorityByItsFirstCharacter) {
  const PriorityCase cases[] = {{"2", 2}, {"3 (Normal)", 1}, {"4", 0}, {"1 (Highest)", std::nullopt},
                                {"5", std::nullopt}, {"", std::nullopt}, {"high", std::nullopt}};
  for (const PriorityCase& c : cases) {
    const ImportedMessage m = read_eml(crlf(std::string("X-Priority: ") + c.header + "\n\nbody"));
    EXPECT_EQ(m.importance, c.importance) << c.header;
  }
}

TEST(EmlReader, PartsBecomeBodiesAttachmentsAndEmbeddedMessages) {
  const ImportedMessage m = read_eml(crlf(
      "Subject: parts\nContent-Type: multipart/mixed; boundary=\"outer\"\n\n"
      "preamble\n--outer\nContent-Type: multipart/alternative; boundary=inner\n\n"
      "--inner\nContent-Type: text/plain; charset=koi8-r\n\n\xF0\xD2\xC9\xD7\xC5\xD4\n"
      "--inner\nContent-Type: text/html; charset=windows-1251\n\n<p>\xCF\xF0\xE8</p>\n--inner--\n"
      "--outer\nContent-Type: image/png\nContent-ID: <img1@x>\nContent-Transfer-Encoding: base64\n\niVBORw0K\n"
      "--outer\nContent-Type: application/octet-stream; name=\"quoted name.bin\"\n\nraw\n"
      "--outer\nContent-Type: text/plain; charset=utf-8\nContent-Disposition: attachment; filename*=utf-8''%E2%82%AC.txt\n\n"
      "a text file\n"
      "--outer\nContent-Type: text/plain\n\nsecond text\n"
      "--outer\nContent-Type: message/rfc822\n\nSubject: inner message\nFrom: in@example.org\n\ninner body\n"
      "--outer--\nepilogue\n"));
  EXPECT_EQ(m.plain_body, utf16("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\nsecond text"));
  ASSERT_TRUE(m.html_body);
  EXPECT_EQ(*m.html_body, "<p>\xCF\xF0\xE8</p>");
  EXPECT_EQ(m.html_code_page, 1251u);
  ASSERT_EQ(m.attachments.size(), 3u);
  EXPECT_EQ(m.attachments[0].name, "attachment_1.png");
  EXPECT_EQ(m.attachments[0].data, "\x89PNG\r\n");
  EXPECT_EQ(m.attachments[0].content_id, "img1@x");
  EXPECT_EQ(m.attachments[0].mime_type, "image/png");
  EXPECT_EQ(m.attachments[1].name, "quoted name.bin");
  EXPECT_EQ(m.attachments[1].data, "raw");
  // Attachment names are narrow strings in the system's ANSI code page.
  EXPECT_EQ(m.attachments[2].name, platform::wide_to_multibyte(platform::ansi_code_page(), u"\u20AC.txt"));
  EXPECT_EQ(m.attachments[2].data, "a text file");
  ASSERT_EQ(m.embedded.size(), 1u);
  EXPECT_EQ(m.embedded[0].subject, u"inner message");
  ASSERT_TRUE(m.embedded[0].sender);
  EXPECT_EQ(m.embedded[0].sender->email, u"in@example.org");
  EXPECT_EQ(m.embedded[0].plain_body, u"inner body");
}

struct MalformedCase {
  const char* name;
  const char* text;
  const char* body_utf8;  // the plain body expected
  size_t attachments;
};

TEST(EmlReader, MalformedStructureKeepsTheContent) {
  const MalformedCase cases[] = {
      {"no boundary parameter", "Content-Type: multipart/mixed\n\nall of it\n", "all of it\r\n", 0},
      {"boundary never used", "Content-Type: multipart/mixed; boundary=zz\n\nall of it\n", "all of it\r\n", 0},
      {"no closing delimiter", "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nfirst\n--b\n\nsecond", "first\r\nsecond", 0},
      {"empty part", "Content-Type: multipart/mixed; boundary=b\n\n--b\n--b--\n", "", 0},
      {"header only", "Subject: x", nullptr, 0},
      {"no header", "\njust text", "just text", 0},
      {"bad base64", "Content-Type: application/pdf; name=a.pdf\nContent-Transfer-Encoding: base64\n\n!!!!", nullptr, 1},
  };
  for (const MalformedCase& c : cases) {
    const ImportedMessage m = read_eml(crlf(c.text));
    if (c.body_utf8) {
      EXPECT_EQ(m.plain_body, utf16(c.body_utf8)) << c.name;
    }
    EXPECT_EQ(m.attachments.size(), c.attachments) << c.name;
  }
}

TEST(EmlReader, UnnamedAttachmentNames) {
  EXPECT_EQ(unnamed_attachment_name(1, "png"), "attachment_1.png");
  EXPECT_EQ(unnamed_attachment_name(2, "Delivery-Status"), "attachment_2.delivery-status");
  EXPECT_EQ(unnamed_attachment_name(3, "vnd.ms-excel"), "attachment_3.bin");
  EXPECT_EQ(unnamed_attachment_name(4, ""), "attachment_4.bin");
}

TEST(EmlReader, DeepNestingStopsWithoutRecursingForever) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "Content-Type: message/rfc822\r\n\r\n";
  text += "Subject: bottom\r\n\r\nbody";
  const ImportedMessage m = read_eml(text);
  size_t depth = 0;
  const ImportedMessage* at = &m;
  while (!at->embedded.empty()) {
    at = &at->embedded[0];
    ++depth;
  }
  EXPECT_LT(depth, 200u);
}

}  // namespace
}  // namespace vendrel
