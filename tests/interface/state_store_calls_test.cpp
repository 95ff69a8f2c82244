// The store and folder calls seen from inside: which folder each leaves
// current, what CreatePst and CommitPst do to the library-wide state, and
// the directories of EML mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "interface/eml_directory.h"
#include "interface/library_state.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace vendrel {
namespace {

using test::read_file_text;
using test::TempDir;
using test::utf16;

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

class StoreCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    library_state() = LibraryState();
    ASSERT_EQ(CreatePst(w(utf16((dir / "state.pst").string())), w(u"State")), 0);
  }
  void TearDown() override { library_state() = LibraryState(); }
  std::u16string current() { return state.current_folder ? state.current_folder->display_name() : u"<none>"; }

  TempDir dir;
  LibraryState& state = library_state();
};

TEST_F(StoreCalls, CreatePstOpensTheStoreAtTheIpmSubtree) {
  EXPECT_EQ(state.store_open, 1);
  ASSERT_TRUE(state.current_store);
  EXPECT_EQ(state.current_store->display_name(), u"State");
  EXPECT_EQ(current(), u"Start of IPM tree");
  EXPECT_TRUE(state.current_folder->has_subfolder(u"Deleted Items"));
  EXPECT_FALSE(state.current_folder->has_subfolder(u"Search start"));
  EXPECT_TRUE(state.current_store->root_folder()->has_subfolder(u"Search start"));
}

TEST_F(StoreCalls, CreatePstClearsTheBoundStateOfItsFamily) {
  state.wide.subject = u"pending";
  state.narrow.subject = "pending";
  ASSERT_EQ(CreatePst(w(utf16((dir / "again.pst").string())), w(u"Again")), 0);
  EXPECT_FALSE(state.wide.subject);
  EXPECT_TRUE(state.narrow.subject);
  ASSERT_EQ(CreatePstA((dir / "narrow.pst").string().c_str(), "Narrow"), 0);
  EXPECT_FALSE(state.narrow.subject);
}

TEST_F(StoreCalls, CreateFolderMakesTheNewFolderCurrent) {
  ASSERT_EQ(CreateFolder(w(u"Projects\\Archive"), w(u"Reports"), w(u"IPF.Task")), 0);
  EXPECT_EQ(current(), u"Reports");
  // A refused name leaves the parent current: the walk got that far.
  EXPECT_EQ(CreateFolder(w(u"Projects"), w(u"Archive"), w(u"IPF.Note")), -2);
  EXPECT_EQ(current(), u"Projects");
  ASSERT_EQ(ChangeFolder(w(u"Projects\\Archive")), 0);
  EXPECT_EQ(current(), u"Archive");
  ASSERT_EQ(ChangeFolderA(""), 0);
  EXPECT_EQ(current(), u"Start of IPM tree");
}

TEST_F(StoreCalls, CheckFolderMovesTheCurrentFolderAsFarAsThePathExists) {
  ASSERT_EQ(CreateFolder(w(u"Projects"), w(u"Archive"), w(u"IPF.Note")), 0);
  ASSERT_EQ(ChangeFolder(w(u"Elsewhere")), 0);
  EXPECT_EQ(CheckFolder(w(u"Projects\\Missing\\Archive")), 0);
  EXPECT_EQ(current(), u"Projects");
  EXPECT_EQ(CheckFolderA("Projects\\Archive"), 1);
  EXPECT_EQ(current(), u"Archive");
  EXPECT_EQ(CheckFolder(w(u"Nothing")), 0);
  EXPECT_EQ(current(), u"Start of IPM tree");
  // Checking creates nothing.
  EXPECT_FALSE(state.current_folder->has_subfolder(u"Nothing"));
}

TEST_F(StoreCalls, CommitDropsTheStoreButNotTheCurrentFolder) {
  ASSERT_EQ(ChangeFolder(w(u"Kept")), 0);
  state.wide.subject = u"pending";
  ASSERT_EQ(CommitPst(), 0);
  EXPECT_FALSE(state.current_store);
  EXPECT_EQ(state.store_open, 0);
  EXPECT_FALSE(state.wide.subject);
  EXPECT_EQ(current(), u"Kept");
  EXPECT_EQ(ChangeFolder(w(u"Kept")), -5);
  EXPECT_EQ(CheckFolder(w(u"Kept")), -5);
}

TEST_F(StoreCalls, EmlModeCommitDeletesTheStoreFileItWasGiven) {
  library_state() = LibraryState();
  state.eml_mode = 1;
  const auto path = dir / "eml-mode.pst";
  SetLogFile((dir / "eml.log").string().c_str());
  ASSERT_EQ(CreatePst(w(utf16(path.string())), w(u"EML")), 0);
  ASSERT_TRUE(state.remembered_output_path);
  EXPECT_TRUE(std::filesystem::exists(path));
  ASSERT_EQ(CommitPst(), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_NE(read_file_text(dir / "eml.log").find("[PST] deleting eml file"), std::string::npos);
  // The narrow calls remember nothing and delete nothing.
  ASSERT_EQ(CreatePstA((dir / "narrow.pst").string().c_str(), "EML"), 0);
  ASSERT_EQ(CommitPstA(), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "narrow.pst"));
}

class EmlFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    library_state() = LibraryState();
    state.eml_mode = 1;
  }
  void TearDown() override { library_state() = LibraryState(); }
  std::u16string base() const { return utf16(dir.path().string()); }
  // The tests' paths are ASCII; "\\" separates like "/".
  static bool is_directory(const std::u16string& path) {
    std::string native;
    for (char16_t c : path) native += c == u'\\' ? '/' : static_cast<char>(c);
    return std::filesystem::is_directory(native);
  }

  TempDir dir;
  LibraryState& state = library_state();
};

TEST_F(EmlFolders, CreateFolderMakesParentAndNameWithTheMissingAncestors) {
  const std::u16string parent = base() + u"\\mail\\2024";
  ASSERT_EQ(CreateFolder(w(parent), w(u"March"), w(u"IPF.Note")), 0);
  EXPECT_EQ(state.eml_directory, parent + u"\\March");
  EXPECT_TRUE(is_directory(parent + u"\\March"));
  // A parent that ends with the separator gets no second one; no store is needed.
  ASSERT_EQ(CreateFolder(w(parent + u"\\"), w(u"April"), nullptr), 0);
  EXPECT_EQ(state.eml_directory, parent + u"\\April");
  EXPECT_FALSE(state.current_store);
}

TEST_F(EmlFolders, ContactFoldersMakeNoDirectory) {
  state.eml_directory = u"unchanged";
  ASSERT_EQ(CreateFolder(w(base()), w(u"People"), w(u"IPF.Contact")), 0);
  EXPECT_EQ(state.eml_directory, u"unchanged");
  EXPECT_FALSE(is_directory(base() + u"\\People"));
  ASSERT_EQ(CreateFolder(w(base()), w(u"People"), w(u"IPF.Contacts")), 0);
  EXPECT_TRUE(is_directory(base() + u"\\People"));
}

TEST_F(EmlFolders, ChangeFolderTakesThePathAsItIs) {
  const std::u16string path = base() + u"\\a\\b\\c";
  ASSERT_EQ(ChangeFolder(w(path)), 0);
  EXPECT_EQ(state.eml_directory, path);
  EXPECT_TRUE(is_directory(path));
  ASSERT_EQ(ChangeFolder(w(path)), 0);  // existing: success
}

TEST_F(EmlFolders, ALongPathIsMadeThroughTheExtendedPrefix) {
  std::u16string path = base();
  while (path.size() < 300) path += u"\\segment";
  EXPECT_EQ(extended_directory_path(path).substr(0, 4), u"\\\\?\\");
  EXPECT_EQ(extended_directory_path(path.substr(0, 247)), path.substr(0, 247));
  EXPECT_EQ(extended_directory_path(path.substr(0, 248)), u"\\\\?\\" + path.substr(0, 248));
  ASSERT_EQ(ChangeFolder(w(path)), 0);
  EXPECT_EQ(state.eml_directory, path);
  EXPECT_TRUE(is_directory(path));
}

TEST_F(EmlFolders, ADirectoryThatCannotBeMadeIsResultOne) {
  const std::string file = (dir / "plain-file").string();
  test::write_file_bytes(file, "x", 1);
  const std::u16string below = utf16(file) + u"\\sub\\dir";
  EXPECT_EQ(ChangeFolder(w(below)), 1);
  EXPECT_EQ(state.eml_directory, below);
  EXPECT_EQ(CreateFolder(w(utf16(file)), w(u"name"), w(u"IPF.Note")), 1);
  EXPECT_EQ(state.eml_directory, utf16(file) + u"\\name");
  // A file where the directory should be: the items could not be written there.
  EXPECT_EQ(ChangeFolder(w(utf16(file))), 1);
  EXPECT_EQ(CreateFolder(w(utf16(dir.path().string())), w(u"plain-file"), w(u"IPF.Note")), 1);
  // The narrow twins have no EML branch: without a store they are file errors.
  EXPECT_EQ(ChangeFolderA("x"), -5);
  EXPECT_EQ(CreateFolderA("", "x", "IPF.Note"), -5);
}

}  // namespace
}  // namespace vendrel
