// Truncated and malformed inputs for the HTML converter and the RTF reader.
// Each input is copied into a heap block of exactly its size and handed over
// as a view of that block, with text behind it in a second view: a read past
// the end shows up under the sanitizer build as an overflow, and in any
// build as text from behind the end in the output.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "text/html_to_text.h"
#include "text/rtf_reader.h"

namespace vendrel {
namespace {

// An exact-size copy of the input; the view never includes a terminator.
class exact_block {
 public:
  explicit exact_block(const std::string& text) : size_(text.size()), bytes_(new char[text.size() ? text.size() : 1]) {
    std::memcpy(bytes_.get(), text.data(), text.size());
  }
  std::string_view view() const { return std::string_view(bytes_.get(), size_); }

 private:
  size_t size_;
  std::unique_ptr<char[]> bytes_;
};

struct cut_case {
  std::string input;
  std::string output;
};

TEST(MalformedHtml, TruncatedInputsEndInsideTheirBuffer) {
  const cut_case cases[] = {
      {"<", ""},
      {"<B>text<", "text"},
      {"<B>text</", "text"},
      {"<B>text<BR", "text\r\n"},
      {"<B>text<HR", "text\r\n" + std::string(80, '-') + "\r\n"},
      {"<B>text<P attr='unterminated", "text\r\n\r\n"},
      {"<B>text<!-- comment", "text"},
      {"<B>text&", "text"},
      {"<B>text&a", "texta"},
      {"<B>text&am", "textam"},
      {"<B>text&amp", "text&"},
      {"<B>text&#16", "text#16"},
      {"<B>text&#169", "text[Copyright]"},
      {"<B>text&trade", "text[Trademark]"},
      {"<B>text\r", "text"},
      {"<PRE>text\r", "text\r\n"},
      {"<B>text &", "text "},
      {"&", ""},
      {"&amp", ""},
      {"\r", ""},
  };
  for (const cut_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    // The same bytes followed by more text in a larger block: the view ends
    // before the extra text, which must never appear.
    const exact_block exact(c.input);
    EXPECT_EQ(html_to_text(exact.view()), c.output);
    const std::string padded = c.input + "<B>BEYOND&amp;>";
    EXPECT_EQ(html_to_text(std::string_view(padded).substr(0, c.input.size())), c.output);
  }
}

TEST(MalformedHtml, EveryPrefixOfADocumentConverts) {
  const std::string html =
      "<HTML><BODY><P class=x>Para &amp; &copy; &#153; &nbsp;</P><PRE>a\r\nb</PRE><TD>c d</TD> e<HR>"
      "<BR><!-- x --><SCRIPT>y</SCRIPT><B>&lt;&gt;&quot;&reg;&trade;</B></BODY></HTML>";
  const std::string full = html_to_text(html);
  for (size_t n = 0; n <= html.size(); ++n) {
    const exact_block exact(html.substr(0, n));
    const std::string text = html_to_text(exact.view());
    // No input byte gives more than a rule's 84 bytes.
    EXPECT_LE(text.size(), 84 * n) << n;
  }
  EXPECT_FALSE(full.empty());
}

TEST(MalformedRtf, TruncatedAndMalformedInputsEndInsideTheirBuffer) {
  struct rtf_cut_case {
    std::string input;
    std::string output;
    rtf_result result;
  };
  const rtf_cut_case cases[] = {
      {"\\", "", rtf_result::ok},
      {"text\\", "text", rtf_result::ok},
      {"{text\\", "text", rtf_result::unmatched_brace},
      {"text\\par", "text\n", rtf_result::ok},
      {"text\\li-", "text", rtf_result::ok},
      {"text\\li12", "text", rtf_result::ok},
      {"text\\'", "text", rtf_result::ok},
      {"text\\'4", "text", rtf_result::ok},
      {"text\\'4}", "text", rtf_result::stack_underflow},
      {"{{{text", "text", rtf_result::unmatched_brace},
      {"text}}}", "text", rtf_result::stack_underflow},
      {"{a}}{b}", "a", rtf_result::stack_underflow},
      {"\\bin", "", rtf_result::ok},
      {"\\bin5", "", rtf_result::ok},
      {"\\bin5 ab", "ab", rtf_result::ok},
      {"\\bin2147483647 ab", "ab", rtf_result::ok},
      {"\\bin99999999999999999999999999 ab", "ab", rtf_result::ok},
      {"\\bin-99999999999999999999 ab", "ab", rtf_result::ok},
      {"{\\bin4294967296 ab}", "ab}", rtf_result::unmatched_brace},
      {"{\\*", "", rtf_result::unmatched_brace},
      {"{\\*\\", "", rtf_result::unmatched_brace},
      {"\\" + std::string(10000, 'a'), "", rtf_result::ok},
      {"\\li" + std::string(10000, '7'), "", rtf_result::ok},
  };
  for (const rtf_cut_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input.substr(0, 40)));
    const exact_block exact(c.input);
    const rtf_text out = rtf_to_text(exact.view());
    EXPECT_EQ(out.text, c.output);
    EXPECT_EQ(out.result, c.result);
    const std::string padded = c.input + " BEYOND}";
    EXPECT_EQ(rtf_to_text(std::string_view(padded).substr(0, c.input.size())).text, c.output);
  }
}

TEST(MalformedRtf, EveryPrefixOfADocumentReads) {
  const std::string rtf =
      R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fswiss Arial;}}{\*\generator x;}\pard\b Bold\b0\par )"
      R"(caf\'e9 \bin3 {}\ {\pict\bin2 }}}\'41\tab\cell\row\{\}\\ end\par})";
  for (size_t n = 0; n <= rtf.size(); ++n) {
    const exact_block exact(rtf.substr(0, n));
    const rtf_text out = rtf_to_text(exact.view());
    EXPECT_LE(out.text.size(), n) << n;
  }
  EXPECT_EQ(rtf_to_text(rtf).result, rtf_result::ok);
}

}  // namespace
}  // namespace vendrel
