// The exported message calls: CreateMessage and CreateMessageA turn the
// bound state of their family into one message of the current folder (or
// of the pending embedded messages), then clear the bound state. In EML mode
// the wide call hands the bound state to the EML writer instead.
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/logger.h"
#include "interface/binding.h"
#include "interface/eml_items.h"
#include "interface/export_guard.h"
#include "interface/library_state.h"
#include "interface/wide_arg.h"
#include "items/message.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

constexpr uint16_t id_message_class = 0x001A;

template <typename CharT>
pst_address<CharT> address_of(const OneOffAddress<CharT>& address) {
  pst_address<CharT> out;
  out.entry_id = std::span<const uint8_t>(address.entry_id().data(), address.entry_id().size());
  out.email = address.email();
  out.display_name = address.display_name();
  out.address_type = address.address_type();
  out.search_key = address.search_key();
  return out;
}

template <typename T>
std::optional<std::basic_string_view<typename T::value_type>> view_of(const std::optional<T>& text) {
  if (!text) return std::nullopt;
  return std::basic_string_view<typename T::value_type>(*text);
}

template <typename CharT>
pst_message_fields<CharT> fields_of(const BoundFields<CharT>& bound) {
  pst_message_fields<CharT> f;
  f.code_page = bound.code_page;
  f.subject = view_of(bound.subject);
  f.plain_body = view_of(bound.plain_body);
  f.html_body = view_of(bound.html_body);
  f.rtf_body = view_of(bound.rtf_body);
  f.rtf_is_base64 = bound.rtf_is_base64 != 0;
  f.importance = bound.importance;
  f.message_flags = bound.message_flags;
  f.transport_headers = view_of(bound.transport_headers);
  f.creation_time = bound.creation_time;
  f.last_modification_time = bound.last_modification_time;
  f.client_submit_time = bound.client_submit_time;
  f.delivery_time = bound.delivery_time;
  f.priority = bound.priority;
  f.sensitivity = bound.sensitivity;
  f.billing_information = view_of(bound.billing_information);
  f.mileage = view_of(bound.mileage);
  f.sender = address_of(bound.sender);
  return f;
}

const char* optional_c_str(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

template <typename CharT>
const CharT* optional_c_str(const std::optional<std::basic_string<CharT>>& text) {
  return text ? text->c_str() : nullptr;
}

template <typename CharT>
BoundFields<CharT>& bound_fields(LibraryState& state) {
  if constexpr (std::is_same_v<CharT, char>)
    return state.narrow;
  else
    return state.wide;
}

template <typename CharT>
std::vector<RecipientBinding<CharT>>& recipient_list(LibraryState& state) {
  if constexpr (std::is_same_v<CharT, char>)
    return state.narrow_recipients;
  else
    return state.wide_recipients;
}

template <typename CharT>
int32_t create_message(const CharT* message_class, uint8_t embedded, uint8_t attach_pending) {
  LibraryState& state = library_state();
  if (!state.current_store || !state.current_folder) throw qm_cwf_error("no store is open");
  // A null class leaves the message its default class.
  std::optional<std::basic_string_view<CharT>> class_text;
  if (message_class) class_text = checked_text(message_class, "the message class");

  ref<pst_store_item> item = state.current_store->create_message();
  state.current_message = item;
  auto* message = dynamic_cast<pst_message*>(item.get());
  if (!message) throw qm_invalid_call("CreateMessage: the store made an item that is not a message");

  for (const AttachBinding& a : state.attachments) {
    const void* data = a.data.empty() ? nullptr : a.data.data();
    if (a.by_value)
      message->add_file_attachment(data, a.data.size(), a.name.c_str(), optional_c_str(a.content_id),
                                   optional_c_str(a.mime_type), optional_c_str(a.content_location));
    else
      message->add_ole_attachment(data, a.data.size(), a.name.c_str());
  }

  if (attach_pending) {
    for (const ref<pst_store_item>& pending : state.pending_embedded) {
      auto* held = dynamic_cast<pst_message*>(pending.get());
      if (!held) throw qm_invalid_call("CreateMessage: a pending embedded item is not a message");
      message->add_message_attachment(held);
    }
    state.pending_embedded.clear();
  }

  if constexpr (std::is_same_v<CharT, char>)
    message->apply_fieldsA(fields_of(state.narrow));
  else
    message->apply_fields(fields_of(state.wide));

  for (const TaggedPropBinding& t : state.tagged_props) {
    message->remove_property(t.property_id);
    message->set_property(pst_property_value(make_tag(t.property_id, t.property_type),
                                             t.data.empty() ? nullptr : t.data.data(), t.data.size()));
  }

  if (class_text) message->set_property(string_value<CharT>(id_message_class, *class_text));

  for (const RecipientBinding<CharT>& r : recipient_list<CharT>(state)) {
    OneOffAddress<CharT> address;
    address.build(optional_c_str(r.email), optional_c_str(r.display_name), optional_c_str(r.address_type));
    if constexpr (std::is_same_v<CharT, char>)
      message->add_recipientA(address_of(address), r.recipient_type, r.recipient_flags);
    else
      message->add_recipient(address_of(address), r.recipient_type, r.recipient_flags);
  }

  // A filed message is committed by its folder as it takes the node in;
  // saving it here as well would write every block twice.
  if (!embedded) {
    state.current_folder->add_message(item.get());
  } else {
    item->commit();
    state.pending_embedded.push_back(item);
  }

  if constexpr (std::is_same_v<CharT, char>)
    clear_narrow_bindings(state);
  else
    clear_wide_bindings(state);
  return 0;
}

}  // namespace
}  // namespace vendrel

using namespace vendrel;

extern "C" {

VENDREL_API int32_t CreateMessage(const vendrel_wchar* message_class, uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateMessage", [&] {
    if (library_state().eml_mode) return create_eml_item(eml_item_kind::message, embedded, attach_pending);
    return create_message<char16_t>(wide_arg(message_class), embedded, attach_pending);
  });
}

VENDREL_API int32_t CreateMessageA(const char* message_class, uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateMessageA", [&] { return create_message<char>(message_class, embedded, attach_pending); });
}

}  // extern "C"
