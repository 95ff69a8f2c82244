// Message bodies written through the shared library, read by the
// independent readers: libpff's pypff, pst-extractor and readpst must show
// the plain and HTML bodies, pypff and pst-extractor the RTF out of its
// compressed-RTF container. (pypff's get_rtf_body and readpst run their LZFu
// decompressor over every container and cannot take the uncompressed form
// apart: pypff's RTF is read from the container property as pypff reads it,
// and of readpst's rtf-body.rtf attachment only the size is right.) Bodies of
// 0 bytes, 1 KiB, 100 KiB and 5 MiB, with text beyond ASCII, in a Unicode
// file written through the wide calls and an ANSI file written through the
// narrow ones; plain bodies given or derived from the HTML and the RTF; a
// Cyrillic HTML body bound with code page 1251 (in the ANSI file, whose
// 8-bit strings are in code page 1252, its letters become "?").
// A reader that is not installed skips its test (CI installs them all).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "interop_support.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;

using vendrel::test::TempDir;
using vendrel::test::utf16;
using vendrel::test::utf8;

std::u16string repeated(const std::u16string& unit, size_t size) {
  std::u16string out;
  while (out.size() < size) out += unit;
  out.resize(size);
  // No CR without its LF at the end: mail text (readpst) has no lone CR.
  if (!out.empty() && out.back() == u'\r') out.back() = u'.';
  return out;
}

enum class body_kind { plain, html, rtf };

// One message: what is bound and what the readers must show.
struct body_message {
  std::string subject;
  body_kind kind = body_kind::plain;
  uint32_t code_page = 1252;
  std::optional<std::u16string> plain;  // bound plain body
  std::u16string html;                  // bound HTML body
  std::string rtf;                      // bound RTF (Base64-encoded when bound)
  std::u16string shown_plain;           // the plain body a reader shows
  std::optional<std::u16string> shown_html;  // the HTML a reader shows, when not the bound one

  std::u16string html_shown() const { return shown_html ? *shown_html : html; }
};

// What an ANSI file in code page 1252 holds of a Cyrillic text: a "?" for
// each letter it has no byte for.
std::u16string in_1252(std::u16string text) {
  for (char16_t& c : text)
    if (c >= 0x400 && c <= 0x4FF) c = u'?';
  return text;
}

const size_t sizes[] = {0, 1024, 100 * 1024, 5 * 1024 * 1024};

std::vector<body_message> messages_for(bool unicode) {
  // Texts beyond ASCII; the ANSI file's are in code page 1252.
  const std::u16string unit = unicode ? u"Gr\u00fc\u00dfe \u2713 \u65e5\u672c\u8a9e \u041f\u0440\u0438\u0432\u0435\u0442 line\r\n"
                                      : u"Gr\u00fc\u00dfe caf\u00e9 na\u00efve line\r\n";
  const std::u16string paragraph = unicode ? u"Gr\u00fc\u00dfe \u2713 \u65e5\u672c\u8a9e &amp; \u041f\u0440\u0438"
                                           : u"Gr\u00fc\u00dfe caf\u00e9 &amp; na\u00efve";
  const std::u16string paragraph_text = unicode ? u"Gr\u00fc\u00dfe \u2713 \u65e5\u672c\u8a9e & \u041f\u0440\u0438"
                                                : u"Gr\u00fc\u00dfe caf\u00e9 & na\u00efve";
  std::vector<body_message> all;
  for (size_t size : sizes) {
    const std::string n = std::to_string(size);
    body_message plain;
    plain.subject = "plain " + n;
    plain.plain = repeated(unit, size);
    plain.shown_plain = *plain.plain;
    all.push_back(plain);

    body_message html;
    html.subject = "html " + n;
    html.kind = body_kind::html;
    if (size) html.html = u"<HTML><BODY>";
    while (html.html.size() < size) {
      html.html += u"<P>" + paragraph + u"</P>";
      html.shown_plain += u"\r\n\r\n" + paragraph_text;
    }
    all.push_back(html);

    body_message rtf;
    rtf.subject = "rtf " + n;
    rtf.kind = body_kind::rtf;
    if (size) rtf.rtf = R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}}\pard\f0\fs20 )";
    while (rtf.rtf.size() < size) {
      rtf.rtf += R"(Gr\'fc\'dfe caf\'e9 {\b line}\par )";
      rtf.shown_plain += u"Gr\u00fc\u00dfe caf\u00e9 line\n";
    }
    if (size) rtf.rtf += "}";
    all.push_back(rtf);
  }

  body_message html_and_plain;
  html_and_plain.subject = "html with plain";
  html_and_plain.kind = body_kind::html;
  html_and_plain.html = u"<HTML><BODY><B>" + paragraph + u"</B></BODY></HTML>";
  html_and_plain.plain = u"The plain text: " + unit;
  html_and_plain.shown_plain = *html_and_plain.plain;
  all.push_back(html_and_plain);

  body_message rtf_and_plain;
  rtf_and_plain.subject = "rtf with plain";
  rtf_and_plain.kind = body_kind::rtf;
  rtf_and_plain.rtf = R"({\rtf1\ansi\ansicpg1252 Rich caf\'e9\par})";
  rtf_and_plain.plain = u"The plain text: " + unit;
  rtf_and_plain.shown_plain = *rtf_and_plain.plain;
  all.push_back(rtf_and_plain);

  body_message cyrillic;
  cyrillic.subject = "cyrillic html";
  cyrillic.kind = body_kind::html;
  cyrillic.code_page = 1251;
  cyrillic.html = u"<HTML><BODY><P>\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440!</P></BODY></HTML>";
  cyrillic.shown_plain = u"\r\n\r\n\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440!";
  if (!unicode) {
    // The bound code page does not change an ANSI file's code page (1252
    // here; files in 1251 are written in ansi_text_test.cpp).
    cyrillic.shown_plain = in_1252(cyrillic.shown_plain);
    cyrillic.shown_html = in_1252(cyrillic.html);
  }
  all.push_back(cyrillic);
  return all;
}

int32_t create(const body_message& m, bool unicode) {
  const std::string rtf64 = base64(m.rtf);
  if (unicode) {
    Bind_codepage(m.code_page);
    Bind_subj(wide(utf16(m.subject)), 0);
    if (m.plain) Bind_body(wide(*m.plain));
    if (m.kind == body_kind::html) Bind_html_body(wide(m.html));
    if (m.kind == body_kind::rtf) Bind_rtf_body(rtf64.c_str());
    return CreateMessage(wide(u"IPM.Note"), 0, 0);
  }
  Bind_codepageA(m.code_page);
  Bind_subjA(m.subject.c_str(), 0);
  // Narrow strings from a Linux host are UTF-8, whatever the bound code page.
  if (m.plain) Bind_bodyA(utf8(*m.plain).c_str());
  if (m.kind == body_kind::html) Bind_html_bodyA(utf8(m.html).c_str());
  if (m.kind == body_kind::rtf) Bind_rtf_bodyA(rtf64.c_str());
  return CreateMessageA("IPM.Note", 0, 0);
}

std::optional<std::string> file_bytes(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Where two texts part, for a short failure message.
std::string first_difference(const std::string& got, const std::string& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  auto around = [&](const std::string& s) { return testing::PrintToString(s.substr(i, 40)); };
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) + ", first difference at " +
         std::to_string(i) + ": shown " + around(got) + ", expected " + around(want);
}

void expect_text(const std::optional<std::string>& shown, const std::string& expected, const std::string& what) {
  if (!shown) {
    ADD_FAILURE() << what << ": not shown";
    return;
  }
  if (*shown != expected) ADD_FAILURE() << what << ": " << first_difference(*shown, expected);
}

class BodyReaders : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "bodies.log").string().c_str());
    for (bool unicode : {false, true}) {
      written& w = files_[unicode];
      w.path = dir_->path() / (unicode ? "unicode.pst" : "ansi.pst");
      w.messages = messages_for(unicode);
      if (unicode)
        ASSERT_EQ(CreatePst(wide(utf16(w.path.string())), wide(u"Bodies")), 0);
      else
        ASSERT_EQ(CreatePstA(w.path.string().c_str(), "Bodies"), 0);
      ASSERT_EQ(unicode ? CreateFolder(wide(u""), wide(u"Inbox"), wide(u"IPF.Note")) : CreateFolderA("", "Inbox", "IPF.Note"), 0);
      for (const body_message& m : w.messages) ASSERT_EQ(create(m, unicode), 0) << m.subject;
      ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  struct written {
    std::filesystem::path path;
    std::vector<body_message> messages;
  };
  const written& file() const { return files_[GetParam()]; }

  // Runs the dump script for a reader; returns the directory of body files.
  std::filesystem::path dump(const std::string& reader) {
    const auto out = dir_->path() / (reader + (GetParam() ? "-unicode" : "-ansi"));
    std::filesystem::remove_all(out);
    const std::string command =
        reader == "pst-extractor"
            ? "node '" + interop_dir + "/bodies_pst_extractor.js' " + quoted(file().path) + " " + quoted(out)
            : "/usr/bin/python3 '" + interop_dir + "/bodies_dump.py' " + reader + " " + quoted(file().path) + " " +
                  quoted(out);
    EXPECT_EQ(std::system((command + " 2>&1").c_str()), 0) << command;
    return out;
  }

  static TempDir* dir_;
  static written files_[2];
};
TempDir* BodyReaders::dir_ = nullptr;
BodyReaders::written BodyReaders::files_[2];

TEST_P(BodyReaders, PypffShowsThePlainHtmlAndRtfBodies) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  const auto out = dump("pypff");
  for (const body_message& m : file().messages) {
    SCOPED_TRACE(m.subject);
    expect_text(file_bytes(out / (m.subject + ".plain")), utf8(m.shown_plain), "plain body");
    if (m.kind == body_kind::html) expect_text(file_bytes(out / (m.subject + ".html")), utf8(m.html_shown()), "HTML body");
    if (m.kind == body_kind::rtf) expect_text(file_bytes(out / (m.subject + ".rtf")), m.rtf, "RTF body");
    if (m.kind != body_kind::html) {
      EXPECT_FALSE(file_bytes(out / (m.subject + ".html"))) << "an HTML body";
    }
    if (m.kind != body_kind::rtf) {
      EXPECT_FALSE(file_bytes(out / (m.subject + ".rtf"))) << "an RTF body";
    }
  }
}

// readpst writes mail: its text parts have LF line ends, and a message
// with an empty body has no text part.
std::string as_mail_text(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

TEST_P(BodyReaders, ReadpstShowsThePlainAndHtmlBodiesAndTheRtfSize) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  const auto out = dump("readpst");
  for (const body_message& m : file().messages) {
    SCOPED_TRACE(m.subject);
    const auto plain = file_bytes(out / (m.subject + ".plain"));
    if (!m.shown_plain.empty() || plain) expect_text(plain, as_mail_text(utf8(m.shown_plain)), "plain body");
    if (m.kind == body_kind::html && !m.html.empty())
      expect_text(file_bytes(out / (m.subject + ".html")), as_mail_text(utf8(m.html_shown())), "HTML body");
    if (m.kind == body_kind::rtf) {
      const auto rtf = file_bytes(out / (m.subject + ".rtf"));
      ASSERT_TRUE(rtf) << "no RTF attachment";
      EXPECT_EQ(rtf->size(), m.rtf.size());
    }
  }
}

TEST_P(BodyReaders, PstExtractorShowsThePlainHtmlAndRtfBodies) {
  if (!available("node --version") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  const auto out = dump("pst-extractor");
  // pst-extractor shows an empty body as none.
  auto expect_shown = [&](const std::string& name, const std::string& expected, const std::string& what) {
    const auto shown = file_bytes(out / name);
    if (expected.empty()) {
      EXPECT_FALSE(shown) << what;
    } else {
      expect_text(shown, expected, what);
    }
  };
  for (const body_message& m : file().messages) {
    SCOPED_TRACE(m.subject);
    expect_shown(m.subject + ".plain", utf8(m.shown_plain), "plain body");
    expect_shown(m.subject + ".html", m.kind == body_kind::html ? utf8(m.html_shown()) : "", "HTML body");
    expect_shown(m.subject + ".rtf", m.kind == body_kind::rtf ? m.rtf : "", "RTF body");
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, BodyReaders, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
