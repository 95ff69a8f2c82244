// CreateSticky, CreateContact, CreateAppointment and CreateTask (and their
// narrow twins) as a host calls them, with the written file read back: one
// item of each kind with its class and the note's starting colour and
// geometry, the per-kind current items, the bound state that goes with one
// item, recipients for appointments only, attachments, embedded kinds,
// tagged properties over the kind's own, and the EML-mode branches.
#include <gtest/gtest.h>

#include "family_calls.h"
#include "interface/library_state.h"
#include "kinds_test_support.h"
#include "vendrel.h"

namespace vendrel::test {
namespace {

using namespace msg;


template <typename V>
class KindCalls : public items_test {
 protected:
  using B = typename V::bidtype;
  using api = family_calls<V>;
  void SetUp() override {
    items_test::SetUp();
    api::commit();  // no store left open by another test
    SetLogFile((dir / "kinds.log").string().c_str());
    ASSERT_EQ(api::create_pst(path()), 0);
  }
  void TearDown() override {
    api::commit();
    items_test::TearDown();
  }
  std::filesystem::path path() const { return dir / "kinds.pst"; }

  // Commits and opens the file; the items of a folder in creation order.
  std::vector<uint32_t> items_of(const std::string& folder) {
    if (!file_) {
      EXPECT_EQ(api::commit(), 0);
      file_ = std::make_unique<stored_file<B>>(path());
    }
    uint32_t parent = 0;
    for (const auto& e : file_->nodes())
      if (e.nid.type() == nid_type::folder && file_->string_of(e.nid.value(), 0x3001) == folder) parent = e.nid.value();
    std::vector<uint32_t> out;
    for (const auto& e : file_->nodes())
      if (e.nid.type() == nid_type::message && e.nid_parent.value() == parent) out.push_back(e.nid.value());
    return out;
  }
  written_message<V> read(uint32_t nid) { return written_message<V>(*file_, nid); }

  std::unique_ptr<stored_file<B>> file_;
};
TYPED_TEST_SUITE(KindCalls, store_variants, store_variant_name);

TYPED_TEST(KindCalls, EachCallFilesItsKindAndKeepsItAsTheKindsCurrentItem) {
  using api = typename TestFixture::api;
  LibraryState& state = library_state();
  const struct {
    const char *folder, *container_class, *message_class;
    int32_t (*create)();
    ref<pst_store_item> LibraryState::*current;
    uint32_t icon;
  } kinds[] = {
      {"Notes", "IPF.StickyNote", "IPM.StickyNote", [] { return api::sticky(); }, &LibraryState::current_sticky, 771},
      {"Contacts", "IPF.Contact", "IPM.Contact", [] { return api::contact(); }, &LibraryState::current_contact, 512},
      {"Calendar", "IPF.Appointment", "IPM.Appointment", [] { return api::appointment(); },
       &LibraryState::current_appointment, 1024},
      {"Tasks", "IPF.Task", "IPM.Task", [] { return api::task(); }, &LibraryState::current_task, 1280},
  };
  std::vector<uint32_t> current_nids;
  for (const auto& k : kinds) {
    ASSERT_EQ(api::folder(k.folder, k.container_class), 0);
    api::subject((std::string("A ") + k.folder).c_str());
    api::body("Text");
    ASSERT_EQ(k.create(), 0) << k.folder;
    ASSERT_TRUE(state.*k.current) << k.folder;
    current_nids.push_back((state.*k.current)->item_nid());
    // The bound state went with the item: the next one of the kind has no subject.
    ASSERT_EQ(k.create(), 0) << k.folder;
  }
  ASSERT_EQ(api::create_pst(this->dir / "next.pst"), 0);
  for (const auto& k : kinds) EXPECT_FALSE(state.*k.current) << "CreatePst drops " << k.folder;
  api::commit();
  ASSERT_EQ(api::create_pst(this->path()), 0);  // the same items again, for the file
  for (const auto& k : kinds) {
    ASSERT_EQ(api::folder(k.folder, k.container_class), 0);
    api::subject((std::string("A ") + k.folder).c_str());
    api::body("Text");
    ASSERT_EQ(k.create(), 0);
    ASSERT_EQ(k.create(), 0);
  }
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.folder);
    const auto nids = this->items_of(k.folder);
    ASSERT_EQ(nids.size(), 2u);
    decoded_pc first = this->read(nids[0]).pc();
    decoded_pc second = this->read(nids[1]).pc();
    EXPECT_EQ(text_of(first.find(id_message_class)), k.message_class);
    EXPECT_EQ(text_of(first.find(id_subject)), std::string("\x01\x01" "A ") + k.folder);
    EXPECT_EQ(text_of(first.find(id_body)), "Text");
    EXPECT_EQ(number_of(first.find(id_icon_index)), k.icon);
    EXPECT_NE(text_of(second.find(id_subject)), text_of(first.find(id_subject)));
    EXPECT_EQ(text_of(second.find(id_body)), "");
  }
  // The note starts with colour 3 and the interface's geometry.
  decoded_pc note = this->read(this->items_of("Notes")[0]).pc();
  EXPECT_EQ(number_of(note.find(id_note_color)), 3u);
  EXPECT_EQ(number_of(note.find(id_note_x)), 80u);
  EXPECT_EQ(number_of(note.find(id_note_width)), 166u);
  EXPECT_EQ(number_of(note.find(id_note_y)), 80u);
  EXPECT_EQ(number_of(note.find(id_note_height)), 166u);
  EXPECT_EQ(undecodable_messages(*this->file_), "");
}

TYPED_TEST(KindCalls, OnlyAppointmentsTakeRecipientsAndNotesTakeNoAttachments) {
  using api = typename TestFixture::api;
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(api::folder("Items", "IPF.Note"), 0);
  const struct {
    const char* what;
    int32_t (*create)();
    size_t recipients, attachments;
  } cases[] = {
      {"appointment", [] { return api::appointment(); }, 2, 1},
      {"contact", [] { return api::contact(); }, 0, 1},
      {"task", [] { return api::task(); }, 0, 1},
      {"sticky note", [] { return api::sticky(); }, 0, 0},
  };
  for (const auto& c : cases) {
    api::recipient("ann@example.org", "Ann Archer");
    api::recipient("bob@example.org", "Bob Baker");
    ASSERT_EQ(Bind_attach(data, 5, "five.bin", nullptr, nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(c.create(), 0) << c.what;
  }
  const auto nids = this->items_of("Items");
  ASSERT_EQ(nids.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(cases[i].what);
    written_message<TypeParam> w = this->read(nids[i]);
    EXPECT_EQ(w.subnode(recipient_table_nid).has_value(), cases[i].recipients > 0);
    if (cases[i].recipients) {
      EXPECT_EQ(w.table(recipient_table_nid).rows.size(), cases[i].recipients);
      EXPECT_EQ(text_of(w.pc().find(id_display_to)), "Ann Archer;Bob Baker");
    }
    EXPECT_EQ(w.attachment_nids().size(), cases[i].attachments);
  }
}

TYPED_TEST(KindCalls, EmbeddedKindsGoToTheNextItemThatTakesThePendingOnes) {
  using api = typename TestFixture::api;
  ASSERT_EQ(api::folder("Items", "IPF.Note"), 0);
  api::subject("Held contact");
  ASSERT_EQ(api::contact(1, 0), 0);
  api::subject("Held task");
  ASSERT_EQ(api::task(1, 0), 0);
  api::subject("Held note");
  ASSERT_EQ(api::sticky(1), 0);
  EXPECT_EQ(library_state().pending_embedded.size(), 3u);
  api::subject("Holder");
  ASSERT_EQ(api::appointment(0, 1), 0);
  EXPECT_TRUE(library_state().pending_embedded.empty());

  const auto nids = this->items_of("Items");
  ASSERT_EQ(nids.size(), 1u);  // the held items are not filed
  written_message<TypeParam> holder = this->read(nids[0]);
  const auto attachments = holder.attachment_nids();
  ASSERT_EQ(attachments.size(), 3u);
  const char* classes[] = {"IPM.Contact", "IPM.Task", "IPM.StickyNote"};
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(text_of(holder.embedded(attachments[i]).pc().find(id_message_class)), classes[i]);
}

TYPED_TEST(KindCalls, TaggedPropertiesComeAfterTheKindsOwnFields) {
  using api = typename TestFixture::api;
  ASSERT_EQ(api::folder("Notes", "IPF.StickyNote"), 0);
  const uint32_t blue = 0;
  api::tagged((uint32_t{id_note_color} << 16) | prop_type::i4, &blue, 4);
  const char custom[] = "IPM.StickyNote.Custom";
  api::tagged(0x001A001E, custom, sizeof custom - 1);
  ASSERT_EQ(api::sticky(), 0);
  decoded_pc pc = this->read(this->items_of("Notes")[0]).pc();
  EXPECT_EQ(number_of(pc.find(id_note_color)), 0u);
  EXPECT_EQ(number_of(pc.find(id_icon_index)), 771u);  // from the record's colour 3
  EXPECT_EQ(text_of(pc.find(id_message_class)), "IPM.StickyNote.Custom");
}

// In EML mode the wide sticky, appointment and task calls and CreateStickyA
// go to the EML writer; the contact calls and the other narrow calls have
// no EML branch and need a store.
TEST(KindCallsEmlMode, WhichCallsGoToTheEmlWriter) {
  LibraryState& state = library_state();
  CommitPst();
  TempDir dir;
  state.eml_mode = 1;
  state.eml_directory = utf16(dir.path().string());
  state.eml_file_name = u"kinds.eml";
  for (int32_t (*call)() : {+[] { return CreateSticky(0); }, +[] { return CreateStickyA(0); },
                            +[] { return CreateAppointment(0, 0); }, +[] { return CreateTask(0, 0); }}) {
    state.eml_body_only = 1;
    EXPECT_NE(call(), -5);
    EXPECT_EQ(state.eml_body_only, 0);
  }
  EXPECT_EQ(CreateContact(0, 0), -5);
  EXPECT_EQ(CreateContactA(0, 0), -5);
  EXPECT_EQ(CreateAppointmentA(0, 0), -5);
  EXPECT_EQ(CreateTaskA(0, 0), -5);
  state.eml_mode = 0;
  state.eml_body_only = 0;
  state.eml_directory.clear();
  state.eml_file_name.clear();
  BClear();
  BClearA();
}

}  // namespace
}  // namespace vendrel::test
