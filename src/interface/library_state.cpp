#include "interface/library_state.h"

#include "common/logger.h"
#include "items/item_maker.h"
#include "platform/platform.h"

namespace vendrel {

LibraryState::LibraryState() {
  // The logger is built first so that it outlives the state: a store dropped
  // at unload still writes its last lines.
  logger();
  // Where the host's narrow strings and an ANSI file's 8-bit strings have
  // two code pages (not on Windows), the narrow record starts with the
  // file's, which its code page property names; the wide one with the
  // host's, which the texts it makes 8-bit (EML files) are written in.
  wide.code_page = platform::host_code_page();
  narrow.code_page = platform::file_code_page();
  // The stores create their items through the item classes.
  install_item_classes();
}

namespace {
// Constructed by static initialisation, before any export can be called.
LibraryState state;
}  // namespace

LibraryState& library_state() { return state; }

}  // namespace vendrel
