// The pieces of the RTF path that stand alone: the Base64 decoding of the
// bound RTF, the uncompressed compressed-RTF container, and the code pages
// the body paths convert their own texts with.
#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "items/body_code_page.h"
#include "items/rtf_base64.h"
#include "items/rtf_container.h"
#include "platform/platform.h"

namespace vendrel {
namespace {

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
         uint32_t{bytes[offset + 3]} << 24;
}

TEST(RtfBase64, Decoding) {
  struct base64_case {
    std::string text;
    std::string bytes;
  };
  const base64_case cases[] = {
      {"", ""},
      {"e3J0ZjF9", "{rtf1}"},
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QUJDRA", "ABCD"},       // a last group of two characters, unpadded
      {"QUJDREU", "ABCDE"},     // and of three
      {"QUJDR", "ABC"},         // a single character carries no byte
      {"QQ", ""},               // fewer than four characters
      {"QUI", ""},
      {"QQ==QUJD", "A"},        // decoding stops at the first "="
      {"=QUJD", ""},
      {"QU\r\nJD\r\n", "ABC"},  // the wrapped form of mail tools
      {" Q U J D\t", "ABC"},
      {"\r\nQQ\r\n", ""},       // line breaks do not count as characters
      {"////", "\xFF\xFF\xFF"},
      {"++++", "\xFB\xEF\xBE"},
      {"AAAA", std::string(3, '\0')},
      {"!!!!", std::string(3, '\0')},  // anything else counts as 0
      {"Q!JD", "@\x02\x43"},
  };
  for (const base64_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(decode_rtf_base64(c.text), c.bytes);
  }
}

TEST(RtfBase64, EveryByteSurvivesARoundTrip) {
  std::string raw;
  for (int i = 0; i < 256 * 3; ++i) raw.push_back(static_cast<char>(i * 7 % 256));
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t cut : {raw.size(), raw.size() - 1, raw.size() - 2}) {
    const std::string bytes = raw.substr(0, cut);
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
      uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
      if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
      if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
      text += alphabet[(group >> 18) & 63];
      text += alphabet[(group >> 12) & 63];
      text += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
      text += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
      if (i % 57 == 54) text += "\r\n";
    }
    EXPECT_EQ(decode_rtf_base64(text), bytes) << cut;
  }
}

TEST(RtfContainer, HeaderFieldsAndData) {
  for (size_t size : {0u, 1u, 100u, 70000u}) {
    SCOPED_TRACE(size);
    std::string raw(size, '\0');
    for (size_t i = 0; i < size; ++i) raw[i] = static_cast<char>("{\\rtf1 x}"[i % 9]);
    const std::vector<uint8_t> c = make_uncompressed_rtf_container(raw);
    ASSERT_EQ(c.size(), size + 16);
    EXPECT_EQ(u32_at(c, 0), size + 12);       // COMPSIZE
    EXPECT_EQ(u32_at(c, 4), size);            // RAWSIZE
    EXPECT_EQ(u32_at(c, 8), 0x414C454Du);     // COMPTYPE
    EXPECT_EQ(std::string(c.begin() + 8, c.begin() + 12), "MELA");
    EXPECT_EQ(u32_at(c, 12), 0u);             // CRC: 0 when COMPTYPE is "MELA"
    EXPECT_EQ(std::string(c.begin() + 16, c.end()), raw);
  }
}

TEST(RtfContainer, AHundredByteRtfHasCompsize112AndIs116BytesLong) {
  const std::vector<uint8_t> c = make_uncompressed_rtf_container(std::string(100, 'r'));
  EXPECT_EQ(u32_at(c, 0), 112u);
  EXPECT_EQ(c.size(), 116u);
}

TEST(BodyCodePage, WideHtmlKeepsTheBoundCodePageWhenItHoldsTheText) {
  struct code_page_case {
    std::u16string html;
    uint32_t bound;
    uint32_t used;
  };
  const code_page_case cases[] = {
      {u"<B>\u041f\u0440\u0438\u0432\u0435\u0442", 1251, 1251},
      {u"<B>caf\u00e9", 1252, 1252},
      {u"<B>plain ascii", 20127, 20127},
      {u"<B>\u041f\u0440\u0438", 1252, 65001},          // Cyrillic is not in 1252
      {u"<B>caf\u00e9 \u041f", 1251, 65001},           // nor a Latin e acute in 1251
      {u"<B>\u65e5\u672c", 932, 65001},                 // trail bytes below 0x80
      {u"<B>\u65e5\u672c", 50220, 65001},               // escape sequences
      {u"<B>x &amp; y", 65000, 65001},                  // UTF-7 writes "&" as "+ACY-"
      {u"<B>\u65e5\u672c", 65001, 65001},
  };
  for (const code_page_case& c : cases) {
    SCOPED_TRACE(c.bound);
    EXPECT_EQ(html_conversion_code_page(c.html, c.bound), c.used);
  }
  EXPECT_EQ(html_conversion_code_page(u"<B>x", 0),
            platform::ansi_code_page() == 65001 ? 65001u : platform::ansi_code_page());
}

TEST(BodyCodePage, RtfDocumentNamesItsCodePage) {
  struct rtf_case {
    std::string rtf;
    uint32_t used;
  };
  const rtf_case cases[] = {
      {R"({\rtf1\ansi\ansicpg1251\deff0 x})", 1251},
      {R"({\rtf1\ansi\ansicpg1252 x})", 1252},
      {R"({\rtf1\ansi x})", 777},
      {R"({\rtf1\ansi\ansicpg x})", 777},
      {R"({\rtf1\ansi\ansicpg0 x})", 777},
      {R"(\ansicpg)", 777},
      {"", 777},
      {std::string(2000, ' ') + R"(\ansicpg1251)", 777},  // past the header
  };
  for (const rtf_case& c : cases) {
    SCOPED_TRACE(c.rtf.substr(0, 40));
    EXPECT_EQ(rtf_document_code_page(c.rtf, 777), c.used);
  }
}

}  // namespace
}  // namespace vendrel
