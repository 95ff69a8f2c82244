#include "items/message_body.h"

#include <string>
#include <type_traits>

#include "common/crc32.h"
#include "common/errors.h"
#include "common/logger.h"
#include "items/body_code_page.h"
#include "items/message_tags.h"
#include "items/rtf_base64.h"
#include "items/rtf_container.h"
#include "platform/platform.h"
#include "store/text_forms.h"
#include "text/html_to_text.h"
#include "text/rtf_reader.h"

namespace vendrel {

using namespace msg;

namespace {

void remove_rtf_properties(pst_property_set& message) {
  for (uint16_t id : {id_rtf_compressed, id_rtf_in_sync, id_rtf_sync_body_count, id_rtf_sync_body_crc,
                      id_rtf_sync_prefix_count, id_rtf_sync_trailing_count})
    message.remove_property(id);
}

pst_property_value long_value(uint16_t id, uint32_t value) {
  return pst_property_value::of_u32(make_tag(id, prop_type::i4), value);
}

// Text the body code made in the given code page, stored as UTF-16 so that
// its characters survive: the property set takes 8-bit strings in the
// host's code page, and makes them the file's in an ANSI file.
void set_derived_body(pst_property_set& message, const std::string& text, uint32_t code_page) {
  message.set_property(string_value<char16_t>(id_body, platform::multibyte_to_wide(code_page, text)));
}

}  // namespace

template <typename CharT>
void apply_rtf_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& plain,
                    std::string_view rtf, bool is_base64, uint32_t code_page) {
  message.remove_property(id_body_html);
  std::string decoded;
  if (is_base64) decoded = decode_rtf_base64(rtf);
  const std::string_view raw = is_base64 ? std::string_view(decoded) : rtf;

  const std::vector<uint8_t> container = make_uncompressed_rtf_container(raw);
  message.set_property(pst_property_value::of_bytes(make_tag(id_rtf_compressed, prop_type::binary), container));
  message.set_property(pst_property_value::of_bool(make_tag(id_rtf_in_sync, prop_type::boolean), true));
  message.set_property(long_value(id_rtf_sync_body_count, 0));
  message.set_property(long_value(id_rtf_sync_body_crc, crc32(raw.data(), raw.size())));
  message.set_property(long_value(id_rtf_sync_prefix_count, 0));
  message.set_property(long_value(id_rtf_sync_trailing_count, 0));

  if (plain) {
    message.set_property(string_value<CharT>(id_body, *plain));
    return;
  }
  logger().write_line("[PST] rtf body - no plain body");
  // The text comes from the decoded RTF: read over the Base64 text it would
  // be lost. Whatever the reader's result, the text it found is the body.
  const rtf_text text = rtf_to_text(raw);
  set_derived_body(message, text.text, rtf_document_code_page(raw, code_page));
}

template <typename CharT>
void apply_html_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& plain,
                     std::basic_string_view<CharT> html, uint32_t code_page) {
  remove_rtf_properties(message);
  message.set_property(string_value<CharT>(id_body_html, html));
  if (plain) {
    message.set_property(string_value<CharT>(id_body, *plain));
    return;
  }
  std::string text;
  uint32_t text_code_page = code_page;
  try {
    if constexpr (std::is_same_v<CharT, char>) {
      // The converter copies bytes: the text is in the HTML's code page, the host's.
      text_code_page = platform::host_code_page();
      text = html_to_text(html);
    } else {
      text_code_page = html_conversion_code_page(html, code_page);
      text = html_to_text(html, text_code_page);
    }
  } catch (const qm_enomem_error&) {
    throw qm_internal_error("html to text: no result");
  }
  set_derived_body(message, text, text_code_page);
}

template <typename CharT>
void apply_plain_body(pst_property_set& message, const std::optional<std::basic_string_view<CharT>>& text) {
  remove_rtf_properties(message);
  message.remove_property(id_body_html);
  message.set_property(string_value<CharT>(id_body, text ? *text : std::basic_string_view<CharT>()));
}

template <typename CharT>
void apply_message_body(pst_property_set& message, const pst_message_fields<CharT>& fields) {
  if (fields.rtf_body) {
    apply_rtf_body<CharT>(message, fields.plain_body, *fields.rtf_body, fields.rtf_is_base64, fields.code_page);
  } else if (fields.html_body) {
    apply_html_body<CharT>(message, fields.plain_body, *fields.html_body, fields.code_page);
  } else {
    apply_plain_body<CharT>(message, fields.plain_body);
  }
}

template void apply_rtf_body<char>(pst_property_set&, const std::optional<std::string_view>&, std::string_view, bool,
                                   uint32_t);
template void apply_rtf_body<char16_t>(pst_property_set&, const std::optional<std::u16string_view>&,
                                       std::string_view, bool, uint32_t);
template void apply_html_body<char>(pst_property_set&, const std::optional<std::string_view>&, std::string_view,
                                    uint32_t);
template void apply_html_body<char16_t>(pst_property_set&, const std::optional<std::u16string_view>&,
                                        std::u16string_view, uint32_t);
template void apply_plain_body<char>(pst_property_set&, const std::optional<std::string_view>&);
template void apply_plain_body<char16_t>(pst_property_set&, const std::optional<std::u16string_view>&);
template void apply_message_body<char>(pst_property_set&, const pst_message_fields<char>&);
template void apply_message_body<char16_t>(pst_property_set&, const pst_message_fields<char16_t>&);

}  // namespace vendrel
