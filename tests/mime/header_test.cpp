#include "mime/mime_header.h"

#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "mime_fixtures.h"

namespace vendrel {
namespace {

using test::crlf;
using test::FoldingScope;

TEST(MimeHeader, UnfoldsContinuationLinesAndFindsNamesWithoutCase) {
  CMimeHeader header;
  const std::string text = crlf("Subject: first\n second\n\tthird\nTO:  x@example.com  \nX-Empty:\n\nbody");
  const size_t content = header.load(text);
  EXPECT_EQ(text.substr(content), "body");
  ASSERT_EQ(header.fields().size(), 3u);
  EXPECT_EQ(header.field_value("subject"), "first second\tthird");
  EXPECT_EQ(header.field_value("To"), "x@example.com");
  EXPECT_EQ(header.fields()[1].name(), "TO");
  EXPECT_EQ(header.field_value("x-empty"), "");
  EXPECT_NE(header.find_field("X-EMPTY"), nullptr);
  EXPECT_EQ(header.find_field("Cc"), nullptr);
  EXPECT_EQ(header.field_value("Cc"), "");
}

TEST(MimeHeader, LoadEdgeCases) {
  struct Case {
    const char* label;
    std::string text;
    size_t fields;
    std::string content;  // what follows the header
  };
  const Case cases[] = {
      {"bare LF lines", "A: 1\nB: 2\n\nbody", 2, "body"},
      {"blank before the colon", "Subject : x\r\n\r\n", 1, ""},
      {"no empty line, end of text", "A: 1\r\nB: 2", 2, ""},
      {"a part without headers", "\r\nbody text", 0, "body text"},
      {"text without header lines", "Hello world\r\nmore", 0, "Hello world\r\nmore"},
      {"continuation without a field", " indented\r\nA: 1\r\n\r\n", 0, " indented\r\nA: 1\r\n\r\n"},
      {"a non-field line ends the header", "A: 1\r\nnot a field\r\nrest", 1, "not a field\r\nrest"},
      {"mailbox separator skipped", "From someone@example.com Tue May 10 2005\r\nFrom: a@b\r\n\r\nx", 1, "x"},
      {"value folded after an empty first line", "Subject:\r\n  folded\r\n\r\n", 1, ""},
      {"empty text", "", 0, ""},
  };
  for (const Case& c : cases) {
    CMimeHeader header;
    const size_t content = header.load(c.text);
    EXPECT_EQ(header.fields().size(), c.fields) << c.label;
    EXPECT_EQ(c.text.substr(content), c.content) << c.label;
  }
  CMimeHeader header;
  header.load(std::string_view("Subject:\r\n  folded\r\n\r\n"));
  EXPECT_EQ(header.field_value("Subject"), "folded");
}

TEST(MimeHeader, StoresFieldsAndTheEmptyLine) {
  CMimeHeader header;
  EXPECT_EQ(header.to_string(), "\r\n");
  header.set_field_value("From", "a@example.com");
  header.set_field_value("Subject", "Hello");
  header.set_field_value("subject", "Replaced");
  header.add_field("Received", "one");
  header.add_field("Received", "two");
  EXPECT_EQ(header.to_string(), "From: a@example.com\r\nSubject: Replaced\r\nReceived: one\r\nReceived: two\r\n\r\n");
  EXPECT_EQ(header.remove_field("RECEIVED"), 2u);
  EXPECT_EQ(header.stored_length(), header.to_string().size());
}

TEST(MimeHeader, StoreNeedsARoomyBuffer) {
  CMimeHeader header;
  header.set_field_value("A", "1");
  const size_t length = header.stored_length();
  std::string buffer(length, '#');
  EXPECT_THROW(header.store(buffer.data(), length - 1), qm_invalid_arg);
  EXPECT_EQ(buffer, std::string(length, '#'));
  EXPECT_EQ(header.store(buffer.data(), length), length);
  EXPECT_EQ(buffer, "A: 1\r\n\r\n");
  EXPECT_THROW(header.load(nullptr, 3), qm_invalid_arg);
  EXPECT_EQ(header.load(nullptr, 0), 0u);
}

TEST(MimeHeader, FieldNamesThatWouldBreakTheHeaderAreRefused) {
  CMimeHeader header;
  for (const char* bad : {"", "Bad Name", "X:Y", "Line\r\nBcc", "Caf\xE9"})
    EXPECT_THROW(header.set_field_value(bad, "v"), qm_invalid_arg) << bad;
  EXPECT_TRUE(header.fields().empty());
}

TEST(MimeHeader, LineEndsInAValueStayInsideTheField) {
  FoldingScope folding(false);
  CMimeHeader header;
  header.set_field_value("Subject", "a\r\nBcc: victim@example.com");
  header.set_field_value("X-Two", "one\n\ntwo\n");
  const std::string stored = header.to_string();
  EXPECT_EQ(stored, "Subject: a\r\n Bcc: victim@example.com\r\nX-Two: one\r\n \r\n two\r\n\r\n");
  CMimeHeader reloaded;
  reloaded.load(stored);
  EXPECT_EQ(reloaded.find_field("Bcc"), nullptr);
  EXPECT_EQ(reloaded.field_value("Subject"), "a Bcc: victim@example.com");
  EXPECT_EQ(reloaded.fields().size(), 2u);
}

TEST(MimeHeader, FoldingKeepsLinesShortAndUnfoldsToTheSameValue) {
  std::string value;
  for (int i = 0; i < 30; ++i) value += "word" + std::to_string(i) + " ";
  value += "end";
  {
    FoldingScope folding(true);
    CMimeHeader header;
    header.set_field_value("Subject", value);
    header.set_field_value("X-Long", std::string(100, 'x'));
    const std::string stored = header.to_string();
    size_t start = 0;
    int lines = 0;
    while (start < stored.size()) {
      const size_t end = stored.find("\r\n", start);
      const std::string line = stored.substr(start, end - start);
      if (line.find("X-Long") != 0) {
        EXPECT_LT(line.size(), 76u) << line;
      }
      start = end + 2;
      ++lines;
    }
    EXPECT_GT(lines, 4);
    CMimeHeader reloaded;
    reloaded.load(stored);
    EXPECT_EQ(reloaded.field_value("Subject"), value);
    EXPECT_EQ(reloaded.field_value("X-Long"), std::string(100, 'x'));  // no blank: cannot be folded
  }
  {
    FoldingScope folding(false);
    CMimeHeader header;
    header.set_field_value("Subject", value);
    EXPECT_EQ(header.to_string(), "Subject: " + value + "\r\n\r\n");
  }
}

TEST(MimeHeader, FoldingNeverLeavesABlankOnlyContinuation) {
  FoldingScope folding(true);
  for (size_t first = 1; first < 40; ++first) {
    std::string value = std::string(first, 'x') + " ";
    for (int i = 0; i < 15; ++i) value += "abc ";
    value += "z, ";  // a trailing blank, as a list that ends in ", "
    CMimeHeader header;
    header.set_field_value("To", value);
    const std::string stored = header.to_string();
    EXPECT_EQ(stored.find("\r\n \r\n"), std::string::npos) << stored;
    EXPECT_EQ(stored.find(" \r\n\r\n"), stored.size() - 5) << stored;  // the blank stays on its line
    CMimeHeader reloaded;
    reloaded.load(stored);
    EXPECT_EQ(reloaded.field_value("To"), value.substr(0, value.size() - 1));
  }
}

TEST(MimeHeader, NonAsciiValuesAreEncodedInTheHeaderOrFieldCharset) {
  CMimeHeader header;
  header.set_charset("iso-8859-1");
  header.set_field_value("Subject", "Caf\xE9");
  header.set_field_value("Comments", "\xC3\xA9", "utf-8");
  EXPECT_EQ(header.to_string(), "Subject: =?iso-8859-1?Q?Caf=E9?=\r\nComments: =?utf-8?B?w6k=?=\r\n\r\n");
  CMimeHeader reloaded;
  reloaded.load(header.to_string());
  std::string charset;
  EXPECT_EQ(reloaded.decoded_field_value("Subject", &charset), "Caf\xE9");
  EXPECT_EQ(charset, "iso-8859-1");
  EXPECT_EQ(reloaded.decoded_field_value("Missing", &charset), "");
  EXPECT_EQ(charset, "");
}

TEST(MimeHeader, ContentTypeAccessors) {
  struct Case {
    std::string content_type;  // "" for no field
    CMimeMediaType type;
    std::string subtype;
    std::string charset;
    std::string boundary;
  };
  const Case cases[] = {
      {"", CMimeMediaType::text, "plain", "", ""},
      {"text/html; charset=\"UTF-8\"", CMimeMediaType::text, "html", "UTF-8", ""},
      {"Multipart/Mixed; boundary=\"----=_Part_976\"", CMimeMediaType::multipart, "mixed", "", "----=_Part_976"},
      {"multipart/alternative; boundary=simple", CMimeMediaType::multipart, "alternative", "", "simple"},
      {"image/jpeg; name=x.jpg", CMimeMediaType::image, "jpeg", "", ""},
      {"message/rfc822", CMimeMediaType::message, "rfc822", "", ""},
      {"x-custom/thing", CMimeMediaType::other, "thing", "", ""},
      {"text", CMimeMediaType::text, "", "", ""},
      {";charset=x", CMimeMediaType::text, "", "x", ""},
  };
  for (const Case& c : cases) {
    CMimeHeader header;
    if (!c.content_type.empty()) header.set_field_value("Content-Type", c.content_type);
    EXPECT_EQ(header.media_type(), c.type) << c.content_type;
    EXPECT_EQ(header.subtype(), c.subtype) << c.content_type;
    EXPECT_EQ(header.content_charset(), c.charset) << c.content_type;
    EXPECT_EQ(header.boundary(), c.boundary) << c.content_type;
  }
}

TEST(MimeHeader, BoundaryWithAnEightBitByteIsStoredRawAndReadBack) {
  // A Content-Type value with a line feed and an 8-bit boundary byte, as a composer may set it.
  const std::string boundary = "----------1A2bb3C\xF1" "C4DdDd5eEeEeFfF_0";
  CMimeHeader header;
  header.set_charset("windows-1252");
  header.set_field_value("Content-Type", "multipart/mixed;\n boundary=\"" + boundary + "\"");
  EXPECT_EQ(header.boundary(), boundary);
  const std::string stored = header.to_string();
  EXPECT_EQ(stored, "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n");
  CMimeHeader reloaded;
  reloaded.load(stored);
  EXPECT_EQ(reloaded.boundary(), boundary);
}

TEST(MimeHeader, ParametersAreReplacedInPlace) {
  CMimeHeader header;
  header.set_field_value("Content-Type", "text/plain; charset=us-ascii");
  header.set_parameter("Content-Type", "charset", "utf-8");
  EXPECT_EQ(header.field_value("Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(header.parameter("Content-Type", "charset"), "utf-8");
  EXPECT_EQ(header.parameter("Content-Disposition", "filename"), std::nullopt);
}

}  // namespace
}  // namespace vendrel
