// The item-kind calls through the shared library, as a host sees them: the
// file error without a store for every call of both families, items of
// every kind in both file variants with embedded ones taken by the next
// item, and a refused item that keeps its bindings while the library goes on.
#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::read_file_text;
using vendrel::test::TempDir;
using vendrel::test::utf16;

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

struct kind_call {
  const char* name;
  int32_t (*call)(uint8_t embedded, uint8_t pending);
  bool wide;
};
const kind_call kind_calls[] = {
    {"CreateSticky", [](uint8_t e, uint8_t) { return CreateSticky(e); }, true},
    {"CreateStickyA", [](uint8_t e, uint8_t) { return CreateStickyA(e); }, false},
    {"CreateContact", [](uint8_t e, uint8_t p) { return CreateContact(e, p); }, true},
    {"CreateContactA", [](uint8_t e, uint8_t p) { return CreateContactA(e, p); }, false},
    {"CreateAppointment", [](uint8_t e, uint8_t p) { return CreateAppointment(e, p); }, true},
    {"CreateAppointmentA", [](uint8_t e, uint8_t p) { return CreateAppointmentA(e, p); }, false},
    {"CreateTask", [](uint8_t e, uint8_t p) { return CreateTask(e, p); }, true},
    {"CreateTaskA", [](uint8_t e, uint8_t p) { return CreateTaskA(e, p); }, false},
};

class ApiKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    CommitPst();
    SetLogFile((dir / "api.log").string().c_str());
  }
  void TearDown() override { CommitPst(); }
  TempDir dir;
};

TEST_F(ApiKinds, WithoutAStoreEveryCallIsTheFileError) {
  for (const kind_call& k : kind_calls) {
    EXPECT_EQ(k.call(0, 0), -5) << k.name;
    EXPECT_EQ(k.call(1, 1), -5) << k.name;
  }
  // ... and after a commit again.
  ASSERT_EQ(CreatePstA((dir / "once.pst").string().c_str(), "Once"), 0);
  ASSERT_EQ(CommitPstA(), 0);
  for (const kind_call& k : kind_calls) EXPECT_EQ(k.call(0, 0), -5) << k.name;
  EXPECT_NE(read_file_text(dir / "api.log").find("[ERROR]: CreateTaskA"), std::string::npos);
}

TEST_F(ApiKinds, EveryKindInBothVariantsFiledAndEmbedded) {
  for (bool unicode : {false, true}) {
    SCOPED_TRACE(unicode ? "Unicode" : "Ansi");
    const auto path = dir / (unicode ? "kinds-unicode.pst" : "kinds-ansi.pst");
    ASSERT_EQ(unicode ? CreatePst(w(utf16(path.string())), w(u"Kinds")) : CreatePstA(path.string().c_str(), "Kinds"),
              0);
    for (const kind_call& k : kind_calls) {
      if (k.wide != unicode) continue;
      if (unicode)
        Bind_subj(w(utf16(k.name)), 0);
      else
        Bind_subjA(k.name, 0);
      EXPECT_EQ(k.call(0, 0), 0) << k.name;
      EXPECT_EQ(k.call(1, 0), 0) << k.name << " embedded";
    }
    // The four held items go to the next message that takes them.
    EXPECT_EQ(unicode ? CreateMessage(w(u"IPM.Note"), 0, 1) : CreateMessageA("IPM.Note", 0, 1), 0);
    ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
    EXPECT_GT(std::filesystem::file_size(path), 0u);
  }
}

TEST_F(ApiKinds, AValueOfTheWrongSizeIsRefusedAtItsBindingAndTheItemsAreWrittenWithoutIt) {
  ASSERT_EQ(CreatePst(w(utf16((dir / "refused.pst").string())), w(u"Refused")), 0);
  const uint8_t odd[3] = {1, 2, 3};
  EXPECT_EQ(BindTaggedProp(0x66660003, odd, 3), -2);  // a 3-byte PT_LONG is no value
  EXPECT_EQ(CreateTask(0, 0), 0);
  EXPECT_EQ(CreateContact(0, 0), 0);
  EXPECT_EQ(CommitPst(), 0);
  EXPECT_NE(read_file_text(dir / "api.log").find("[ERROR]: BindTaggedProp"), std::string::npos);
}

}  // namespace
