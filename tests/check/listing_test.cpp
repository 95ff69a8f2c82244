// The store listing: the folder tree with item counts and container
// classes, and each item's class, time, sender and subject, in UTF-8 for
// both variants (an ANSI file's strings through its code page).
#include <gtest/gtest.h>

#include "check/node_decode.h"
#include "check/store_listing.h"
#include "check_support.h"

namespace vendrel::test {
namespace {

struct listing {
  std::vector<listed_folder> folders;
  std::vector<std::pair<std::string, listed_item>> items;  // folder name, item
  std::string error;
  bool ok = false;
};

listing list(const std::filesystem::path& path) {
  listing l;
  store_listing_callbacks cb;
  cb.folder = [&](const listed_folder& f) { l.folders.push_back(f); };
  cb.item = [&](const listed_item& i) { l.items.emplace_back(l.folders.back().name, i); };
  l.ok = list_store(utf16(path.string()), cb, l.error);
  return l;
}

const listed_folder* folder(const listing& l, const std::string& name) {
  for (const auto& f : l.folders)
    if (f.name == name) return &f;
  return nullptr;
}

class Listing : public ::testing::TestWithParam<bool> {};

TEST_P(Listing, ShowsFoldersAndItemsAsWritten) {
  const bool unicode = GetParam();
  TempDir dir;
  const auto path = dir / "list.pst";
  // Non-ASCII names in the Unicode file; the ANSI file's 8-bit strings are
  // decoded with its code page (ANSI text below, AnsiStringsUseTheCodePage).
  const std::string subject = unicode ? "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln" : "Greetings from Cologne";
  const std::string folder_name = unicode ? "Post\xC3\xA4nge" : "Inbox";
  const std::string sender = unicode ? "\xC3\x85sa Sender" : "Asa Sender";
  ASSERT_EQ(unicode ? CreatePst(wtext(path.string()), wtext("Listing")) : CreatePstA(path.string().c_str(), "Listing"), 0);
  ASSERT_EQ(unicode ? CreateFolder(nullptr, wtext(folder_name), wtext("IPF.Note"))
                    : CreateFolderA(nullptr, folder_name.c_str(), "IPF.Note"), 0);
  for (int i = 0; i < 3; ++i) {
    const std::string s = subject + " " + std::to_string(i);
    if (unicode) {
      Bind_subj(wtext(s), 0);
      Bind_sender(wtext("a@example.org"), wtext(sender), nullptr);
      Bind_delivery_time(0x12345678, 0x01D00000);
      ASSERT_EQ(CreateMessage(wtext("IPM.Note"), 0, 0), 0);
    } else {
      Bind_subjA(s.c_str(), 0);
      Bind_senderA("a@example.org", sender.c_str(), nullptr);
      Bind_delivery_timeA(0x12345678, 0x01D00000);
      ASSERT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
    }
  }
  ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);

  listing l = list(path);
  ASSERT_TRUE(l.ok) << l.error;
  EXPECT_TRUE(l.error.empty()) << l.error;
  ASSERT_FALSE(l.folders.empty());
  EXPECT_EQ(l.folders.front().depth, 0);
  const listed_folder* inbox = folder(l, folder_name);
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->container_class, "IPF.Note");
  EXPECT_EQ(inbox->item_count, 3u);
  EXPECT_GT(inbox->depth, 0);
  size_t in_inbox = 0;
  for (const auto& [where, item] : l.items) {
    if (where != inbox->name) continue;
    EXPECT_EQ(item.message_class, "IPM.Note");
    EXPECT_EQ(item.subject, subject + " " + std::to_string(in_inbox));
    EXPECT_EQ(item.sender, sender);
    EXPECT_EQ(item.time, 0x01D0000012345678);
    ++in_inbox;
  }
  EXPECT_EQ(in_inbox, 3u);
  EXPECT_EQ(store_display_name(utf16(path.string())), "Listing");
}

INSTANTIATE_TEST_SUITE_P(Variants, Listing, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "ANSI"; });

TEST(Listing, ReadsTheClientsFiles) {
  for (const char* name : {"pstsdk_sample1.pst", "pstsdk_test_ansi.pst", "rubymsg_msgInMsg.pst", "mailbagit_outlook2019.pst"}) {
    const auto path = outlook_dir / name;
    if (!std::filesystem::exists(path)) continue;
    SCOPED_TRACE(name);
    listing l = list(path);
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_TRUE(l.error.empty()) << l.error;
    EXPECT_GT(l.folders.size(), 3u);
    size_t items = 0;
    for (const auto& f : l.folders) items += f.item_count;
    EXPECT_EQ(items, l.items.size());
    EXPECT_GT(items, 0u);
    for (const auto& [where, item] : l.items) EXPECT_FALSE(item.message_class.empty());
  }
}

TEST(Listing, AnsiStringsUseTheCodePage) {
  const uint8_t cp1252[] = {'K', 0xF6, 'l', 'n', 0};
  EXPECT_EQ(ansi_to_utf8(cp1252, 1252), "K\xC3\xB6ln");
  EXPECT_EQ(ansi_to_utf8(cp1252, 0), "K\xC3\xB6ln") << "a store that names no code page is read as 1252";
  const uint8_t cp1251[] = {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0};
  EXPECT_EQ(ansi_to_utf8(cp1251, 1251), "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
  const uint8_t utf16[] = {'a', 0, 0xE4, 0, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(utf16le_to_utf8(utf16), "a\xC3\xA4\xF0\x9F\x98\x80");
}

TEST(Listing, NoPstIsAnError) {
  TempDir dir;
  const std::string text(4096, 'x');
  write_file_bytes(dir / "text.pst", text.data(), text.size());
  listing l = list(dir / "text.pst");
  EXPECT_FALSE(l.ok);
  EXPECT_FALSE(l.error.empty());
}

}  // namespace
}  // namespace vendrel::test
