// File names and paths of the EML writer: shortening of names over 255
// characters with the shortening counter, the directory separator, the
// extended-length prefix and the item prefixes.
#include <gtest/gtest.h>

#include <string>

#include "eml/eml_writer.h"

namespace vendrel {
namespace {

std::u16string repeat(char16_t c, size_t n) { return std::u16string(n, c); }

TEST(EmlFileName, ShortNamesStayAsTheyAre) {
  int32_t counter = 0;
  EXPECT_EQ(eml_file_name(u"mail.eml", counter), u"mail.eml");
  EXPECT_EQ(eml_file_name(repeat(u'a', 255), counter), repeat(u'a', 255));
  EXPECT_EQ(counter, 0);
}

TEST(EmlFileName, LongNamesAreShortenedWithTheCounter) {
  int32_t counter = 0;
  std::u16string name;
  for (int i = 0; i < 300; ++i) name += static_cast<char16_t>(u'A' + i % 26);
  const std::u16string first = eml_file_name(name, counter);
  EXPECT_EQ(first, name.substr(0, 120) + u"(...)" + name.substr(120, 120) + u"_0.eml");
  EXPECT_EQ(eml_file_name(name + u"x", counter), name.substr(0, 120) + u"(...)" + name.substr(120, 120) + u"_1.eml");
  EXPECT_EQ(counter, 2);
  EXPECT_LE(first.size(), 255u);
}

TEST(EmlFileName, ShorteningNeverSplitsASurrogatePair) {
  int32_t counter = 0;
  // A pair straddles the cut at 120 and another one at 240.
  std::u16string name = repeat(u'a', 119) + u"\U0001F600" + repeat(u'b', 118) + u"\U0001F600" + repeat(u'c', 40);
  const std::u16string shortened = eml_file_name(name, counter);
  for (size_t i = 0; i < shortened.size(); ++i) {
    const char16_t c = shortened[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      ASSERT_LT(i + 1, shortened.size());
      EXPECT_TRUE(shortened[i + 1] >= 0xDC00 && shortened[i + 1] <= 0xDFFF) << i;
      ++i;
    } else {
      EXPECT_FALSE(c >= 0xDC00 && c <= 0xDFFF) << i;
    }
  }
}

struct PathCase {
  std::u16string directory;
  std::u16string name;
  std::u16string path;
};

TEST(EmlFilePath, JoinsWithOneSeparatorAndPrefixesLongPaths) {
  const std::u16string long_dir = u"C:\\" + repeat(u'd', 251);
  const PathCase cases[] = {
      {u"", u"a.eml", u"a.eml"},
      {u"out", u"a.eml", u"out\\a.eml"},
      {u"out\\", u"a.eml", u"out\\a.eml"},
      {long_dir, u"a.eml", u"\\\\?\\" + long_dir + u"\\a.eml"},  // 259 characters and more
      {repeat(u'd', 253), u"a.eml", repeat(u'd', 253) + u"\\a.eml"},  // exactly 259
  };
  for (const PathCase& c : cases) EXPECT_EQ(eml_file_path(c.directory, c.name), c.path);
}

TEST(EmlItemFileName, CounterKindAndName) {
  EXPECT_EQ(eml_item_file_name(u"Sticky", 3, u"note.eml"), u"3_Sticky_note.eml");
  EXPECT_EQ(eml_item_file_name(u"Appointment", 1, u"x.eml"), u"1_Appointment_x.eml");
  EXPECT_EQ(eml_item_file_name(u"Task", 12, u""), u"12_Task_");
}

}  // namespace
}  // namespace vendrel
