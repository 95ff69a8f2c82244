#include "mime/mime_body.h"

#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "mime/mime_message.h"
#include "mime_fixtures.h"

namespace vendrel {
namespace {

using test::crlf;
using test::FoldingScope;

const std::string kNested = crlf(
    "Content-Type: multipart/mixed; boundary=\"outer\"\n"
    "\n"
    "preamble\n"
    "--outer\n"
    "Content-Type: text/plain; charset=iso-8859-1\n"
    "Content-Transfer-Encoding: quoted-printable\n"
    "\n"
    "caf=E9 =\n"
    "soft\n"
    "--outer\n"
    "Content-Type: multipart/alternative; boundary=\"outer_alt\"\n"
    "\n"
    "--outer_alt\n"
    "Content-Type: text/plain\n"
    "\n"
    "alt plain\n"
    "--outer_alt\n"
    "Content-Type: text/html\n"
    "\n"
    "<p>alt</p>\n"
    "--outer_alt--\n"
    "--outer \t\n"
    "Content-Type: application/octet-stream\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "AAEC\n"
    "/w==\n"
    "--outerX\n"
    "--outer--\n"
    "epilogue\n");

TEST(MimeBody, SplitsNestedMultipartsAtTheirOwnBoundaries) {
  CMimeBody body;
  EXPECT_EQ(body.load(kNested), kNested.size());
  EXPECT_TRUE(body.is_multipart());
  EXPECT_EQ(body.content(), "preamble");
  ASSERT_EQ(body.child_count(), 3u);

  const CMimeBody& text = *body.child(0);
  EXPECT_EQ(text.content(), "caf\xE9 soft");
  EXPECT_EQ(text.content_charset(), "iso-8859-1");

  const CMimeBody& alternative = *body.child(1);
  EXPECT_EQ(alternative.subtype(), "alternative");
  ASSERT_EQ(alternative.child_count(), 2u);
  EXPECT_EQ(alternative.child(0)->content(), "alt plain");
  EXPECT_EQ(alternative.child(1)->subtype(), "html");
  EXPECT_EQ(alternative.child(1)->content(), "<p>alt</p>");

  // "--outer" with transport blanks is a delimiter; "--outerX" is content.
  const CMimeBody& binary = *body.child(2);
  EXPECT_EQ(binary.media_type(), CMimeMediaType::application);
  EXPECT_EQ(binary.content(), std::string("\x00\x01\x02\xFF", 4));
  EXPECT_EQ(body.child(3), nullptr);
}

TEST(MimeBody, MultipartEdgeCases) {
  struct Case {
    const char* label;
    std::string text;
    std::string preamble;
    std::vector<std::string> parts;  // content of each child
  };
  const Case cases[] = {
      {"missing closing boundary", crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n\none\n--b\n\ntwo\n"), "",
       {"one", "two\r\n"}},
      {"delimiter right at the start", crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n\nx\n--b--\n"), "",
       {"x"}},
      {"empty part", crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\n\nx\n--b--"), "", {"", "x"}},
      {"a part without headers", crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\nno header here\n--b--"), "",
       {"no header here"}},
      {"bare LF lines", "Content-Type: multipart/mixed; boundary=b\n\npre\n--b\n\nlf\n--b--\n", "pre", {"lf"}},
      {"text after the closing delimiter dropped", crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n\nx\n--b--\n--b\n\ny\n"),
       "", {"x"}},
      {"similar longer boundary is content", crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n\n--bb\nx\n--b--"),
       "", {"--bb\r\nx"}},
      {"no boundary parameter: one part", crlf("Content-Type: multipart/mixed\n\nhello\n"), "", {"hello\r\n"}},
      {"boundary never found: one part", crlf("Content-Type: multipart/mixed; boundary=zz\n\n\nhello"), "", {"hello"}},
      {"empty content", crlf("Content-Type: multipart/mixed; boundary=b\n\n"), "", {""}},
  };
  for (const Case& c : cases) {
    CMimeBody body;
    body.load(c.text);
    EXPECT_EQ(body.content(), c.preamble) << c.label;
    ASSERT_EQ(body.child_count(), c.parts.size()) << c.label;
    for (size_t i = 0; i < c.parts.size(); ++i) EXPECT_EQ(body.child(i)->content(), c.parts[i]) << c.label << " #" << i;
  }
}

TEST(MimeBody, DeepNestingIsCutOffAtTheDepthLimit) {
  // 10,000 nested multiparts: parsing must stop descending, not exhaust the stack.
  std::string text;
  const int levels = 10000;
  for (int i = 0; i < levels; ++i)
    text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i) +
            "\r\n";
  text += "\r\ninnermost";
  CMimeBody body;
  body.load(text);
  const CMimeBody* part = &body;
  int depth = 0;
  while (part->child_count() == 1) {
    EXPECT_FALSE(part->nesting_limited());
    part = part->child(0);
    ++depth;
  }
  EXPECT_EQ(depth, CMimeBody::kMaxDepth);
  EXPECT_TRUE(part->nesting_limited());
  EXPECT_EQ(part->child_count(), 0u);
  EXPECT_FALSE(part->content().empty());  // the rest is kept as text
}

TEST(MimeBody, MessagePartHoldsAMessage) {
  const std::string text = crlf(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: message/rfc822\n\n"
      "Subject: inner\nFrom: x@example.com\n\ninner body\n--b--\n");
  CMimeMessage message;
  message.load(text);
  ASSERT_EQ(message.child_count(), 1u);
  const CMimeMessage* inner = message.child(0)->message();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->subject(), "inner");
  EXPECT_EQ(inner->content(), "inner body");
  EXPECT_EQ(message.child(0)->content(), crlf("Subject: inner\nFrom: x@example.com\n\ninner body"));
}

TEST(MimeBody, StoresMultipartWithSeparators) {
  FoldingScope folding(false);
  CMimeBody body;
  body.set_field_value("Content-Type", "multipart/mixed; boundary=\"b\"");
  body.add_child().set_text("hello");
  CMimeBody& second = body.add_child();
  second.set_field_value("Content-Type", "text/plain");
  second.set_field_value("Content-Transfer-Encoding", "quoted-printable");
  second.set_content("caf\xE9");
  EXPECT_EQ(body.to_string(),
            "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
            "\r\n--b\r\nContent-Type: text/plain\r\n\r\nhello"
            "\r\n--b\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9"
            "\r\n--b--\r\n");
  EXPECT_EQ(body.stored_length(), body.to_string().size());
}

TEST(MimeBody, AddingAChildMakesTheBodyMultipart) {
  CMimeBody body;
  body.add_child().set_text("a");
  EXPECT_TRUE(body.is_multipart());
  EXPECT_EQ(body.subtype(), "mixed");
  EXPECT_FALSE(body.boundary().empty());
  CMimeBody reloaded;
  reloaded.load(body.to_string());
  ASSERT_EQ(reloaded.child_count(), 1u);
  EXPECT_EQ(reloaded.child(0)->content(), "a");
  EXPECT_THROW(body.add_child(nullptr), qm_invalid_arg);
}

TEST(MimeBody, AttachmentTypeComesFromTheExtension) {
  struct Case {
    const char* name;
    const char* type;
  };
  const Case cases[] = {{"report.PDF", "application/pdf"}, {"data.bin", "application/octet-stream"},
                        {"photo.JpG", "image/jpeg"},       {"noextension", "application/octet-stream"}};
  for (const Case& c : cases) {
    CMimeBody part;
    part.set_attachment(std::string("\x00\x01", 2), c.name);
    EXPECT_EQ(part.field_value("Content-Type"), std::string(c.type) + "; name=" + c.name);
    EXPECT_EQ(part.parameter("Content-Disposition", "filename"), c.name);
    CMimeBody reloaded;
    reloaded.load(part.to_string());
    EXPECT_EQ(reloaded.transfer_encoding(), "base64");
    EXPECT_EQ(reloaded.content(), std::string("\x00\x01", 2));
  }
}

TEST(MimeBody, ComposedTreeRoundTrips) {
  CMimeMessage message;
  message.set_charset("iso-8859-1");
  message.set_from("J\xF6rg <j@example.com>");
  message.set_subject("Gr\xFC\xDF" "e");
  CMimeBody& text = message.add_child();
  text.set_text("line one\r\nline \xE9 two \r\n", "iso-8859-1");
  text.set_field_value("Content-Transfer-Encoding", "quoted-printable");
  CMimeMessage& embedded = message.add_message_part();
  embedded.set_subject("inner");
  embedded.set_text("inner text");
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary.push_back(static_cast<char>(i * 7));
  message.add_child().set_attachment(binary, "blob.bin");

  const std::string stored = message.to_string();
  CMimeMessage reloaded;
  EXPECT_EQ(reloaded.load(stored.data(), stored.size()), stored.size());
  EXPECT_EQ(reloaded.decoded_field_value("From"), "J\xF6rg <j@example.com>");
  EXPECT_EQ(reloaded.decoded_field_value("Subject"), "Gr\xFC\xDF" "e");
  ASSERT_EQ(reloaded.child_count(), 3u);
  EXPECT_EQ(reloaded.child(0)->content(), "line one\r\nline \xE9 two \r\n");
  ASSERT_NE(reloaded.child(1)->message(), nullptr);
  EXPECT_EQ(reloaded.child(1)->message()->subject(), "inner");
  EXPECT_EQ(reloaded.child(1)->message()->content(), "inner text");
  EXPECT_EQ(reloaded.child(2)->content(), binary);
  EXPECT_EQ(reloaded.child(2)->parameter("Content-Type", "name"), "blob.bin");
}

TEST(MimeBody, LoadingAndStoringNullBuffers) {
  CMimeBody body;
  EXPECT_EQ(body.load(nullptr, 0), 0u);
  EXPECT_TRUE(body.fields().empty());
  EXPECT_THROW(body.load(nullptr, 1), qm_invalid_arg);
  EXPECT_EQ(body.to_string(), "\r\n");
}

TEST(MimeBody, SevenBitBodiesFoldOnlyWhileFoldingIsOn) {
  std::string line;
  for (int i = 0; i < 20; ++i) line += "word ";
  CMimeBody body;
  body.set_field_value("Content-Transfer-Encoding", "7bit");
  body.set_content(line);
  {
    FoldingScope folding(false);
    EXPECT_EQ(body.to_string(), "Content-Transfer-Encoding: 7bit\r\n\r\n" + line);
  }
  {
    FoldingScope folding(true);
    const std::string stored = body.to_string();
    EXPECT_NE(stored.find("\r\n word"), std::string::npos) << stored;
  }
}

}  // namespace
}  // namespace vendrel
