// The body of a message as the bound fields give it. Exactly one of three
// paths runs when the fields are applied: the RTF path when an RTF body is
// bound, else the HTML path when an HTML body is bound, else the plain path.
// Each path writes its own properties and removes those of the others, and
// every path leaves a plain body (PidTagBody) on the message.
#pragma once

#include <optional>
#include <string_view>

#include "items/message_fields.h"
#include "ltp/property_set.h"

namespace vendrel {

// Runs the body path the fields call for on the message's property set. A
// record without any body gets an empty plain body and no RTF or HTML body.
template <typename CharT>
void apply_message_body(pst_property_set& message, const pst_message_fields<CharT>& fields);

// The RTF path: the RTF (decoded from Base64 when the flag says so) goes
// into the uncompressed compressed-RTF container of PidTagRtfCompressed with
// the sync properties; PidTagBodyHtml goes. The plain body is the given
// text, or else the text the RTF reader finds in the decoded RTF (logged as
// "[PST] rtf body - no plain body"). code_page is the record's code page.
template <typename CharT>
void apply_rtf_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& plain,
                    std::string_view rtf, bool is_base64, uint32_t code_page);

// The HTML path: PidTagBodyHtml is the HTML, the RTF properties go. The
// plain body is the given text, or else the HTML converted to text. A wide
// HTML body is made 8-bit for the converter in the record's code page (see
// items/body_code_page.h) and its text stored as the same characters.
template <typename CharT>
void apply_html_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& plain,
                     std::basic_string_view<CharT> html, uint32_t code_page);

// The plain path: removes the RTF and HTML properties and sets PidTagBody
// to the text (an empty string when there is none).
template <typename CharT>
void apply_plain_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& text);

extern template void apply_message_body<char>(pst_property_set&, const pst_message_fields<char>&);
extern template void apply_message_body<char16_t>(pst_property_set&, const pst_message_fields<char16_t>&);

}  // namespace vendrel
