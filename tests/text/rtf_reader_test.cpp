#include "text/rtf_reader.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace vendrel {
namespace {

struct rtf_case {
  std::string rtf;
  std::string text;
  rtf_result result = rtf_result::ok;
};

void expect_cases(const std::vector<rtf_case>& cases) {
  for (const rtf_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.rtf));
    const rtf_text out = rtf_to_text(c.rtf);
    EXPECT_EQ(out.text, c.text);
    EXPECT_EQ(out.result, c.result);
  }
}

TEST(RtfReader, Documents) {
  expect_cases({
      {"", ""},
      {R"({\rtf1 Hello\par World})", "Hello\nWorld"},
      {R"({\*\unknownword skipped}visible)", "visible"},
      {R"({\rtf1{\fonttbl{\f0\fswiss Arial;}}Text})", "Text"},
      {R"({\rtf1\ansi\ansicpg1251\deff0\deflang1049{\fonttbl{\f0\fswiss\fcharset204{\*\fname Arial;}Arial CYR;}})"
       R"(\viewkind4\uc1\pard\f0\fs20\par})",
       "\n"},
      {"{\\rtf1\\ansi\r\n{\\info{\\title T}{\\author A}}\r\nfirst\\par\r\nsecond\\par\r\n}", "first\nsecond\n"},
      {"caf\xE9", "caf\xE9"},
  });
}

TEST(RtfReader, ControlWordsAndParameters) {
  expect_cases({
      {R"(\b1 x)", "x"},
      {R"(\li-720 x)", "x"},
      {R"(\fs20x)", "x"},     // a non-blank delimiter stays in the text
      {R"(\fs20 x)", "x"},    // a blank delimiter belongs to the word
      {R"(\fs20  x)", " x"},  // only one blank does
      {R"(\par5x)", "\nx"},
      {R"(a\par\par b)", "a\n\nb"},
      {R"(a\par)", "a\n"},
      {R"(a\tab b)", "a\tb"},
      {R"(a\cell b\row c)", "a b\nc"},
      {R"(\ldblquote q\rdblquote )", "\"q\""},
      {R"(\{\}\\)", "{}\\"},
      {"a\\\nb", "a\nb"},    // backslash line feed
      {"a\\\r\nb", "a\nb"},  // backslash CR LF: one break
      {"a\r\nb\nc\rd", "abcd"},
      {R"(a\line b)", "ab"},  // not a known word
      {R"(\foo bar)", "bar"},
      {R"(a\~b\-c)", "abc"},  // unknown control symbols
      {R"(a\)", "a"},
      {R"(\bold b)", "b"},  // "bold" is not "b"
  });
}

TEST(RtfReader, OverlongWordsAndParameters) {
  const std::string letters(40, 'q');
  expect_cases({
      {"\\" + letters + " x", "x"},
      {"\\" + std::string(30, 'q') + "5 x", "x"},
      {"\\li" + std::string(40, '9') + " x", "x"},
  });
  rtf_reader reader;
  std::string out;
  EXPECT_EQ(reader.read("\\li" + std::string(40, '9') + " ", out), rtf_result::ok);
  EXPECT_EQ(reader.property(rtf_property::left_indent), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(reader.read("\\li-" + std::string(40, '9') + " ", out), rtf_result::ok);
  EXPECT_EQ(reader.property(rtf_property::left_indent), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(reader.read("\\li-2147483648 ", out), rtf_result::ok);
  EXPECT_EQ(reader.property(rtf_property::left_indent), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(out, "");
}

TEST(RtfReader, HexCharacters) {
  expect_cases({
      {R"(\'e9)", "\xE9"},
      {R"(\'E9)", "\xE9"},
      {R"(\'4a\'4B)", "JK"},
      {R"(\'00)", std::string(1, '\0')},
      {"\\'e\r\n9", "\xE9"},
      {R"(a\'e9b)", "a\xE9" "b"},
      {R"(a\'zz)", "a", rtf_result::invalid_hex},
      {R"(a\'g0)", "a", rtf_result::invalid_hex},
      {R"(a\' 9)", "a", rtf_result::invalid_hex},
      {R"(a\'4)", "a"},                                  // cut off: the half byte is dropped
      {R"({a\'4)", "a", rtf_result::unmatched_brace},
      {R"({\fonttbl \'zz}ok)", "ok"},                    // not read inside a skipped destination
  });
}

TEST(RtfReader, BinaryRuns) {
  expect_cases({
      {R"(\bin3 a}b c)", "a}b c"},
      {R"({\pict\bin4 {}\x}z)", "z"},
      {R"(\bin2 \\x)", "\\\\x"},
      {"\\bin2 \r\nx", "\r\nx"},
      {"\\bin1 " + std::string(1, '\0') + "x", std::string("\0x", 2)},
      {R"(\bin3{}}x)", "{}}x"},  // a non-blank delimiter is the first byte
      {R"(\bin0 x)", "x"},
      {R"(\bin x)", "x"},
      {R"(\bin-5 x)", "x"},
      {R"(\bin10 abc)", "abc"},
      {R"({\bin10 abc)", "abc", rtf_result::unmatched_brace},
      {R"({\*\foo\bin2 }}x}y)", "y"},
  });
}

TEST(RtfReader, GroupsAndDestinations) {
  expect_cases({
      {R"({a{b{c}d}e})", "abcde"},
      {R"({\info{\title T}{\author A}}Body)", "Body"},
      {R"({{\fonttbl x}y})", "y"},
      {R"({\fonttbl{\f0 a}{\f1 b}\par}c)", "c"},
      {R"(\*\par x)", "\nx"},     // a known word clears the flag
      {R"(\*\foo bar)", ""},      // an unknown one starts a skipped destination
      {R"(\*x\foo bar)", "x"},   // the flag waits for the next word
      {R"({\*\foo a{b}c}d)", "d"},
      {R"(\*\foo\*\bar x)", ""},
      {R"({\private1 hidden}a{\private2 shown})", "ashown"},
  });
}

TEST(RtfReader, UnbalancedBraces) {
  expect_cases({
      {"}", "", rtf_result::stack_underflow},
      {"a}b", "a", rtf_result::stack_underflow},
      {"{}}", "", rtf_result::stack_underflow},
      {"{a", "a", rtf_result::unmatched_brace},
      {"{{a}", "a", rtf_result::unmatched_brace},
      {"{a\\", "a", rtf_result::unmatched_brace},
      {R"({\rtf1 Hello\par World)", "Hello\nWorld", rtf_result::unmatched_brace},
  });
}

TEST(RtfReader, DeepNesting) {
  const std::string rtf = std::string(100000, '{') + "x" + std::string(100000, '}');
  expect_cases({{rtf, "x"}});
}

TEST(RtfReader, EveryDestinationSkipsItsGroup) {
  const char* destinations[] = {
      "author",  "buptim",   "colortbl", "comment",  "creatim", "doccomm", "fonttbl", "footer",  "footerf",
      "footerl", "footerr",  "footnote", "ftncn",    "ftnsep",  "ftnsepc", "header",  "headerf", "headerl",
      "headerr", "info",     "keywords", "operator", "pict",    "printim", "private1", "revtim", "rxe",
      "stylesheet", "subject", "tc",     "title",    "txe",     "xe",
  };
  for (const char* word : destinations) {
    SCOPED_TRACE(word);
    const rtf_text out = rtf_to_text(std::string("a{\\") + word + " skipped\\par}b");
    EXPECT_EQ(out.text, "ab");
    EXPECT_EQ(out.result, rtf_result::ok);
  }
}

TEST(RtfReader, PropertiesWriteNoText) {
  const char* properties[] = {
      "b",      "u",       "i",        "li",       "ri",     "fi",     "cols",   "sbknone", "sbkcol",
      "sbkeven", "sbkodd", "sbkpage",  "pgnx",     "pgny",   "pgndec", "pgnucrm", "pgnlcrm", "pgnucltr",
      "pgnlcltr", "qc",    "ql",       "qr",       "qj",     "paperw", "paperh", "margl",  "margr",
      "margt",  "margb",   "pgnstart", "facingp",  "landscape",
  };
  for (const char* word : properties) {
    SCOPED_TRACE(word);
    EXPECT_EQ(rtf_to_text(std::string("{\\") + word + " kept}" + "{\\" + word + "12 too}").text, "kepttoo");
  }
}

TEST(RtfReader, PropertiesTakeParameterOrDefault) {
  struct property_case {
    const char* rtf;
    rtf_property property;
    int32_t value;
  };
  const property_case cases[] = {
      {R"(\paperw )", rtf_property::page_width, 12240},
      {R"(\paperw5000 )", rtf_property::page_width, 5000},
      {R"(\margl )", rtf_property::margin_left, 1800},
      {R"(\margt-10 )", rtf_property::margin_top, -10},
      {R"(\b )", rtf_property::bold, 1},
      {R"(\b0 )", rtf_property::bold, 0},
      {R"(\qc5 )", rtf_property::justification, rtf_value::justify_center},  // the default wins
      {R"(\qj )", rtf_property::justification, rtf_value::justify_full},
      {R"(\sbkodd )", rtf_property::section_break, rtf_value::break_odd},
      {R"(\pgnlcrm )", rtf_property::page_number_format, rtf_value::pages_lower_roman},
      {R"(\landscape0 )", rtf_property::landscape, 1},
      {R"(\pgnstart7 )", rtf_property::page_number_start, 7},
      {R"(\b{\b0})", rtf_property::bold, 1},            // a group restores what it changed
      {R"({\fonttbl\b})", rtf_property::bold, 0},       // skipped text sets nothing
  };
  for (const property_case& c : cases) {
    SCOPED_TRACE(c.rtf);
    rtf_reader reader;
    std::string out;
    EXPECT_EQ(reader.read(c.rtf, out), rtf_result::ok);
    EXPECT_EQ(reader.property(c.property), c.value);
    EXPECT_EQ(out, "");
  }
}

TEST(RtfReader, EachReadStartsFromTheStartState) {
  rtf_reader reader;
  std::string first, second;
  EXPECT_EQ(reader.read(R"({\fonttbl{\b )", first), rtf_result::unmatched_brace);
  EXPECT_EQ(reader.group_depth(), 2);
  EXPECT_EQ(reader.read(R"(\'4)", first), rtf_result::ok);
  EXPECT_EQ(reader.read("text", second), rtf_result::ok);
  EXPECT_EQ(second, "text");
  EXPECT_EQ(reader.group_depth(), 0);
  EXPECT_EQ(reader.property(rtf_property::bold), 0);
}

TEST(RtfReader, BadTableEntriesStopTheReading) {
  const rtf_keyword bad_kind[] = {{"x", 0, false, static_cast<rtf_keyword_kind>(9), 0}};
  const rtf_keyword bad_char[] = {{"x", 0, false, rtf_keyword_kind::character, 300}};
  const rtf_keyword bad_property[] = {{"x", 0, false, rtf_keyword_kind::property, 99}};
  const rtf_keyword bad_destination[] = {{"x", 0, false, rtf_keyword_kind::destination, 7}};
  const rtf_keyword bad_special[] = {{"x", 0, false, rtf_keyword_kind::special, 7}};
  const std::span<const rtf_keyword> tables[] = {bad_kind, bad_char, bad_property, bad_destination, bad_special};
  for (std::span<const rtf_keyword> table : tables) {
    rtf_reader reader(table);
    std::string out;
    EXPECT_EQ(reader.read(R"(a\x b)", out), rtf_result::bad_table);
    EXPECT_EQ(out, "a");
  }
}

TEST(RtfReader, KeywordTableLooksUpEveryEntry) {
  // Every entry is reachable: no keyword hides behind an equal one earlier.
  const auto table = rtf_keyword_table();
  EXPECT_EQ(table.size(), 79u);
  for (size_t i = 0; i < table.size(); ++i)
    for (size_t j = 0; j < i; ++j) EXPECT_NE(table[i].keyword, table[j].keyword) << table[i].keyword;
}

}  // namespace
}  // namespace vendrel
