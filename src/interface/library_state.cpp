#include "interface/library_state.h"

#include "common/logger.h"
#include "items/item_maker.h"
#include "platform/platform.h"

namespace vendrel {

LibraryState::LibraryState() {
  // The logger is built first so that it outlives the state: a store dropped
  // at unload still writes its last lines.
  logger();
  wide.code_page = platform::ansi_code_page();
  narrow.code_page = platform::ansi_code_page();
  // The stores create their items through the item classes.
  install_item_classes();
}

namespace {
// Constructed by static initialisation, before any export can be called.
LibraryState state;
}  // namespace

LibraryState& library_state() { return state; }

}  // namespace vendrel
