// The exported calls of the four further item kinds: CreateSticky,
// CreateContact, CreateAppointment and CreateTask, each with its narrow twin,
// turn the bound state of their family into one item of the current folder
// (or of the pending embedded messages), then clear the bound state. The
// item's own record is filled from the bound fields (a sticky note also
// gets its colour and geometry); attachments, pending embedded messages,
// tagged properties and, for appointments, recipients are added as for a
// message. In EML mode the wide sticky, appointment and task calls and the
// narrow sticky call hand the wide bound state to the EML writer instead.
#include <string>
#include <string_view>
#include <type_traits>

#include "common/errors.h"
#include "interface/binding.h"
#include "interface/eml_items.h"
#include "interface/export_guard.h"
#include "interface/library_state.h"
#include "items/appointment.h"
#include "items/contact.h"
#include "items/sticky_note.h"
#include "items/task.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

template <typename T>
std::optional<std::basic_string_view<typename T::value_type>> view_of(const std::optional<T>& text) {
  if (!text) return std::nullopt;
  return std::basic_string_view<typename T::value_type>(*text);
}

template <typename CharT>
const CharT* optional_c_str(const std::optional<std::basic_string<CharT>>& text) {
  return text ? text->c_str() : nullptr;
}

// The shared part of a kind's record: the bound fields without the sender,
// which only messages carry.
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

template <typename CharT>
void clear_family(LibraryState& state) {
  if constexpr (std::is_same_v<CharT, char>)
    clear_narrow_bindings(state);
  else
    clear_wide_bindings(state);
}

// One kind: how the store makes it, which current-item slot holds it, its
// interface and record, and which of the message steps it takes.
struct sticky_kind {
  template <typename CharT>
  using fields = pst_sticky_note_fields<CharT>;
  using item = pst_sticky_note;
  static constexpr const char* name = "CreateSticky";
  static constexpr bool attachments = false;
  static constexpr bool recipients = false;
  static ref<pst_store_item> create(pst_store& store) { return store.create_sticky_note(); }
  static ref<pst_store_item>& current(LibraryState& state) { return state.current_sticky; }
};
struct contact_kind {
  template <typename CharT>
  using fields = pst_contact_fields<CharT>;
  using item = pst_contact;
  static constexpr const char* name = "CreateContact";
  static constexpr bool attachments = true;
  static constexpr bool recipients = false;
  static ref<pst_store_item> create(pst_store& store) { return store.create_contact(); }
  static ref<pst_store_item>& current(LibraryState& state) { return state.current_contact; }
};
struct appointment_kind {
  template <typename CharT>
  using fields = pst_appointment_fields<CharT>;
  using item = pst_appointment;
  static constexpr const char* name = "CreateAppointment";
  static constexpr bool attachments = true;
  static constexpr bool recipients = true;
  static ref<pst_store_item> create(pst_store& store) { return store.create_appointment(); }
  static ref<pst_store_item>& current(LibraryState& state) { return state.current_appointment; }
};
struct task_kind {
  template <typename CharT>
  using fields = pst_task_fields<CharT>;
  using item = pst_task;
  static constexpr const char* name = "CreateTask";
  static constexpr bool attachments = true;
  static constexpr bool recipients = false;
  static ref<pst_store_item> create(pst_store& store) { return store.create_task(); }
  static ref<pst_store_item>& current(LibraryState& state) { return state.current_task; }
};

template <typename Kind, typename CharT>
int32_t create_kind(uint8_t embedded, uint8_t attach_pending) {
  LibraryState& state = library_state();
  if (!state.current_store || !state.current_folder) throw qm_cwf_error("no store is open");

  ref<pst_store_item> created = Kind::create(*state.current_store);
  Kind::current(state) = created;
  auto* item = dynamic_cast<typename Kind::item*>(created.get());
  if (!item) throw qm_invalid_call(std::string(Kind::name) + ": the store made an item of another kind");

  if constexpr (Kind::attachments) {
    for (const AttachBinding& a : state.attachments) {
      const void* data = a.data.empty() ? nullptr : a.data.data();
      if (a.by_value)
        item->add_file_attachment(data, a.data.size(), a.name.c_str(), optional_c_str(a.content_id),
                                  optional_c_str(a.mime_type), optional_c_str(a.content_location));
      else
        item->add_ole_attachment(data, a.data.size(), a.name.c_str());
    }
    if (attach_pending) {
      for (const ref<pst_store_item>& pending : state.pending_embedded) {
        auto* held = dynamic_cast<pst_message*>(pending.get());
        if (!held) throw qm_invalid_call(std::string(Kind::name) + ": a pending embedded item is not a message");
        item->add_message_attachment(held);
      }
      state.pending_embedded.clear();
    }
  }

  typename Kind::template fields<CharT> record;
  record.shared = shared_fields_of(bound_fields<CharT>(state));
  if constexpr (std::is_same_v<CharT, char>)
    item->apply_item_fieldsA(record);
  else
    item->apply_item_fields(record);

  for (const TaggedPropBinding& t : state.tagged_props) {
    item->remove_property(t.property_id);
    item->set_property(pst_property_value(make_tag(t.property_id, t.property_type),
                                          t.data.empty() ? nullptr : t.data.data(), t.data.size()));
  }

  if constexpr (Kind::recipients) {
    for (const RecipientBinding<CharT>& r : recipient_list<CharT>(state)) {
      OneOffAddress<CharT> address;
      address.build(optional_c_str(r.email), optional_c_str(r.display_name), optional_c_str(r.address_type));
      pst_address<CharT> view;
      view.entry_id = std::span<const uint8_t>(address.entry_id().data(), address.entry_id().size());
      view.email = address.email();
      view.display_name = address.display_name();
      view.address_type = address.address_type();
      view.search_key = address.search_key();
      if constexpr (std::is_same_v<CharT, char>)
        item->add_recipientA(view, r.recipient_type, r.recipient_flags);
      else
        item->add_recipient(view, r.recipient_type, r.recipient_flags);
    }
  }

  // A filed item is committed by its folder as it takes the node in.
  if (!embedded) {
    state.current_folder->add_message(created.get());
  } else {
    created->commit();
    state.pending_embedded.push_back(created);
  }
  clear_family<CharT>(state);
  return 0;
}

}  // namespace
}  // namespace vendrel

using namespace vendrel;

extern "C" {

VENDREL_API int32_t CreateSticky(uint8_t embedded) {
  return guarded("CreateSticky", [&] {
    if (library_state().eml_mode) return create_eml_item(eml_item_kind::sticky, 0, 0);
    return create_kind<sticky_kind, char16_t>(embedded, 0);
  });
}

VENDREL_API int32_t CreateStickyA(uint8_t embedded) {
  return guarded("CreateStickyA", [&] {
    if (library_state().eml_mode) return create_eml_sticky_narrow();
    return create_kind<sticky_kind, char>(embedded, 0);
  });
}

VENDREL_API int32_t CreateContact(uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateContact", [&] { return create_kind<contact_kind, char16_t>(embedded, attach_pending); });
}

VENDREL_API int32_t CreateContactA(uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateContactA", [&] { return create_kind<contact_kind, char>(embedded, attach_pending); });
}

VENDREL_API int32_t CreateAppointment(uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateAppointment", [&] {
    if (library_state().eml_mode) return create_eml_item(eml_item_kind::appointment, 0, 0);
    return create_kind<appointment_kind, char16_t>(embedded, attach_pending);
  });
}

VENDREL_API int32_t CreateAppointmentA(uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateAppointmentA", [&] { return create_kind<appointment_kind, char>(embedded, attach_pending); });
}

VENDREL_API int32_t CreateTask(uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateTask", [&] {
    if (library_state().eml_mode) return create_eml_item(eml_item_kind::task, 0, 0);
    return create_kind<task_kind, char16_t>(embedded, attach_pending);
  });
}

VENDREL_API int32_t CreateTaskA(uint8_t embedded, uint8_t attach_pending) {
  return guarded("CreateTaskA", [&] { return create_kind<task_kind, char>(embedded, attach_pending); });
}

}  // extern "C"
