// The item classes the stores create: installing them makes every store of
// either file variant create its messages, sticky notes, appointments,
// contacts and tasks through make_item.
#pragma once

#include "store/store.h"

namespace vendrel {

// A new item of a kind, bound to the store; qm_invalid_call for an unknown kind.
template <ndb_bidtype bidtype, ltp_chartype chartype>
ref<pst_store_item> make_item(pst_store_impl<bidtype, chartype>& store, pst_item_kind kind);

// Sets make_item as the item maker of both store variants.
void install_item_classes();

}  // namespace vendrel
