// The store calls through the shared library, as a host sees them: the file
// each variant writes, the results of calls in the wrong order, refused
// arguments that leave the library usable, and named property IDs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::read_file_bytes;
using vendrel::test::read_file_text;
using vendrel::test::TempDir;
using vendrel::test::utf16;
using vendrel::test::write_file_bytes;

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

// No test leaves a store open for the next one.
class ApiStore : public ::testing::Test {
 protected:
  void SetUp() override {
    CommitPst();
    SetLogFile((dir / "api.log").string().c_str());
  }
  void TearDown() override { CommitPst(); }
  std::u16string wide_path(const std::string& name) const { return utf16((dir / name).string()); }
  std::string log() const { return read_file_text(dir / "api.log"); }
  TempDir dir;
};

// The header's magic and its wVer: 14 for ANSI files, 23 for Unicode files.
uint16_t file_version(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes = read_file_bytes(path);
  if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "!BDN") return 0;
  return static_cast<uint16_t>(bytes[10] | (bytes[11] << 8));
}

TEST_F(ApiStore, EachCreateCallWritesItsVariant) {
  ASSERT_EQ(CreatePst(w(wide_path("wide.pst")), w(u"Wide")), 0);
  ASSERT_EQ(CommitPst(), 0);
  ASSERT_EQ(CreatePstA((dir / "narrow.pst").string().c_str(), "Narrow"), 0);
  ASSERT_EQ(CommitPstA(), 0);
  EXPECT_EQ(file_version(dir / "wide.pst"), 23);
  EXPECT_EQ(file_version(dir / "narrow.pst"), 14);
  EXPECT_NE(log().find("[PST] commit storage : name = [Wide], file = [" + (dir / "wide.pst").string() + "]"),
            std::string::npos);
  EXPECT_NE(log().find("[PST] deleting eml file"), std::string::npos);
}

TEST_F(ApiStore, CommitWithoutAStoreIsAFileError) {
  EXPECT_EQ(CommitPst(), -5);
  EXPECT_EQ(CommitPstA(), -5);
  ASSERT_EQ(CreatePst(w(wide_path("twice.pst")), w(u"Twice")), 0);
  EXPECT_EQ(CommitPst(), 0);
  EXPECT_EQ(CommitPst(), -5);
  EXPECT_EQ(CommitPstA(), -5);
  EXPECT_EQ(file_version(dir / "twice.pst"), 23);
}

TEST_F(ApiStore, ASecondCreateDropsTheFirstStoreUnwritten) {
  ASSERT_EQ(CreatePst(w(wide_path("first.pst")), w(u"First")), 0);
  ASSERT_EQ(CreateFolder(w(u""), w(u"Only in the first"), w(u"IPF.Note")), 0);
  ASSERT_EQ(CreatePstA((dir / "second.pst").string().c_str(), "Second"), 0);
  EXPECT_EQ(CheckFolder(w(u"Only in the first")), 0);
  ASSERT_EQ(CommitPstA(), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "first.pst"));
  EXPECT_EQ(file_version(dir / "first.pst"), 0);  // never committed: no header
  EXPECT_EQ(file_version(dir / "second.pst"), 14);
  // The same path twice: the dropped store lets go of its file first.
  ASSERT_EQ(CreatePst(w(wide_path("same.pst")), w(u"One")), 0);
  ASSERT_EQ(CreatePst(w(wide_path("same.pst")), w(u"Two")), 0);
  EXPECT_EQ(CommitPst(), 0);
  EXPECT_EQ(file_version(dir / "same.pst"), 23);
}

TEST_F(ApiStore, AnExistingFileIsReplaced) {
  const std::string junk(100000, 'x');
  write_file_bytes(dir / "old.pst", junk.data(), junk.size());
  ASSERT_EQ(CreatePstA((dir / "old.pst").string().c_str(), "Fresh"), 0);
  ASSERT_EQ(CommitPstA(), 0);
  EXPECT_EQ(file_version(dir / "old.pst"), 14);
  EXPECT_EQ(read_file_text(dir / "old.pst").find("xxxxxxxx"), std::string::npos);
}

TEST_F(ApiStore, RefusedArgumentsLeaveTheLibraryUsable) {
  EXPECT_EQ(CreatePst(w(wide_path("null-name.pst")), nullptr), -2);
  EXPECT_EQ(CreatePstA((dir / "null-name-a.pst").string().c_str(), nullptr), -2);
  EXPECT_EQ(CreatePst(nullptr, w(u"x")), -2);
  EXPECT_FALSE(std::filesystem::exists(dir / "null-name.pst"));
  EXPECT_EQ(CreatePst(w(wide_path("no/such/dir/x.pst")), w(u"x")), -5);
  EXPECT_EQ(CommitPst(), -5);
  ASSERT_EQ(CreatePst(w(wide_path("after.pst")), w(u"After")), 0);
  EXPECT_EQ(CommitPst(), 0);
  EXPECT_EQ(file_version(dir / "after.pst"), 23);
}

TEST_F(ApiStore, CreatePstAKeepsTheFileAnsiForWideCalls) {
  ASSERT_EQ(CreatePstA((dir / "mixed.pst").string().c_str(), "Mixed"), 0);
  ASSERT_EQ(CreateFolder(w(u""), w(u"Wide folder"), w(u"IPF.Note")), 0);
  EXPECT_EQ(CheckFolderA("Wide folder"), 1);
  ASSERT_EQ(CreateFolderA("Wide folder", "Narrow child", "IPF.Note"), 0);
  EXPECT_EQ(CheckFolder(w(u"Wide folder\\Narrow child")), 1);
  ASSERT_EQ(CommitPst(), 0);
  EXPECT_EQ(file_version(dir / "mixed.pst"), 14);
}

TEST_F(ApiStore, NamedPropertyIdsAreStableWhileAStoreIsOpen) {
  static const uint8_t common[16] = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  static const uint8_t public_strings[16] = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  static const uint8_t other[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const std::u16string name = u"X-Vendrel-Tag";
  EXPECT_EQ(GetMapiTagForNP(0x8510, common, nullptr), 0);

  ASSERT_EQ(CreatePst(w(wide_path("names.pst")), w(u"Names")), 0);
  EXPECT_EQ(GetMapiTagForNP(0x8510, common, nullptr), 0x8001);
  EXPECT_EQ(GetMapiTagForNP(0x2A2A2A2A, public_strings, w(u"Keywords")), 0x803C);
  const int32_t added = GetMapiTagForNP(0x2A2A2A2A, common, w(name));
  EXPECT_EQ(added, 0x812C);
  EXPECT_EQ(GetMapiTagForNP(0x2A2A2A2A, common, w(name)), added);
  const int32_t numeric = GetMapiTagForNP(0x1234, common, nullptr);
  const int32_t elsewhere = GetMapiTagForNP(0x1234, other, nullptr);
  EXPECT_NE(numeric, elsewhere);
  EXPECT_EQ(GetMapiTagForNP(0x1234, other, nullptr), elsewhere);
  // The marker without a name is a numeric name like any other.
  EXPECT_GE(GetMapiTagForNP(0x2A2A2A2A, common, nullptr), 0x8000);
  // A null GUID stands for the all-zero GUID.
  const int32_t zero = GetMapiTagForNP(7, nullptr, nullptr);
  static const uint8_t zeros[16] = {};
  EXPECT_EQ(GetMapiTagForNP(7, zeros, nullptr), zero);

  ASSERT_EQ(CommitPst(), 0);
  EXPECT_EQ(GetMapiTagForNP(0x8510, common, nullptr), 0);
}

}  // namespace
