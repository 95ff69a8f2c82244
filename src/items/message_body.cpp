#include "items/message_body.h"

#include "common/errors.h"
#include "items/message_tags.h"
#include "store/text_forms.h"

namespace vendrel {

using namespace msg;

namespace {

void remove_rtf_properties(pst_property_set& message) {
  for (uint16_t id : {id_rtf_compressed, id_rtf_in_sync, id_rtf_sync_body_count, id_rtf_sync_body_crc,
                      id_rtf_sync_prefix_count, id_rtf_sync_trailing_count})
    message.remove_property(id);
}

}  // namespace

template <typename CharT>
void apply_plain_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& text) {
  remove_rtf_properties(message);
  message.remove_property(id_body_html);
  message.set_property(string_value<CharT>(id_body, text ? *text : std::basic_string_view<CharT>()));
}

template <typename CharT>
void apply_message_body(pst_property_set& message, const pst_message_fields<CharT>& fields) {
  // The RTF and HTML paths (compressed RTF container, HTML to text) are not
  // built yet: a message that asks for them is refused rather than written
  // without the body it was given.
  if (fields.rtf_body) throw qm_invalid_call("RTF message bodies are not supported yet");
  if (fields.html_body) throw qm_invalid_call("HTML message bodies are not supported yet");
  apply_plain_body<CharT>(message, fields.plain_body);
}

template void apply_plain_body<char>(pst_property_set&, const std::optional<std::string_view>&);
template void apply_plain_body<char16_t>(pst_property_set&, const std::optional<std::u16string_view>&);
template void apply_message_body<char>(pst_property_set&, const pst_message_fields<char>&);
template void apply_message_body<char16_t>(pst_property_set&, const pst_message_fields<char16_t>&);

}  // namespace vendrel
