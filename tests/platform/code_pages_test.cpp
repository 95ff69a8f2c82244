// The two code pages of the platform layer, and where a text may be cut
// without splitting a character.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vendrel::platform {
namespace {

TEST(FileCodePage, TheEnvironmentNamesAnEightBitCodePageOrNone) {
  struct env_case {
    const char* value;
    std::optional<uint32_t> code_page;
  };
  const env_case cases[] = {
      {"1251", 1251u}, {"932", 932u}, {"936", 936u}, {"65001", 65001u}, {"28595", 28595u},
      {nullptr, std::nullopt}, {"", std::nullopt}, {"0", std::nullopt}, {"3", std::nullopt},
      {"cp1251", std::nullopt}, {"1251 ", std::nullopt}, {"-1251", std::nullopt}, {"125100", std::nullopt},
      {"12345", std::nullopt},  // no converter
      {"1200", std::nullopt}, {"65000", std::nullopt}, {"50220", std::nullopt},  // not 8-bit strings
  };
  for (const env_case& c : cases) EXPECT_EQ(file_code_page_from(c.value), c.code_page) << (c.value ? c.value : "null");
}

#if !defined(_WIN32)
TEST(FileCodePage, IsWindows1252UnlessTheEnvironmentSaysOtherwiseAndTheHostIsUtf8) {
  EXPECT_EQ(host_code_page(), 65001u);
  const char* saved = std::getenv("VENDREL_ANSI_CODEPAGE");
  const std::string kept = saved ? saved : "";
  unsetenv("VENDREL_ANSI_CODEPAGE");
  EXPECT_EQ(file_code_page(), 1252u);
  setenv("VENDREL_ANSI_CODEPAGE", "1251", 1);
  EXPECT_EQ(file_code_page(), 1251u);
  setenv("VENDREL_ANSI_CODEPAGE", "utf-8", 1);
  EXPECT_EQ(file_code_page(), 1252u);
  if (saved) setenv("VENDREL_ANSI_CODEPAGE", kept.c_str(), 1);
  else unsetenv("VENDREL_ANSI_CODEPAGE");
}
#endif

TEST(CharacterCut, EightBitTextsEndOnACharacter) {
  struct cut_case {
    uint32_t code_page;
    std::string text;
    size_t limit;
    size_t cut;
  };
  const cut_case cases[] = {
      // UTF-8: "你好" is E4 BD A0 E5 A5 BD.
      {65001, "a\xE4\xBD\xA0\xE5\xA5\xBD", 5, 4},
      {65001, "a\xE4\xBD\xA0\xE5\xA5\xBD", 6, 4},
      {65001, "a\xE4\xBD\xA0\xE5\xA5\xBD", 7, 7},
      {65001, "a\xE4\xBD\xA0\xE5\xA5\xBD", 3, 1},
      {65001, "\xF0\x9F\x98\x80x", 3, 0},           // a 4-byte character
      {65001, "\xC3\xA9\xC3\xA9", 3, 2},
      {65001, "\x80\x80\x80\x80", 2, 2},            // stray continuation bytes count one each
      // 0 is the host's code page: UTF-8 on Linux, a single-byte one here on Windows.
      {0, "a\xE4\xBD\xA0", 2, platform::host_code_page() == 65001 ? 1u : 2u},
      // 936: "你好" is C4 E3 BA C3; a trail byte may look like a lead byte.
      {936, "a\xC4\xE3\xBA\xC3", 4, 3},
      {936, "\xC4\xE3\xBA\xC3", 3, 2},
      {936, "ab\xC4\xE3", 3, 2},
      // 932: 0x82 0xA0 is one character; 0xA1..0xDF are single-byte kana.
      {932, "\x82\xA0\xB1\x82\xA0", 4, 3},
      {932, "\xB1\xB2\xB3", 2, 2},
      {54936, "\x81\x30\x81\x30x", 3, 0},           // a 4-byte GB18030 character
      // Single-byte code pages cut at the limit.
      {1252, "\xE4\xBD\xA0\xE5", 3, 3},
      {1251, "abc", 2, 2},
      // Short enough: unchanged.
      {65001, "a\xE4\xBD", 5, 3},
  };
  for (const cut_case& c : cases)
    EXPECT_EQ(character_cut(c.code_page, c.text, c.limit), c.cut) << c.code_page << " limit " << c.limit;
}

TEST(CharacterCut, Utf16KeepsSurrogatePairsWhole) {
  const std::u16string text = u"ab\U0001F600c";  // a b D83D DE00 c
  EXPECT_EQ(character_cut(text, 3), 2u);
  EXPECT_EQ(character_cut(text, 4), 4u);
  EXPECT_EQ(character_cut(text, 2), 2u);
  EXPECT_EQ(character_cut(text, 9), 5u);
  EXPECT_EQ(character_cut(u"\xD800\xD800\xD800", 2), 2u);  // unpaired: no pair to keep
}

}  // namespace
}  // namespace vendrel::platform
