#include "interface/eml_items.h"

#include "common/logger.h"
#include "interface/library_state.h"

namespace vendrel {

// Until the EML writer is part of the library an item cannot be written in
// EML mode and the call reports failure.
int32_t create_eml_item(eml_item_kind kind, uint8_t embedded, uint8_t attach_pending) {
  LibraryState& state = library_state();
  if (kind == eml_item_kind::message) {
    if (attach_pending)
      state.eml_body_only = 0;
    else if (embedded)
      state.eml_body_only = 1;
  } else {
    state.eml_body_only = 0;
  }
  logger().write_line("[PST] EML output is not available");
  return -1;
}

int32_t create_eml_sticky_narrow() { return create_eml_item(eml_item_kind::sticky, 0, 0); }

}  // namespace vendrel
