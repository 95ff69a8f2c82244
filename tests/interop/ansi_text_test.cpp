// The 8-bit strings of an ANSI file written on Linux are in a Windows code
// page, not in the host's UTF-8: folder names, subjects, plain bodies (given
// and derived from HTML), senders and recipients written through the narrow
// and wide calls show as the same characters in pypff, readpst, pffexport
// and pst-extractor once each is told the file's code page: 1252 by
// default, 1251 when VENDREL_ANSI_CODEPAGE says so.
#include <gtest/gtest.h>

#include <cstdlib>
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

struct texts {
  const char* env;       // VENDREL_ANSI_CODEPAGE, or null for the default
  std::string codepage;  // Python's name of it
  std::string folder, subject, body, html, html_text, sender, recipient, wide_subject;
};

texts western() {
  return {nullptr,
          "cp1252",
          "Posteingang \xC3\x84\xC3\x85",
          "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 100",
          "Z\xC3\xBCrich \xE2\x80\x93 na\xC3\xAFve",
          "<p>Caf\xC3\xA9 cr\xC3\xA8me</p>",
          "Caf\xC3\xA9 cr\xC3\xA8me",
          "Ren\xC3\xA9 M\xC3\xBCller",
          "Bj\xC3\xB6rn \xC3\x85str\xC3\xB6m",
          "Wide \xC3\xA9t\xC3\xA9"};
}

texts cyrillic() {
  return {"1251",
          "cp1251",
          "\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5",
          "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80",
          "\xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82 \xD0\xBF\xD0\xB8\xD1\x81\xD1\x8C\xD0\xBC\xD0\xB0",
          "<p>\xD0\x94\xD0\xBE\xD0\xB1\xD1\x80\xD1\x8B\xD0\xB9 \xD0\xB4\xD0\xB5\xD0\xBD\xD1\x8C</p>",
          "\xD0\x94\xD0\xBE\xD0\xB1\xD1\x80\xD1\x8B\xD0\xB9 \xD0\xB4\xD0\xB5\xD0\xBD\xD1\x8C",
          "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD",
          "\xD0\x9F\xD1\x91\xD1\x82\xD1\x80 \xD0\xA1\xD0\xB8\xD0\xB4\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB2",
          "\xD0\xA8\xD0\xB8\xD1\x80\xD0\xBE\xD0\xBA\xD0\xB0\xD1\x8F"};
}

// Writes the file through the narrow calls (and one wide message).
void write(const texts& t, const std::filesystem::path& path) {
  if (t.env) setenv("VENDREL_ANSI_CODEPAGE", t.env, 1);
  else unsetenv("VENDREL_ANSI_CODEPAGE");
  BClearA();  // the narrow record takes the file's code page
  BClear();
  ASSERT_EQ(CreatePstA(path.string().c_str(), "Text"), 0);
  ASSERT_EQ(CreateFolderA("", t.folder.c_str(), "IPF.Note"), 0);
  ASSERT_EQ(Bind_subjA(t.subject.c_str(), 0), 0);
  ASSERT_EQ(Bind_bodyA(t.body.c_str()), 0);
  ASSERT_EQ(Bind_senderA("sender@example.org", t.sender.c_str(), "SMTP"), 0);
  ASSERT_EQ(Bind_recipientA("to@example.org", t.recipient.c_str(), "SMTP", 1, 0), 0);
  ASSERT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
  BClearA();
  ASSERT_EQ(Bind_subjA("HTML only", 0), 0);
  ASSERT_EQ(Bind_html_bodyA(t.html.c_str()), 0);
  ASSERT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
  BClearA();
  ASSERT_EQ(Bind_subj(wide(t.wide_subject), 0), 0);
  ASSERT_EQ(Bind_body(wide(t.body)), 0);
  ASSERT_EQ(CreateMessage(wide("IPM.Note"), 0, 0), 0);
  BClear();
  ASSERT_EQ(CommitPstA(), 0);
  unsetenv("VENDREL_ANSI_CODEPAGE");
}

std::set<std::string> lines_of(const std::string& out) {
  std::set<std::string> lines;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) lines.insert(l);
  return lines;
}

class AnsiText : public ::testing::TestWithParam<bool> {
 protected:
  texts t() const { return GetParam() ? cyrillic() : western(); }
  TempDir dir;
};

TEST_P(AnsiText, EveryReaderShowsTheCharactersThatWereBound) {
  const texts x = t();
  const auto path = dir / "text-ansi.pst";
  SetLogFile((dir / "text.log").string().c_str());
  write(x, path);
  const std::vector<std::string> expected = {
      "folder\t" + x.folder,   "subject\t" + x.subject, "body\t" + x.body,          "sender\t" + x.sender,
      "recipient\t" + x.recipient, "body\t" + x.html_text, "subject\t" + x.wide_subject,
  };
  bool any = false;
  for (const std::string reader : {"pypff", "readpst", "pffexport"}) {
    const std::string probe = reader == "pypff" ? "/usr/bin/python3 -c 'import pypff'" : reader + " -V";
    if (!available(probe)) continue;
    any = true;
    run_result r = run("/usr/bin/python3 '" + interop_dir + "/ansi_text_lines.py' " + reader + " " + x.codepage + " " +
                       quoted(path) + " " + quoted(dir.path()));
    ASSERT_EQ(r.status, 0) << r.command;
    const std::set<std::string> shown = lines_of(r.out);
    for (const std::string& e : expected) {
      // pypff has no call that reads a message's recipients (pffexport, its
      // sibling of the same library, shows them).
      if (reader == std::string("pypff") && e.rfind("recipient\t", 0) == 0) continue;
      EXPECT_TRUE(shown.count(e)) << reader << " does not show: " << e << "\n" << r.out;
    }
  }
  // pst-extractor decodes a message's 8-bit strings by its PidTagMessageCodepage;
  // strings of objects without one (folders, recipient rows) it decodes as UTF-8,
  // its own limit, so only the message texts are compared there.
  if (available("node --version") && std::filesystem::exists(interop_dir + "/node_modules/pst-extractor")) {
    any = true;
    run_result r = run("node '" + interop_dir + "/pst_extractor_lines.js' " + quoted(path));
    ASSERT_EQ(r.status, 0) << r.command;
    for (const std::string& text : {x.subject, x.body, x.html_text, x.sender, x.wide_subject})
      EXPECT_NE(r.out.find(text), std::string::npos) << "pst-extractor does not show: " << text << "\n" << r.out;
  }
  if (!any) GTEST_SKIP() << "no reader is installed";
}

INSTANTIATE_TEST_SUITE_P(CodePages, AnsiText, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Cp1251" : "Cp1252"; });

}  // namespace
