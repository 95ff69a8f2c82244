#include "text/rtf_keywords.h"

namespace vendrel {

namespace {

using enum rtf_keyword_kind;
using namespace rtf_value;

constexpr int32_t prop(rtf_property p) { return static_cast<int32_t>(p); }
constexpr int32_t sp(rtf_special s) { return static_cast<int32_t>(s); }
constexpr int32_t skip = static_cast<int32_t>(rtf_destination::skip);

constexpr rtf_keyword table[] = {
    // keyword     default             use default  kind         index
    {"b",          1,                  false,       property,    prop(rtf_property::bold)},
    {"u",          1,                  false,       property,    prop(rtf_property::underline)},
    {"i",          1,                  false,       property,    prop(rtf_property::italic)},
    {"li",         0,                  false,       property,    prop(rtf_property::left_indent)},
    {"ri",         0,                  false,       property,    prop(rtf_property::right_indent)},
    {"fi",         0,                  false,       property,    prop(rtf_property::first_indent)},
    {"cols",       1,                  false,       property,    prop(rtf_property::columns)},
    {"sbknone",    break_none,         true,        property,    prop(rtf_property::section_break)},
    {"sbkcol",     break_column,       true,        property,    prop(rtf_property::section_break)},
    {"sbkeven",    break_even,         true,        property,    prop(rtf_property::section_break)},
    {"sbkodd",     break_odd,          true,        property,    prop(rtf_property::section_break)},
    {"sbkpage",    break_page,         true,        property,    prop(rtf_property::section_break)},
    {"pgnx",       0,                  false,       property,    prop(rtf_property::page_number_x)},
    {"pgny",       0,                  false,       property,    prop(rtf_property::page_number_y)},
    {"pgndec",     pages_decimal,      true,        property,    prop(rtf_property::page_number_format)},
    {"pgnucrm",    pages_upper_roman,  true,        property,    prop(rtf_property::page_number_format)},
    {"pgnlcrm",    pages_lower_roman,  true,        property,    prop(rtf_property::page_number_format)},
    {"pgnucltr",   pages_upper_letter, true,        property,    prop(rtf_property::page_number_format)},
    {"pgnlcltr",   pages_lower_letter, true,        property,    prop(rtf_property::page_number_format)},
    {"qc",         justify_center,     true,        property,    prop(rtf_property::justification)},
    {"ql",         justify_left,       true,        property,    prop(rtf_property::justification)},
    {"qr",         justify_right,      true,        property,    prop(rtf_property::justification)},
    {"qj",         justify_full,       true,        property,    prop(rtf_property::justification)},
    {"paperw",     12240,              false,       property,    prop(rtf_property::page_width)},
    {"paperh",     15480,              false,       property,    prop(rtf_property::page_height)},
    {"margl",      1800,               false,       property,    prop(rtf_property::margin_left)},
    {"margr",      1800,               false,       property,    prop(rtf_property::margin_right)},
    {"margt",      1440,               false,       property,    prop(rtf_property::margin_top)},
    {"margb",      1440,               false,       property,    prop(rtf_property::margin_bottom)},
    {"pgnstart",   1,                  false,       property,    prop(rtf_property::page_number_start)},
    {"facingp",    1,                  true,        property,    prop(rtf_property::facing_pages)},
    {"landscape",  1,                  true,        property,    prop(rtf_property::landscape)},
    {"par",        0,                  false,       character,   '\n'},
    // A backslash before a line feed or carriage return means \par.
    {"\n",         0,                  false,       character,   '\n'},
    {"\r",         0,                  false,       character,   '\n'},
    {"tab",        0,                  false,       character,   '\t'},
    {"cell",       0,                  false,       character,   ' '},
    {"row",        0,                  false,       character,   '\n'},
    {"ldblquote",  0,                  false,       character,   '"'},
    {"rdblquote",  0,                  false,       character,   '"'},
    {"{",          0,                  false,       character,   '{'},
    {"}",          0,                  false,       character,   '}'},
    {"\\",         0,                  false,       character,   '\\'},
    {"bin",        0,                  false,       special,     sp(rtf_special::binary)},
    {"*",          0,                  false,       special,     sp(rtf_special::skip_if_unknown)},
    {"'",          0,                  false,       special,     sp(rtf_special::hex)},
    {"author",     0,                  false,       destination, skip},
    {"buptim",     0,                  false,       destination, skip},
    {"colortbl",   0,                  false,       destination, skip},
    {"comment",    0,                  false,       destination, skip},
    {"creatim",    0,                  false,       destination, skip},
    {"doccomm",    0,                  false,       destination, skip},
    {"fonttbl",    0,                  false,       destination, skip},
    {"footer",     0,                  false,       destination, skip},
    {"footerf",    0,                  false,       destination, skip},
    {"footerl",    0,                  false,       destination, skip},
    {"footerr",    0,                  false,       destination, skip},
    {"footnote",   0,                  false,       destination, skip},
    {"ftncn",      0,                  false,       destination, skip},
    {"ftnsep",     0,                  false,       destination, skip},
    {"ftnsepc",    0,                  false,       destination, skip},
    {"header",     0,                  false,       destination, skip},
    {"headerf",    0,                  false,       destination, skip},
    {"headerl",    0,                  false,       destination, skip},
    {"headerr",    0,                  false,       destination, skip},
    {"info",       0,                  false,       destination, skip},
    {"keywords",   0,                  false,       destination, skip},
    {"operator",   0,                  false,       destination, skip},
    {"pict",       0,                  false,       destination, skip},
    {"printim",    0,                  false,       destination, skip},
    {"private1",   0,                  false,       destination, skip},
    {"revtim",     0,                  false,       destination, skip},
    {"rxe",        0,                  false,       destination, skip},
    {"stylesheet", 0,                  false,       destination, skip},
    {"subject",    0,                  false,       destination, skip},
    {"tc",         0,                  false,       destination, skip},
    {"title",      0,                  false,       destination, skip},
    {"txe",        0,                  false,       destination, skip},
    {"xe",         0,                  false,       destination, skip},
};

static_assert(std::size(table) == 79);

}  // namespace

std::span<const rtf_keyword> rtf_keyword_table() { return table; }

}  // namespace vendrel
