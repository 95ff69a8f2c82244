// The real folder limit through the exported calls, read back strictly: a
// folder that receives one message more than a part takes (250,000; 65,536
// in an ANSI file) holds the limit in its contents table
// and goes on in a part folder beside it, named after it and the time it
// was opened, whose contents table holds the last message; the whole file
// walks clean. A CI test, not a benchmark: the messages are as small as
// messages get. Run it alone with --gtest_filter='FolderPartLimit*'
// (ctest -R FolderPartLimit).
#include <gtest/gtest.h>

#include <regex>

#include "items_test_support.h"
#include "vendrel.h"

namespace vendrel::test {
namespace {

// The limit of each variant: 250,000 messages a part, and in an ANSI file
// the 65,536 rows its contents table can number.
struct part_limit_case {
  bool unicode;
  uint32_t part_limit;
  const char* name;
};

class FolderPartLimitInFile : public ::testing::TestWithParam<part_limit_case> {};

template <typename B>
void check_parts(const std::filesystem::path& path, uint32_t limit) {
  stored_file<B> file(path);
  // The IPM subtree's folders by name, with their NIDs.
  std::map<std::string, uint32_t> folders;
  for (const auto& e : file.nodes())
    if (e.nid.type() == nid_type::folder && e.nid_parent.value() == 0x8022)  // the IPM subtree
      folders[file.string_of(e.nid.value(), 0x3001)] = e.nid.value();
  ASSERT_EQ(folders.size(), 3u);
  ASSERT_TRUE(folders.count("Inbox"));
  // The part's number counts the parts opened in this process.
  std::string part;
  for (const auto& [name, nid] : folders)
    if (name != "Inbox" && name != "Deleted Items") part = name;
  EXPECT_TRUE(std::regex_match(part, std::regex(R"(Inbox \[Part created \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\]_\d+)")))
      << part;
  auto contents_rows = [&](uint32_t folder) { return file.tc((folder & ~0x1Fu) | 0x0E).rows.size(); };
  EXPECT_EQ(contents_rows(folders["Inbox"]), limit);
  EXPECT_EQ(contents_rows(folders[part]), 1u);
  EXPECT_EQ(file.value_of(folders["Inbox"], 0x3602), limit);
  EXPECT_EQ(file.value_of(folders[part], 0x3602), 1u);
  // Every message node names the folder whose table lists it.
  size_t in_inbox = 0, in_part = 0;
  for (const auto& e : file.nodes()) {
    if (e.nid.type() != nid_type::message) continue;
    in_inbox += e.nid_parent.value() == folders["Inbox"];
    in_part += e.nid_parent.value() == folders[part];
  }
  EXPECT_EQ(in_inbox, limit);
  EXPECT_EQ(in_part, 1u);
}

TEST_P(FolderPartLimitInFile, OneMessagePastTheLimitOpensAPartFolder) {
  const part_limit_case& c = GetParam();
  install_item_classes();
  reset_limits_for_testing();
  TempDir dir;
  const auto path = dir / "limit.pst";
  auto w = [](const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); };
  CommitPst();
  SetLogFile((dir / "limit.log").string().c_str());
  if (c.unicode) {
    ASSERT_EQ(CreatePst(w(utf16(path.string())), w(u"Limit")), 0);
    ASSERT_EQ(CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")), 0);
  } else {
    ASSERT_EQ(CreatePstA(path.string().c_str(), "Limit"), 0);
    ASSERT_EQ(CreateFolderA("", "Inbox", "IPF.Note"), 0);
  }
  const uint32_t messages = c.part_limit + 1;
  uint32_t failed = 0;
  for (uint32_t i = 0; i < messages; ++i)
    if ((c.unicode ? CreateMessage(w(u"IPM.Note"), 0, 0) : CreateMessageA("IPM.Note", 0, 0)) != 0) ++failed;
  ASSERT_EQ(failed, 0u);
  ASSERT_EQ(c.unicode ? CommitPst() : CommitPstA(), 0);
  SetLogFile(nullptr);
  if (c.unicode)
    check_parts<uint64_t>(path, c.part_limit);
  else
    check_parts<uint32_t>(path, c.part_limit);
  EXPECT_EQ(walker_findings(path), "");
}

INSTANTIATE_TEST_SUITE_P(Variants, FolderPartLimitInFile,
                         ::testing::Values(part_limit_case{true, 250000, "TheRealLimitOf250000InAUnicodeFile"},
                                           part_limit_case{false, 65536, "TheTableLimitOf65536InAnAnsiFile"}),
                         [](const ::testing::TestParamInfo<part_limit_case>& info) { return info.param.name; });

}  // namespace
}  // namespace vendrel::test
