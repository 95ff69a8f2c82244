#include "items/item_maker.h"

#include <string>

#include "common/errors.h"
#include "items/appointment.h"
#include "items/contact.h"
#include "items/message.h"
#include "items/sticky_note.h"
#include "items/task.h"

namespace vendrel {

template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_store_item> make_item(pst_store_impl<bidtype, chartype>& store, pst_item_kind kind) {
  switch (kind) {
    case pst_item_kind::message:
      return ref<pst_store_item>(new pst_message_impl<bidtype, chartype>(&store));
    case pst_item_kind::sticky_note:
      return ref<pst_store_item>(new pst_sticky_note_impl<bidtype, chartype>(&store));
    case pst_item_kind::appointment:
      return ref<pst_store_item>(new pst_appointment_impl<bidtype, chartype>(&store));
    case pst_item_kind::contact:
      return ref<pst_store_item>(new pst_contact_impl<bidtype, chartype>(&store));
    case pst_item_kind::task:
      return ref<pst_store_item>(new pst_task_impl<bidtype, chartype>(&store));
    default:
      throw qm_invalid_call(std::string("items of the kind '") + item_kind_name(kind) + "' are not known");
  }
}

template ref<pst_store_item> make_item<uint32_t, char>(pst_store_impl<uint32_t, char>&, pst_item_kind);
template ref<pst_store_item> make_item<uint64_t, char16_t>(pst_store_impl<uint64_t, char16_t>&, pst_item_kind);

void install_item_classes() {
  pst_store_impl<uint32_t, char>::set_item_maker(&make_item<uint32_t, char>);
  pst_store_impl<uint64_t, char16_t>::set_item_maker(&make_item<uint64_t, char16_t>);
}

}  // namespace vendrel
