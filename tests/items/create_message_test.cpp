// CreateMessage and CreateMessageA as a host calls them, with the written
// file read back strictly: what a message without bound fields gets, the
// bound state that goes with one message and what carries over, pending
// embedded messages, recipient addresses with their defaults, tagged
// properties replacing by ID, and the contents-table row of every column
// a tagged property reaches.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>

#include "interface/library_state.h"
#include "interface/one_off_address.h"
#include "family_calls.h"
#include "items_test_support.h"
#include "platform/platform.h"
#include "vendrel.h"

namespace vendrel::test {
namespace {

using namespace msg;


template <typename V>
class CreateMessageCalls : public items_test {
 protected:
  using B = typename V::bidtype;
  using api = family_calls<V>;
  void SetUp() override {
    items_test::SetUp();
    api::commit();  // no store left open by another test
    SetLogFile((dir / "calls.log").string().c_str());
    ASSERT_EQ(api::create_pst(path()), 0);
    ASSERT_EQ(api::folder("Inbox"), 0);
  }
  void TearDown() override {
    api::commit();
    items_test::TearDown();
  }
  std::filesystem::path path() const { return dir / "calls.pst"; }

  // Commits and opens the file; the messages filed into Inbox in creation order.
  std::vector<uint32_t> commit_and_list() {
    EXPECT_EQ(api::commit(), 0);
    file_ = std::make_unique<stored_file<B>>(path());
    uint32_t inbox = 0;
    for (const auto& e : file_->nodes())
      if (e.nid.type() == nid_type::folder && file_->string_of(e.nid.value(), 0x3001) == "Inbox") inbox = e.nid.value();
    inbox_ = inbox;
    std::vector<uint32_t> out;
    for (const auto& e : file_->nodes())
      if (e.nid.type() == nid_type::message && e.nid_parent.value() == inbox) out.push_back(e.nid.value());
    return out;
  }
  written_message<V> read(uint32_t nid) { return written_message<V>(*file_, nid); }

  std::unique_ptr<stored_file<B>> file_;
  uint32_t inbox_ = 0;
};
TYPED_TEST_SUITE(CreateMessageCalls, store_variants, store_variant_name);

TYPED_TEST(CreateMessageCalls, WithoutAStoreItIsAFileError) {
  using api = typename TestFixture::api;
  ASSERT_EQ(api::commit(), 0);
  EXPECT_EQ(api::message("IPM.Note"), -5);
}

TYPED_TEST(CreateMessageCalls, AMessageWithoutBoundFieldsGetsTheDefaultsAndItsClass) {
  using api = typename TestFixture::api;
  ASSERT_EQ(api::message("IPM.Note.Report"), 0);
  ASSERT_EQ(api::message(nullptr), 0);  // no class: the default one
  const auto nids = this->commit_and_list();
  ASSERT_EQ(nids.size(), 2u);
  decoded_pc pc = this->read(nids[0]).pc();
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Note.Report");
  EXPECT_EQ(text_of(this->read(nids[1]).pc().find(id_message_class)), "IPM.Note");
  EXPECT_EQ(text_of(pc.find(id_subject)), std::string("\x01\x01", 2));
  ASSERT_NE(pc.find(id_body), nullptr);
  EXPECT_EQ(pc.find(id_body)->bytes.size(), 0u);
  EXPECT_EQ(number_of(pc.find(id_message_flags)), 8u);  // the bound default
  EXPECT_EQ(number_of(pc.find(id_importance)), 1u);
  EXPECT_EQ(pc.find(id_sender_name), nullptr);
  // Filed messages carry the folder's stamps.
  EXPECT_NE(pc.find(0x0E30), nullptr);
  EXPECT_NE(pc.find(0x3013), nullptr);
  EXPECT_EQ(walker_findings(this->path()) + undecodable_messages(*this->file_), "");
}

TYPED_TEST(CreateMessageCalls, TheBoundStateGoesWithOneMessageExceptTimesAndSender) {
  using api = typename TestFixture::api;
  const uint8_t data[] = {1, 2, 3, 4};
  api::subject("First");
  api::body("Body one");
  api::sender("me@example.org", "Me", nullptr);
  api::recipient("you@example.org", "You", nullptr, 1);
  api::delivery(0x01D5000000000000ull);
  Bind_attach(data, 4, "a.bin", nullptr, nullptr, nullptr, 1, 0);
  const uint32_t v = 5;
  BindTaggedProp(0x10970003, &v, 4);
  ASSERT_EQ(api::message("IPM.Note"), 0);
  ASSERT_EQ(api::message("IPM.Note"), 0);
  const auto nids = this->commit_and_list();
  ASSERT_EQ(nids.size(), 2u);
  auto first = this->read(nids[0]);
  auto second = this->read(nids[1]);
  EXPECT_EQ(text_of(first.pc().find(id_subject)), std::string("\x01\x01" "First"));
  EXPECT_EQ(first.attachment_nids().size(), 1u);
  EXPECT_EQ(number_of(first.pc().find(0x1097)), 5u);
  EXPECT_TRUE(first.subnode(recipient_table_nid));
  decoded_pc pc = second.pc();
  EXPECT_EQ(text_of(pc.find(id_subject)), std::string("\x01\x01", 2));
  EXPECT_EQ(pc.find(id_body)->bytes.size(), 0u);
  EXPECT_TRUE(second.attachment_nids().empty());
  EXPECT_FALSE(second.subnode(recipient_table_nid));
  EXPECT_EQ(pc.find(0x1097), nullptr);
  // The times and the sender carry over to the next message.
  EXPECT_EQ(number_of(pc.find(id_delivery_time)), 0x01D5000000000000ull);
  EXPECT_EQ(text_of(pc.find(id_sender_name)), "Me");
  std::string key = "SMTP:me@example.org";
  if (TypeParam::unicode) {
    std::string wide_key;
    for (char c : key) wide_key += std::string{c, '\0'};
    key = wide_key;
  }
  EXPECT_EQ(std::string(pc.find(id_sender_search_key)->bytes.begin(), pc.find(id_sender_search_key)->bytes.end()), key);
}

TYPED_TEST(CreateMessageCalls, PendingEmbeddedMessagesGoToTheNextMessageThatTakesThem) {
  using api = typename TestFixture::api;
  api::subject("Held one");
  ASSERT_EQ(api::message("IPM.Note", 1, 0), 0);
  api::subject("Held two");
  ASSERT_EQ(api::message("IPM.Note", 1, 0), 0);
  api::subject("Holder");
  ASSERT_EQ(api::message("IPM.Note", 0, 1), 0);
  api::subject("Later");
  ASSERT_EQ(api::message("IPM.Note", 0, 1), 0);  // the list is empty again
  const auto nids = this->commit_and_list();
  ASSERT_EQ(nids.size(), 2u);  // held messages are not filed
  auto holder = this->read(nids[0]);
  const auto attachments = holder.attachment_nids();
  ASSERT_EQ(attachments.size(), 2u);
  EXPECT_EQ(text_of(holder.attachment_pc(attachments[0]).find(id_display_name)), "Held one");
  EXPECT_EQ(text_of(holder.attachment_pc(attachments[1]).find(id_display_name)), "Held two");
  EXPECT_EQ(text_of(holder.embedded(attachments[1]).pc().find(id_subject)), "\x01\x01Held two");
  EXPECT_TRUE(this->read(nids[1]).attachment_nids().empty());
  EXPECT_EQ(walker_findings(this->path()) + undecodable_messages(*this->file_), "");
}

TYPED_TEST(CreateMessageCalls, RecipientsGetTheDefaultsOfTheirAddress) {
  using api = typename TestFixture::api;
  api::recipient("only@example.org", nullptr, nullptr, 1);
  api::recipient(nullptr, "Only A Name", nullptr, 2);
  api::recipient("x400@example.org", "Typed", "X400", 3);
  api::recipient(nullptr, nullptr, nullptr, 1);  // nothing to address: not bound
  ASSERT_EQ(api::message("IPM.Note"), 0);
  const auto nids = this->commit_and_list();
  auto m = this->read(nids.at(0));
  decoded_tc t = m.table(recipient_table_nid);
  ASSERT_EQ(t.rows.size(), 3u);
  using C = typename TypeParam::chartype;
  auto text_cell = [&](size_t r, uint16_t id) {
    decoded_property p;
    p.type = file_string_type<C>;
    p.bytes = t.cell_bytes(r, make_tag(id, p.type)).value_or(std::vector<uint8_t>{});
    return text_of(&p);
  };
  EXPECT_EQ(text_cell(0, id_display_name), "only@example.org");
  EXPECT_EQ(text_cell(0, id_address_type), "SMTP");
  EXPECT_EQ(text_cell(1, id_email_address), std::string(placeholder_email));
  EXPECT_EQ(text_cell(1, id_display_name), "Only A Name");
  EXPECT_EQ(text_cell(2, id_address_type), "X400");
  decoded_pc pc = m.pc();
  EXPECT_EQ(text_of(pc.find(id_display_to)), "only@example.org");
  EXPECT_EQ(text_of(pc.find(id_display_cc)), "Only A Name");
  EXPECT_EQ(text_of(pc.find(id_display_bcc)), "Typed");
}

// An ANSI file holds a narrow caller's text in the file's code page, in the
// recipient rows and in the display lists alike: the host's narrow strings
// (UTF-8 here) are converted into it, what it cannot hold becomes "?".
TEST(CreateMessageAnsi, NarrowRecipientNamesReachTheDisplayListsInTheFilesCodePage) {
  install_item_classes();
  TempDir dir;
  const auto path = dir / "narrow.pst";
  CommitPst();
  CommitPstA();
  SetLogFile((dir / "narrow.log").string().c_str());
  const auto host = [](const std::u16string& text) { return platform::wide_to_multibyte(0, text); };
  const auto file = [](const std::u16string& text) {
    return platform::wide_to_multibyte(platform::file_code_page(), text);
  };
  ASSERT_EQ(CreatePstA(path.string().c_str(), "Narrow"), 0);
  ASSERT_EQ(CreateFolderA("", "Inbox", "IPF.Note"), 0);
  Bind_recipientA("bjorn@example.org", host(u"Bj\u00F6rn").c_str(), nullptr, 1, 0);
  Bind_recipientA("zoe@example.org", host(u"Zo\u00EB").c_str(), nullptr, 1, 0);
  Bind_recipientA("ake@example.org", host(u"\u00C5ke \u4F60").c_str(), nullptr, 2, 0);
  ASSERT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
  ASSERT_EQ(CommitPstA(), 0);
  SetLogFile(nullptr);
  stored_file<uint32_t> stored(path);
  size_t messages = 0;
  for (const auto& e : stored.nodes()) {
    if (e.nid.type() != nid_type::message) continue;
    ++messages;
    decoded_pc pc = written_message<store_variant<uint32_t, char>>(stored, e.nid.value()).pc();
    EXPECT_EQ(text_of(pc.find(id_display_to)), file(u"Bj\u00F6rn;Zo\u00EB"));
    EXPECT_EQ(text_of(pc.find(id_display_cc)), file(u"\u00C5ke \u4F60"));
    EXPECT_EQ(number_of(pc.find(id_message_codepage)), platform::file_code_page());
  }
  EXPECT_EQ(messages, 1u);
#if !defined(_WIN32)
  EXPECT_EQ(file(u"\u00C5ke \u4F60"), "\xC5ke ?");  // 1252 unless the environment names another
#endif
}

TYPED_TEST(CreateMessageCalls, TaggedPropertiesReplaceByIdAndReachTheContentsRow) {
  using api = typename TestFixture::api;
  using C = typename TypeParam::chartype;
  // Two values of one ID: the second wins, whatever its type.
  const uint32_t first = 1;
  api::tagged(0x10970003, &first, 4);
  const int16_t second = -3;
  api::tagged(0x10970002, &second, 2);
  // The bound importance is replaced, the class argument replaces a tagged class.
  const uint32_t importance = 0;
  api::tagged(0x00170003, &importance, 4);
  api::tagged(0x001A001E, "IPM.Tagged", 10);
  const uint8_t yes = 1;
  api::tagged(0x0057000B, &yes, 1);
  const uint64_t submit = 0x01D6000000000123ull;
  api::tagged(0x00390040, &submit, 8);
  const uint8_t index[22] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};
  api::tagged(0x00710102, index, sizeof index);
  const std::u16string topic = u"Topic \u00e9";
  BindTaggedProp(0x0070001F, topic.data(), static_cast<uint32_t>(topic.size() * 2));
  const uint32_t reply = 0x12345678;
  api::tagged(0x65C60003, &reply, 4);
  ASSERT_EQ(api::message("IPM.Note.Class"), 0);
  const auto nids = this->commit_and_list();
  decoded_pc pc = this->read(nids.at(0)).pc();
  EXPECT_EQ(pc.find(0x1097)->type, 0x0002);
  EXPECT_EQ(number_of(pc.find(0x1097)), 0xFFFDu);
  EXPECT_EQ(number_of(pc.find(id_importance)), 0u);
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.Note.Class");

  // The folder's contents row holds the same values.
  decoded_tc t = this->file_->tc((this->inbox_ & ~0x1Fu) | 0x0E);
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.cell(0, tc_tag_row_id), nids[0]);
  EXPECT_EQ(t.cell(0, 0x00170003), 0u);
  EXPECT_TRUE(t.has_cell(0, 0x00170003));
  EXPECT_EQ(t.cell(0, 0x0057000B), 1u);
  EXPECT_EQ(t.cell(0, 0x00390040), submit);
  EXPECT_EQ(*t.cell_bytes(0, 0x00710102), std::vector<uint8_t>(index, index + sizeof index));
  EXPECT_EQ(t.cell(0, 0x65C60003), reply);
  EXPECT_EQ(t.cell(0, 0x10970003), 0xFFFFFFFDu);  // a PT_SHORT in a PT_LONG column, sign-extended
  decoded_property topic_cell;
  topic_cell.type = file_string_type<C>;
  topic_cell.bytes = t.cell_bytes(0, make_tag(0x0070, topic_cell.type)).value_or(std::vector<uint8_t>{});
  // An ANSI file holds the file code page's bytes (1252 unless the
  // environment names another; GetACP on Windows).
  EXPECT_EQ(text_of(&topic_cell),
            sizeof(C) == 1 ? platform::wide_to_multibyte(platform::file_code_page(), topic) : "Topic \xC3\xA9");
  decoded_property class_cell;
  class_cell.type = file_string_type<C>;
  class_cell.bytes = t.cell_bytes(0, make_tag(0x001A, class_cell.type)).value_or(std::vector<uint8_t>{});
  EXPECT_EQ(text_of(&class_cell), "IPM.Note.Class");
  EXPECT_EQ(t.cell(0, 0x0E080003), number_of(pc.find(id_message_size)));
}

TYPED_TEST(CreateMessageCalls, AValueOfTheWrongSizeIsNotBoundAndTheMessageIsWrittenWithoutIt) {
  using api = typename TestFixture::api;
  // A 3-byte PT_LONG is no value: the binding call refuses it.
  const uint8_t odd[3] = {1, 2, 3};
  BindTaggedProp(0x66660003, odd, 3);
  api::subject("Kept");
  ASSERT_EQ(api::message("IPM.Note"), 0);
  const auto nids = this->commit_and_list();
  ASSERT_EQ(nids.size(), 1u);
  const auto pc = this->read(nids[0]).pc();
  EXPECT_EQ(text_of(pc.find(id_subject)), "\x01\x01Kept");
  EXPECT_EQ(pc.find(0x6666), nullptr);
}

// In EML mode the wide call sets the body-only flag from its arguments and
// hands the bound state to the EML writer, which writes into the current
// EML directory; the narrow call has no EML branch.
TEST(CreateMessageEmlMode, TheBodyOnlyFlagFollowsTheEmbeddedAndPendingArguments) {
  LibraryState& state = library_state();
  CommitPst();
  TempDir dir;
  BClear();
  BClearA();
  state.eml_mode = 1;
  state.eml_body_only = 0;
  state.eml_directory = utf16(dir.path().string());
  state.eml_file_name.clear();
  struct step {
    uint8_t embedded, pending, flag_after;
  };
  // A message that is neither embedded nor takes the queue is written as its
  // own file (with the queued parts), which ends the queue.
  const step steps[] = {{0, 0, 0}, {1, 0, 1}, {0, 0, 0}, {1, 1, 0}, {1, 0, 1}, {0, 1, 0}};
  for (const step& s : steps) {
    EXPECT_EQ(CreateMessage(reinterpret_cast<const vendrel_wchar*>(u"IPM.Note"), s.embedded, s.pending), 0);
    EXPECT_EQ(state.eml_body_only, s.flag_after) << int(s.embedded) << int(s.pending);
  }
  size_t written = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    written += entry.path().extension() == ".eml";
  EXPECT_GE(written, 1u);
  // The narrow call has no EML branch: without a store it is the file error.
  EXPECT_EQ(CreateMessageA("IPM.Note", 0, 0), -5);
  state.eml_mode = 0;
  state.eml_body_only = 0;
  state.eml_directory.clear();
}

}  // namespace
}  // namespace vendrel::test
