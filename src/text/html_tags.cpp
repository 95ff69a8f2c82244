#include "text/html_tags.h"

#include <cstddef>
#include <span>

namespace vendrel {

namespace {

using enum html_tag_action;

struct tag_spelling {
  std::string_view text;  // upper-case form
  html_tag_action action;
};

// One group per tag letter, in comparison order. The last entry of a group
// is its final pair rule: a tag that matches none of the group's spellings
// turns output and blanks off. Group H has no pair rule.
constexpr tag_spelling group_a[] = {
    {"<ABBR", keep},     {"</ABBR>", keep},          {"<ACRONYM", keep}, {"</ACRONYM>", keep_tight},
    {"<ADDRESS", keep},  {"</ADDRESS>", keep_tight}, {"<A ", keep},      {"</A>", keep},
};
constexpr tag_spelling group_b[] = {
    {"<BASEFONT", keep},   {"<BDO", keep},          {"</BDO>", keep_tight},   {"<BGSOUND", keep},
    {"<BIG", keep},        {"</BIG>", keep},        {"<BLINK", keep},         {"</BLINK>", keep},
    {"<BLOCKQUOTE", keep}, {"</BLOCKQUOTE>", keep}, {"<BODY", keep},          {"<BR", line},
    {"<BUTTON", keep},     {"</BUTTON>", keep_tight}, {"<B>", keep},          {"</B>", keep},
};
constexpr tag_spelling group_c[] = {
    {"<CAPTION", keep}, {"</CAPTION>", keep_tight}, {"<CENTER", keep}, {"</CENTER>", keep},
    {"<CITE", keep},    {"</CITE>", keep},          {"<CODE", keep},   {"</CODE>", keep},
};
constexpr tag_spelling group_d[] = {
    {"<DD", keep},  {"</DD>", keep_tight},  {"<DEL", keep}, {"</DEL>", keep},
    {"<DFN", keep}, {"</DFN>", keep},       {"<DIV", keep}, {"</DIV>", keep_tight},
    {"<DL", keep},  {"</DL>", keep_tight},  {"<DT", keep},  {"</DT>", keep_tight},
};
constexpr tag_spelling group_e[] = {
    {"<EM", keep},
    {"</EM>", keep},
};
constexpr tag_spelling group_f[] = {
    {"<FONT", keep}, {"</FONT>", keep}, {"<FORM", keep}, {"</FORM", keep_tight}, {"<FRAME", keep},
};
constexpr tag_spelling group_h[] = {
    {"<HEAD", keep}, {"</HEAD>", keep_tight}, {"<HR", rule}, {"<HTML", keep_tight}, {"</HTML>", keep_tight},
    {"<H1", keep},   {"</H1>", paragraph},    {"<H2", keep}, {"</H2>", paragraph},  {"<H3", keep},
    {"</H3>", paragraph}, {"<H4", keep},      {"</H4>", paragraph}, {"<H5", keep},  {"</H5>", paragraph},
    {"<H6", keep},   {"</H6>", paragraph},
};
constexpr tag_spelling group_i[] = {
    {"<IFRAME", keep}, {"</IFRAME>", keep_tight}, {"<ILAYER", keep}, {"</ILAYER>", keep_tight},
    {"<IMG", keep},    {"<INPUT", keep},          {"<INS", keep},    {"</INS>", keep},
    {"<ISINDEX", keep}, {"<I>", keep},            {"</I>", keep},
};
constexpr tag_spelling group_k[] = {
    {"<KBD", keep},
    {"</KBD>", keep},
    {"<KEYGEN", keep_tight},
};
constexpr tag_spelling group_l[] = {
    {"<LABEL", keep},  {"</LABEL>", keep_tight},  {"<LAYER", keep}, {"</LAYER>", keep_tight},
    {"<LEGEND", keep}, {"</LEGEND>", keep_tight}, {"<LI", keep},    {"</LI>", keep_tight},
};
constexpr tag_spelling group_m[] = {
    {"<MARQUEE", keep},
    {"</MARQUEE>", keep},
};
constexpr tag_spelling group_n[] = {
    {"<NOBR", keep},
    {"</NOBR>", keep},
};
constexpr tag_spelling group_o[] = {
    {"<OL>", keep_tight},
    {"</OL>", keep_tight},
    {"<OPTION", keep},
    {"</OPTION>", keep_tight},
};
constexpr tag_spelling group_p[] = {
    {"<PLAINTEXT", keep}, {"</PLAINTEXT", keep}, {"<PRE", pre_on}, {"</PRE", pre_off},
    {"<P>", paragraph},   {"<P ", paragraph},    {"</P>", keep},
};
constexpr tag_spelling group_q[] = {
    {"<Q>", keep},
    {"<Q ", keep},
    {"</Q>", keep},
};
constexpr tag_spelling group_s[] = {
    {"<SAMP", keep},  {"</SAMP>", keep},  {"<SMALL", keep},  {"</SMALL>", keep},  {"<SPACER", keep},
    {"<SPAN", keep},  {"</SPAN", keep},   {"<STRIKE", keep}, {"</STRIKE>", keep}, {"<STRONG", keep},
    {"</STRONG>", keep}, {"<SUB", keep},  {"</SUB>", keep},  {"<SUP", keep},     {"</SUP>", keep},
    {"<S>", keep},    {"</S>", keep},
};
constexpr tag_spelling group_t[] = {
    {"<TABLE>", keep_tight}, {"</TABLE>", keep_tight},    {"<TD", keep}, {"</TD>", keep_tight},
    {"<TEXTAREA", keep},     {"</TEXTAREA>", keep_tight}, {"<TH", keep}, {"</TH>", keep_tight},
    {"<TR", keep},           {"</TR>", keep_tight},       {"<TT", keep}, {"</TT>", keep},
};
constexpr tag_spelling group_u[] = {
    {"<UL>", keep},
    {"</UL>", keep_tight},
    {"<U>", keep},
    {"</U>", keep},
};
constexpr tag_spelling group_v[] = {
    {"<VAR", keep},
    {"</VAR>", keep},
};
constexpr tag_spelling group_w[] = {
    {"<WBR>", keep},
};

std::span<const tag_spelling> group_of(char upper_letter) {
  switch (upper_letter) {
    case 'A': return group_a;
    case 'B': return group_b;
    case 'C': return group_c;
    case 'D': return group_d;
    case 'E': return group_e;
    case 'F': return group_f;
    case 'H': return group_h;
    case 'I': return group_i;
    case 'K': return group_k;
    case 'L': return group_l;
    case 'M': return group_m;
    case 'N': return group_n;
    case 'O': return group_o;
    case 'P': return group_p;
    case 'Q': return group_q;
    case 'S': return group_s;
    case 'T': return group_t;
    case 'U': return group_u;
    case 'V': return group_v;
    case 'W': return group_w;
    default: return {};
  }
}

constexpr char to_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the tag text begins with the spelling, in the group's case.
bool begins_with(std::string_view tag, std::string_view spelling, bool lower_case) {
  if (tag.size() < spelling.size()) return false;
  for (size_t i = 0; i < spelling.size(); ++i) {
    const char expected = lower_case ? to_lower(spelling[i]) : spelling[i];
    if (tag[i] != expected) return false;
  }
  return true;
}

}  // namespace

html_tag_action html_tag_action_for(std::string_view tag) {
  if (tag.size() < 2 || tag[0] != '<') return off;
  const char letter = (tag[1] == '/' && tag.size() > 2) ? tag[2] : tag[1];
  bool lower_case = false;
  char upper_letter = letter;
  if (letter >= 'a' && letter <= 'z') {
    lower_case = true;
    upper_letter = static_cast<char>(letter - 'a' + 'A');
  } else if (letter < 'A' || letter > 'Z') {
    return off;
  }
  for (const tag_spelling& spelling : group_of(upper_letter)) {
    if (begins_with(tag, spelling.text, lower_case)) return spelling.action;
  }
  return off;
}

}  // namespace vendrel
