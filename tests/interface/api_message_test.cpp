// CreateMessage and CreateMessageA through the shared library, as a host
// sees them: the result without a store, a refused message that leaves the
// library usable and its bound state in place, and memory: a large
// attachment is not held a second time while its message is written, and
// committed messages do not stay in memory.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::read_file_text;
using vendrel::test::TempDir;
using vendrel::test::utf16;

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

// A field of /proc/self/status in KiB (VmHWM: peak resident size, VmRSS: now).
long status_kib(const std::string& field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// The sanitizers keep freed memory in quarantine: sizes say nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool memory_is_measurable = false;
#else
constexpr bool memory_is_measurable = true;
#endif

class ApiMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    CommitPst();
    SetLogFile((dir / "api.log").string().c_str());
  }
  void TearDown() override { CommitPst(); }
  std::u16string path(const std::string& name) const { return utf16((dir / name).string()); }
  TempDir dir;
};

TEST_F(ApiMessage, WithoutAStoreBothCallsReturnTheFileError) {
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), -5);
  EXPECT_EQ(CreateMessageA("IPM.Note", 1, 1), -5);
  ASSERT_EQ(CreatePstA((dir / "after.pst").string().c_str(), "After"), 0);
  EXPECT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
  EXPECT_EQ(CommitPstA(), 0);
  EXPECT_EQ(CreateMessageA("IPM.Note", 0, 0), -5);
}

TEST_F(ApiMessage, AValueOfTheWrongSizeIsRefusedAtItsBindingAndTheLibraryGoesOn) {
  ASSERT_EQ(CreatePst(w(path("refused.pst")), w(u"Refused")), 0);
  const uint8_t three[3] = {1, 2, 3};
  EXPECT_EQ(BindTaggedProp(0x66660003, three, 3), -2);  // a PT_LONG of 3 bytes is no value
  EXPECT_NE(read_file_text(dir / "api.log").find("[ERROR]: BindTaggedProp"), std::string::npos);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  // The class is checked like every string argument: an embedded message
  // without one takes the default class.
  EXPECT_EQ(CreateMessage(nullptr, 1, 0), 0);
  EXPECT_EQ(CreateMessage(w(u"IPM.Note"), 0, 1), 0);
  EXPECT_EQ(CommitPst(), 0);
}

TEST_F(ApiMessage, ALargeAttachmentIsNotHeldTwiceWhileItsMessageIsWritten) {
  if (!memory_is_measurable) GTEST_SKIP() << "memory sizes under a sanitizer";
  ASSERT_EQ(CreatePst(w(path("large.pst")), w(u"Large")), 0);
  constexpr size_t size = size_t{30} << 20;
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; i += 4096) data[i] = static_cast<uint8_t>(i >> 12);
  ASSERT_EQ(Bind_attach(data.data(), static_cast<int32_t>(size), "large.bin", nullptr, nullptr, nullptr, 1, 0), 0);
  data.clear();
  data.shrink_to_fit();
  // The bound copy is the one copy: writing the message streams it to the file.
  const long before = status_kib("VmHWM");
  ASSERT_GT(before, 0);
  ASSERT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0);
  const long after = status_kib("VmHWM");
  EXPECT_LT(after - before, 8 * 1024) << "peak grew by " << (after - before) << " KiB";
  EXPECT_EQ(CommitPst(), 0);
}

TEST_F(ApiMessage, CommittedMessagesDoNotStayInMemory) {
  if (!memory_is_measurable) GTEST_SKIP() << "memory sizes under a sanitizer";
  ASSERT_EQ(CreatePstA((dir / "many.pst").string().c_str(), "Many"), 0);
  const std::vector<uint8_t> data(1 << 20, 0x42);
  const std::string body(64 * 1024, 'b');
  long settled = 0;
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(Bind_attach(data.data(), static_cast<int32_t>(data.size()), "one.bin", nullptr, nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(Bind_bodyA(body.c_str()), 0);
    ASSERT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
    if (i == 9) settled = status_kib("VmRSS");
  }
  // 30 more messages of over 1 MiB each: what stays is far less than them.
  EXPECT_LT(status_kib("VmRSS") - settled, 10 * 1024);
  EXPECT_EQ(CommitPstA(), 0);
}

}  // namespace
