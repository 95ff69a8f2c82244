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
#include "interface/item_fields.h"
#include "interface/library_state.h"
#include "items/appointment.h"
#include "items/contact.h"
#include "items/sticky_note.h"
#include "items/task.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

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
    add_bound_attachments(*item, state);
    if (attach_pending) attach_pending_messages(*item, state, Kind::name);
  }

  typename Kind::template fields<CharT> record;
  record.shared = shared_fields_of(bound_fields<CharT>(state));
  if constexpr (std::is_same_v<CharT, char>)
    item->apply_item_fieldsA(record);
  else
    item->apply_item_fields(record);

  apply_tagged_props(*item, state);

  if constexpr (Kind::recipients) add_bound_recipients<CharT>(*item, state);

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
