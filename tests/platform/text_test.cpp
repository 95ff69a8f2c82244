// Code-page conversions: exact bytes for known texts, round trips, and the
// '?' rule for everything that cannot be converted.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace vendrel::platform {
namespace {

using test::utf16;

struct KnownText {
  uint32_t code_page;
  const char* utf8;   // the text
  std::string bytes;  // the same text in the code page
};

class PlatformCodePage : public ::testing::TestWithParam<KnownText> {};

TEST_P(PlatformCodePage, ConvertsBothWays) {
  const KnownText& c = GetParam();
#if defined(_WIN32)
  if (!code_page_supported(c.code_page)) GTEST_SKIP() << "no converter for " << c.code_page << " on this system";
#endif
  ASSERT_TRUE(code_page_supported(c.code_page));
  const std::u16string text = utf16(c.utf8);
  EXPECT_EQ(wide_to_multibyte(c.code_page, text), c.bytes);
  EXPECT_EQ(multibyte_to_wide(c.code_page, c.bytes), text);
}

INSTANTIATE_TEST_SUITE_P(
    Known, PlatformCodePage,
    ::testing::Values(
        KnownText{1252, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC caf\xC3\xA9", "Gr\xFC\xDF" "e \x80 caf\xE9"},
        KnownText{1251, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC",
                  "\xCF\xF0\xE8\xE2\xE5\xF2 \x88"},
        KnownText{932, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E abc \xEF\xBD\xB1", "\x93\xFA\x96\x7B\x8C\xEA abc \xB1"},
        KnownText{65001, "\xC3\xBC \xE2\x82\xAC \xF0\x9D\x84\x9E", "\xC3\xBC \xE2\x82\xAC \xF0\x9D\x84\x9E"},
        KnownText{20866, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xF0\xD2\xC9\xD7\xC5\xD4"},
        KnownText{28595, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xBF\xE0\xD8\xD2\xD5\xE2"},
        KnownText{50220, "a\xE6\x97\xA5\xE6\x9C\xAC" "b", "a\x1B$BF|K\\\x1B(Bb"},
        KnownText{65000, "Hi Mom -\xE2\x98\xBA- 1 + 2", "Hi Mom -+Jjo-- 1 +- 2"}),
    [](const auto& info) { return std::to_string(info.index) + "_cp" + std::to_string(info.param.code_page); });

TEST(PlatformText, Utf7OptionalDirectCharactersDecode) {
  // Encoders may spell '!' directly or in base64; both read back the same.
  EXPECT_EQ(multibyte_to_wide(65000, "Hi Mom -+Jjo--!"), u"Hi Mom -\u263A-!");
  EXPECT_EQ(multibyte_to_wide(65000, "+ACE-"), u"!");
  EXPECT_EQ(multibyte_to_wide(65000, wide_to_multibyte(65000, u"!#$\U0001F600")), u"!#$\U0001F600");
}

TEST(PlatformText, EmbeddedNulIsConverted) {
  const std::u16string text(u"a\0\u00E9", 3);
  EXPECT_EQ(wide_to_multibyte(1252, text), std::string("a\0\xE9", 3));
  EXPECT_EQ(multibyte_to_wide(1252, std::string("a\0\xE9", 3)), text);
  EXPECT_EQ(wide_to_multibyte(65001, text), std::string("a\0\xC3\xA9", 4));
}

// Wide text that the code page cannot hold: one '?' per character, the rest intact.
struct Unconvertible {
  uint32_t code_page;
  std::u16string text;
  std::string expected;
};

class PlatformUnconvertible : public ::testing::TestWithParam<Unconvertible> {};

TEST_P(PlatformUnconvertible, BecomesOneQuestionMarkEach) {
  const Unconvertible& c = GetParam();
#if defined(_WIN32)
  if (!code_page_supported(c.code_page)) GTEST_SKIP() << "no converter for " << c.code_page << " on this system";
#endif
  EXPECT_EQ(wide_to_multibyte(c.code_page, c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, PlatformUnconvertible,
    ::testing::Values(
        Unconvertible{1252, u"a\u65E5b\u672Cc", "a?b?c"},
        Unconvertible{1252, u"x\U0001F600y", "x?y"},  // a surrogate pair is one character
        Unconvertible{1251, u"\u65E5\u00E9\u041F", "??\xCF"},
        Unconvertible{932, u"\u00E9\u65E5", "?\x93\xFA"},
        Unconvertible{20127, u"na\u00EFve", "na?ve"},
        Unconvertible{28595, u"\u041F\u00DF", "\xBF?"},
        // Stateful: the '?' stands outside the shifted run, which resumes after it.
        Unconvertible{50220, u"\u65E5\u20AC\u672C", "\x1B$BF|\x1B(B?\x1B$BK\\\x1B(B"},
        // Unpaired surrogates never convert, in any code page.
        Unconvertible{1252, u"a\xD800" "b", "a?b"},
        Unconvertible{1252, u"a\xDC00", "a?"},
        Unconvertible{1252, u"\xDBFF", "?"},
        Unconvertible{1252, u"\xDC00\xD800", "??"},
        Unconvertible{932, u"\xD83D\u65E5", "?\x93\xFA"},
        Unconvertible{65001, u"a\xD800" "b\xDFFF", "a?b?"},
        Unconvertible{65001, u"\xD800\xD83D\xDE00", "?\xF0\x9F\x98\x80"}));

// Input that is not valid in the code page: one '?' per bad sequence.
struct InvalidInput {
  uint32_t code_page;
  std::string bytes;
  std::u16string expected;
};

class PlatformInvalidInput : public ::testing::TestWithParam<InvalidInput> {};

TEST_P(PlatformInvalidInput, BecomesQuestionMarks) {
  const InvalidInput& c = GetParam();
  EXPECT_EQ(multibyte_to_wide(c.code_page, c.bytes), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, PlatformInvalidInput,
    ::testing::Values(
        InvalidInput{65001, "a\xFF" "b", u"a?b"},
        InvalidInput{65001, "\x80\xBF", u"??"},                    // lone continuation bytes
        InvalidInput{65001, "\xE2\x82", u"?"},                     // cut at the end
        InvalidInput{65001, "\xE2\x82" "A", u"?A"},                // cut before a letter
        InvalidInput{65001, "\xC0\x80", u"??"},                    // overlong NUL
        InvalidInput{65001, "\xE0\x80\xAF", u"???"},               // overlong '/'
        InvalidInput{65001, "\xED\xA0\x80", u"???"},               // an encoded surrogate
        InvalidInput{65001, "\xF4\x90\x80\x80", u"????"},          // above U+10FFFF
        InvalidInput{65001, "\xF0\x9F\x98" "\xC3\xA9", u"?\u00E9"},  // cut 4-byte sequence
        InvalidInput{65001, "\xF0\x9F\x98\x80", u"\U0001F600"},
        InvalidInput{932, "\x93\xFA\x93", u"\u65E5?"},             // lead byte at the end
        InvalidInput{932, "\x81\x20x", u"? x"}));                   // bad trail byte is kept

#if !defined(_WIN32)
// Bytes that the POSIX converters reject and Windows' own tables map to a
// character (U+0080 in 932, U+0081 in 1252, the low half in 20127).
INSTANTIATE_TEST_SUITE_P(
    PosixTables, PlatformInvalidInput,
    ::testing::Values(InvalidInput{932, "a\x80" "b", u"a?b"},
                      InvalidInput{20127, "a\xE9" "b", u"a?b"},
                      InvalidInput{1252, "\xE9\x81\xE9", u"\u00E9?\u00E9"}));  // 0x81 is unassigned
#endif

TEST(PlatformText, CodePageZeroAndUnknownCodePagesAreTheHostCodePage) {
  const std::u16string text = u"\u00E9\u20AC";
#if defined(_WIN32)
  // The system's ANSI code page (GetACP); its bytes for the text.
  const std::string utf8 = wide_to_multibyte(ansi_code_page(), text);
  ASSERT_EQ(multibyte_to_wide(ansi_code_page(), utf8), text);
#else
  EXPECT_EQ(ansi_code_page(), 65001u);
  const std::string utf8 = "\xC3\xA9\xE2\x82\xAC";
#endif
  EXPECT_TRUE(code_page_supported(0));
  for (uint32_t code_page : {0u, 12345u, 28602u, 1200u, 99999u}) {
    SCOPED_TRACE(code_page);
    EXPECT_EQ(multibyte_to_wide(code_page, utf8), text);
    EXPECT_EQ(wide_to_multibyte(code_page, text), utf8);
  }
  EXPECT_FALSE(code_page_supported(12345));
  EXPECT_FALSE(code_page_supported(28602));  // ISO-8859-12 never existed
}

TEST(PlatformText, ListedCodePagesHaveConverters) {
  for (uint32_t code_page : {1250u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 874u, 437u, 850u, 866u,
                             932u, 936u, 949u, 950u, 20866u, 21866u, 20127u, 28591u, 28592u, 28599u, 28605u,
                             65000u, 65001u, 10000u, 10007u, 50220u, 51932u, 51949u}) {
#if defined(_WIN32)
    // Windows has these three, wine has not.
    if ((code_page == 50220 || code_page == 51932 || code_page == 51949) && !code_page_supported(code_page))
      continue;
#endif
    EXPECT_TRUE(code_page_supported(code_page)) << code_page;
  }
  EXPECT_EQ(wide_to_multibyte(866, u"\u041F"), "\x8F");
  EXPECT_EQ(wide_to_multibyte(21866, u"\u0456"), "\xA6");  // Ukrainian i, not in KOI8-R
  EXPECT_EQ(wide_to_multibyte(10000, u"\u00E9"), "\x8E");
  if (code_page_supported(51932)) {
    EXPECT_EQ(wide_to_multibyte(51932, u"\u65E5"), "\xC6\xFC");
  }
  EXPECT_EQ(wide_to_multibyte(28605, u"\u20AC"), "\xA4");
}

TEST(PlatformText, LongTextWithManyBadCharacters) {
  // Output far longer than any first guess, and a '?' every few characters.
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    text += u"\u00E9t\u00E9\u65E5";
    expected += "\xE9t\xE9?";
  }
  EXPECT_EQ(wide_to_multibyte(1252, text), expected);
  std::u16string back = multibyte_to_wide(1252, expected);
  EXPECT_EQ(back.size(), expected.size());
  std::u16string japanese(50000, u'\u65E5');
  std::string sjis;
  for (int i = 0; i < 50000; ++i) sjis += "\x93\xFA";
  EXPECT_EQ(wide_to_multibyte(932, japanese), sjis);
  EXPECT_EQ(multibyte_to_wide(932, sjis), japanese);
}

// ASCII-only text skips the converters in the code pages that read and
// write ASCII unchanged. Each of them must give what its converter gives:
// the same 127 characters ahead of one more that takes the converter path.
TEST(PlatformText, AsciiTextReadsTheSameWithOrWithoutTheConverter) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  const std::u16string wide(ascii.begin(), ascii.end());
  for (uint32_t code_page : {65001u, 874u, 936u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u,
                             1258u, 20127u, 28591u, 28592u, 28595u, 28597u, 28599u, 28605u}) {
    if (!code_page_supported(code_page)) continue;
    SCOPED_TRACE(code_page);
    EXPECT_EQ(multibyte_to_wide(code_page, ascii), wide);
    EXPECT_EQ(wide_to_multibyte(code_page, wide), ascii);
    EXPECT_EQ(multibyte_to_wide(code_page, ascii + "\xC4").substr(0, wide.size()), wide);
    EXPECT_EQ(wide_to_multibyte(code_page, wide + u"\u00C4").substr(0, ascii.size()), ascii);
  }
}

TEST(PlatformText, EmptyTextStaysEmpty) {
  EXPECT_EQ(multibyte_to_wide(1252, ""), u"");
  EXPECT_EQ(wide_to_multibyte(932, u""), "");
  EXPECT_EQ(wide_to_multibyte(50220, u""), "");
}

TEST(PlatformText, ConcurrentConversionsShareConverters) {
  // The cached converters are stateful; threads must never share one at a time.
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const uint32_t code_page = t % 2 && code_page_supported(50220) ? 50220 : 932;
      const std::u16string text = u"\u65E5\u672C\u8A9E abc \u20AC";
      const std::string bytes = wide_to_multibyte(code_page, text);
      for (int i = 0; i < 500; ++i) {
        if (wide_to_multibyte(code_page, text) != bytes) ++failures[t];
        if (multibyte_to_wide(code_page, bytes) != u"\u65E5\u672C\u8A9E abc ?") ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace vendrel::platform
