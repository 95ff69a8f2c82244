// The checker on whole files: the mail client's own files come out without
// ERROR, files written through the exported calls without any finding, and
// files that are no PST at all as unreadable.
#include <gtest/gtest.h>

#include <fstream>

#include "check_support.h"

namespace vendrel::test {
namespace {

class OutlookFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(OutlookFiles, HaveNoError) {
  const auto path = outlook_dir / GetParam();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not there";
  check_report r = check(path);
  ASSERT_TRUE(r.readable) << r.unreadable_reason;
  EXPECT_EQ(r.encoding, 1) << "the client's files use the permute encoding";
  EXPECT_GT(r.folders, 0u);
  EXPECT_EQ(r.count(check_severity::error), 0u) << describe(r);
  std::cout << GetParam() << ": " << r.nodes << " nodes, " << r.folders << " folders, " << r.messages << " messages, "
            << r.count(check_severity::warn) << " WARN\n";
}

INSTANTIATE_TEST_SUITE_P(Client, OutlookFiles,
                         ::testing::Values("pstsdk_sample1.pst", "pstsdk_test_ansi.pst", "rubymsg_msgInMsg.pst",
                                           "rubymsg_200_recipients.pst", "mailbagit_outlook2019.pst"));

class WrittenFiles : public ::testing::TestWithParam<bool> {};

TEST_P(WrittenFiles, HaveNoFinding) {
  TempDir dir;
  const auto path = dir / "sample.pst";
  write_sample(path, GetParam());
  check_report r = check(path);
  ASSERT_TRUE(r.readable) << r.unreadable_reason;
  EXPECT_EQ(r.unicode, GetParam());
  EXPECT_EQ(r.findings.size(), 0u) << describe(r);
  EXPECT_GE(r.messages, 7u) << "three messages, a message holding three embedded levels";
}

INSTANTIATE_TEST_SUITE_P(Variants, WrittenFiles, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "ANSI"; });

// Recipient tables whose row matrices take subnodes of several blocks.
TEST_P(WrittenFiles, WithFiveHundredRecipientsHaveNoFinding) {
  TempDir dir;
  const auto path = dir / "recipients.pst";
  write_sample(path, GetParam(), 500);
  check_report r = check(path);
  ASSERT_TRUE(r.readable) << r.unreadable_reason;
  EXPECT_EQ(r.findings.size(), 0u) << describe(r);
}

TEST(Unreadable, FilesThatAreNoPst) {
  TempDir dir;
  struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"text", std::string(4096, 'x')},
      {"magic only", std::string("!BDN") + std::string(600, '\0')},
  };
  for (const auto& c : cases) {
    const auto path = dir / "bad.pst";
    write_file_bytes(path, c.bytes.data(), c.bytes.size());
    check_report r = check(path);
    EXPECT_FALSE(r.readable) << c.name;
    EXPECT_FALSE(r.unreadable_reason.empty()) << c.name;
  }
  EXPECT_FALSE(check(dir / "missing.pst").readable);
}

}  // namespace
}  // namespace vendrel::test
