// Bind_EML and the library-wide state: nested messages are made first and
// attached to the message that holds them, without taking the host's
// pending embedded messages or its bindings; the sender and times of the
// message bound before do not carry into an imported one.
#include <gtest/gtest.h>

#include <string>

#include "interface/library_state.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace vendrel {
namespace {

using test::TempDir;
using test::utf16;

const vendrel_wchar* w(const std::u16string& text) { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }

class EmlImportState : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFile((dir.path() / "import.log").string().c_str());
    ASSERT_EQ(CreatePst(w(utf16((dir.path() / "import.pst").string())), w(u"Import")), 0);
    ASSERT_EQ(CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")), 0);
  }
  void TearDown() override { CommitPst(); }

  std::u16string file(const std::string& name, const std::string& text) {
    const auto path = dir.path() / name;
    test::write_file_bytes(path, text.data(), text.size());
    return utf16(path.string());
  }

  TempDir dir;
};

const char* const nested =
    "Subject: outer\r\nFrom: Outer <outer@example.org>\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
    "--b\r\nContent-Type: text/plain\r\n\r\nouter text\r\n"
    "--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\ninner text\r\n--b--\r\n";

TEST_F(EmlImportState, HostPendingMessagesAndBindingsStayTheHosts) {
  LibraryState& state = library_state();
  Bind_subj(w(u"held by the host"), 0);
  ASSERT_EQ(CreateMessage(w(u"IPM.Note"), 1, 0), 0);
  ASSERT_EQ(state.pending_embedded.size(), 1u);
  const ref<pst_store_item> held = state.pending_embedded[0];

  EXPECT_EQ(Bind_EML(w(file("nested.eml", nested))), 1);
  ASSERT_EQ(state.pending_embedded.size(), 1u);  // the inner message went into the outer one
  EXPECT_EQ(state.pending_embedded[0].get(), held.get());
  EXPECT_TRUE(state.tagged_props.empty());
  EXPECT_TRUE(state.attachments.empty());
  EXPECT_TRUE(state.wide_recipients.empty());
}

TEST_F(EmlImportState, SenderAndTimesComeFromTheFileOnly) {
  LibraryState& state = library_state();
  Bind_sender(w(u"earlier@example.org"), w(u"Earlier"), nullptr);
  Bind_creation_time(0x12345678, 0x01D00000);
  EXPECT_EQ(Bind_EML(w(file("bare.eml", "Subject: no sender\r\n\r\ntext"))), 1);
  EXPECT_TRUE(state.wide.sender.empty());
  EXPECT_EQ(state.wide.creation_time, 0u);
  EXPECT_EQ(Bind_EML(w(file("dated.eml", "From: a@example.org\r\nDate: Tue, 1 Jul 2003 10:52:37 +0200\r\n\r\nx"))), 1);
  EXPECT_EQ(state.wide.sender.email(), u"a@example.org");
  EXPECT_NE(state.wide.creation_time, 0u);
}

TEST_F(EmlImportState, FailuresLeaveTheLibraryUsable) {
  EXPECT_EQ(Bind_EML(w(utf16((dir.path() / "missing.eml").string()))), 0);
  EXPECT_EQ(Bind_EML(nullptr), 0);
  EXPECT_EQ(Bind_EML(w(utf16(dir.path().string()))), 0);
  EXPECT_EQ(Bind_EML(w(file("empty.eml", ""))), 1);  // an empty file is an empty message
  EXPECT_EQ(Bind_EML(w(file("ok.eml", nested))), 1);
}

}  // namespace
}  // namespace vendrel
