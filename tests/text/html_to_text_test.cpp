#include "text/html_to_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/html_tags.h"

namespace vendrel {
namespace {

using enum html_tag_action;

const std::string crlf = "\r\n";
const std::string rule_text = "\r\n" + std::string(80, '-') + "\r\n";

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

struct tag_case {
  const char* spelling;
  html_tag_action action;
};

// Every spelling of the tag table with its action, in the table's order.
const tag_case tag_cases[] = {
    {"<ABBR", keep}, {"</ABBR>", keep}, {"<ACRONYM", keep}, {"</ACRONYM>", keep_tight},
    {"<ADDRESS", keep}, {"</ADDRESS>", keep_tight}, {"<A ", keep}, {"</A>", keep},
    {"<BASEFONT", keep}, {"<BDO", keep}, {"</BDO>", keep_tight}, {"<BGSOUND", keep}, {"<BIG", keep},
    {"</BIG>", keep}, {"<BLINK", keep}, {"</BLINK>", keep}, {"<BLOCKQUOTE", keep}, {"</BLOCKQUOTE>", keep},
    {"<BODY", keep}, {"<BR", line}, {"<BUTTON", keep}, {"</BUTTON>", keep_tight}, {"<B>", keep},
    {"</B>", keep},
    {"<CAPTION", keep}, {"</CAPTION>", keep_tight}, {"<CENTER", keep}, {"</CENTER>", keep}, {"<CITE", keep},
    {"</CITE>", keep}, {"<CODE", keep}, {"</CODE>", keep},
    {"<DD", keep}, {"</DD>", keep_tight}, {"<DEL", keep}, {"</DEL>", keep}, {"<DFN", keep}, {"</DFN>", keep},
    {"<DIV", keep}, {"</DIV>", keep_tight}, {"<DL", keep}, {"</DL>", keep_tight}, {"<DT", keep},
    {"</DT>", keep_tight},
    {"<EM", keep}, {"</EM>", keep},
    {"<FONT", keep}, {"</FONT>", keep}, {"<FORM", keep}, {"</FORM", keep_tight}, {"<FRAME", keep},
    {"<HEAD", keep}, {"</HEAD>", keep_tight}, {"<HR", rule}, {"<HTML", keep_tight}, {"</HTML>", keep_tight},
    {"<H1", keep}, {"<H2", keep}, {"<H3", keep}, {"<H4", keep}, {"<H5", keep}, {"<H6", keep},
    {"</H1>", paragraph}, {"</H2>", paragraph}, {"</H3>", paragraph}, {"</H4>", paragraph},
    {"</H5>", paragraph}, {"</H6>", paragraph},
    {"<IFRAME", keep}, {"</IFRAME>", keep_tight}, {"<ILAYER", keep}, {"</ILAYER>", keep_tight}, {"<IMG", keep},
    {"<INPUT", keep}, {"<INS", keep}, {"</INS>", keep}, {"<ISINDEX", keep}, {"<I>", keep}, {"</I>", keep},
    {"<KBD", keep}, {"</KBD>", keep}, {"<KEYGEN", keep_tight},
    {"<LABEL", keep}, {"</LABEL>", keep_tight}, {"<LAYER", keep}, {"</LAYER>", keep_tight}, {"<LEGEND", keep},
    {"</LEGEND>", keep_tight}, {"<LI", keep}, {"</LI>", keep_tight},
    {"<MARQUEE", keep}, {"</MARQUEE>", keep},
    {"<NOBR", keep}, {"</NOBR>", keep},
    {"<OL>", keep_tight}, {"</OL>", keep_tight}, {"<OPTION", keep}, {"</OPTION>", keep_tight},
    {"<PLAINTEXT", keep}, {"</PLAINTEXT", keep}, {"<PRE", pre_on}, {"</PRE", pre_off}, {"<P>", paragraph},
    {"<P ", paragraph}, {"</P>", keep},
    {"<Q>", keep}, {"<Q ", keep}, {"</Q>", keep},
    {"<SAMP", keep}, {"</SAMP>", keep}, {"<SMALL", keep}, {"</SMALL>", keep}, {"<SPACER", keep},
    {"<SPAN", keep}, {"</SPAN", keep}, {"<STRIKE", keep}, {"</STRIKE>", keep}, {"<STRONG", keep},
    {"</STRONG>", keep}, {"<SUB", keep}, {"</SUB>", keep}, {"<SUP", keep}, {"</SUP>", keep}, {"<S>", keep},
    {"</S>", keep},
    {"<TABLE>", keep_tight}, {"</TABLE>", keep_tight}, {"<TD", keep}, {"</TD>", keep_tight},
    {"<TEXTAREA", keep}, {"</TEXTAREA>", keep_tight}, {"<TH", keep}, {"</TH>", keep_tight}, {"<TR", keep},
    {"</TR>", keep_tight}, {"<TT", keep}, {"</TT>", keep},
    {"<UL>", keep}, {"</UL>", keep_tight}, {"<U>", keep}, {"</U>", keep},
    {"<VAR", keep}, {"</VAR>", keep},
    {"<WBR>", keep},
};

// What the converter must give for the tag followed by "a b", CR LF, "c";
// after_pre says whether a <PRE> stood before the tag.
std::string expected_after(html_tag_action action, bool after_pre) {
  if (action == off) return "";
  std::string out;
  if (action == line) out = crlf;
  if (action == paragraph) out = crlf + crlf;
  if (action == rule) out = rule_text;
  const bool blanks = action != keep_tight;
  const bool pre = after_pre ? action != pre_off : action == pre_on;
  out += blanks ? "a b" : "ab";
  if (pre) out += crlf;
  return out + "c";
}

TEST(HtmlTags, EverySpellingInBothCasesHasItsAction) {
  for (const tag_case& c : tag_cases) {
    for (bool lower_case : {false, true}) {
      std::string tag = lower_case ? lower(c.spelling) : c.spelling;
      if (tag.back() != '>') tag += ">";
      const std::string text = "a b\r\nc";
      SCOPED_TRACE(tag);
      EXPECT_EQ(html_tag_action_for(tag), c.action);
      EXPECT_EQ(html_to_text(tag + text), expected_after(c.action, false));
      EXPECT_EQ(html_to_text("<PRE>" + tag + text), expected_after(c.action, true));
    }
  }
}

TEST(HtmlTags, TagsOutsideTheTableTurnOutputOff) {
  const char* tags[] = {
      "<SCRIPT>", "<script type=x>", "<STYLE>", "<TITLE>", "<!-- note -->", "<!DOCTYPE html>",
      "<TABLE border=1>", "<Table>", "<tABLE>", "<Br>", "<G>", "<J>", "<R>", "<X>", "<Y>", "<Z>", "<1>",
      "< B>", "</ B>", "<>", "</>", "<Hx>", "<hx>", "<W>", "</BODY>", "</BR>",
  };
  for (const char* tag : tags) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(html_to_text(std::string("<B>k") + tag + "a b"), "k");
  }
}

TEST(HtmlTags, SpellingsMatchAsPrefixesInTableOrder) {
  // "<LI" also matches <LINK>; "<EM" matches <EMBED>; "<B>" is not "<BR";
  // "<A " needs the blank; "<PRE" also matches <PREFIX>.
  EXPECT_EQ(html_tag_action_for("<LINK rel=x>"), keep);
  EXPECT_EQ(html_tag_action_for("<EMBED>"), keep);
  EXPECT_EQ(html_tag_action_for("<BR/>"), line);
  EXPECT_EQ(html_tag_action_for("<B>"), keep);
  EXPECT_EQ(html_tag_action_for("<A>"), off);
  EXPECT_EQ(html_tag_action_for("<A href=x>"), keep);
  EXPECT_EQ(html_tag_action_for("<PREFIX>"), pre_on);
  EXPECT_EQ(html_tag_action_for("<TD colspan=2>"), keep);
  EXPECT_EQ(html_tag_action_for("<P>"), paragraph);
  EXPECT_EQ(html_tag_action_for("<"), off);
  EXPECT_EQ(html_tag_action_for("</"), off);
}

struct text_case {
  std::string html;
  std::string text;
};

void expect_cases(const std::vector<text_case>& cases) {
  for (const text_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.html));
    EXPECT_EQ(html_to_text(c.html), c.text);
  }
}

TEST(HtmlToText, DocumentShapes) {
  expect_cases({
      {"", ""},
      {"Hello world", ""},
      {"<BODY>Hello world</BODY>after", "Hello world"},
      {"<p>one<BR>two</p>", "\r\n\r\none\r\ntwo"},
      {"<P align=center>text", "\r\n\r\ntext"},
      {"<TaBlE>text", ""},
      {"<TD>one two</TD> three", "one twothree"},
      {"<HR>", rule_text},
      {"<hr size=2>x", rule_text + "x"},
      {"<H1>Title</H1>Body", "Title\r\n\r\nBody"},
      {"<B>x<SCRIPT>code</SCRIPT>y<B>z", "xz"},
      {"<B>x<STYLE>p { }</STYLE>y<I>z", "xz"},
      {"<B>x<!-- a comment -->y<B>z", "xz"},
      // A '>' inside a comment ends the "tag"; the rest is dropped with output off.
      {"<B>x<!-- a > b -->y<U>z", "xz"},
      {"<UL><LI>one</LI><LI>two</LI></UL>", "onetwo"},
      {"<html><body><b>bold</b> <i>it</i></body></html>", "bold it"},
  });
}

TEST(HtmlToText, UnclosedTagsAndTheEndOfInput) {
  expect_cases({
      {"<", ""},
      {"<B>ab<", "ab"},
      {"<B>ab</", "ab"},
      {"<B>ab<B", "ab"},  // "<B" alone matches no spelling: off, to the end
      {"<BR", "\r\n"},
      {"<B>a<BR", "a\r\n"},
      // "<I b<B>" is one tag up to its '>' and matches nothing: off.
      {"<B>a<I b<B>c", "a"},
  });
  EXPECT_EQ(html_to_text(std::string_view("<B>x\0y", 6)), "x");
}

TEST(HtmlToText, Entities) {
  expect_cases({
      {"<B>&lt;", "<"},          {"<B>&#60;", "<"},     {"<B>&gt;", ">"},       {"<B>&#62;", ">"},
      {"<B>&amp;", "&"},         {"<B>&#38;", "&"},     {"<B>&nbsp;", " "},     {"<B>&quot;", "\""},
      {"<B>&#34;", "\""},        {"<B>&copy;", "[Copyright]"},                  {"<B>&#169;", "[Copyright]"},
      {"<B>&reg;", "[Registered]"},                     {"<B>&#174;", "[Registered]"},
      {"<B>&trade;", "[Trademark]"},                    {"<B>&#153;", "[Trademark]"},
      {"<B>&amp;&copy;</B>", "&[Copyright]"},
      // Without ';' the next character is taken as the terminator.
      {"<B>&ltx", "<"},          {"<B>&amp b", "&b"},   {"<B>&nbspX", " "},     {"<B>&trade!y", "[Trademark]y"},
      // At the very end of the input, nothing is left to consume.
      {"<B>&amp", "&"},          {"<B>&lt", "<"},       {"<B>a&", "a"},
      // Names are prefixes: a longer number or name keeps its tail.
      {"<B>&#1690;", "[Copyright];"},                   {"<B>&regular", "[Registered]lar"},
      // Unknown entities lose only the '&'.
      {"<B>&foo;", "foo;"},      {"<B>&#65;", "#65;"},  {"<B>&AMP;", "AMP;"},   {"<B>&;", ";"},
      {"<B>& b", "& b"},         {"<B>a&<BR>b", "a\r\nb"},
      // With output off the '&' goes and the rest is dropped as text.
      {"&amp;<B>x", "x"},        {"x &lt; y<B>z", "z"},
  });
}

TEST(HtmlToText, NonBreakingSpaceIgnoresTheBlankSwitch) {
  expect_cases({
      {"<TD>x</TD> y", "xy"},
      {"<TD>x</TD>&nbsp;y", "x y"},
      {"<TD>x</TD>& y", "x& y"},
  });
}

TEST(HtmlToText, LineBreaksAndBlanks) {
  expect_cases({
      {"<PRE>a\r\nb</PRE>", "a\r\nb"},
      {"<B>a\r\nb", "ab"},
      {"<PRE>a\r\n\r\nb</PRE>c\r\nd", "a\r\n\r\nbcd"},
      {"<B>a\nb", "a\nb"},
      {"<PRE>a\nb", "a\nb"},
      {"<B>a\tb", "a\tb"},
      {"<B>a   b", "a   b"},
      {"<TABLE>a b<P>c d", "ab\r\n\r\nc d"},
      {"<B>a\r", "a"},
      // A CR without its LF takes nothing else with it.
      {"<B>a\r<BR>b", "a\r\nb"},
      {"<B>a\rb", "ab"},
      {"<PRE>a\rb", "a\r\nb"},
      {"<B>a\r&amp;b", "a&b"},
  });
}

TEST(HtmlToText, BytesAreCopiedUnchanged) {
  const std::string html = "<B>caf\xE9 \x80\xFF";
  EXPECT_EQ(html_to_text(html), "caf\xE9 \x80\xFF");
}

TEST(HtmlToText, OutputLongerThanTwiceTheInputGrowsTheBuffer) {
  // A rule is 84 bytes for a 4-byte tag, "[Registered]" 12 for 5.
  std::string html, text;
  for (int i = 0; i < 20000; ++i) {
    html += "<HR>";
    text += rule_text;
  }
  html += "<B>";
  for (int i = 0; i < 20000; ++i) {
    html += "&reg;x";
    text += "[Registered]x";
  }
  EXPECT_EQ(html_to_text(html), text);
  EXPECT_EQ(html_to_text("<HR>"), rule_text);
}

TEST(HtmlToText, LargeDocument) {
  std::string html = "<BODY>", text;
  for (int i = 0; i < 100000; ++i) {
    html += "<P>line " + std::to_string(i) + " &amp; more<BR>";
    text += "\r\n\r\nline " + std::to_string(i) + " & more\r\n";
  }
  EXPECT_EQ(html_to_text(html), text);
}

TEST(HtmlToText, WideInputIsMadeEightBitInTheCodePage) {
  const std::u16string html = u"<B>caf\u00e9 &amp; t\u00e9";
  EXPECT_EQ(html_to_text(html, 1252), "caf\xE9 & t\xE9");
  EXPECT_EQ(html_to_text(html, 65001), "caf\xC3\xA9 & t\xC3\xA9");
  EXPECT_EQ(html_to_text(std::u16string(u"<B>x\0y", 6), 1252), "x");
  EXPECT_EQ(html_to_text(std::u16string(), 1252), "");
}

}  // namespace
}  // namespace vendrel
