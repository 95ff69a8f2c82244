// UTF-8 and UTF-16 for log lines and messages: invalid input costs one '?'.
#include <gtest/gtest.h>

#include "common/strings.h"

namespace vendrel {
namespace {

TEST(Strings, Utf8RoundTripsThroughUtf16) {
  const std::string samples[] = {"", "plain", "Grüße", "日本語", "\xF0\x9F\x98\x80 smile", "\xD0\x9F\xD1\x80\xD0\xB8"};
  for (const auto& s : samples) EXPECT_EQ(to_utf8(from_utf8(s)), s) << s;
}

TEST(Strings, InvalidInputBecomesQuestionMarks) {
  EXPECT_EQ(to_utf8(std::u16string{u'a', 0xD800, u'b'}), "a?b");          // lone high surrogate
  EXPECT_EQ(to_utf8(std::u16string{0xDC00}), "?");                         // lone low surrogate
  EXPECT_EQ(from_utf8("a\xFF" "b"), u"a?b");                               // invalid byte
  EXPECT_EQ(from_utf8("\xC3"), u"?");                                      // truncated sequence
  EXPECT_EQ(from_utf8("\xC0\xAF"), u"??");                                 // overlong form
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"???");                            // encoded surrogate
}

TEST(Strings, BoundedLengthStopsAtTheLimit) {
  EXPECT_EQ(bounded_length<char>(nullptr), std::nullopt);
  EXPECT_EQ(bounded_length("abc"), 3u);
  EXPECT_EQ(bounded_length(u"abc", 3), std::nullopt);
  EXPECT_EQ(bounded_length(u"abc", 4), 3u);
}

}  // namespace
}  // namespace vendrel
