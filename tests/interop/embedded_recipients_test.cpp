// Two structures read by the independent readers, in both variants:
// - a chain of embedded messages three levels deep, read by readpst: each
//   level's subject and body, and the innermost attachment's bytes (pypff
//   and pst-extractor open no embedded message of any file, the mail
//   client's included);
// - a message with 500 recipients, whose recipient table keeps its row
//   matrix in a subnode of several blocks: every recipient's type, name,
//   address and address type in pffexport and pst-extractor, and the
//   message with all 500 display names in readpst.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "interop_support.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;
using vendrel::test::TempDir;
using vendrel::test::write_file_bytes;

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed;
  for (auto& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  return bytes;
}

std::string sha256(const std::filesystem::path& dir, const std::vector<uint8_t>& bytes) {
  const auto file = dir / "hash.bin";
  write_file_bytes(file, bytes.data(), bytes.size());
  return run("sha256sum " + quoted(file)).out.substr(0, 64);
}

void bind_text(bool unicode, const std::string& subject, const std::string& body) {
  if (unicode) {
    Bind_subj(wide(subject), 0);
    Bind_body(wide(body));
    Bind_sender(wide("sender@example.org"), wide("Sender"), nullptr);
  } else {
    Bind_subjA(subject.c_str(), 0);
    Bind_bodyA(body.c_str());
    Bind_senderA("sender@example.org", "Sender", nullptr);
  }
}

int32_t create(bool unicode, bool embedded, bool pending) {
  return unicode ? CreateMessage(wide("IPM.Note"), embedded, pending) : CreateMessageA("IPM.Note", embedded, pending);
}

const char* const level_subjects[] = {"Chain top", "Chain level one", "Chain level two", "Chain level three"};
const char* const level_bodies[] = {"Holds level one.", "Holds level two.", "Holds level three.", "The innermost message."};

class Structures : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "structures.log").string().c_str());
    for (bool unicode : {false, true}) {
      const auto path = dir_->path() / (unicode ? "unicode.pst" : "ansi.pst");
      ASSERT_EQ(unicode ? CreatePst(wide(path.string()), wide("Structures")) : CreatePstA(path.string().c_str(), "Structures"), 0);
      ASSERT_EQ(unicode ? CreateFolder(wide(""), wide("Inbox"), wide("IPF.Note")) : CreateFolderA("", "Inbox", "IPF.Note"), 0);
      // The chain, innermost first: each message is held for the next.
      inner_[unicode] = pattern(5000, unicode ? 7 : 8);
      inner_hash_[unicode] = sha256(dir_->path(), inner_[unicode]);
      ASSERT_EQ(Bind_attach(inner_[unicode].data(), static_cast<int32_t>(inner_[unicode].size()), "inner.bin", nullptr,
                            nullptr, nullptr, 1, 0), 0);
      for (int level = 3; level >= 0; --level) {
        bind_text(unicode, level_subjects[level], level_bodies[level]);
        ASSERT_EQ(create(unicode, level > 0, level < 3), 0) << level;
      }
      // 500 recipients.
      bind_text(unicode, "Five hundred recipients", "To many.");
      for (int i = 0; i < 500; ++i) {
        const std::string email = "rcpt" + std::to_string(i) + "@example.org", name = "Recipient " + std::to_string(i);
        const uint32_t kind = 1 + i % 3;
        if (unicode)
          Bind_recipient(wide(email), wide(name), wide("SMTP"), kind, 1);
        else
          Bind_recipientA(email.c_str(), name.c_str(), "SMTP", kind, 1);
      }
      ASSERT_EQ(create(unicode, false, false), 0);
      ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
      files_[unicode] = path;
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  const std::filesystem::path& file() const { return files_[GetParam()]; }
  std::filesystem::path scratch() const {
    auto p = dir_->path() / (GetParam() ? "scratch-unicode" : "scratch-ansi");
    std::filesystem::create_directories(p);
    return p;
  }
  static std::set<std::string> lines(const std::string& text) {
    std::set<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.insert(l);
    return out;
  }
  // "<type>|<name>|<email>|SMTP" of recipient i.
  static std::string recipient(int i) {
    return std::to_string(1 + i % 3) + "|Recipient " + std::to_string(i) + "|rcpt" + std::to_string(i) +
           "@example.org|SMTP";
  }

  static TempDir* dir_;
  static std::filesystem::path files_[2];
  static std::vector<uint8_t> inner_[2];
  static std::string inner_hash_[2];
};
TempDir* Structures::dir_ = nullptr;
std::filesystem::path Structures::files_[2];
std::vector<uint8_t> Structures::inner_[2];
std::string Structures::inner_hash_[2];

TEST_P(Structures, ReadpstReadsTheEmbeddedChain) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  run_result r = run("/usr/bin/python3 '" + interop_dir + "/reader_lines.py' readpst " + quoted(file()) + " " +
                     quoted(scratch()));
  ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
  const auto shown = lines(r.out);
  std::string path = "Inbox";
  for (int level = 0; level < 4; ++level) {
    path += std::string(level ? " >" : "") + "/" + level_subjects[level];
    EXPECT_TRUE(shown.count(path + "\tsubject\t" + level_subjects[level])) << path << "\n" << r.out.substr(0, 3000);
    EXPECT_TRUE(shown.count(path + "\tbody\t" + level_bodies[level])) << path << "\n" << r.out.substr(0, 3000);
  }
  EXPECT_TRUE(shown.count(path + "\tattachment\tinner.bin|5000|" + inner_hash_[GetParam()])) << r.out.substr(0, 3000);
}

TEST_P(Structures, PffexportReadsFiveHundredRecipients) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  run_result r = run("/usr/bin/python3 '" + interop_dir + "/reader_lines.py' pffexport " + quoted(file()) + " " +
                     quoted(scratch()));
  ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
  const auto shown = lines(r.out);
  for (int i = 0; i < 500; ++i)
    EXPECT_TRUE(shown.count("Inbox/Five hundred recipients\trecipient\t" + recipient(i))) << i;
}

TEST_P(Structures, PstExtractorReadsFiveHundredRecipients) {
  if (!available("command -v node") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "pst-extractor is not installed";
  run_result r = run("node '" + interop_dir + "/recipients_pst_extractor.js' " + quoted(file()));
  ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
  const auto shown = lines(r.out);
  for (int i = 0; i < 500; ++i)
    EXPECT_TRUE(shown.count("Five hundred recipients\t" + std::to_string(i) + "\t" + recipient(i))) << i;
}

TEST_P(Structures, ReadpstReadsTheMessageWithFiveHundredRecipients) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  run_result r = run("/usr/bin/python3 '" + interop_dir + "/reader_lines.py' readpst " + quoted(file()) + " " +
                     quoted(scratch()));
  ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
  // readpst shows the recipients of an EML through the display lists; the
  // recipient table itself it reads without showing it.
  std::string to, cc;
  for (int i = 0; i < 500; ++i) {
    std::string& list = i % 3 == 0 ? to : cc;
    if (i % 3 == 2) continue;  // Bcc
    if (!list.empty()) list += ";";
    list += "Recipient " + std::to_string(i);
  }
  const auto shown = lines(r.out);
  EXPECT_TRUE(shown.count("Inbox/Five hundred recipients\tbody\tTo many."));
  EXPECT_TRUE(shown.count("Inbox/Five hundred recipients\tdisplay_to\t" + to));
  EXPECT_TRUE(shown.count("Inbox/Five hundred recipients\tdisplay_cc\t" + cc));
}

INSTANTIATE_TEST_SUITE_P(Variants, Structures, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "ANSI"; });

}  // namespace
