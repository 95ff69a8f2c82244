// Real messages from the shared corpus: parsing gives the expected headers
// and parts, and every message survives a store and a reload.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mime/address_list.h"
#include "mime/mime_message.h"
#include "mime/registry.h"
#include "mime_fixtures.h"

namespace vendrel {
namespace {

namespace fs = std::filesystem;

class EmlCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(test::eml_corpus())) GTEST_SKIP() << "no corpus at " << test::eml_corpus();
  }

  CMimeMessage load(const std::string& relative) {
    const std::string text = test::read_binary(test::eml_corpus() / relative);
    EXPECT_FALSE(text.empty()) << relative;
    CMimeMessage message;
    message.load(text);
    return message;
  }
};

TEST_F(EmlCorpus, SimpleMessageHeadersAndBody) {
  const CMimeMessage message = load("rfc2822/example01.eml");
  const auto from = message.addresses("From");
  ASSERT_EQ(from.size(), 1u);
  EXPECT_EQ(from[0].name, "John Doe");
  EXPECT_EQ(from[0].address, "jdoe@machine.example");
  EXPECT_EQ(message.addresses("To").at(0).address, "mary@example.net");
  EXPECT_EQ(message.subject(), "Saying Hello");
  EXPECT_EQ(message.date(), "Fri, 21 Nov 1997 09:55:06 -0600");
  EXPECT_EQ(message.media_type(), CMimeMediaType::text);
  EXPECT_EQ(message.child_count(), 0u);
  EXPECT_EQ(message.content(), "This is a message just to say hello.\r\nSo, \"Hello\".\r\n");
}

TEST_F(EmlCorpus, PdfAttachmentIsDecoded) {
  const CMimeMessage message = load("attachment_emails/attachment_pdf.eml");
  EXPECT_EQ(message.subtype(), "mixed");
  ASSERT_EQ(message.child_count(), 2u);
  EXPECT_EQ(message.child(0)->subtype(), "plain");
  EXPECT_EQ(message.child(0)->content_charset(), "ISO-8859-1");
  const CMimeBody& pdf = *message.child(1);
  EXPECT_EQ(pdf.media_type(), CMimeMediaType::application);
  EXPECT_EQ(pdf.subtype(), "pdf");
  EXPECT_EQ(pdf.parameter("Content-Disposition", "filename"), "broken.pdf");
  EXPECT_EQ(pdf.content().size(), 1026u);
  EXPECT_EQ(pdf.content().substr(0, 8), "%PDF-1.4");
}

TEST_F(EmlCorpus, QuotedAndRfc2231FileNames) {
  const CMimeMessage message = load("attachment_emails/attachment_with_quoted_filename.eml");
  std::string charset;
  EXPECT_EQ(message.decoded_field_value("Subject", &charset), "Eelanal\xFC\xFCsi p\xE4ring");
  EXPECT_EQ(charset, "ISO-8859-1");
  ASSERT_GE(message.child_count(), 1u);
  const CMimeBody& image = *message.child(0);
  EXPECT_EQ(image.media_type(), CMimeMediaType::image);
  EXPECT_EQ(image.parameter("Content-Disposition", "filename", &charset), "Eelanal\xFC\xFCsi p\xE4ring.jpg");
  EXPECT_EQ(charset, "ISO-8859-1");
  EXPECT_EQ(image.parameter("Content-Type", "name", &charset), "Eelanal\xFC\xFCsi p\xE4ring.jpg");
  EXPECT_EQ(charset, "ISO-8859-1");
}

TEST_F(EmlCorpus, Rfc2231ContinuationsAndSplitEncodedWords) {
  const CMimeMessage message = load("multi_charset/japanese_attachment_long_name.eml");
  std::string kakikukeko = "\xE3\x81\x8B\xE3\x81\x8D\xE3\x81\x8F\xE3\x81\x91\xE3\x81\x93";
  std::string expected_name;
  for (int i = 0; i < 5; ++i) expected_name += kakikukeko;
  expected_name += ".txt";
  ASSERT_EQ(message.child_count(), 1u);
  std::string charset;
  EXPECT_EQ(message.child(0)->parameter("Content-Disposition", "filename", &charset), expected_name);
  EXPECT_EQ(charset, "utf-8");
  EXPECT_EQ(message.child(0)->parameter("Content-Type", "name"), expected_name);
  const std::string mamimumemo = "\xE3\x81\xBE\xE3\x81\xBF\xE3\x82\x80\xE3\x82\x81\xE3\x82\x82";
  std::string expected_subject;
  for (int i = 0; i < 10; ++i) expected_subject += mamimumemo;
  EXPECT_EQ(message.decoded_field_value("Subject", &charset), expected_subject);
  EXPECT_EQ(charset, "utf-8");
}

TEST_F(EmlCorpus, SimilarBoundariesNestCorrectly) {
  const CMimeMessage message = load("mime_emails/email_with_similar_boundaries.eml");
  ASSERT_EQ(message.child_count(), 2u);
  const CMimeBody& alternative = *message.child(0);
  EXPECT_EQ(alternative.subtype(), "alternative");
  ASSERT_EQ(alternative.child_count(), 2u);
  EXPECT_EQ(alternative.child(0)->content(), "Test\r\n");
  EXPECT_EQ(alternative.child(1)->subtype(), "html");
  EXPECT_EQ(message.child(1)->parameter("Content-Disposition", "filename"), "LOGO.png");
}

TEST_F(EmlCorpus, EmbeddedMessageIsParsed) {
  const CMimeMessage message = load("attachment_emails/attachment_message_rfc822.eml");
  ASSERT_EQ(message.child_count(), 2u);
  const CMimeMessage* inner = message.child(1)->message();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->subject(), "Another PDF");
  ASSERT_EQ(inner->child_count(), 2u);
  EXPECT_EQ(inner->child(1)->parameter("Content-Disposition", "filename"), "broken.pdf");
  EXPECT_EQ(inner->child(1)->content().substr(0, 5), "%PDF-");
}

TEST_F(EmlCorpus, EncodedDisplayNameAndQuotedPrintableBody) {
  const CMimeMessage message = load("mime_emails/raw_email_encoded_stack_level_too_deep.eml");
  std::string charset;
  EXPECT_EQ(message.decoded_field_value("Subject", &charset),
            "Nicolas Fouch\xE9 has accepted your invitation to Gmail");
  EXPECT_EQ(charset, "ISO-8859-1");
  const auto to = message.addresses("To");
  ASSERT_EQ(to.size(), 1u);
  EXPECT_EQ(to[0].name, "Nicolas Fouch\xE9");
  EXPECT_EQ(to[0].address, "a.b@gmail.com");
  ASSERT_EQ(message.child_count(), 2u);
  const std::string& text = message.child(0)->content();
  // "the=\r\n=20\r\nbrand": a soft break, then an encoded blank before a hard line end.
  const std::string start = "Nicolas Fouch\xE9 has accepted your invitation to Gmail and has chosen the \r\nbrand";
  EXPECT_EQ(text.substr(0, start.size()), start);
}

TEST_F(EmlCorpus, MalformedHeadersGiveClearResults) {
  const CMimeMessage empty_group = load("error_emails/empty_group_lists.eml");
  EXPECT_TRUE(empty_group.addresses("To").empty());
  EXPECT_EQ(empty_group.child_count(), 2u);
  const CMimeMessage weird_to = load("error_emails/weird_to_header.eml");
  const auto to = weird_to.addresses("To");
  ASSERT_EQ(to.size(), 2u);
  EXPECT_EQ(to[0].address, "user-example@aol.com");
  const CMimeMessage bad_subject = load("error_emails/bad_encoded_subject.eml");
  EXPECT_EQ(bad_subject.decoded_field_value("Subject"), "TEST");
}

// Compares two trees part by part: structure, header fields, decoded contents.
void expect_same_tree(const CMimeBody& a, const CMimeBody& b, const std::string& where) {
  ASSERT_EQ(a.child_count(), b.child_count()) << where;
  EXPECT_EQ(a.media_type(), b.media_type()) << where;
  EXPECT_EQ(a.fields().size(), b.fields().size()) << where;
  if (!a.is_multipart()) {
    for (size_t i = 0; i < a.fields().size() && i < b.fields().size(); ++i) {
      EXPECT_EQ(a.fields()[i].name(), b.fields()[i].name()) << where;
      EXPECT_EQ(a.fields()[i].value(), b.fields()[i].value()) << where;
    }
  }
  ASSERT_EQ(a.message() != nullptr, b.message() != nullptr) << where;
  if (a.message()) {
    expect_same_tree(*a.message(), *b.message(), where + " > message");
  } else {
    EXPECT_EQ(a.content(), b.content()) << where;
  }
  for (size_t i = 0; i < a.child_count(); ++i)
    expect_same_tree(*a.child(i), *b.child(i), where + " > " + std::to_string(i));
}

void read_every_field(const CMimeBody& body) {
  for (const CMimeField& field : body.fields()) {
    std::string charset;
    (void)field.decoded_value(&charset);
    (void)parse_address_list(field.value());
  }
  (void)body.content_charset();
  (void)body.boundary();
  if (body.message()) read_every_field(*body.message());
  for (const auto& child : body.children()) read_every_field(*child);
}

TEST_F(EmlCorpus, EveryMessageSurvivesStoreAndReload) {
  test::FoldingScope folding(false);  // folding would reshape 7bit bodies
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(test::eml_corpus())) {
    if (!entry.is_regular_file() || entry.path().extension() != ".eml") continue;
    ++files;
    const std::string name = fs::relative(entry.path(), test::eml_corpus()).string();
    const std::string text = test::read_binary(entry.path());
    CMimeMessage original;
    EXPECT_EQ(original.load(text), text.size()) << name;
    read_every_field(original);
    const size_t length = original.stored_length();
    std::string stored(length, '\0');
    ASSERT_EQ(original.store(stored.data(), stored.size()), length) << name;
    CMimeMessage reloaded;
    reloaded.load(stored);
    expect_same_tree(original, reloaded, name);
  }
  EXPECT_GT(files, 50);
}

}  // namespace
}  // namespace vendrel
