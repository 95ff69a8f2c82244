// The real folder limit through the exported calls, read back strictly: a
// folder that receives 250,001 messages holds 250,000 in its contents table
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

TEST(FolderPartLimitInFile, TheRealLimitOf250000MessagesOpensAPartFolder) {
  install_item_classes();
  reset_limits_for_testing();
  TempDir dir;
  const auto path = dir / "limit.pst";
  auto w = [](const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); };
  CommitPst();
  SetLogFile((dir / "limit.log").string().c_str());
  ASSERT_EQ(CreatePst(w(utf16(path.string())), w(u"Limit")), 0);
  ASSERT_EQ(CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")), 0);
  constexpr uint32_t messages = 250001;
  uint32_t failed = 0;
  for (uint32_t i = 0; i < messages; ++i)
    if (CreateMessage(w(u"IPM.Note"), 0, 0) != 0) ++failed;
  ASSERT_EQ(failed, 0u);
  ASSERT_EQ(CommitPst(), 0);

  stored_file<uint64_t> file(path);
  // The IPM subtree's folders by name, with their NIDs.
  std::map<std::string, uint32_t> folders;
  for (const auto& e : file.nodes())
    if (e.nid.type() == nid_type::folder && e.nid_parent.value() == 0x8022)  // the IPM subtree
      folders[file.string_of(e.nid.value(), 0x3001)] = e.nid.value();
  ASSERT_EQ(folders.size(), 3u);
  ASSERT_TRUE(folders.count("Inbox"));
  std::string part;
  for (const auto& [name, nid] : folders)
    if (name != "Inbox" && name != "Deleted Items") part = name;
  EXPECT_TRUE(std::regex_match(part, std::regex(R"(Inbox \[Part created \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\]_0)")))
      << part;
  auto contents_rows = [&](uint32_t folder) { return file.tc((folder & ~0x1Fu) | 0x0E).rows.size(); };
  EXPECT_EQ(contents_rows(folders["Inbox"]), 250000u);
  EXPECT_EQ(contents_rows(folders[part]), 1u);
  EXPECT_EQ(file.value_of(folders["Inbox"], 0x3602), 250000u);
  EXPECT_EQ(file.value_of(folders[part], 0x3602), 1u);
  // Every message node names the folder whose table lists it.
  size_t in_inbox = 0, in_part = 0;
  for (const auto& e : file.nodes()) {
    if (e.nid.type() != nid_type::message) continue;
    in_inbox += e.nid_parent.value() == folders["Inbox"];
    in_part += e.nid_parent.value() == folders[part];
  }
  EXPECT_EQ(in_inbox, 250000u);
  EXPECT_EQ(in_part, 1u);
  EXPECT_EQ(walker_findings(path), "");
}

}  // namespace
}  // namespace vendrel::test
