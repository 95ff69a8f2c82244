// The folder calls through the shared library: paths resolved from the top
// folder with empty components skipped, exact names, the classes of folders
// made on the way, and the results without a store or for a name in use.
#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::read_file_text;
using vendrel::test::TempDir;
using vendrel::test::utf16;

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

size_t count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

class ApiFolder : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    CommitPst();
    SetLogFile((dir / "folders.log").string().c_str());
    const std::string path = (dir / "folders.pst").string();
    ASSERT_EQ(unicode() ? CreatePst(w(utf16(path)), w(u"Folders")) : CreatePstA(path.c_str(), "Folders"), 0);
  }
  void TearDown() override { EXPECT_EQ(CommitPst(), 0); }
  bool unicode() const { return GetParam(); }
  std::string log() const { return read_file_text(dir / "folders.log"); }

  // The call of the parameter's width.
  int32_t create(const std::string& parent, const std::string& name, const char* cls) {
    if (unicode()) return CreateFolder(w(utf16(parent)), w(utf16(name)), cls ? w(utf16(cls)) : nullptr);
    return CreateFolderA(parent.c_str(), name.c_str(), cls);
  }
  int32_t change(const std::string& path) { return unicode() ? ChangeFolder(w(utf16(path))) : ChangeFolderA(path.c_str()); }
  int32_t check(const std::string& path) { return unicode() ? CheckFolder(w(utf16(path))) : CheckFolderA(path.c_str()); }

  TempDir dir;
};

TEST_P(ApiFolder, MissingParentsAreMadeAsNoteFolders) {
  ASSERT_EQ(create("Projects\\Archive", "Reports", "IPF.Task"), 0);
  EXPECT_EQ(check("Projects"), 1);
  EXPECT_EQ(check("Projects\\Archive"), 1);
  EXPECT_EQ(check("Projects\\Archive\\Reports"), 1);
  const std::string text = log();
  EXPECT_NE(text.find("[PST] Just created a folder 'Projects' [class IPF.Note]"), std::string::npos);
  EXPECT_NE(text.find("[PST] Just created a folder 'Archive' [class IPF.Note]"), std::string::npos);
  EXPECT_NE(text.find("[PST] Just created a folder 'Reports' [class IPF.Task]"), std::string::npos);
}

TEST_P(ApiFolder, EmptyComponentsAreSkipped) {
  ASSERT_EQ(create("Projects\\Archive", "Reports", "IPF.Note"), 0);
  ASSERT_EQ(create("\\Projects\\\\Archive\\", "Summary", "IPF.Note"), 0);
  EXPECT_EQ(check("\\\\Projects\\Archive\\\\Summary\\"), 1);
  EXPECT_EQ(count(log(), "Just created a folder 'Projects'"), 1u);
  EXPECT_EQ(change("\\\\"), 0);
  EXPECT_EQ(check(""), 1);
  EXPECT_EQ(check("\\"), 1);
  // A null path names the top folder too.
  EXPECT_EQ(unicode() ? CheckFolder(nullptr) : CheckFolderA(nullptr), 1);
}

TEST_P(ApiFolder, NamesAreExactAndCaseSensitive) {
  ASSERT_EQ(create("", "Inbox", "IPF.Note"), 0);
  ASSERT_EQ(create("", "inbox", "IPF.Note"), 0);
  EXPECT_EQ(check("INBOX"), 0);
  EXPECT_EQ(check("Inbox "), 0);
  EXPECT_EQ(check("inbox"), 1);
  EXPECT_EQ(count(log(), "Just created a folder 'Inbox'"), 1u);
  EXPECT_EQ(count(log(), "Just created a folder 'inbox'"), 1u);
}

TEST_P(ApiFolder, ANameInUseIsRefusedAndTheLibraryGoesOn) {
  ASSERT_EQ(create("Projects", "Reports", "IPF.Note"), 0);
  EXPECT_EQ(create("Projects", "Reports", "IPF.Task"), -2);
  EXPECT_EQ(create("", "Deleted Items", "IPF.Note"), -2);
  EXPECT_EQ(create("Projects", "", "IPF.Note"), 0);  // an empty name is a name
  EXPECT_EQ(unicode() ? CreateFolder(w(u""), nullptr, nullptr) : CreateFolderA("", nullptr, nullptr), -2);
  EXPECT_EQ(create("Projects", "Other", nullptr), 0);
  EXPECT_NE(log().find("Just created a folder 'Other' [class IPF.Note]"), std::string::npos);
  EXPECT_EQ(check("Projects\\Other"), 1);
}

TEST_P(ApiFolder, PathsStartAtTheIpmSubtree) {
  EXPECT_EQ(check("Deleted Items"), 1);
  EXPECT_EQ(check("Start of IPM tree"), 0);
  EXPECT_EQ(check("Search start"), 0);
  ASSERT_EQ(change("Notes\\Ideas"), 0);
  EXPECT_EQ(check("Notes\\Ideas"), 1);
  EXPECT_EQ(check("Notes\\Nope\\Ideas"), 0);
}

TEST_P(ApiFolder, WithoutAStoreEveryCallIsAFileError) {
  ASSERT_EQ(CommitPst(), 0);
  EXPECT_EQ(CreateFolder(w(u""), w(u"x"), w(u"IPF.Note")), -5);
  EXPECT_EQ(CreateFolderA("", "x", "IPF.Note"), -5);
  EXPECT_EQ(ChangeFolder(w(u"x")), -5);
  EXPECT_EQ(ChangeFolderA("x"), -5);
  EXPECT_EQ(CheckFolder(w(u"x")), -5);
  EXPECT_EQ(CheckFolderA("x"), -5);
  SetUp();  // TearDown commits the store again
}

INSTANTIATE_TEST_SUITE_P(Variants, ApiFolder, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Wide" : "Narrow"; });

TEST(ApiFolderNames, WideNamesKeepEveryCharacter) {
  TempDir dir;
  CommitPst();
  ASSERT_EQ(CreatePst(w(utf16((dir / "names.pst").string())), w(u"Names")), 0);
  const std::u16string names[] = {u"\u00C9t\u00E9 \u00E0 Z\u00FCrich", u"\u041A\u0430\u0442\u0430\u043B\u043E\u0433",
                                  u"\u65E5\u672C\u8A9E", u"\U0001F600 smile"};
  for (const auto& name : names) ASSERT_EQ(CreateFolder(w(u"Top"), w(name), w(u"IPF.Note")), 0);
  for (const auto& name : names) EXPECT_EQ(CheckFolder(w(u"Top\\" + name)), 1);
  EXPECT_EQ(CheckFolder(w(u"Top\\\u00C9t\u00E9 \u00E0 Zurich")), 0);
  EXPECT_EQ(CommitPst(), 0);
}

}  // namespace
