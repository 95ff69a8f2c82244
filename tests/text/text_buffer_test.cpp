#include "text/text_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace vendrel {
namespace {

// The bytes from the end of the text to the end of the capacity are zero.
void expect_zero_tail(const text_buffer& b) {
  for (size_t i = b.size(); i < b.capacity(); ++i) ASSERT_EQ(b.c_str()[i], '\0') << "at " << i;
}

TEST(TextBuffer, DoublesUntilTheAdditionAndItsTerminatorFit) {
  struct step {
    size_t append;
    size_t capacity_after;
  };
  // Starting at 6: 5 bytes leave room for the zero; the sixth needs 12;
  // 20 more make 31, which with the zero need 48.
  const step steps[] = {{5, 6}, {1, 12}, {5, 12}, {20, 48}, {0, 48}};
  text_buffer b(6);
  EXPECT_EQ(b.capacity(), 6u);
  expect_zero_tail(b);
  std::string expected;
  char next = 'a';
  for (const step& s : steps) {
    const std::string add(s.append, next++);
    b.append(add);
    expected += add;
    EXPECT_EQ(b.capacity(), s.capacity_after);
    EXPECT_EQ(b.view(), expected);
    EXPECT_EQ(std::string(b.c_str()), expected);
    expect_zero_tail(b);
  }
  EXPECT_EQ(b.take(), expected);
  EXPECT_EQ(b.size(), 0u);
}

TEST(TextBuffer, StartsEmptyAtCapacityZero) {
  text_buffer b(0);
  EXPECT_STREQ(b.c_str(), "");
  b.append('x');
  EXPECT_EQ(b.capacity(), 2u);
  b.append(std::string(1000, 'y'));
  EXPECT_EQ(b.capacity(), 1024u);
  EXPECT_EQ(b.take(), "x" + std::string(1000, 'y'));
}

TEST(TextBuffer, KeepsZeroBytesOfTheText) {
  text_buffer b(2);
  b.append(std::string_view("a\0b", 3));
  EXPECT_EQ(b.take(), std::string("a\0b", 3));
}

}  // namespace
}  // namespace vendrel
