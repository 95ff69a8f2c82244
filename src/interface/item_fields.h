// What the item creation calls (item_calls.cpp, item_kind_calls.cpp) share:
// the bound record of a family turned into the item layer's views, and the
// steps that add the bound recipients, attachments, pending embedded
// messages and tagged properties to a new item.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/errors.h"
#include "interface/bound_fields.h"
#include "interface/library_state.h"
#include "items/message.h"

namespace vendrel {

template <typename T>
std::optional<std::basic_string_view<typename T::value_type>> view_of(const std::optional<T>& text) {
  if (!text) return std::nullopt;
  return std::basic_string_view<typename T::value_type>(*text);
}

template <typename CharT>
const CharT* optional_c_str(const std::optional<std::basic_string<CharT>>& text) {
  return text ? text->c_str() : nullptr;
}

// A view of the address for the item layer; valid while the address lives.
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

// The bound fields without the sender, which only messages carry.
template <typename CharT>
pst_message_fields<CharT> shared_fields_of(const BoundFields<CharT>& bound) {
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
  return f;
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

// The one-off address of a bound recipient.
template <typename CharT>
OneOffAddress<CharT> recipient_address(const RecipientBinding<CharT>& r) {
  OneOffAddress<CharT> address;
  address.build(optional_c_str(r.email), optional_c_str(r.display_name), optional_c_str(r.address_type));
  return address;
}

// Adds the recipients bound in the family of CharT.
template <typename CharT, typename Item>
void add_bound_recipients(Item& item, LibraryState& state) {
  for (const RecipientBinding<CharT>& r : recipient_list<CharT>(state)) {
    const OneOffAddress<CharT> address = recipient_address(r);
    if constexpr (std::is_same_v<CharT, char>)
      item.add_recipientA(address_of(address), r.recipient_type, r.recipient_flags);
    else
      item.add_recipient(address_of(address), r.recipient_type, r.recipient_flags);
  }
}

// Adds the bound attachments: by value as file attachments, otherwise as
// OLE objects.
template <typename Item>
void add_bound_attachments(Item& item, const LibraryState& state) {
  for (const AttachBinding& a : state.attachments) {
    const void* data = a.data.empty() ? nullptr : a.data.data();
    if (a.by_value)
      item.add_file_attachment(data, a.data.size(), a.name.c_str(), optional_c_str(a.content_id),
                               optional_c_str(a.mime_type), optional_c_str(a.content_location));
    else
      item.add_ole_attachment(data, a.data.size(), a.name.c_str());
  }
}

// Attaches the pending embedded messages and empties their list; `call`
// names the exported call in the error.
template <typename Item>
void attach_pending_messages(Item& item, LibraryState& state, const char* call) {
  for (const ref<pst_store_item>& pending : state.pending_embedded) {
    auto* held = dynamic_cast<pst_message*>(pending.get());
    if (!held) throw qm_invalid_call(std::string(call) + ": a pending embedded item is not a message");
    item.add_message_attachment(held);
  }
  state.pending_embedded.clear();
}

// Sets the properties bound by tag, each replacing any earlier value.
template <typename Item>
void apply_tagged_props(Item& item, const LibraryState& state) {
  for (const TaggedPropBinding& t : state.tagged_props) {
    item.remove_property(t.property_id);
    item.set_property(pst_property_value(make_tag(t.property_id, t.property_type),
                                         t.data.empty() ? nullptr : t.data.data(), t.data.size()));
  }
}

}  // namespace vendrel
