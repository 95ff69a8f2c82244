// EML mode through the exported calls: each item becomes an .eml file in
// the EML directory, embedded messages are queued for the next written
// message, sticky notes, appointments and tasks are numbered, names are
// shortened, unwritable names fall back to Unknown_message_<n>.eml.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "eml/eml_writer.h"
#include "interface/eml_items.h"
#include "interface/library_state.h"
#include "mime/mime_message.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace vendrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::utf16;

const vendrel_wchar* w(const std::u16string& text) { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }

// Turns EML mode on for one test and puts the library-wide state back.
class EmlMode : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFile((dir.path() / "eml.log").string().c_str());
    directory = utf16((dir.path() / "Inbox").string());
    ASSERT_EQ(CreateEML(w(u"message.eml")), 1);
    ASSERT_EQ(ChangeFolder(w(directory)), 0);
  }
  void TearDown() override {
    LibraryState& state = library_state();
    BClear();
    state.eml_mode = 0;
    state.eml_body_only = 0;
    state.eml_directory.clear();
    state.eml_file_name.clear();
    state.eml_sticky_count = state.eml_appointment_count = state.eml_task_count = 0;
    state.wide.sender.clear();
    state.wide.creation_time = 0;
    eml_writer() = EmlWriterContext{};
  }

  fs::path inbox() const { return dir.path() / "Inbox"; }
  CMimeMessage load(const fs::path& file) const {
    CMimeMessage message;
    message.load(test::read_file_text(file));
    return message;
  }

  TempDir dir;
  std::u16string directory;
};

TEST_F(EmlMode, MessageIsWrittenUnderTheCreateEmlName) {
  Bind_subj(w(u"RE: Status"), 4);
  Bind_body(w(u"Body text"));
  Bind_sender(w(u"ann@example.org"), w(u"Ann"), nullptr);
  Bind_recipient(w(u"bob@example.org"), w(u"Bob"), nullptr, 1, 1);
  Bind_importance(2);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  ASSERT_TRUE(fs::exists(inbox() / "message.eml"));
  const CMimeMessage m = load(inbox() / "message.eml");
  EXPECT_EQ(m.subject(), "RE: Status");  // without the prefix code units
  EXPECT_EQ(m.from(), "Ann <ann@example.org>");
  EXPECT_EQ(m.to(), "Bob <bob@example.org>,");
  EXPECT_EQ(m.field_value("X-Priority"), "2 (high)");
  EXPECT_EQ(m.content(), "Body text");
  EXPECT_EQ(eml_writer().output_size, test::read_file_bytes(inbox() / "message.eml").size());

  // The bound state was used up: the next message has no recipient.
  EXPECT_TRUE(library_state().wide_recipients.empty());
  ASSERT_EQ(CreateEML(w(u"second.eml")), 1);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  EXPECT_EQ(load(inbox() / "second.eml").find_field("To"), nullptr);
}

TEST_F(EmlMode, EmbeddedMessagesAreQueuedForTheNextWrittenMessage) {
  Bind_subj(w(u"first embedded"), 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 1, 0), 0);
  Bind_subj(w(u"second embedded"), 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 1, 0), 0);
  EXPECT_FALSE(fs::exists(inbox() / "message.eml"));
  EXPECT_EQ(eml_writer().queued_parts.size(), 2u);

  Bind_subj(w(u"holder"), 0);
  const char data[] = "attached bytes";
  Bind_attach(data, sizeof data - 1, "notes.txt", nullptr, nullptr, nullptr, 1, 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 1), 0);
  EXPECT_TRUE(eml_writer().queued_parts.empty());
  const CMimeMessage m = load(inbox() / "message.eml");
  EXPECT_EQ(m.subject(), "holder");
  ASSERT_EQ(m.child_count(), 4u);
  ASSERT_NE(m.child(1)->message(), nullptr);
  EXPECT_EQ(m.child(1)->message()->subject(), "first embedded");
  EXPECT_EQ(m.child(2)->message()->subject(), "second embedded");
  EXPECT_EQ(m.child(3)->content(), "attached bytes");
}

TEST_F(EmlMode, EmbeddedMessageWithPendingPartsKeepsTheNesting) {
  Bind_subj(w(u"inner"), 0);
  CreateMessage(w(u"IPM.Note"), 1, 0);
  Bind_subj(w(u"middle"), 0);
  CreateMessage(w(u"IPM.Note"), 1, 1);
  Bind_subj(w(u"outer"), 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 1), 0);
  const CMimeMessage m = load(inbox() / "message.eml");
  ASSERT_EQ(m.child_count(), 2u);
  const CMimeMessage* middle = m.child(1)->message();
  ASSERT_NE(middle, nullptr);
  EXPECT_EQ(middle->subject(), "middle");
  ASSERT_EQ(middle->child_count(), 2u);
  ASSERT_NE(middle->child(1)->message(), nullptr);
  EXPECT_EQ(middle->child(1)->message()->subject(), "inner");
}

TEST_F(EmlMode, ANonEmbeddedMessageAfterAnEmbeddedOneIsWritten) {
  Bind_subj(w(u"embedded"), 0);
  CreateMessage(w(u"IPM.Note"), 1, 0);
  Bind_subj(w(u"plain"), 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  ASSERT_TRUE(fs::exists(inbox() / "message.eml"));
  EXPECT_EQ(load(inbox() / "message.eml").subject(), "plain");
}

TEST_F(EmlMode, OtherKindsAreNumberedPerKind) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(create_eml_item(eml_item_kind::sticky, 0, 0), 0);
  EXPECT_EQ(create_eml_item(eml_item_kind::appointment, 0, 0), 0);
  EXPECT_EQ(create_eml_item(eml_item_kind::task, 0, 0), 0);
  EXPECT_EQ(create_eml_item(eml_item_kind::task, 0, 0), 0);
  for (const char* name : {"1_Sticky_message.eml", "2_Sticky_message.eml", "3_Sticky_message.eml",
                           "1_Appointment_message.eml", "1_Task_message.eml", "2_Task_message.eml"})
    EXPECT_TRUE(fs::exists(inbox() / name)) << name;
  EXPECT_EQ(library_state().eml_file_name, u"message.eml");  // restored after each item
  EXPECT_FALSE(fs::exists(inbox() / "message.eml"));
  // The narrow sticky call writes under the file name itself.
  EXPECT_EQ(create_eml_sticky_narrow(), 0);
  EXPECT_TRUE(fs::exists(inbox() / "message.eml"));
}

TEST_F(EmlMode, UnwritableNamesFallBackToNumberedUnknownMessages) {
  ASSERT_EQ(CreateEML(w(u"no such directory\\x.eml")), 1);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  EXPECT_TRUE(fs::exists(inbox() / "Unknown_message_1.eml"));
  ASSERT_EQ(CreateEML(nullptr), 1);  // no name: the directory itself cannot be a file
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  EXPECT_TRUE(fs::exists(inbox() / "Unknown_message_2.eml"));
}

TEST_F(EmlMode, FailureToWriteReportsAndKeepsTheQueuedParts) {
  Bind_subj(w(u"waiting"), 0);
  CreateMessage(w(u"IPM.Note"), 1, 0);
  library_state().eml_directory = utf16((dir.path() / "missing" / "deeper").string());
  Bind_subj(w(u"lost"), 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 1), -1);
  EXPECT_EQ(Bind_body_EML(), 0);
  EXPECT_EQ(eml_writer().queued_parts.size(), 1u);
  EXPECT_EQ(create_eml_item(eml_item_kind::task, 0, 0), 0);  // the other kinds report 0 regardless
}

TEST_F(EmlMode, LongNamesAndLongPaths) {
  const std::u16string long_name = std::u16string(300, u'n') + u".eml";
  ASSERT_EQ(CreateEML(w(long_name)), 1);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  const std::string shortened = std::string(120, 'n') + "(...)" + std::string(120, 'n') + "_0.eml";
  EXPECT_TRUE(fs::exists(inbox() / shortened));

  // A directory deep enough that directory and name pass 259 characters.
  std::u16string deep = directory;
  while (deep.size() < 280) deep += u"\\segment_of_a_long_path";
  ASSERT_EQ(ChangeFolder(w(deep)), 0);
  ASSERT_EQ(CreateEML(w(u"deep.eml")), 1);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  std::string native(deep.begin(), deep.end());
  for (char& c : native)
    if (c == '\\') c = '/';
  EXPECT_TRUE(fs::exists(fs::path(native) / "deep.eml"));
}

TEST_F(EmlMode, BindBodyEmlWritesOrQueuesByTheBodyOnlyFlag) {
  Bind_subj(w(u"direct"), 0);
  library_state().eml_body_only = 1;
  EXPECT_EQ(Bind_body_EML(), 1);
  EXPECT_EQ(eml_writer().queued_parts.size(), 1u);
  EXPECT_FALSE(fs::exists(inbox() / "message.eml"));
  library_state().eml_body_only = 0;
  EXPECT_EQ(Bind_body_EML(), 1);
  EXPECT_TRUE(eml_writer().queued_parts.empty());
  const CMimeMessage m = load(inbox() / "message.eml");
  EXPECT_EQ(m.subject(), "direct");
  ASSERT_EQ(m.child_count(), 2u);
  ASSERT_NE(m.child(1)->message(), nullptr);
  EXPECT_EQ(m.child(1)->message()->subject(), "direct");
}

TEST_F(EmlMode, ImportIsRefusedInEmlMode) {
  test::write_file_bytes(dir.path() / "in.eml", "Subject: x\r\n\r\nbody", 17);
  EXPECT_EQ(Bind_EML(w(utf16((dir.path() / "in.eml").string()))), 0);
}

}  // namespace
}  // namespace vendrel
