#include "mime/field_code.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mime/address_list.h"
#include "mime/field_code_address.h"
#include "mime/field_code_parameter.h"
#include "mime/registry.h"

namespace vendrel {
namespace {

std::string encode_field(std::string_view field, std::string_view value, std::string charset) {
  auto codec = CMimeEnvironment::create_field_codec(field);
  codec->set_charset(std::move(charset));
  return mime_encode(*codec, value);
}

std::string decode_field(std::string_view field, std::string_view value, std::string* charset = nullptr) {
  auto codec = CMimeEnvironment::create_field_codec(field);
  std::string decoded = mime_decode(*codec, value);
  if (charset) *charset = codec->decoded_charset();
  return decoded;
}

struct Case {
  const char* field;
  std::string value;
  std::string encoded;
};

TEST(FieldCode, EncodesOnlyWhatNeedsIt) {
  const Case cases[] = {
      {"Subject", "plain ASCII stays", "plain ASCII stays"},
      // 10 bytes: one above 127 gives "Q", eight give "B".
      {"Subject", "abcdefghi\xE9", "=?iso-8859-1?Q?abcdefghi=E9?="},
      {"Subject", "\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9" "ab", "=?iso-8859-1?B?6enp6enp6elhYg==?="},
      {"Subject", "Re: Caf\xE9 au lait", "Re: =?iso-8859-1?Q?Caf=E9?= au lait"},
      // Adjacent words share one encoded word: the blank between two words would vanish on decoding.
      {"Subject", "J\xF6rg M\xFCller here", "=?iso-8859-1?Q?J=F6rg=20M=FCller?= here"},
      // Unstructured text has no specials: the parentheses go into the word.
      {"Subject", "(caf\xE9)", "=?iso-8859-1?Q?(caf=E9)?="},
      // Other fields end words at specials.
      {"X-Note", "(caf\xE9)", "(=?iso-8859-1?Q?caf=E9?=)"},
      // Control bytes (an ISO-2022 escape) cannot stand in a header either.
      {"Subject", "a\x1b$B", "=?iso-8859-1?Q?a=1B$B?="},
      {"From", "J\xF6rg M\xFCller <j@example.com>, plain <p@example.com>",
       "=?iso-8859-1?Q?J=F6rg=20M=FCller?= <j@example.com>, plain <p@example.com>"},
      // A quoted display name is encoded as a whole, its specials escaped.
      {"To", "\"M\xFCller, J\xF6rg\" <m@example.de>", "=?iso-8859-1?Q?M=FCller=2C=20J=F6rg?= <m@example.de>"},
      {"Cc", "a@example.com (J\xF6rg)", "a@example.com (=?iso-8859-1?Q?J=F6rg?=)"},
      // An 8-bit address has no encoded form; it is left as it is.
      {"To", "j\xF6rg@example.com", "j\xF6rg@example.com"},
      {"Content-Disposition", "attachment; filename=\"r\xE9sum\xE9.pdf\"",
       "attachment; filename=\"=?iso-8859-1?Q?r=E9sum=E9=2Epdf?=\""},
      // The boundary must match the delimiter lines byte for byte.
      {"Content-Type", "multipart/mixed; boundary=\"a\xF1z\"", "multipart/mixed; boundary=\"a\xF1z\""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(encode_field(c.field, c.value, "iso-8859-1"), c.encoded) << c.field << ": " << c.value;
}

TEST(FieldCode, WithoutCharsetValuesAreWrittenAsTheyAre) {
  EXPECT_EQ(encode_field("Subject", "Caf\xE9", ""), "Caf\xE9");
  EXPECT_EQ(encode_field("To", "J\xF6rg <j@x>", ""), "J\xF6rg <j@x>");
}

TEST(FieldCode, EncodedValuesDecodeToTheOriginal) {
  const Case cases[] = {
      {"Subject", "J\xF6rg M\xFCller here", ""},
      {"Subject", "Re: Caf\xE9 au lait", ""},
      {"Subject", std::string(40, 'x') + " " + std::string(30, '\xE9') + " tail", ""},
      {"X-Note", "(caf\xE9) a.b\xE9", ""},
      {"From", "J\xF6rg M\xFCller <j@example.com>", ""},
  };
  for (const Case& c : cases) {
    std::string charset;
    EXPECT_EQ(decode_field(c.field, encode_field(c.field, c.value, "iso-8859-1"), &charset), c.value) << c.value;
    EXPECT_EQ(charset, "iso-8859-1");
  }
}

TEST(FieldCode, AddressDecodingQuotesNamesWithSpecials) {
  const std::string encoded = encode_field("To", "\"M\xFCller, J\xF6rg\" <m@example.de>, b@example.de", "iso-8859-1");
  std::string charset;
  const std::string decoded = decode_field("To", encoded, &charset);
  EXPECT_EQ(decoded, "\"M\xFCller, J\xF6rg\" <m@example.de>, b@example.de");
  EXPECT_EQ(charset, "iso-8859-1");
  const auto list = parse_address_list(decoded);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "M\xFCller, J\xF6rg");
  EXPECT_EQ(list[0].address, "m@example.de");
  EXPECT_EQ(list[1].address, "b@example.de");
  // The encoded form splits the same way.
  const auto direct = parse_address_list(encoded);
  ASSERT_EQ(direct.size(), 2u);
  EXPECT_EQ(direct[0].name, "M\xFCller, J\xF6rg");
  EXPECT_EQ(direct[0].charset, "iso-8859-1");
}

TEST(FieldCode, AddressDecodingLeavesAddressesAndDecodesComments) {
  EXPECT_EQ(decode_field("From", "=?utf-8?Q?a?=@example.com"), "=?utf-8?Q?a?=@example.com");
  EXPECT_EQ(decode_field("From", "x@example.com (=?utf-8?Q?J=C3=B6rg?=)"), "x@example.com (J\xC3\xB6rg)");
}

TEST(FieldCode, ParameterDecodingResolvesRfc2231AndEncodedWords) {
  std::string charset;
  EXPECT_EQ(decode_field("Content-Disposition", "attachment; filename*=ISO-8859-1''Eelanal%FC%FCsi%20p%E4ring.jpg",
                         &charset),
            "attachment; filename=\"Eelanal\xFC\xFCsi p\xE4ring.jpg\"");
  EXPECT_EQ(charset, "ISO-8859-1");
  EXPECT_EQ(decode_field("Content-Type", "application/pdf; name=\"=?utf-8?B?w6kucGRm?=\"", &charset),
            "application/pdf; name=\"\xC3\xA9.pdf\"");
  EXPECT_EQ(charset, "utf-8");
  EXPECT_EQ(decode_field("Content-Type", "text/plain; charset=us-ascii", &charset), "text/plain; charset=us-ascii");
  EXPECT_EQ(charset, "");
}

TEST(FieldCode, DelimitersAndSpecials) {
  CFieldCodeBase base;
  CFieldCodeText text;
  CFieldCodeParameter parameter;
  for (char c : std::string("\t\n\v\f\r ")) EXPECT_TRUE(base.is_delimiter(c)) << int(c);
  EXPECT_FALSE(base.is_delimiter('a'));
  for (char c : std::string("()<>@,;:\\\".[]")) {
    EXPECT_TRUE(base.is_special(c)) << c;
    EXPECT_FALSE(text.is_special(c)) << c;
  }
  EXPECT_TRUE(parameter.is_special('/'));
  EXPECT_TRUE(parameter.is_special('='));
  EXPECT_FALSE(parameter.is_special('.'));
}

}  // namespace
}  // namespace vendrel
