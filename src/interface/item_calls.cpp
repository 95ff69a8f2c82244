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
#include "interface/item_fields.h"
#include "interface/library_state.h"
#include "interface/wide_arg.h"
#include "items/message.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

constexpr uint16_t id_message_class = 0x001A;

template <typename CharT>
pst_message_fields<CharT> fields_of(const BoundFields<CharT>& bound) {
  pst_message_fields<CharT> f = shared_fields_of(bound);
  f.sender = address_of(bound.sender);
  return f;
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

  add_bound_attachments(*message, state);
  if (attach_pending) attach_pending_messages(*message, state, "CreateMessage");

  if constexpr (std::is_same_v<CharT, char>)
    message->apply_fieldsA(fields_of(state.narrow));
  else
    message->apply_fields(fields_of(state.wide));

  apply_tagged_props(*message, state);

  if (class_text) message->set_property(string_value<CharT>(id_message_class, *class_text));

  add_bound_recipients<CharT>(*message, state);

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
