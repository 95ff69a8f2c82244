// The body of a message as the bound fields give it. Exactly one of three
// paths runs when the fields are applied: the RTF path when an RTF body is
// bound, else the HTML path when an HTML body is bound, else the plain path.
// Each path writes its own properties and removes those of the others, and
// every path leaves a plain body (PidTagBody) on the message.
#pragma once

#include "items/message_fields.h"
#include "ltp/property_set.h"

namespace vendrel {

// Runs the body path the fields call for on the message's property set.
template <typename CharT>
void apply_message_body(pst_property_set& message, const pst_message_fields<CharT>& fields);

// The plain path: removes the RTF and HTML properties and sets PidTagBody
// to the text (an empty string when there is none).
template <typename CharT>
void apply_plain_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& text);

extern template void apply_message_body<char>(pst_property_set&, const pst_message_fields<char>&);
extern template void apply_message_body<char16_t>(pst_property_set&, const pst_message_fields<char16_t>&);

}  // namespace vendrel
