// EML mode through the shared library, read back by Python's email package
// (eml_export_lines.py): the headers, the text bodies in their charsets, the
// attachment bytes and the embedded messages come back as they were bound;
// sticky notes, appointments and tasks are numbered; unwritable names fall
// back to Unknown_message_<n>.eml.
//
// EML mode cannot be left once it is on, so the files are written by this
// program run a second time (EmlExportWriter, only when VENDREL_EML_EXPORT_DIR
// is set); the other tests of this program keep a library in PST mode.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "interop_support.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;

namespace fs = std::filesystem;
using vendrel::test::TempDir;
using vendrel::test::utf16;

std::string pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned x = seed;
  for (char& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<char>(x >> 16);
  }
  return bytes;
}

std::string sha256(const std::string& data, const fs::path& scratch) {
  const fs::path file = scratch / "hash.bin";
  vendrel::test::write_file_bytes(file, data.data(), data.size());
  int status = 0;
  const std::string out = run("sha256sum '" + file.string() + "'", &status);
  fs::remove(file);
  return out.substr(0, 64);
}

// Attachments of the messages below, by name.
const std::map<std::string, std::string>& attachment_data() {
  static const std::map<std::string, std::string> data = {
      {"report.pdf", pattern(100000, 1)}, {"empty.txt", ""}, {"tiny.bin", std::string("\0\xFF\r\n", 4)},
      {"inner.dat", pattern(777, 2)}};
  return data;
}

void attach(const std::string& name) {
  const std::string& data = attachment_data().at(name);
  ASSERT_EQ(Bind_attach(data.data(), static_cast<int32_t>(data.size()), name.c_str(), nullptr, nullptr, nullptr, 1, 0), 0);
}

constexpr int64_t created = 1614953229;  // 2021-03-05 14:07:09 UTC

// The child run: writes the files into $VENDREL_EML_EXPORT_DIR.
TEST(EmlExportWriter, Write) {
  const char* target = std::getenv("VENDREL_EML_EXPORT_DIR");
  if (!target) GTEST_SKIP() << "runs as the writer of EmlExport only";
  const std::string root = target;
  SetLogFile((root + "/writer.log").c_str());
  ASSERT_EQ(CreateEML(wide("plain.eml")), 1);
  ASSERT_EQ(CreateFolder(wide(root), wide("Inbox"), wide("IPF.Note")), 0);

  // Latin-2 text in headers and body.
  Bind_codepage(28592);
  Bind_subj(wide("RE: Sz\xC5\x91l\xC5\x91 \xC3\xA9s k\xC3\xB6rte"), 4);
  Bind_body(wide("Kedves \xC3\x81gnes,\r\nl\xC3\xA1ttam a sz\xC5\x91l\xC5\x91t.\r\n"));
  Bind_sender(wide("ann@example.org"), wide("Archer, Ann"), nullptr);
  Bind_recipient(wide("bob@example.org"), wide("B\xC3\xA9la B\xC3\xB3"), nullptr, 1, 1);
  Bind_recipient(wide("cy@example.org"), wide("Cy"), nullptr, 1, 1);
  Bind_recipient(wide("dee@example.org"), wide("Dee"), nullptr, 2, 1);
  Bind_importance(0);
  const uint64_t ft = filetime(created);
  Bind_creation_time(static_cast<uint32_t>(ft), static_cast<uint32_t>(ft >> 32));
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 0, 0), 0);

  // A message with attachments and two embedded messages, in UTF-8.
  ASSERT_EQ(CreateEML(wide("with parts.eml")), 1);
  Bind_codepage(65001);
  Bind_subj(wide("Inner \xE6\x97\xA5\xE6\x9C\xAC"), 0);
  Bind_body(wide("inner text \xE2\x9C\x93"));
  attach("inner.dat");
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 1, 0), 0);
  Bind_codepage(65001);
  Bind_subj(wide("Second inner"), 0);
  Bind_body(wide("more"));
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 1, 0), 0);
  Bind_codepage(65001);
  Bind_subj(wide("Outer"), 0);
  Bind_body(wide("See the attachments.\r\n"));
  attach("report.pdf");
  attach("empty.txt");
  attach("tiny.bin");
  Bind_importance(2);
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 0, 1), 0);

  // HTML only, in windows-1251.
  ASSERT_EQ(CreateEML(wide("html.eml")), 1);
  Bind_codepage(1251);
  Bind_subj(wide("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"), 0);
  Bind_html_body(wide("<p>\xD0\x94\xD0\xB0</p>"));
  Bind_importance(5);
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 0, 0), 0);

  // The other kinds, numbered per kind.
  ASSERT_EQ(CreateEML(wide("item.eml")), 1);
  for (int i = 0; i < 3; ++i) {
    Bind_subj(wide("note " + std::to_string(i + 1)), 0);
    ASSERT_EQ(CreateSticky(0), 0);
  }
  Bind_subj(wide("meeting"), 0);
  ASSERT_EQ(CreateAppointment(0, 0), 0);
  Bind_subj(wide("todo"), 0);
  ASSERT_EQ(CreateTask(0, 0), 0);

  // An unwritable name twice.
  ASSERT_EQ(CreateEML(wide("missing directory\\a.eml")), 1);
  Bind_subj(wide("first fallback"), 0);
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 0, 0), 0);
  Bind_subj(wide("second fallback"), 0);
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 0, 0), 0);

  // Import is refused in EML mode.
  ASSERT_EQ(Bind_EML(wide(root + "/Inbox/plain.eml")), 0);
}

class EmlExport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    const fs::path self = fs::read_symlink("/proc/self/exe");
    int status = 0;
    writer_output_ = run("VENDREL_EML_EXPORT_DIR='" + dir_->path().string() + "' '" + self.string() +
                             "' --gtest_filter=EmlExportWriter.Write",
                         &status);
    writer_status_ = status;
    lines_ = run("python3 '" + interop_dir + "/eml_export_lines.py' '" + dir_->path().string() + "'", &status);
    python_status_ = status;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(writer_status_, 0) << writer_output_;
    ASSERT_EQ(python_status_, 0) << lines_;
  }

  // The values of one file's field, in order.
  static std::vector<std::string> values(const std::string& path, const std::string& field) {
    std::vector<std::string> found;
    std::istringstream in(lines_);
    for (std::string line; std::getline(in, line);) {
      const size_t a = line.find('\t'), b = line.find('\t', a + 1);
      if (line.substr(0, a) == path && line.substr(a + 1, b - a - 1) == field) found.push_back(line.substr(b + 1));
    }
    return found;
  }
  static std::string value(const std::string& path, const std::string& field) {
    const auto v = values(path, field);
    return v.size() == 1 ? v[0] : "<" + std::to_string(v.size()) + " values>";
  }
  std::string attachment_line(const std::string& name) const {
    const std::string& data = attachment_data().at(name);
    return name + "|" + std::to_string(data.size()) + "|" + sha256(data, dir_->path());
  }

  static TempDir* dir_;
  static std::string writer_output_, lines_;
  static int writer_status_, python_status_;
};
TempDir* EmlExport::dir_ = nullptr;
std::string EmlExport::writer_output_, EmlExport::lines_;
int EmlExport::writer_status_ = -1, EmlExport::python_status_ = -1;

TEST_F(EmlExport, HeadersAndTextInTheBoundCodePage) {
  const std::string f = "Inbox/plain.eml";
  EXPECT_EQ(value(f, "subject"), "RE: Sz\xC5\x91l\xC5\x91 \xC3\xA9s k\xC3\xB6rte");
  EXPECT_EQ(value(f, "from"), "\"Archer, Ann\" <ann@example.org>");
  EXPECT_EQ(value(f, "to"), "B\xC3\xA9la B\xC3\xB3 <bob@example.org>, Cy <cy@example.org>");
  EXPECT_EQ(value(f, "cc"), "Dee <dee@example.org>");
  EXPECT_EQ(value(f, "x-priority"), "4 (low)");
  EXPECT_EQ(value(f, "date"), "2021-03-05 14:07:09");
  EXPECT_EQ(value(f, "type"), "text/plain;iso-8859-2;quoted-printable");
  EXPECT_EQ(value(f, "body"), "Kedves \xC3\x81gnes,\\nl\xC3\xA1ttam a sz\xC5\x91l\xC5\x91t.\\n");
  EXPECT_TRUE(values(f, "defect").empty()) << lines_;
}

TEST_F(EmlExport, AttachmentsAndEmbeddedMessages) {
  const std::string f = "Inbox/with parts.eml";
  EXPECT_EQ(value(f, "subject"), "Outer");
  EXPECT_EQ(value(f, "x-priority"), "2 (high)");
  EXPECT_EQ(value(f, "body"), "See the attachments.\\n");
  EXPECT_EQ(values(f, "attachment"),
            (std::vector<std::string>{attachment_line("report.pdf"), attachment_line("empty.txt"),
                                      attachment_line("tiny.bin")}));
  const std::string inner = f + " > Inner \xE6\x97\xA5\xE6\x9C\xAC";
  EXPECT_EQ(value(inner, "body"), "inner text \xE2\x9C\x93");
  EXPECT_EQ(values(inner, "attachment"), std::vector<std::string>{attachment_line("inner.dat")});
  EXPECT_EQ(value(f + " > Second inner", "body"), "more");
  EXPECT_TRUE(values(f, "defect").empty()) << lines_;
  EXPECT_TRUE(values(inner, "defect").empty()) << lines_;
}

TEST_F(EmlExport, HtmlOnlyMessage) {
  const std::string f = "Inbox/html.eml";
  EXPECT_EQ(value(f, "subject"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(value(f, "type"), "text/html;windows-1251;quoted-printable");
  EXPECT_EQ(value(f, "body"), "<p>\xD0\x94\xD0\xB0</p>");
  EXPECT_TRUE(values(f, "x-priority").empty());  // importance 5 has no X-Priority
}

TEST_F(EmlExport, NumberedItemsAndFallbackNames) {
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(value("Inbox/" + std::to_string(i) + "_Sticky_item.eml", "subject"), "note " + std::to_string(i));
  EXPECT_EQ(value("Inbox/1_Appointment_item.eml", "subject"), "meeting");
  EXPECT_EQ(value("Inbox/1_Task_item.eml", "subject"), "todo");
  EXPECT_FALSE(fs::exists(dir_->path() / "Inbox" / "item.eml"));
  EXPECT_EQ(value("Inbox/Unknown_message_1.eml", "subject"), "first fallback");
  EXPECT_EQ(value("Inbox/Unknown_message_2.eml", "subject"), "second fallback");
}

}  // namespace
