// Composing EML text from message records: the header fields in order, the
// single-part forms, the multipart form with its depth-dependent boundary,
// attachments in Base64 and embedded messages, read back with the MIME
// classes and the EML reader.
#include <gtest/gtest.h>

#include <string>

#include "eml/eml_reader.h"
#include "eml/eml_record.h"
#include "mime/mime_message.h"
#include "support/temp_dir.h"

namespace vendrel {
namespace {

using test::utf16;

EmlMessageRecord basic_record() {
  EmlMessageRecord record;
  record.from = eml_address_text(u"Ann Archer", u"ann@example.org");
  record.to = eml_address_text(u"Bob", u"bob@example.org") + u", ";
  record.subject = u"Status";
  record.plain_body = u"Line one\r\nLine two\r\n";
  record.priority = eml_priority_text(1);
  record.date_text = "05.03.2021 14:07:09";
  record.code_page = 65001;
  return record;
}

std::vector<std::string> field_names(const CMimeHeader& header) {
  std::vector<std::string> names;
  for (const CMimeField& f : header.fields()) names.push_back(f.name());
  return names;
}

TEST(EmlCompose, SinglePartPlainMessage) {
  CMimeMessage message;
  message.load(compose_eml(basic_record()));
  EXPECT_EQ(field_names(message), (std::vector<std::string>{"Date", "From", "To", "Subject", "X-Priority",
                                                            "MIME-Version", "Content-Type",
                                                            "Content-Transfer-Encoding"}));
  EXPECT_EQ(message.field_value("Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(message.transfer_encoding(), "quoted-printable");
  EXPECT_EQ(message.content(), "Line one\r\nLine two\r\n");
  EXPECT_EQ(message.field_value("X-Priority"), "3 (normal)");
  EXPECT_EQ(message.field_value("To"), "Bob <bob@example.org>,");  // the final ", " of the list, trimmed on load
  EXPECT_EQ(message.date().substr(0, 25), "Fri, 5 Mar 2021 14:07:09 ");
}

struct BodyCase {
  const char* name;
  bool plain, rtf, html;
  const char* content_type;
  const char* content;
};

TEST(EmlCompose, TextBodyIsPlainElseRtfElseHtml) {
  const BodyCase cases[] = {
      {"all three", true, true, true, "text/plain; charset=utf-8", "plain"},
      {"rtf and html", false, true, true, "text/richtext", "{\\rtf1 rich}"},
      {"html only", false, false, true, "text/html; charset=utf-8", "<p>html</p>"},
      {"none", false, false, false, "text/plain; charset=utf-8", ""},
  };
  for (const BodyCase& c : cases) {
    EmlMessageRecord record = basic_record();
    record.plain_body.reset();
    if (c.plain) record.plain_body = u"plain";
    if (c.rtf) record.rtf_body = "{\\rtf1 rich}";
    if (c.html) record.html_body = u"<p>html</p>";
    for (bool multipart : {false, true}) {
      if (multipart) record.attachments.push_back({"x", "a.bin"});
      CMimeMessage message;
      message.load(compose_eml(record));
      const CMimeBody& text = multipart ? *message.child(0) : message;
      EXPECT_EQ(text.field_value("Content-Type"), c.content_type) << c.name;
      EXPECT_EQ(text.transfer_encoding(), "quoted-printable") << c.name;
      EXPECT_EQ(text.content(), c.content) << c.name;
    }
  }
}

struct PriorityCase {
  uint32_t importance;
  const char* text;  // nullptr: no header
};

TEST(EmlCompose, PriorityHeaderFollowsImportance) {
  const PriorityCase cases[] = {{0, "4 (low)"}, {1, "3 (normal)"}, {2, "2 (high)"}, {5, nullptr}};
  for (const PriorityCase& c : cases) {
    EmlMessageRecord record = basic_record();
    record.priority = eml_priority_text(c.importance);
    CMimeMessage message;
    message.load(compose_eml(record));
    if (c.text)
      EXPECT_EQ(message.field_value("X-Priority"), c.text);
    else
      EXPECT_EQ(message.find_field("X-Priority"), nullptr) << c.importance;
  }
}

TEST(EmlCompose, NeverBoundCreationTimeIsDatedIn1971) {
  EmlMessageRecord record = basic_record();
  record.date_text = eml_date_text(0);
  CMimeMessage message;
  message.load(compose_eml(record));
  EXPECT_NE(message.date().find(" 1971 "), std::string::npos) << message.date();
  const auto date = parse_eml_date(message.date());
  ASSERT_TRUE(date);
  EXPECT_EQ(date->year, 1971);
}

TEST(EmlCompose, MultipartWithAttachmentsAndNestedMessages) {
  EmlMessageRecord inner = basic_record();
  inner.subject = u"Inner";
  inner.attachments.push_back({"inner bytes", "inner.txt"});
  EmlMessageRecord middle = basic_record();
  middle.subject = u"Middle";
  middle.parts.push_back(inner);
  EmlMessageRecord record = basic_record();
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary.push_back(static_cast<char>(i * 7));
  record.attachments.push_back({binary, "data.pdf"});
  record.attachments.push_back({"", "empty.txt"});
  record.parts.push_back(middle);

  const std::string text = compose_eml(record);
  CMimeMessage message;
  message.load(text);
  EXPECT_EQ(message.boundary(), eml_boundary(0));
  EXPECT_EQ(eml_boundary(0), "----------1A2bb3CnC4DdDd5eEeEeFfF_0");
  EXPECT_NE(text.find("Content-Type: multipart/mixed;\r\n boundary=\"" + eml_boundary(0) + "\""), std::string::npos);
  EXPECT_NE(text.find("\r\n--" + eml_boundary(0) + "--\r\n"), std::string::npos);
  ASSERT_EQ(message.child_count(), 4u);  // text, the embedded message, two attachments
  EXPECT_EQ(message.child(1)->field_value("Content-Type"), "message/rfc822");
  const CMimeBody& pdf = *message.child(2);
  EXPECT_EQ(pdf.field_value("Content-Type"), "application/octet-stream; name=data.pdf");
  EXPECT_EQ(pdf.transfer_encoding(), "base64");
  EXPECT_EQ(pdf.parameter("Content-Disposition", "filename"), "data.pdf");
  EXPECT_EQ(pdf.content(), binary);
  EXPECT_EQ(message.child(3)->content(), "");

  const CMimeMessage* middle_part = message.child(1)->message();
  ASSERT_NE(middle_part, nullptr);
  EXPECT_EQ(middle_part->subject(), "Middle");
  EXPECT_EQ(middle_part->boundary(), eml_boundary(1));
  const CMimeMessage* inner_part = middle_part->child(1)->message();
  ASSERT_NE(inner_part, nullptr);
  EXPECT_EQ(inner_part->boundary(), eml_boundary(2));
  EXPECT_EQ(inner_part->child(1)->content(), "inner bytes");

  const ImportedMessage imported = read_eml(text);
  ASSERT_EQ(imported.embedded.size(), 1u);
  ASSERT_EQ(imported.embedded[0].embedded.size(), 1u);
  EXPECT_EQ(imported.embedded[0].embedded[0].subject, u"Inner");
  ASSERT_EQ(imported.attachments.size(), 2u);
  EXPECT_EQ(imported.attachments[0].data, binary);
}

struct CharsetCase {
  uint32_t code_page;
  const char* charset;
  std::string subject_utf8;
  std::string body_utf8;
};

TEST(EmlCompose, HeadersAndBodyInTheBoundCodePage) {
  const CharsetCase cases[] = {
      {28592, "iso-8859-2", "Sz\xC5\x91l\xC5\x91 \xC3\xA9s alma", "\xC5\x91r\xC3\xB6m"},
      {1251, "windows-1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xD0\x94\xD0\xB0"},
      {65001, "utf-8", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xE2\x9C\x93", "\xE2\x82\xAC 5"},
      {932, "shift_jis", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE3\x81\x82"},
  };
  for (const CharsetCase& c : cases) {
    EmlMessageRecord record = basic_record();
    record.code_page = c.code_page;
    record.subject = utf16(c.subject_utf8);
    record.plain_body = utf16(c.body_utf8);
    record.from = eml_address_text(utf16("\xC3\x81gnes, K."), u"agnes@example.org");
    const std::string text = compose_eml(record);
    CMimeMessage message;
    message.load(text);
    EXPECT_EQ(message.content_charset(), c.charset);
    const ImportedMessage imported = read_eml(text);
    EXPECT_EQ(imported.subject, utf16(c.subject_utf8)) << c.charset;
    EXPECT_EQ(imported.plain_body, utf16(c.body_utf8)) << c.charset;
    ASSERT_TRUE(imported.sender) << c.charset;
    EXPECT_EQ(imported.sender->email, u"agnes@example.org");
    if (c.code_page != 932 && c.code_page != 1251) {
      EXPECT_EQ(imported.sender->display_name, utf16("\xC3\x81gnes, K."));
    }
    // No 8-bit byte is left in the header.
    const std::string header = text.substr(0, text.find("\r\n\r\n"));
    for (char b : header) EXPECT_LT(static_cast<unsigned char>(b), 128u) << c.charset;
  }
}

TEST(EmlCompose, DisplayNamesWithSpecialsAreQuoted) {
  EXPECT_EQ(eml_address_text(u"Doe, John", u"j@x.org"), u"\"Doe, John\" <j@x.org>");
  EXPECT_EQ(eml_address_text(u"Say \"hi\"", u"s@x.org"), u"\"Say \\\"hi\\\"\" <s@x.org>");
  EXPECT_EQ(eml_address_text(u"Plain Name", u"p@x.org"), u"Plain Name <p@x.org>");
  EmlMessageRecord record = basic_record();
  record.to = eml_address_text(u"Doe, John", u"j@x.org") + u", " + eml_address_text(u"Ann", u"a@x.org") + u", ";
  const ImportedMessage imported = read_eml(compose_eml(record));
  ASSERT_EQ(imported.to.size(), 2u);
  EXPECT_EQ(imported.to[0].display_name, u"Doe, John");
  EXPECT_EQ(imported.to[1].email, u"a@x.org");
}

}  // namespace
}  // namespace vendrel
