// Values the binding calls refuse before they could reach a file: a tagged
// value whose bytes are no value of its type, a literal property text with
// anything after its ID, an empty named-property name, a folder name that
// holds the path separator. Each is a clear result (-2, or -1 for the
// literal text as for any text it does not take), binds or creates nothing,
// and the next calls write a whole file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::read_file_text;
using vendrel::test::TempDir;
using vendrel::test::utf16;

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

std::vector<uint8_t> le32s(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> out;
  for (uint32_t v : values)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> bytes(size_t n) { return std::vector<uint8_t>(n, 0x41); }

struct ValueCase {
  const char* what;
  uint16_t type;
  std::vector<uint8_t> value;
  int32_t result;
};

std::vector<ValueCase> value_cases() {
  return {
      {"PT_SHORT of 2", 0x0002, bytes(2), 0},
      {"PT_SHORT of 4", 0x0002, bytes(4), -2},
      {"PT_LONG of 4", 0x0003, bytes(4), 0},
      {"PT_LONG of 3", 0x0003, bytes(3), -2},
      {"PT_LONG of 8", 0x0003, bytes(8), -2},
      {"PT_FLOAT of 2", 0x0004, bytes(2), -2},
      {"PT_DOUBLE of 4", 0x0005, bytes(4), -2},
      {"PT_CURRENCY of 7", 0x0006, bytes(7), -2},
      {"PT_APPTIME of 16", 0x0007, bytes(16), -2},
      {"PT_ERROR of 1", 0x000A, bytes(1), -2},
      {"PT_BOOLEAN of 1", 0x000B, {1}, 0},
      {"PT_BOOLEAN of 4", 0x000B, le32s({1}), 0},
      {"PT_BOOLEAN of 3", 0x000B, bytes(3), -2},
      {"PT_I8 of 8", 0x0014, bytes(8), 0},
      {"PT_I8 of 4", 0x0014, bytes(4), -2},
      {"PT_SYSTIME of 8", 0x0040, bytes(8), 0},
      {"PT_SYSTIME of 2", 0x0040, bytes(2), -2},
      {"PT_CLSID of 16", 0x0048, bytes(16), 0},
      {"PT_CLSID of 3", 0x0048, bytes(3), -2},
      {"PT_CLSID of 0", 0x0048, {}, -2},
      {"PT_UNICODE of 6", 0x001F, bytes(6), 0},
      {"PT_UNICODE of 5", 0x001F, bytes(5), -2},
      {"PT_STRING8 of 5", 0x001E, bytes(5), 0},
      {"PT_BINARY of 0", 0x0102, {}, 0},
      {"PT_UNSPECIFIED", 0x0000, bytes(4), -2},
      {"PT_NULL", 0x0001, bytes(4), -2},
      {"an unknown type", 0x0099, bytes(4), -2},
      {"PT_MV_LONG of 2 values", 0x1003, bytes(8), 0},
      {"PT_MV_LONG of 6 bytes", 0x1003, bytes(6), -2},
      {"PT_MV_CLSID of 20 bytes", 0x1048, bytes(20), -2},
      {"PT_MV_SYSTIME of 12 bytes", 0x1040, bytes(12), -2},
      {"PT_MV_BINARY of 2 values", 0x1102, le32s({2, 12, 14}) + bytes(3), 0},
      {"PT_MV_BINARY with no value", 0x1102, le32s({0}), 0},
      {"PT_MV_BINARY counting 0xFFFFFFFF", 0x1102, le32s({0xFFFFFFFFu, 8}) + bytes(4), -2},
      {"PT_MV_BINARY shorter than its count", 0x1102, bytes(3), -2},
      {"PT_MV_BINARY with an offset past its size", 0x1102, le32s({1, 40}) + bytes(2), -2},
      {"PT_MV_BINARY with an offset inside its offsets", 0x1102, le32s({2, 12, 4}) + bytes(3), -2},
      {"PT_MV_BINARY with falling offsets", 0x1102, le32s({2, 14, 12}) + bytes(3), -2},
      {"PT_MV_STRING8 counting 0xFFFFFFFF", 0x101E, le32s({0xFFFFFFFFu}), -2},
      {"PT_MV_UNICODE of 2 values", 0x101F, le32s({2, 12, 16}) + bytes(6), 0},
      {"PT_MV_UNICODE with an odd value", 0x101F, le32s({2, 12, 15}) + bytes(6), -2},
      {"PT_MV_UNICODE with an odd last value", 0x101F, le32s({1, 8}) + bytes(3), -2},
  };
}

class ApiValues : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    SetLogFile((dir / "api.log").string().c_str());
    const auto path = dir / (unicode() ? "values.pst" : "values-ansi.pst");
    ASSERT_EQ(unicode() ? CreatePst(w(utf16(path.string())), w(u"Values"))
                        : CreatePstA(path.string().c_str(), "Values"),
              0);
  }
  void TearDown() override {
    BClear();
    BClearA();
  }
  bool unicode() const { return GetParam(); }
  int32_t commit() { return unicode() ? CommitPst() : CommitPstA(); }
  int32_t message() { return unicode() ? CreateMessage(w(u"IPM.Note"), 0, 0) : CreateMessageA("IPM.Note", 0, 0); }
  TempDir dir;
};

TEST_P(ApiValues, EveryTaggedValueIsCheckedAgainstItsTypeAtTheBinding) {
  const std::vector<ValueCase> cases = value_cases();
  for (const ValueCase& c : cases) {
    const uint32_t tag = (0x6601u << 16) | c.type;
    const uint8_t* data = c.value.empty() ? nullptr : c.value.data();
    const auto size = static_cast<uint32_t>(c.value.size());
    // The narrow twin records a UTF-16 string as an 8-bit one, of any length.
    const int32_t expected = !unicode() && c.type == 0x001F ? 0 : c.result;
    EXPECT_EQ(unicode() ? BindTaggedProp(tag, data, size) : BindTaggedPropA(tag, data, size), expected) << c.what;
    // Whatever was bound makes a message; a refused value is not in it.
    EXPECT_EQ(message(), 0) << c.what;
    BClear();
    BClearA();
  }
  EXPECT_EQ(commit(), 0);
  const std::string log = read_file_text(dir / "api.log");
  EXPECT_NE(log.find(unicode() ? "[ERROR]: BindTaggedProp" : "[ERROR]: BindTaggedPropA"), std::string::npos);
  EXPECT_NE(log.find("a PT_CLSID value not of 16 bytes"), std::string::npos);
}

TEST_P(ApiValues, ALiteralTextWithAnythingAfterItsIdNamesNoProperty) {
  const uint8_t value[4] = {1, 2, 3, 4};
  EXPECT_EQ(BindLiteralProp("N10zz", value, 4), -1);
  EXPECT_EQ(BindLiteralProp("L3FDE ", value, 4), -1);
  EXPECT_EQ(BindLiteralProp("L3FDE", value, 4), 0);
  EXPECT_EQ(BindLiteralProp("L3FDE", value, 3), -2);  // a text it takes, a value it does not
  EXPECT_EQ(message(), 0);
  EXPECT_EQ(commit(), 0);
}

TEST_P(ApiValues, AnEmptyNamedPropertyNameIsRefused) {
  const uint8_t guid[16] = {0x29, 0x03, 0x02, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(GetMapiTagForNP(0x2A2A2A2A, guid, w(u"")), -2);
  const int32_t named = GetMapiTagForNP(0x2A2A2A2A, guid, w(u"Keywords2"));
  EXPECT_GE(named, 0x8000);
  EXPECT_EQ(GetMapiTagForNP(0x2A2A2A2A, guid, w(u"Keywords2")), named);
  EXPECT_EQ(commit(), 0);
}

TEST_P(ApiValues, AFolderNameHoldingThePathSeparatorIsRefused) {
  const auto create = [&](const char* parent, const char* name) {
    return unicode() ? CreateFolder(w(utf16(parent)), w(utf16(name)), w(u"IPF.Note"))
                     : CreateFolderA(parent, name, "IPF.Note");
  };
  const auto check = [&](const char* path) { return unicode() ? CheckFolder(w(utf16(path))) : CheckFolderA(path); };
  EXPECT_EQ(create("Projects", "Q1\\Q2"), -2);
  EXPECT_EQ(create("Projects", "\\"), -2);
  EXPECT_EQ(check("Projects"), 0);  // refused before the parent path is walked
  EXPECT_EQ(create("Projects", "Q1"), 0);
  EXPECT_EQ(check("Projects\\Q1"), 1);
  EXPECT_EQ(message(), 0);
  EXPECT_EQ(commit(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, ApiValues, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
