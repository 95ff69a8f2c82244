#include "store/store_item.h"

namespace vendrel {

const char* item_kind_name(pst_item_kind kind) {
  switch (kind) {
    case pst_item_kind::message: return "message";
    case pst_item_kind::sticky_note: return "sticky note";
    case pst_item_kind::appointment: return "appointment";
    case pst_item_kind::contact: return "contact";
    case pst_item_kind::task: return "task";
  }
  return "item";
}

}  // namespace vendrel
