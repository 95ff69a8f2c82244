// One-off entry IDs and search keys, byte for byte in both widths.
#include <gtest/gtest.h>

#include "interface/one_off_address.h"

namespace vendrel {
namespace {

const std::vector<uint8_t> header(uint8_t flags_low, uint8_t flags_high) {
  return {0, 0, 0, 0,                                                                   // flags
          0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02,  // provider
          0, 0,                                                                         // version
          flags_low, flags_high};
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, std::initializer_list<uint8_t> b) {
  a.insert(a.end(), b);
  return a;
}

TEST(OneOffAddress, NarrowEntryIdHoldsNameTypeAndAddressTerminated) {
  OneOffAddress<char> address;
  address.build("a@b.cd", "Al", "SMTP");
  auto expected = concat(header(0x01, 0x10), {'A', 'l', 0, 'S', 'M', 'T', 'P', 0, 'a', '@', 'b', '.', 'c', 'd', 0});
  EXPECT_EQ(address.entry_id(), expected);
  EXPECT_EQ(address.entry_id_length(), expected.size());
  EXPECT_EQ(address.search_key(), "SMTP:a@b.cd");
}

TEST(OneOffAddress, WideEntryIdIsUtf16LittleEndianAndCountedInUnits) {
  OneOffAddress<char16_t> address;
  address.build(u"x@y", u"\u00C9\u4E2D", u"EX");
  auto expected = concat(header(0x01, 0x80), {0xC9, 0x00, 0x2D, 0x4E, 0, 0,              // display name
                                               'E', 0, 'X', 0, 0, 0,                     // address type
                                               'x', 0, '@', 0, 'y', 0, 0, 0});           // e-mail address
  EXPECT_EQ(address.entry_id(), expected);
  EXPECT_EQ(address.entry_id_length() * 2, expected.size());
  EXPECT_EQ(address.search_key(), u"EX:x@y");
}

TEST(OneOffAddress, MissingPartsGetTheirDefaults) {
  OneOffAddress<char> only_email;
  only_email.build("me@host.org", nullptr, nullptr);
  EXPECT_EQ(only_email.display_name(), "me@host.org");
  EXPECT_EQ(only_email.address_type(), "SMTP");
  EXPECT_EQ(only_email.search_key(), "SMTP:me@host.org");

  OneOffAddress<char16_t> only_name;
  only_name.build(nullptr, u"Someone", nullptr);
  std::u16string placeholder(placeholder_email.begin(), placeholder_email.end());
  EXPECT_EQ(only_name.email(), placeholder);
  EXPECT_EQ(only_name.display_name(), u"Someone");

  OneOffAddress<char> nothing;
  nothing.build(nullptr, nullptr, nullptr);
  EXPECT_EQ(nothing.email(), placeholder_email);
  EXPECT_EQ(nothing.display_name(), placeholder_email);  // the substituted address
  EXPECT_NE(placeholder_email.find('@'), std::string_view::npos);
}

TEST(OneOffAddress, EmptyStringsAreKeptNotDefaulted) {
  OneOffAddress<char> address;
  address.build("", "", "");
  EXPECT_EQ(address.entry_id(), concat(header(0x01, 0x10), {0, 0, 0}));
  EXPECT_EQ(address.search_key(), ":");
}

TEST(OneOffAddress, RebuildingReplacesTheEarlierAddress) {
  OneOffAddress<char> address;
  address.build("first@long.example.com", "First Person", "SMTP");
  address.build("b@c", "B", "X");
  EXPECT_EQ(address.entry_id(), concat(header(0x01, 0x10), {'B', 0, 'X', 0, 'b', '@', 'c', 0}));
  EXPECT_EQ(address.search_key(), "X:b@c");
  address.clear();
  EXPECT_TRUE(address.empty());
  EXPECT_EQ(address.entry_id_length(), 0u);
}

}  // namespace
}  // namespace vendrel
