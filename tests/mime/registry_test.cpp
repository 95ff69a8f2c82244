#include "mime/registry.h"

#include <gtest/gtest.h>

#include "mime/base64.h"
#include "mime/code_7bit.h"
#include "mime/field_code_address.h"
#include "mime/field_code_parameter.h"
#include "mime/quoted_printable.h"
#include "mime_fixtures.h"

namespace vendrel {
namespace {

using test::FoldingScope;

TEST(MimeRegistry, TransferEncodingNamesPickTheirCodec) {
  FoldingScope folding(true);
  EXPECT_NE(dynamic_cast<CMimeCodeQP*>(CMimeEnvironment::create_transfer_codec("quoted-printable").get()), nullptr);
  EXPECT_NE(dynamic_cast<CMimeCodeQP*>(CMimeEnvironment::create_transfer_codec(" Quoted-Printable; x").get()), nullptr);
  EXPECT_NE(dynamic_cast<CMimeCodeQP*>(CMimeEnvironment::create_transfer_codec("quoted printable").get()), nullptr);
  EXPECT_NE(dynamic_cast<CMimeCodeBase64*>(CMimeEnvironment::create_transfer_codec("BASE64").get()), nullptr);
  EXPECT_NE(dynamic_cast<CMimeCode7bit*>(CMimeEnvironment::create_transfer_codec("7bit").get()), nullptr);
  EXPECT_NE(dynamic_cast<CMimeCode7bit*>(CMimeEnvironment::create_transfer_codec("8Bit").get()), nullptr);
  for (const char* other : {"binary", "x-uuencode", "", "7-bit"}) {
    const auto codec = CMimeEnvironment::create_transfer_codec(other);
    ASSERT_NE(codec, nullptr) << other;
    EXPECT_EQ(typeid(*codec), typeid(CMimeCodeBase)) << other;
  }
  CMimeEnvironment::set_auto_folding(false);
  EXPECT_EQ(CMimeEnvironment::create_transfer_codec("7bit"), nullptr);
  EXPECT_EQ(CMimeEnvironment::create_transfer_codec("8bit"), nullptr);
  EXPECT_NE(CMimeEnvironment::create_transfer_codec("base64"), nullptr);
}

TEST(MimeRegistry, FieldNamesPickTheirCodec) {
  for (const char* name : {"Subject", "comments", "Content-Description"}) {
    const auto codec = CMimeEnvironment::create_field_codec(name);
    EXPECT_EQ(typeid(*codec), typeid(CFieldCodeText)) << name;
  }
  for (const char* name :
       {"From", "to", "Resent-To", "CC", "Resent-Cc", "Bcc", "Resent-Bcc", "Reply-To", "Resent-Reply-To"}) {
    const auto codec = CMimeEnvironment::create_field_codec(name);
    EXPECT_EQ(typeid(*codec), typeid(CFieldCodeAddress)) << name;
  }
  for (const char* name : {"Content-Type", "content-disposition"}) {
    const auto codec = CMimeEnvironment::create_field_codec(name);
    EXPECT_EQ(typeid(*codec), typeid(CFieldCodeParameter)) << name;
  }
  for (const char* name : {"Date", "X-Priority", "Sender"}) {
    const auto codec = CMimeEnvironment::create_field_codec(name);
    EXPECT_EQ(typeid(*codec), typeid(CFieldCodeBase)) << name;
  }
}

TEST(MimeRegistry, TransferHelpersCopyWithoutCodec) {
  FoldingScope folding(false);
  EXPECT_EQ(encode_transfer("7bit", std::string(100, 'x')), std::string(100, 'x'));
  EXPECT_EQ(encode_transfer("base64", "abc"), "YWJj\r\n");
  EXPECT_EQ(decode_transfer("quoted-printable", "a=3D"), "a=");
  EXPECT_EQ(decode_transfer("x-unknown", "a=3D"), "a=3D");
}

TEST(Mime7bit, FoldsLongLinesBeforeTheirLastDelimiter) {
  struct Case {
    const char* label;
    std::string input;
    std::string expected;
  };
  const std::string seventy(70, 'a');
  const Case cases[] = {
      {"short line", "short line", "short line"},
      {"exactly 76", std::string(76, 'x'), std::string(76, 'x')},
      {"long line broken at the last blank", seventy + " bbbb cccc", seventy + " bbbb\r\n cccc"},
      {"no delimiter: left long", std::string(90, 'x'), std::string(90, 'x')},
      {"line ends reset the count", seventy + "\r\n" + seventy + " x", seventy + "\r\n" + seventy + " x"},
      {"tab is a delimiter", seventy + "\tbbbbbbbb", seventy + "\r\n\tbbbbbbbb"},
  };
  for (const Case& c : cases) {
    CMimeCode7bit codec;
    EXPECT_EQ(mime_encode(codec, c.input), c.expected) << c.label;
    EXPECT_EQ(mime_decode(codec, c.expected), c.expected) << c.label;
  }
  std::string words;
  for (int i = 0; i < 100; ++i) words += "word ";
  CMimeCode7bit codec;
  const std::string folded = mime_encode(codec, words);
  size_t start = 0;
  while (start < folded.size()) {
    size_t end = folded.find("\r\n", start);
    if (end == std::string::npos) end = folded.size();
    EXPECT_LE(end - start, CMimeCode7bit::kMaxLineLength);
    start = end + 2;
  }
}

}  // namespace
}  // namespace vendrel
